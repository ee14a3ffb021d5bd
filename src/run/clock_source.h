#pragma once

#include <cstdint>

#include "loading/cue_table.h"

namespace quorvane {

// How a run maps a source's own position onto the subtitle file's time. The delay is taken
// off the source's position first and the rate scales what is left, so that a delay counts in
// the film's time at any rate (a delay key's 100 ms moves lines by 100 ms of film). The file's
// times are stored kStoredLeadMs early; the rate scales about the written times, so that the
// lead stays a fixed half second of film too. With rate 1 this is the position less the delay.
struct ClockTiming {
  ClockTiming(int32_t delay = 0, double scale = 1.0) : delayMs(delay), rate(scale) {}  // NOLINT: a delay is a timing
  int32_t delayMs;  // positive shows the subtitles later
  double rate;      // file milliseconds per millisecond of the source; 1 unless two-point sync set it
  // `rawMs` of the source in the file's time, held within 32 bits.
  int32_t apply(int64_t rawMs) const;
  // The first position of the source at which the file's time reaches `fileMs`.
  int64_t rawFor(int64_t fileMs) const;
  // The source's position at which apply() gives `positionMs`, unrounded: the inverse of apply.
  double rawOf(double positionMs) const;
  bool operator==(const ClockTiming& other) const { return delayMs == other.delayMs && rate == other.rate; }
};

// What a clock source knows of the film at one moment.
struct ClockReading {
  int32_t positionMs = 0;    // the film's position in the file's time (ClockTiming); may be negative
  int32_t rawMs = 0;         // the source's own position, before rate and delay
  uint64_t atUs = 0;         // the precise counter's value the position belongs to
  bool hasPosition = false;  // false: nothing to show (nothing read yet, or the source is silent)
  bool playing = false;
  bool gone = false;         // the source will not answer again (the player's process ended)
};

// Where a subtitle run takes the film's position from: the player's memory or the free clock. The run, the scheduler and the overlay do not know which one they follow.
class ClockSource {
 public:
  virtual ~ClockSource() = default;

  // Asks the source now: a 50 ms tick, or a read between ticks that untilReadUs() asked for.
  virtual ClockReading read(const ClockTiming& timing) = 0;
  // What the last reads give for the counter value `us`, without asking the source.
  virtual ClockReading at(uint64_t us, const ClockTiming& timing) const = 0;
  // Microseconds from `us` until the source wants a read between ticks; -1 when ticks suffice.
  virtual int64_t untilReadUs(uint64_t us) const = 0;
  virtual uint64_t nowUs() const = 0;

  // Precise timing: the source learns the position to the millisecond where it can.
  virtual void setPrecise(bool on) = 0;
  virtual bool precise() const = 0;
};

}  // namespace quorvane
