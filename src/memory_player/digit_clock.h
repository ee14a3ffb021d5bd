#pragma once

#include <cstdint>
#include <vector>

#include "platform/tick_source.h"
#include "run/clock_source.h"
#include "memory_player/memory_reader.h"
#include "memory_player/record_layout.h"

namespace quorvane {

// Where the player's time record is and which delay applies: set by Select and Start (the
// player) and by the delay box (the delay), read by the clock on every tick.
struct ClockInputs {
  uint32_t playerPid = 0;
  uint64_t recordBase = 0;  // address of the time record (the located address + 744)
  int32_t delayMs = 0;      // positive shows the subtitles later
  double rate = 1.0;        // line sync's film rate: applied after the delay (see ClockTiming)
  ClockTiming timing() const { return {delayMs, rate}; }
};

// One reading of what a player shows, from its time record or from a value learnt in its memory.
struct ShownTime {
  bool valid = false;    // read whole, and as a running player keeps it
  int64_t shownMs = 0;   // the whole seconds shown
  bool playing = false;
  int64_t changeKey = 0;  // what tells a change: the record's five digit bytes, else shownMs
  int64_t stepMs = 1000;  // how long one shown value lasts while playing: a pause holds within it
};

// What the record read gives; an empty or short read is not valid.
ShownTime shownTimeOfRecord(const std::vector<uint8_t>& record);

// Turns the player's on-screen time digits into a position in milliseconds. The digits change
// once a second; between two changes the system tick count fills in while the player plays.
// Each tick reads the whole record once; a change of any digit byte is a change.
class DigitClock {
 public:
  DigitClock(const MemoryReader& memory, const TickSource& ticks)
      : memory_(memory), ticks_(ticks) {}

  // One tick: samples the player's record and returns the new position (also positionMs()).
  int32_t update(const ClockInputs& inputs);
  // One tick on a reading taken elsewhere, with the delay and rate of this moment.
  int32_t take(const ShownTime& shown, const ClockTiming& timing);

  // A new run. The clock's state carries over from the last run, except when the player is
  // another process: then the next update takes the digits as a change whatever they
  // show, so the run never extrapolates from another player's clock (nor keeps its
  // position while a paused new player's digits stay put).
  void beginRun(uint32_t playerPid) {
    if (playerPid != runPid_) restart();
    runPid_ = playerPid;
  }

  // Starts the clock afresh: the next readable record counts as a change whatever it shows,
  // as for another player.
  void restart() { lastKey_ = kNoSample; }

  // Whether the last read gave a record as a running player keeps it. After a failed or
  // impossible read the clock goes on as if the digits had not changed.
  bool recordValid() const { return recordValid_; }
  bool playing() const { return playing_; }

  // The seconds-units byte as last read: 0 when the read failed (a running player stores each
  // digit plus 1, so it never shows 0).
  int32_t secondsByte() const { return secondsByte_; }

  int32_t positionMs() const { return positionMs_; }
  // The player's own position, before the rate and the delay taken at the last change.
  int32_t rawMs() const;

 private:
  static constexpr int64_t kNoSample = -1;  // never a key of a valid reading

  const MemoryReader& memory_;
  const TickSource& ticks_;
  int64_t lastKey_ = 0;  // the change key at the last change
  uint32_t sampleTick_ = 0;  // tick count at the last change, or at the last paused tick
  int32_t lastPositionMs_ = 0;  // position at the last change (or pause), delay applied
  int32_t secondEndMs_ = 0;     // the last millisecond of the step the value shows
  int32_t positionMs_ = 0;
  ClockTiming timing_;      // the delay and rate taken at the last change
  int32_t secondsByte_ = 0;
  bool recordValid_ = false;
  bool playing_ = false;  // the flag of the last readable record
  uint32_t runPid_ = 0;
};

}  // namespace quorvane
