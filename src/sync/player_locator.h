#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/process_access.h"

namespace quorvane {

// Where the player's time record lives: the process and the record's address.
struct PlayerLocation {
  uint32_t playerPid = 0;
  uint64_t recordBase = 0;  // 0 when not located
  bool located() const { return recordBase != 0; }
};

// Tries the typed name, then every known player name, in order: a running process whose main
// image holds the code signature, with a plausible pointer 65 bytes before it, is the player.
// `betweenRegions` keeps a user interface responsive during the search (may be empty).
PlayerLocation locatePlayer(const ProcessAccess& access, std::string_view typedName,
                            const std::function<void()>& betweenRegions = {});

}  // namespace quorvane
