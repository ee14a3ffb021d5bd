#include "sync/line_sync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quorvane {
namespace {

// The delay that puts `point` at the file time it belongs to under `rate`.
int32_t delayFor(int32_t rawMs, int32_t fileMs, double rate) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{ClockTiming{0, rate}.apply(rawMs)} - fileMs,
                                                  -99'999'999, 99'999'999));
}

}  // namespace

// A line is synced by the file's own time (its stored start plus the loader's lead), so that a
// press right on a well-timed file's line leaves the delay at 0.
std::optional<int32_t> LineSync::lineToSync(const CueTable& table, const CueScheduler& scheduler,
                                             int32_t positionMs) {
  if (scheduler.textShown() && scheduler.shownIndex() >= 1 && scheduler.shownIndex() <= table.cueCount) {
    return table.at(scheduler.shownIndex()).startMs + kStoredLeadMs;
  }
  const auto end = table.cues.begin() + table.cueCount;
  const auto next = std::upper_bound(table.cues.begin(), end, positionMs,
                                     [](int32_t p, const Cue& cue) { return p < cue.startMs; });
  if (next == end || int64_t{next->startMs} - positionMs > kNearMs) return std::nullopt;
  return next->startMs + kStoredLeadMs;
}

LineSync::Result LineSync::press(int32_t rawMs, std::optional<int32_t> lineFileMs, const ClockTiming& current) {
  Result result;
  result.timing = current;
  if (!lineFileMs) return result;
  const Point point{rawMs, *lineFileMs};
  if (anchor_ && anchor_->fileMs == point.fileMs) {
    result.outcome = Outcome::RateRefused;
    result.rate = 0;
    return result;
  }
  if (!anchor_ || std::llabs(int64_t{point.rawMs} - anchor_->rawMs) < kMinSpanMs) {
    anchor_ = point;
    result.outcome = Outcome::Offset;
    result.timing = {delayFor(point.rawMs, point.fileMs, current.rate), current.rate};
    return result;
  }
  const double rate = static_cast<double>(int64_t{point.fileMs} - anchor_->fileMs) /
                      static_cast<double>(int64_t{point.rawMs} - anchor_->rawMs);
  if (!(rate >= kMinRate && rate <= kMaxRate)) {
    result.outcome = Outcome::RateRefused;
    result.rate = rate;
    return result;
  }
  result.outcome = Outcome::OffsetAndRate;
  result.timing = {delayFor(point.rawMs, point.fileMs, rate), rate};
  return result;
}

}  // namespace quorvane
