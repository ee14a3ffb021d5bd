#include "run/free_clock.h"

#include <algorithm>
#include <iterator>

namespace quorvane {

void FreeClock::reset(int64_t positionMs) {
  playing_ = false;
  baseMs_ = std::clamp<int64_t>(positionMs, 0, endMs_);
  baseUs_ = time_.nowUs();
}

void FreeClock::play() {
  if (playing_) return;
  baseUs_ = time_.nowUs();
  playing_ = true;
}

void FreeClock::pause() {
  if (!playing_) return;
  const uint64_t now = time_.nowUs();
  baseMs_ = positionAt(now);
  baseUs_ = now;
  playing_ = false;
}

void FreeClock::seek(int64_t positionMs) {
  baseMs_ = std::clamp<int64_t>(positionMs, 0, endMs_);
  baseUs_ = time_.nowUs();
}

int64_t FreeClock::positionAt(uint64_t us) const {
  if (!playing_) return baseMs_;
  // The unsigned difference stays right across a wrap of the counter; an instant before the
  // base (a moment computed from an older reading) holds at the base.
  const int64_t sinceBaseUs = elapsedUs(baseUs_, us);
  return baseMs_ + std::max<int64_t>(0, sinceBaseUs) / 1000;
}

ClockReading FreeClock::at(uint64_t us, const ClockTiming& timing) const {
  ClockReading reading;
  const int64_t raw = positionAt(us);
  reading.rawMs = static_cast<int32_t>(std::min<int64_t>(raw, INT32_MAX));
  reading.positionMs = timing.apply(raw);
  reading.atUs = us;
  reading.hasPosition = true;
  reading.playing = playing_;
  return reading;
}

std::optional<int32_t> nextLineStart(const CueTable& table, int32_t positionMs) {
  const auto end = table.cues.begin() + table.cueCount;
  const auto next = std::upper_bound(table.cues.begin(), end, positionMs,
                                     [](int32_t p, const Cue& cue) { return p < cue.startMs; });
  if (next == end) return std::nullopt;
  return next->startMs;
}

std::optional<int32_t> previousLineStart(const CueTable& table, int32_t positionMs) {
  const int64_t before = int64_t{positionMs} - kPreviousSlackMs;
  const auto end = table.cues.begin() + table.cueCount;
  const auto after = std::partition_point(table.cues.begin(), end, [before](const Cue& cue) { return cue.startMs < before; });
  if (after == table.cues.begin()) return std::nullopt;
  return std::prev(after)->startMs;
}

}  // namespace quorvane
