#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "platform/precise_time.h"
#include "players/player_report.h"

namespace quorvane {

// Learns when a player that tells a fraction of the film (VLC) makes its next new position: it
// makes one on a timer of its own, about 3.8 times a second at a steady phase. The questions
// around that moment then come close together, so that each change is bracketed by answers a few
// milliseconds apart rather than a whole period; the rest come at the usual pace.
class UpdateTiming {
 public:
  // Close questions start this long before a change is due, come this often, and stop this long
  // after it was due if none was seen (a pause, a stalled player).
  static constexpr uint64_t kLeadUs = 15'000;
  static constexpr uint64_t kCloseUs = 4'000;
  static constexpr uint64_t kGiveUpUs = 40'000;
  // The period is learnt from this many gaps between changes; gaps outside these bounds (a
  // seek, a stall) are not learnt from.
  static constexpr size_t kGaps = 9;
  static constexpr uint64_t kShortestGapUs = 50'000;
  static constexpr uint64_t kLongestGapUs = 1'000'000;

  void take(const PlayerReport& report);
  // When the next question should go out, given when it would at the usual pace.
  uint64_t nextAskUs(uint64_t usualUs, uint64_t nowUs) const;

 private:
  bool havePrevious_ = false;
  PlayerReport previous_;
  bool haveChange_ = false;
  uint64_t changeUs_ = 0;  // the middle of the last change's bracket
  std::deque<uint64_t> gapsUs_;
  uint64_t periodUs_ = 0;  // 0 while unknown
};

// Asks a player on a thread of its own and keeps its latest answers, each stamped with the
// precise counter before the question and after the answer, for the clock to pick up. The run's thread
// never waits on the player: a slow or silent one only makes the answers old.
class ReportPoller final : public InterfacePlayerFeed {
 public:
  // One question at most this often. Prime to the second, so that the questions fall at every
  // phase of a whole-second display and bound its change finely within a few seconds.
  static constexpr uint32_t kAskPeriodMs = 43;
  // Answers kept for the clock: it reads on the run's 50 ms ticks, and a run's thread held up
  // for a second and more still finds every answer since its last read.
  static constexpr size_t kKeptAnswers = 64;

  // `ask` runs on the poller's thread and blocks for at most its own timeout; its stamps and
  // sequence are the poller's to fill. It must own whatever it uses: a question in flight when
  // the poller goes still runs to its end.
  using Ask = std::function<PlayerReport()>;

  ReportPoller(Ask ask, const PreciseTimeSource& time = systemPreciseTimeSource(), uint32_t periodMs = kAskPeriodMs);
  // Returns at once, even with a question in flight: the poller is usually dropped on the user
  // interface's thread, which must not wait out a player's timeout. The thread ends after that
  // question, takes nothing from `time` after this returns and publishes nothing more.
  ~ReportPoller() override;
  ReportPoller(const ReportPoller&) = delete;
  ReportPoller& operator=(const ReportPoller&) = delete;

  PlayerReport latest() const override;
  std::vector<PlayerReport> since(uint32_t sequence) const override;

 private:
  struct Shared;  // what the thread and the poller both hold; the last of them frees it
  static void loop(const std::shared_ptr<Shared>& shared);

  std::shared_ptr<Shared> shared_;
};

}  // namespace quorvane
