#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/precise_time.h"
#include "players/player_report.h"

namespace quorvane {

// One connection to mpv's IPC server (a named pipe on Windows).
class MpvConnection {
 public:
  virtual ~MpvConnection() = default;
  // Sends all of `bytes`; false when mpv's end is closed.
  virtual bool send(std::string_view bytes) = 0;
  // Appends what mpv sent and is waiting, without blocking (nothing when nothing waits); false
  // once mpv closed its end.
  virtual bool receive(std::string& into) = 0;
};

// Cuts what mpv sends into its lines (one JSON message each, ended by a line feed). A line longer
// than any of mpv's is not mpv's: it is dropped whole, up to its line feed, and the next line
// is taken as usual.
class MpvLines {
 public:
  static constexpr size_t kMaxLineBytes = 64 * 1024;

  template <class OnLine>
  void add(std::string_view bytes, OnLine&& onLine) {
    while (!bytes.empty()) {
      const size_t end = bytes.find('\n');
      const std::string_view piece = bytes.substr(0, end);
      if (!dropping_) pending_.append(piece);
      if (pending_.size() > kMaxLineBytes) {
        pending_.clear();
        dropping_ = true;
      }
      if (end == std::string_view::npos) return;
      if (!dropping_) onLine(std::string_view(pending_));
      pending_.clear();
      dropping_ = false;
      bytes.remove_prefix(end + 1);
    }
  }

 private:
  std::string pending_;
  bool dropping_ = false;  // within a line that went past the limit
};

// Follows mpv: connects, asks mpv to report the properties the clock needs, and publishes the
// state each time mpv reports a change, stamped with the moment the change arrived (mpv sends
// a change as it happens). Reconnects when mpv closes its end or is not there yet, after
// publishing that there is no answer. The system's pipe and waits are passed in, so that the
// logic runs the same in a test.
class MpvFollower {
 public:
  // How often the connection is looked at while mpv says nothing; a change waits at most this.
  static constexpr uint32_t kLookMs = 4;
  // While mpv has nothing to report (paused: no property changes) the state is told again this
  // often, so the clock knows mpv is still there.
  static constexpr uint64_t kStillThereUs = 200'000;
  static constexpr uint32_t kReconnectMs = 250;

  struct Seam {
    std::function<std::unique_ptr<MpvConnection>()> connect;  // null when mpv is not there
    std::function<bool(uint32_t ms)> wait;                    // false: stop following
    std::function<void(const PlayerReport&)> publish;         // stamps filled, sequence not
  };

  MpvFollower(Seam seam, const PreciseTimeSource& time) : seam_(std::move(seam)), time_(time) {}

  // Until a wait says to stop.
  void run();

 private:
  // One connection; false when a wait said to stop.
  bool follow(MpvConnection& connection);
  void publish(PlayerReport report, uint64_t stampUs);

  Seam seam_;
  const PreciseTimeSource& time_;
};

}  // namespace quorvane
