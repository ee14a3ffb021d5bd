#include "sync/precise_clock.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "sync/player_interface.h"

namespace quorvane {
namespace {

// Differences of the precise clock in unsigned arithmetic, so that a wrap stays right.
int64_t elapsedUs(uint64_t from, uint64_t to) { return static_cast<int64_t>(to - from); }

}  // namespace

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

// The digits went on by one second between the last read and this one.
void PreciseClock::learnChange(uint64_t lastReadUs, uint64_t us, int64_t digitsMs) {
  const int64_t bracket = elapsedUs(lastReadUs, us);
  const uint64_t expected = expectedChangeUs();
  const bool asExpected = phaseKnown_ && playing_ && elapsedUs(lastReadUs, expected) >= -1000 &&
                          elapsedUs(expected, us) >= -1000;
  if (bracket >= 0 && static_cast<uint64_t>(bracket) <= kKnownBracketUs) {
    baseUs_ = us - static_cast<uint64_t>(bracket / 2);
    phaseKnown_ = true;
  } else if (asExpected) {
    // A coarse read of a change where it was expected: keep the finer prediction.
    baseUs_ = expected;
  } else {
    // Late, early or seen only coarsely: the middle of what is known, and learn again.
    baseUs_ = us - static_cast<uint64_t>(std::max<int64_t>(0, bracket) / 2);
    phaseKnown_ = false;
  }
  baseMs_ = digitsMs;
}

void PreciseClock::read(const ClockInputs& in) {
  const uint64_t us = time_.nowUs();
  const std::vector<uint8_t> record = memory_.readBytes(in.playerPid, in.recordBase, player::recordLength);
  recordValid_ = player::recordValid(record);
  secondsByte_ = static_cast<int32_t>(player::recordByte(record, player::secondsOffset));
  if (!recordValid_) return;
  const int64_t digits = player::shownPositionMs(record);
  const bool playing = player::playingFlag(record) != 0;
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
    // is, is unknown. Start from the shown second, as the tick-only clock does, and learn again.
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
    learnChange(lastReadUs, us, digits);
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
