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

ShownTime shownTimeOfRecord(const std::vector<uint8_t>& record) {
  ShownTime shown;
  shown.valid = player::recordValid(record);
  if (!shown.valid) return shown;
  shown.shownMs = player::shownPositionMs(record);
  shown.playing = player::playingFlag(record) != 0;
  // All five digit bytes are the change detector: a seek by whole tens of seconds keeps the
  // seconds digit, and during a pause it would otherwise never be seen.
  for (const uint32_t offset : {player::hoursOffset, player::tensOfMinutesOffset, player::minutesOffset,
                                player::tensOfSecondsOffset, player::secondsOffset}) {
    shown.changeKey = shown.changeKey << 8 | player::recordByte(record, offset);
  }
  return shown;
}

int32_t DigitClock::update(const ClockInputs& in) {
  // The whole record in one read: the change detector, the digits and the playing flag all come
  // from one moment of the player's display, and a tick costs one call into the player.
  const std::vector<uint8_t> record = memory_.readBytes(in.playerPid, in.recordBase, player::recordLength);
  secondsByte_ = static_cast<int32_t>(player::recordByte(record, player::secondsOffset));
  return take(shownTimeOfRecord(record), in.timing());
}

int32_t DigitClock::take(const ShownTime& shown, const ClockTiming& timing) {
  const uint32_t now = ticks_.now();
  recordValid_ = shown.valid;
  // A failed or impossible read tells nothing: the clock goes on as if the display had not
  // changed (whoever reads the clock decides how long that may last).
  const bool playing = recordValid_ ? shown.playing : playing_;
  const int64_t key = recordValid_ ? shown.changeKey : lastKey_;
  playing_ = playing;

  if (key == lastKey_) {
    if (!playing) {
      // Paused: hold where playback stopped (but never past the step the value shows: the
      // display's second), and move the reference along so that play resumes from here.
      // Falling back to the whole second would bring the previous cue back for the whole pause.
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
  timing_ = timing;
  const int64_t shownMs = shown.shownMs;
  lastPositionMs_ = timing_.apply(shownMs);
  secondEndMs_ = timing_.apply(shownMs + std::max<int64_t>(1, shown.stepMs) - 1);
  positionMs_ = lastPositionMs_;
  lastKey_ = key;
  return positionMs_;
}

int32_t DigitClock::rawMs() const {
  const double raw = timing_.rawOf(positionMs_);
  return saturateToInt32(std::llround(raw));
}

}  // namespace quorvane
