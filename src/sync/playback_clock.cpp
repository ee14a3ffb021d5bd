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

}  // namespace

int32_t PlaybackClock::update(const ClockInputs& in) {
  const int32_t sample = memory_.readByte(in.playerPid, in.recordBase + player::secondsOffset);
  const uint32_t now = ticks_.now();
  secondsByte_ = sample;

  if (sample == lastSample_) {
    const int32_t playing = memory_.readInt32(in.playerPid, in.recordBase + player::playingFlagOffset);
    if (playing == 0) {
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
  const std::vector<uint8_t> block = memory_.readBytes(in.playerPid, in.recordBase, kDigitBlockLength);
  // Any byte gives a value here (a failed read gives digits of -1); the sums are formed in
  // 64 bits and held within 32, so neither odd digits nor an extreme delay can overflow.
  const int64_t hours = byteAt(block, player::hoursOffset) - 1;
  const int64_t minutes =
      10 * byteAt(block, player::tensOfMinutesOffset) + byteAt(block, player::minutesOffset) - 11;
  // The seconds digit comes from the block too; the byte read above only detected the change.
  const int32_t secondsUnits = block.empty() ? sample : block[player::secondsOffset];
  const int64_t seconds = 10 * byteAt(block, player::tensOfSecondsOffset) + secondsUnits - 11;
  const int64_t positionMs = hours * 3'600'000 + minutes * 60'000 + seconds * 1'000 - in.delayMs;
  lastPositionMs_ = saturateToInt32(positionMs);
  secondEndMs_ = saturateToInt32(positionMs + 999);
  positionMs_ = lastPositionMs_;
  lastSample_ = secondsUnits;
  return positionMs_;
}

}  // namespace quorvane
