#pragma once

#include <cstdint>

#include "platform/tick_source.h"
#include "sync/memory_reader.h"
#include "sync/player_interface.h"

namespace quorvane {

// Where the player's time record is and which delay applies: set by Select and Start (the
// player) and by the delay box (the delay), read by the clock on every tick.
struct ClockInputs {
  uint32_t playerPid = 0;
  uint32_t recordBase = 0;  // address of the time record (the located address + 744)
  int32_t delayMs = 0;      // positive shows the subtitles later
};

// Turns the player's on-screen time digits into a position in milliseconds. The digits change
// once a second; between two changes the system tick count fills in while the player plays.
// The seconds-units byte is the change detector, so a tick costs two small reads and the whole
// digit record is read only about once a second.
class PlaybackClock {
 public:
  // The digit bytes before the seconds units, read together when that digit changes.
  static constexpr uint32_t kDigitBlockLength = player::tensOfSecondsOffset + 1;

  PlaybackClock(const MemoryReader& memory, const TickSource& ticks)
      : memory_(memory), ticks_(ticks) {}

  // One tick: samples the player's record and returns the new position (also positionMs()).
  int32_t update(const ClockInputs& inputs);

  // Makes the next update read the whole digit record whatever the seconds byte shows, so a new
  // run never extrapolates from the previous run's player (or a paused new player keeps the
  // previous run's position until its digits change).
  void beginRun() { lastSample_ = kNoSample; }

  int32_t positionMs() const { return positionMs_; }

 private:
  static constexpr int32_t kNoSample = -1;  // never equal to a byte read

  const MemoryReader& memory_;
  const TickSource& ticks_;
  int32_t lastSample_ = 0;  // seconds-units byte at the last change
  uint32_t sampleTick_ = 0;  // tick count at the last change, or at the last paused tick
  int32_t lastPositionMs_ = 0;  // position at the last change, delay already applied
  int32_t positionMs_ = 0;
};

}  // namespace quorvane
