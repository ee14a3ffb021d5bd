#pragma once

#include <string_view>

#include "players/player_report.h"

namespace quorvane {

// Reads the answer to VLC's web interface status request (/requests/status.json): "state"
// ("playing", "paused", "stopped"), "time" (whole seconds in VLC 3), "length" (seconds),
// "position" (the fraction of the film played) and "rate". An answer that is not a status of VLC's (another server, an error page, broken JSON)
// is no answer; the caller stamps the times.
PlayerReport parseVlcStatus(std::string_view body);

}  // namespace quorvane
