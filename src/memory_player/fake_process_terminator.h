#pragma once

#include <string>
#include <vector>

#include "memory_player/player_ui_trim.h"

namespace quorvane {

// Records the names it is asked to end, in order; ends nothing.
class RecordingTerminator : public ProcessTerminator {
 public:
  void terminateByName(std::string_view exeName) override { names.emplace_back(exeName); }
  std::vector<std::string> names;
};

}  // namespace quorvane
