#pragma once

#include <cstdint>

#include "platform/precise_time.h"
#include "memory_player/memory_reader.h"
#include "memory_player/digit_clock.h"

namespace quorvane {

// The player's position to the millisecond, for the "precise timing" enhancement. It reads the
// player's time record as the digit clock does, but it learns when the digits really
// change: while it does not know, it asks for fine reads until the next change; once it knows,
// only in a short window around the expected change. Between changes the position comes from
// the precise time source, pinned to the estimated instant of the last change.
class PreciseClock {
 public:
  PreciseClock(const MemoryReader& memory, const PreciseTimeSource& time) : memory_(memory), time_(time) {}

  // A new run: another player process starts the clock afresh.
  void beginRun(uint32_t playerPid);

  // The next readable record starts the clock afresh, as for another player.
  void restart();

  // Reads the record now, learning a change, a pause, a resume or a seek. A failed or
  // impossible read (recordValid() false) changes nothing else.
  void read(const ClockInputs& in);
  // The same on a reading taken elsewhere, between the precise times `us` and `readEndUs`.
  void take(const ShownTime& shown, uint64_t us, uint64_t readEndUs);

  // The position at the precise time `us` (now by default), rate and delay applied.
  int32_t positionAt(uint64_t us, const ClockTiming& timing) const { return timing.apply(rawAt(us)); }
  int32_t positionNow(const ClockTiming& timing) const { return positionAt(time_.nowUs(), timing); }
  // The player's own position at `us`.
  int64_t rawAt(uint64_t us) const;

  // Microseconds from `us` until the next fine read is due (0: now), or -1 when the coarse ticks
  // suffice (paused, nothing read yet, or the expected change's window has passed).
  int64_t untilFineReadUs(uint64_t us) const;

  bool recordValid() const { return recordValid_; }
  bool phaseKnown() const { return phaseKnown_; }
  bool playing() const { return playing_; }
  int32_t secondsByte() const { return secondsByte_; }
  uint64_t nowUs() const { return time_.nowUs(); }

  // How finely a change must be bracketed for its instant to count as known, how far around
  // the expected change fine reads go (after it, beyond a frame of a player that shows its
  // clock with its frames at 50 a second), and how far apart they are.
  static constexpr uint64_t kKnownBracketUs = 4'000;
  static constexpr int64_t kWindowUs = 22'000;
  static constexpr int64_t kFineStepUs = 2'000;
  static constexpr int64_t kLongGapUs = 1'500'000;
  // A change later than predicted by up to kMaxLagUs counts as the player's lag (a frame of a
  // 24 fps film is 42 ms); the prediction follows it by at most kCreepUs per change.
  static constexpr int64_t kMaxLagUs = 50'000;
  static constexpr int64_t kCreepUs = 250;

 private:
  uint64_t expectedChangeUs() const;
  void learnChange(uint64_t lastReadUs, uint64_t us, int64_t digitsMs);

  const MemoryReader& memory_;
  const PreciseTimeSource& time_;
  uint32_t runPid_ = 0;
  bool haveSample_ = false;
  int64_t digitsMs_ = 0;     // what the digits showed at the last read
  int32_t secondsByte_ = 0;
  bool recordValid_ = false;
  bool playing_ = false;
  bool phaseKnown_ = false;
  uint64_t lastReadUs_ = 0;
  // While playing the position is baseMs_ at baseUs_; while paused it is held at baseMs_.
  int64_t baseMs_ = 0;
  uint64_t baseUs_ = 0;
};

}  // namespace quorvane
