#include "memory_player/shown_time_clock.h"

namespace quorvane {

void ShownTimeClock::follow(uint32_t pid, bool samePlace) {
  if (!samePlace) {
    gone_ = false;
    silent_ = false;
    if (pid != pid_) hasPosition_ = false;
  }
  pid_ = pid;
  tickClock_.beginRun(pid);
  preciseClock_.beginRun(pid);
}

ClockReading ShownTimeClock::read(const ClockTiming& timing) {
  if (!gone_ && located()) {
    bool valid = false;
    if (precise_) {
      // The value was taken somewhere between the two moments: a change is bracketed by them.
      const uint64_t us = time_.nowUs();
      const ShownTime shown = readShown();
      preciseClock_.take(shown, us, time_.nowUs());
      valid = shown.valid;
    } else {
      const ShownTime shown = readShown();
      tickClock_.take(shown, timing);
      valid = shown.valid;
    }
    if (valid) {
      silent_ = false;
      hasPosition_ = true;
    } else if (!memory_.isRunning(pid_)) {
      gone_ = true;
    } else if (!silent_) {
      silent_ = true;
      silentSinceMs_ = nowMs();
    } else if (hasPosition_ && nowMs() - silentSinceMs_ >= kSilenceMs) {
      // Whatever the player shows when it reads again is a new start, not a change.
      hasPosition_ = false;
      tickClock_.restart();
      preciseClock_.restart();
    }
  }
  return at(time_.nowUs(), timing);
}

ClockReading ShownTimeClock::at(uint64_t us, const ClockTiming& timing) const {
  ClockReading reading;
  reading.atUs = us;
  reading.gone = gone_ || !located();
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

int64_t ShownTimeClock::untilReadUs(uint64_t us) const {
  if (!precise_ || gone_ || !hasPosition_) return -1;
  return preciseClock_.untilFineReadUs(us);
}

}  // namespace quorvane
