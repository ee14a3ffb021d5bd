#pragma once

#include <cstdint>

#include <optional>

#include "loading/cue_table.h"
#include "platform/precise_time.h"
#include "run/clock_source.h"

namespace quorvane {

// A clock the user drives, for a film whose player Quorvane cannot read: it runs from the
// precise counter while playing and holds while paused. Its position is exact at every
// instant, so it always counts as precise: the run steps at each cue's start and end, not
// only on its ticks. It never falls silent and is never gone.
class FreeClock final : public ClockSource {
 public:
  explicit FreeClock(const PreciseTimeSource& time = systemPreciseTimeSource()) : time_(time) {}

  // Paused at `positionMs`, within [0, end].
  void reset(int64_t positionMs);
  void play();
  void pause();
  void togglePlay() { playing_ ? pause() : play(); }
  // Goes to `positionMs`, held within [0, end]; playing or paused as before.
  void seek(int64_t positionMs);
  void seekBy(int64_t deltaMs) { seek(positionMs() + deltaMs); }
  // Where seeks stop: the end of the file's span. Play runs past it (the film's credits).
  void setEndMs(int64_t endMs) { endMs_ = endMs < 0 ? 0 : endMs; }
  int64_t endMs() const { return endMs_; }

  bool playing() const { return playing_; }
  int64_t positionMs() const { return positionAt(time_.nowUs()); }

  ClockReading read(const ClockTiming& timing) override { return at(time_.nowUs(), timing); }
  ClockReading at(uint64_t us, const ClockTiming& timing) const override;
  int64_t untilReadUs(uint64_t) const override { return -1; }
  uint64_t nowUs() const override { return time_.nowUs(); }
  void setPrecise(bool) override {}
  bool precise() const override { return true; }

  static constexpr int64_t kDefaultEndMs = 359'999'999;  // 99:59:59.999, until a file sets it

 private:
  int64_t positionAt(uint64_t us) const;

  const PreciseTimeSource& time_;
  bool playing_ = false;
  int64_t baseMs_ = 0;  // the position at baseUs_, or where it is held while paused
  uint64_t baseUs_ = 0;
  int64_t endMs_ = kDefaultEndMs;
};

// Where "next line" and "previous line" go from `positionMs` (the file's time, as the scheduler
// sees it): the start of the first line that starts after it; the start of the last line that
// starts more than kPreviousSlackMs before it, so that a second press goes on back rather
// than to the line just jumped to. Nothing where there is no such line.
inline constexpr int32_t kPreviousSlackMs = 1'000;
std::optional<int32_t> nextLineStart(const CueTable& table, int32_t positionMs);
std::optional<int32_t> previousLineStart(const CueTable& table, int32_t positionMs);

}  // namespace quorvane
