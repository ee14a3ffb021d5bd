#pragma once

#include <memory>
#include <string>

#include "platform/precise_time.h"
#include "players/player_report.h"

namespace quorvane {

// mpv's JSON IPC server, as mpv was started with --input-ipc-server=NAME (or the same line in
// mpv.conf). On Windows it is a named pipe; a bare name means \\.\pipe\NAME.
struct MpvInterface {
  static constexpr const char* kDefaultPipe = "mpvsocket";
  std::string pipe = kDefaultPipe;
};

// The full pipe path for a name the user typed.
std::string mpvPipePath(const std::string& name);

// Connects to mpv's pipe on a worker thread, observes the properties it reports and keeps the
// latest state; reconnects when mpv closes the pipe or restarts. Windows only.
std::unique_ptr<InterfacePlayerFeed> makeMpvFeed(const MpvInterface& mpv, const PreciseTimeSource& time = systemPreciseTimeSource());

}  // namespace quorvane
