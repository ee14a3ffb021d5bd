#pragma once

#include <cstdint>

namespace quorvane {

// What a clock source knows of the film at one moment.
struct ClockReading {
  int32_t positionMs = 0;    // the film's position, the delay taken off; may be negative
  uint64_t atUs = 0;         // the precise counter's value the position belongs to
  bool hasPosition = false;  // false: nothing to show (nothing read yet, or the source is silent)
  bool playing = false;
  bool gone = false;         // the source will not answer again (the player's process ended)
};

// Where a subtitle run takes the film's position from: the player's memory, and later other
// sources. The run, the scheduler and the overlay do not know which one they follow.
class ClockSource {
 public:
  virtual ~ClockSource() = default;

  // Asks the source now: a 50 ms tick, or a read between ticks that untilReadUs() asked for.
  virtual ClockReading read(int32_t delayMs) = 0;
  // What the last reads give for the counter value `us`, without asking the source.
  virtual ClockReading at(uint64_t us, int32_t delayMs) const = 0;
  // Microseconds from `us` until the source wants a read between ticks; -1 when ticks suffice.
  virtual int64_t untilReadUs(uint64_t us) const = 0;
  virtual uint64_t nowUs() const = 0;

  // Precise timing: the source learns the position to the millisecond where it can.
  virtual void setPrecise(bool on) = 0;
  virtual bool precise() const = 0;
};

}  // namespace quorvane
