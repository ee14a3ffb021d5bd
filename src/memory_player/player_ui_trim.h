#pragma once

#include <memory>
#include <string_view>

#include "platform/registry.h"

namespace quorvane {

// Ends processes by executable name: the process of a top-level window titled with the name,
// else the first process of that name in a snapshot (letter case ignored). One call ends at
// most one process; failures are ignored.
class ProcessTerminator {
 public:
  virtual ~ProcessTerminator() = default;
  virtual void terminateByName(std::string_view exeName) = 0;
};

enum class TrimAction { Trim, Restore };

// Ends the player (up to three processes of each of its two names) and writes its ten UI
// customisation values under HKEY_CURRENT_USER: 0 to trim, 1 to restore.
void applyPlayerUiTrim(TrimAction action, ProcessTerminator& terminator, Registry& registry);

#ifdef _WIN32
// Ends processes of the running system (Windows build only).
std::unique_ptr<ProcessTerminator> makeSystemProcessTerminator();
#endif

}  // namespace quorvane
