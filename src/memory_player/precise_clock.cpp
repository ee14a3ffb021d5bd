#include "memory_player/precise_clock.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "memory_player/record_layout.h"

namespace quorvane {

void PreciseClock::beginRun(uint32_t playerPid) {
  if (playerPid != runPid_) restart();
  runPid_ = playerPid;
}

void PreciseClock::restart() {
  haveSample_ = false;
  phaseKnown_ = false;
}

int64_t PreciseClock::rawAt(uint64_t us) const {
  if (!playing_) return baseMs_;
  const int64_t raw = baseMs_ + std::max<int64_t>(0, elapsedUs(baseUs_, us)) / 1000;
  // Never outside the second the digits show: a stalled player, a change overdue or a jump of
  // the precise clock (a suspended system) holds at its end until the next read.
  return std::clamp(raw, digitsMs_, digitsMs_ + 999);
}

// When the digits should next change, if the player plays on.
uint64_t PreciseClock::expectedChangeUs() const {
  return baseUs_ + static_cast<uint64_t>((digitsMs_ + 1000 - baseMs_) * 1000);
}

// The digits went on by one second after the last read began (`lastReadUs`) and before this
// one ended (`us`). A player shows a second's change at its boundary or later, never earlier:
// it paints its clock with the next frame, or its thread wakes late. So the earliest change
// seen is the best estimate of the boundary: a change that comes before the prediction moves it
// there at once, one that comes after moves it by at most kCreepUs a second (enough to follow a
// player whose clock runs a little slow), and only a change far later than any frame, or one
// seen too coarsely, makes the clock learn the phase again.
void PreciseClock::learnChange(uint64_t lastReadUs, uint64_t us, int64_t digitsMs) {
  const int64_t bracket = elapsedUs(lastReadUs, us);
  const bool fine = bracket >= 0 && static_cast<uint64_t>(bracket) <= kKnownBracketUs;
  const uint64_t expected = expectedChangeUs();
  baseMs_ = digitsMs;
  if (phaseKnown_ && playing_) {
    const int64_t lateUs = elapsedUs(expected, lastReadUs);
    if (elapsedUs(expected, us) < 0) {
      // Earlier than predicted: the boundary is no later than this read's end. Seen coarsely
      // (before the fine reads began), the phase is learnt again from here.
      baseUs_ = us;
      phaseKnown_ = fine;
      return;
    }
    if (elapsedUs(expected, us) >= 0 && lateUs <= kMaxLagUs) {
      baseUs_ = expected + static_cast<uint64_t>(std::clamp<int64_t>(lateUs, 0, kCreepUs));
      return;
    }
  }
  if (fine) {
    baseUs_ = us;
    phaseKnown_ = true;
  } else {
    // Seen only coarsely: the middle of what is known, and learn again.
    baseUs_ = us - static_cast<uint64_t>(std::max<int64_t>(0, bracket) / 2);
    phaseKnown_ = false;
  }
}

void PreciseClock::read(const ClockInputs& in) {
  const uint64_t us = time_.nowUs();
  const std::vector<uint8_t> record = memory_.readBytes(in.playerPid, in.recordBase, player::recordLength);
  // The record was taken somewhere between `us` and now: under load a read can wait for the
  // system for milliseconds, so a change is bracketed from the last read's start to this one's end.
  const uint64_t readEndUs = time_.nowUs();
  secondsByte_ = static_cast<int32_t>(player::recordByte(record, player::secondsOffset));
  take(shownTimeOfRecord(record), us, readEndUs);
}

void PreciseClock::take(const ShownTime& shown, uint64_t us, uint64_t readEndUs) {
  recordValid_ = shown.valid;
  if (!recordValid_) return;
  const int64_t digits = shown.shownMs;
  const bool playing = shown.playing;
  const uint64_t lastReadUs = lastReadUs_;
  lastReadUs_ = us;

  if (!haveSample_) {
    haveSample_ = true;
    digitsMs_ = baseMs_ = digits;
    baseUs_ = us;
    playing_ = playing;
    phaseKnown_ = false;
    return;
  }

  if (elapsedUs(lastReadUs, us) > kLongGapUs) {
    // No read for long (a suspended system, a hung program): where in its second the player
    // is, is unknown. Start from the shown second, taken as just begun, and learn again.
    baseMs_ = digitsMs_ = digits;
    baseUs_ = us;
    playing_ = playing;
    phaseKnown_ = false;
    return;
  }

  if (digits == digitsMs_) {
    if (playing_ && !playing) {
      // Paused somewhere between the two reads: hold the position of their middle.
      baseMs_ = rawAt(us - static_cast<uint64_t>(std::max<int64_t>(0, elapsedUs(lastReadUs, us)) / 2));
    } else if (!playing_ && playing) {
      // Resumed between the two reads: go on from the held position. Where the next change
      // falls depends on where the pause stopped, so learn it again.
      baseUs_ = us - static_cast<uint64_t>(std::max<int64_t>(0, elapsedUs(lastReadUs, us)) / 2);
      phaseKnown_ = false;
    }
    playing_ = playing;
    return;
  }

  if (playing && digits == digitsMs_ + 1000) {
    if (!playing_) phaseKnown_ = false;  // resumed and crossed a second between the two reads
    learnChange(lastReadUs, readEndUs, digits);
  } else if (playing && playing_ && (digits / 1000) % 10 == (digitsMs_ / 1000) % 10) {
    // A seek that keeps the seconds digit (a jump of whole tens of seconds) keeps the fraction.
    baseMs_ += digits - digitsMs_;
  } else {
    // A seek, a missed change, or a pause right at a change: the digits are all that is known.
    baseMs_ = digits;
    baseUs_ = us;
    phaseKnown_ = false;
  }
  digitsMs_ = digits;
  playing_ = playing;
}

int64_t PreciseClock::untilFineReadUs(uint64_t us) const {
  if (!haveSample_ || !playing_) return -1;
  const int64_t untilStep = std::max<int64_t>(0, kFineStepUs - elapsedUs(lastReadUs_, us));
  if (!phaseKnown_) return untilStep;
  const int64_t untilExpected = elapsedUs(us, expectedChangeUs());
  if (untilExpected > kWindowUs) return untilExpected - kWindowUs;
  if (untilExpected >= -kWindowUs) return untilStep;
  return -1;  // the change did not come in its window: the next tick's read will tell
}

}  // namespace quorvane
