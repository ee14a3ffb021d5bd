#pragma once

#include <string_view>

#include "players/player_report.h"

namespace quorvane {

// Reads MPC-HC's (and MPC-BE's) web interface page /variables.html: one <p id="NAME">VALUE</p>
// per variable, of which "state" (-1 nothing loaded, 0 stopped, 1 paused, 2 playing),
// "position" (ms) and "file" are used, and "playbackrate" where the player gives it. A page
// without them (another server, an error page) is no answer; the caller stamps the times.
PlayerReport parseMpcVariables(std::string_view page);

}  // namespace quorvane
