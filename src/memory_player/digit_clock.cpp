#include "memory_player/digit_clock.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace quorvane {
namespace {

int32_t saturateToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

int32_t DigitClock::update(const ClockInputs& in) {
  // The whole record in one read: the change detector, the digits and the playing flag all come
  // from one moment of the player's display, and a tick costs one call into the player.
  const std::vector<uint8_t> record = memory_.readBytes(in.playerPid, in.recordBase, player::recordLength);
  const uint32_t now = ticks_.now();
  secondsByte_ = static_cast<int32_t>(player::recordByte(record, player::secondsOffset));
  recordValid_ = player::recordValid(record);
  // A failed or impossible read tells nothing: the clock goes on as if the display had not
  // changed (whoever reads the clock decides how long that may last).
  const bool playing = recordValid_ ? player::playingFlag(record) != 0 : playing_;
  // All five digit bytes are the change detector: a seek by whole tens of seconds keeps the
  // seconds digit, and during a pause it would otherwise never be seen.
  int64_t digits = lastDigits_;
  if (recordValid_) {
    digits = 0;
    for (const uint32_t offset : {player::hoursOffset, player::tensOfMinutesOffset, player::minutesOffset,
                                  player::tensOfSecondsOffset, player::secondsOffset}) {
      digits = digits << 8 | player::recordByte(record, offset);
    }
  }
  playing_ = playing;

  if (digits == lastDigits_) {
    if (!playing) {
      // Paused: hold where playback stopped (but never past the second the display shows), and
      // move the reference along so that play resumes from here. Falling back to the whole
      // second would bring the previous cue back for the whole pause.
      positionMs_ = std::min(positionMs_, secondEndMs_);
      lastPositionMs_ = positionMs_;
      sampleTick_ = now;
    } else {
      // The unsigned difference stays right when the tick count wraps between the two samples.
      const uint32_t elapsedMs = now - sampleTick_;
      const int64_t scaledMs =
          timing_.rate == 1.0 ? int64_t{elapsedMs} : std::llround(static_cast<double>(elapsedMs) * timing_.rate);
      positionMs_ = saturateToInt32(int64_t{lastPositionMs_} + scaledMs);
    }
    return positionMs_;
  }

  sampleTick_ = now;
  // Held within 32 bits, so that neither odd digits nor an extreme delay can overflow.
  timing_ = in.timing();
  const int64_t shownMs = player::shownPositionMs(record);
  lastPositionMs_ = timing_.apply(shownMs);
  secondEndMs_ = timing_.apply(shownMs + 999);
  positionMs_ = lastPositionMs_;
  lastDigits_ = digits;
  return positionMs_;
}

int32_t DigitClock::rawMs() const {
  const double raw = timing_.rawOf(positionMs_);
  return saturateToInt32(std::llround(raw));
}

}  // namespace quorvane
