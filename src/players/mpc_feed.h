#pragma once

#include <cstdint>
#include <memory>

#include "platform/precise_time.h"
#include "players/player_report.h"

namespace quorvane {

// MPC-HC's or MPC-BE's web interface on this machine ("Listen on port" in the player's options).
struct MpcInterface {
  static constexpr uint16_t kDefaultPort = 13579;
  uint16_t port = kDefaultPort;
};

// Asks the player's /variables.html on a worker thread. Windows only (WinHTTP); null when the
// system's HTTP client cannot be set up, so that nothing asks in vain.
std::unique_ptr<InterfacePlayerFeed> makeMpcFeed(const MpcInterface& mpc, const PreciseTimeSource& time = systemPreciseTimeSource());

}  // namespace quorvane
