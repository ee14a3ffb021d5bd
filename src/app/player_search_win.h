#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/player_interfaces.h"
#include "sync/reported_clock.h"

namespace quorvane {

// Asks the pinned player, or every player that tells its time at once, for about a second at
// most, calling `pump` meanwhile so that the window stays responsive; the first in the fixed
// order that answers with a film is followed (see chooseAnsweringPlayer).
std::optional<FollowedPlayer> findInterfacePlayer(const InterfaceSettings& settings, const std::function<void()>& pump);

}  // namespace quorvane
