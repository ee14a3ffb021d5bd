#include "memory_player/player_memory_clock.h"

namespace quorvane {

void PlayerMemoryClock::setPlayer(const PlayerLocation& player) {
  if (player.playerPid != player_.playerPid || player.recordBase != player_.recordBase) {
    gone_ = false;
    silent_ = false;
    if (player.playerPid != player_.playerPid) hasPosition_ = false;
  }
  player_ = player;
  tickClock_.beginRun(player.playerPid);
  preciseClock_.beginRun(player.playerPid);
}

ClockReading PlayerMemoryClock::read(const ClockTiming& timing) {
  if (!gone_ && player_.located()) {
    const ClockInputs in{player_.playerPid, player_.recordBase, timing.delayMs, timing.rate};
    bool valid = false;
    if (precise_) {
      preciseClock_.read(in);
      valid = preciseClock_.recordValid();
    } else {
      tickClock_.update(in);
      valid = tickClock_.recordValid();
    }
    if (valid) {
      silent_ = false;
      hasPosition_ = true;
    } else if (!memory_.isRunning(player_.playerPid)) {
      gone_ = true;
    } else if (!silent_) {
      silent_ = true;
      silentSinceMs_ = nowMs();
    } else if (hasPosition_ && nowMs() - silentSinceMs_ >= kSilenceMs) {
      // Whatever the record shows when it reads again is a new start, not a change.
      hasPosition_ = false;
      tickClock_.restart();
      preciseClock_.restart();
    }
  }
  return at(time_.nowUs(), timing);
}

ClockReading PlayerMemoryClock::at(uint64_t us, const ClockTiming& timing) const {
  ClockReading reading;
  reading.atUs = us;
  reading.gone = gone_ || !player_.located();
  reading.hasPosition = hasPosition_ && !reading.gone;
  if (precise_) {
    reading.positionMs = preciseClock_.positionAt(us, timing);
    reading.rawMs = static_cast<int32_t>(preciseClock_.rawAt(us));
    reading.playing = preciseClock_.playing();
  } else {
    reading.positionMs = tickClock_.positionMs();
    reading.rawMs = tickClock_.rawMs();
    reading.playing = tickClock_.playing();
  }
  return reading;
}

int64_t PlayerMemoryClock::untilReadUs(uint64_t us) const {
  if (!precise_ || gone_ || !hasPosition_) return -1;
  return preciseClock_.untilFineReadUs(us);
}

}  // namespace quorvane
