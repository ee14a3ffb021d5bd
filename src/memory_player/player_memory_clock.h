#pragma once

#include <cstdint>

#include "platform/precise_time.h"
#include "platform/tick_source.h"
#include "run/clock_source.h"
#include "memory_player/memory_reader.h"
#include "memory_player/digit_clock.h"
#include "memory_player/player_locator.h"
#include "memory_player/precise_clock.h"

namespace quorvane {

// The film's position from the time record in the player's memory: the tick clock that fills
// each second with the tick count, or, with precise timing, the clock that learns when the
// digits change. A record that cannot be read, or holds impossible digits, while the player's
// process lives is no position once that has lasted about a second; the clock then starts
// afresh when the record reads again. A player whose process has ended is gone.
class PlayerMemoryClock final : public ClockSource {
 public:
  // How long failed or impossible reads may last before the position counts as unknown.
  static constexpr uint32_t kSilenceMs = 1000;

  PlayerMemoryClock(const MemoryReader& memory, const TickSource& ticks,
                    const PreciseTimeSource& precise = systemPreciseTimeSource())
      : memory_(memory), ticks_(ticks), time_(precise), tickClock_(memory, ticks), preciseClock_(memory, precise) {}

  // Where the record is; each search sets it, found or not. Another player process starts the
  // clocks afresh; the same one carries them on, as from one run to the next.
  void setPlayer(const PlayerLocation& player);
  const PlayerLocation& player() const { return player_; }

  ClockReading read(const ClockTiming& timing) override;
  ClockReading at(uint64_t us, const ClockTiming& timing) const override;
  int64_t untilReadUs(uint64_t us) const override;
  uint64_t nowUs() const override { return time_.nowUs(); }
  void setPrecise(bool on) override { precise_ = on; }
  bool precise() const override { return precise_; }

 private:
  uint32_t nowMs() const { return precise_ ? static_cast<uint32_t>(time_.nowUs() / 1000) : ticks_.now(); }

  const MemoryReader& memory_;
  const TickSource& ticks_;
  const PreciseTimeSource& time_;
  DigitClock tickClock_;
  PreciseClock preciseClock_;
  PlayerLocation player_;
  bool precise_ = false;
  bool gone_ = false;
  bool hasPosition_ = false;  // a readable record since the clocks (re)started
  bool silent_ = false;       // reads have failed since silentSinceMs_
  uint32_t silentSinceMs_ = 0;
};

}  // namespace quorvane
