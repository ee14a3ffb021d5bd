#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/precise_time.h"
#include "sync/player_report.h"

namespace quorvane {

// Asks a player on a thread of its own and keeps its latest answer, stamped with the precise
// counter before the question and after the answer, for the clock to pick up. The run's thread
// never waits on the player: a slow or silent one only makes the answers old.
class ReportPoller final : public ReportFeed {
 public:
  // One question at most this often. Prime to the second, so that the questions fall at every
  // phase of a whole-second display and bound its change finely within a few seconds.
  static constexpr uint32_t kAskPeriodMs = 43;

  // `ask` runs on the poller's thread and blocks for at most its own timeout; its stamps and
  // sequence are the poller's to fill.
  using Ask = std::function<PlayerReport()>;

  ReportPoller(Ask ask, const PreciseTimeSource& time = systemPreciseTimeSource(), uint32_t periodMs = kAskPeriodMs);
  // Waits for the question in flight, if any, then ends the thread.
  ~ReportPoller() override;
  ReportPoller(const ReportPoller&) = delete;
  ReportPoller& operator=(const ReportPoller&) = delete;

  PlayerReport latest() const override;

 private:
  void loop();

  Ask ask_;
  const PreciseTimeSource& time_;
  const uint32_t periodMs_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  PlayerReport latest_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace quorvane
