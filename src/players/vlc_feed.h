#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/precise_time.h"
#include "players/player_report.h"

namespace quorvane {

// VLC's web interface on this machine, as the user switched it on in VLC: its port and the
// password set there (VLC asks for no user name).
struct VlcInterface {
  static constexpr uint16_t kDefaultPort = 8080;
  uint16_t port = kDefaultPort;
  std::string password;  // UTF-8
};

// Asks VLC's status (/requests/status.json) on a worker thread. Windows only (WinHTTP); null
// when the system's HTTP client cannot be set up, so that nothing asks in vain.
std::unique_ptr<InterfacePlayerFeed> makeVlcFeed(const VlcInterface& vlc, const PreciseTimeSource& time = systemPreciseTimeSource());

}  // namespace quorvane
