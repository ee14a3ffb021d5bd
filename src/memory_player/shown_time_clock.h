#pragma once

#include <cstdint>

#include "memory_player/digit_clock.h"
#include "memory_player/memory_reader.h"
#include "memory_player/precise_clock.h"
#include "platform/precise_time.h"
#include "platform/tick_source.h"
#include "run/clock_source.h"

namespace quorvane {

// The film's position from what a player shows in its memory, read on every tick: the tick
// clock that fills each second with the tick count, or, with precise timing, the clock that
// learns when the shown second changes. A reading that fails, or holds an impossible value,
// while the player's process lives is no position once that has lasted about a second; the
// clock then starts afresh when it reads again. A player whose process has ended is gone.
// Each kind of player says how its shown time is read.
class ShownTimeClock : public ClockSource {
 public:
  // How long failed or impossible reads may last before the position counts as unknown.
  static constexpr uint32_t kSilenceMs = 1000;

  ClockReading read(const ClockTiming& timing) override;
  ClockReading at(uint64_t us, const ClockTiming& timing) const override;
  int64_t untilReadUs(uint64_t us) const override;
  uint64_t nowUs() const override { return time_.nowUs(); }
  void setPrecise(bool on) override { precise_ = on; }
  bool precise() const override { return precise_; }

 protected:
  ShownTimeClock(const MemoryReader& memory, const TickSource& ticks, const PreciseTimeSource& precise)
      : memory_(memory), ticks_(ticks), time_(precise), tickClock_(memory, ticks), preciseClock_(memory, precise) {}

  // Reads what the player shows now.
  virtual ShownTime readShown() = 0;
  // Whether there is a player to read.
  virtual bool located() const = 0;

  // Each search calls this with what it found: another process, or another place in it, is
  // read afresh; another process also starts the clocks afresh, while the same one carries them
  // on, as from one run to the next.
  void follow(uint32_t pid, bool samePlace);
  uint32_t nowMs() const { return precise_ ? static_cast<uint32_t>(time_.nowUs() / 1000) : ticks_.now(); }

  const MemoryReader& memory_;

 private:
  const TickSource& ticks_;
  const PreciseTimeSource& time_;
  DigitClock tickClock_;
  PreciseClock preciseClock_;
  uint32_t pid_ = 0;
  bool precise_ = false;
  bool gone_ = false;
  bool hasPosition_ = false;  // a readable value since the clocks (re)started
  bool silent_ = false;       // reads have failed since silentSinceMs_
  uint32_t silentSinceMs_ = 0;
};

}  // namespace quorvane
