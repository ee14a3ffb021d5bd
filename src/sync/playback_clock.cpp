#include "sync/playback_clock.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace quorvane {
namespace {

int32_t saturateToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// A byte beyond the end of the block reads as 0, so a failed (empty) read gives 0 everywhere.
int64_t byteAt(const std::vector<uint8_t>& block, uint32_t offset) {
  return offset < block.size() ? block[offset] : 0;
}

// The playing flag, or -1 (which counts as playing) when the read failed.
int32_t flagOf(const std::vector<uint8_t>& record) {
  if (record.size() < player::recordLength) return -1;
  uint32_t flag = 0;
  for (int i = 3; i >= 0; --i) flag = flag << 8 | record[player::playingFlagOffset + static_cast<uint32_t>(i)];
  return static_cast<int32_t>(flag);
}

}  // namespace

int32_t PlaybackClock::update(const ClockInputs& in) {
  // The whole record in one read: the change detector, the digits and the playing flag all come
  // from one moment of the player's display, and a tick costs one call into the player. A failed
  // read gives the readers' fallbacks: 0 for every byte, -1 for the flag.
  const std::vector<uint8_t> record = memory_.readBytes(in.playerPid, in.recordBase, player::recordLength);
  const uint32_t now = ticks_.now();
  const int32_t sample = static_cast<int32_t>(byteAt(record, player::secondsOffset));
  secondsByte_ = sample;
  // All five digit bytes are the change detector: a seek by whole tens of seconds keeps the
  // seconds digit, and during a pause it would otherwise never be seen.
  int64_t digits = 0;
  for (const uint32_t offset : {player::hoursOffset, player::tensOfMinutesOffset, player::minutesOffset,
                                player::tensOfSecondsOffset, player::secondsOffset}) {
    digits = digits << 8 | byteAt(record, offset);
  }

  if (digits == lastDigits_) {
    if (flagOf(record) == 0) {
      // Paused: hold where playback stopped (but never past the second the display shows), and
      // move the reference along so that play resumes from here. Falling back to the whole
      // second would bring the previous cue back for the whole pause.
      positionMs_ = std::min(positionMs_, secondEndMs_);
      lastPositionMs_ = positionMs_;
      sampleTick_ = now;
    } else {
      // The unsigned difference stays right when the tick count wraps between the two samples.
      const uint32_t elapsedMs = now - sampleTick_;
      positionMs_ = saturateToInt32(int64_t{lastPositionMs_} + elapsedMs);
    }
    return positionMs_;
  }

  sampleTick_ = now;
  // Any byte gives a value here (a failed read gives digits of -1); the sums are formed in
  // 64 bits and held within 32, so neither odd digits nor an extreme delay can overflow.
  const int64_t hours = byteAt(record, player::hoursOffset) - 1;
  const int64_t minutes =
      10 * byteAt(record, player::tensOfMinutesOffset) + byteAt(record, player::minutesOffset) - 11;
  const int64_t seconds = 10 * byteAt(record, player::tensOfSecondsOffset) + sample - 11;
  const int64_t positionMs = hours * 3'600'000 + minutes * 60'000 + seconds * 1'000 - in.delayMs;
  lastPositionMs_ = saturateToInt32(positionMs);
  secondEndMs_ = saturateToInt32(positionMs + 999);
  positionMs_ = lastPositionMs_;
  lastDigits_ = digits;
  return positionMs_;
}

}  // namespace quorvane
