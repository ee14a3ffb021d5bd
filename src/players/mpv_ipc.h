#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "players/player_report.h"

namespace quorvane {

// What mpv tells through its JSON IPC (--input-ipc-server): one JSON message per line. Quorvane
// observes "time-pos" (seconds, absent without a file), "pause" and "speed", so mpv reports every
// change itself instead of being polled; the first report of each comes at once.
class MpvObserver {
 public:
  // The commands to send once the pipe is open, each ended by a line feed.
  static std::string observeCommands();

  // Takes one line that mpv sent; false when it is not a message of mpv's (garbage, a line cut
  // short by a pipe that closed). Replies to commands and other events change nothing.
  bool take(std::string_view line);

  // What mpv told so far; the caller stamps the times. Nothing observed yet is no answer.
  PlayerReport report() const;

 private:
  bool heard_ = false;
  std::optional<double> timePosSeconds_;
  bool paused_ = false;
  double speed_ = 1.0;
};

}  // namespace quorvane
