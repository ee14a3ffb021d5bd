#include "run/line_sync.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace quorvane {
namespace {

// The delay under `rate` that has the line written at `fileMs` belong at the source's `rawMs`:
// it then shows the stored lead, half a second of film, before.
int32_t delayFor(double rawMs, int32_t fileMs, double rate) {
  const double delay = rawMs - ClockTiming{0, rate}.rawOf(fileMs - kStoredLeadMs) - kStoredLeadMs;
  return static_cast<int32_t>(std::clamp<double>(std::llround(delay), -99'999'999, 99'999'999));
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

LineSync::Fit LineSync::fit() const {
  Fit f;
  if (points_.empty()) return f;
  const int last = points_.back().segment;
  // Each segment's mean press: a cut shifts the offset, not the slope, so every sum below is
  // taken about its own segment's means.
  struct Mean {
    double raw = 0, file = 0;
  };
  std::vector<Mean> means(static_cast<size_t>(last) + 1);
  for (int segment = 0; segment <= last; ++segment) {
    int n = 0;
    double sumRaw = 0, sumFile = 0;
    int32_t lowRaw = 0, highRaw = 0;
    for (const Point& p : points_) {
      if (p.segment != segment) continue;
      lowRaw = n == 0 ? p.rawMs : std::min(lowRaw, p.rawMs);
      highRaw = n == 0 ? p.rawMs : std::max(highRaw, p.rawMs);
      ++n;
      sumRaw += p.rawMs;
      sumFile += p.fileMs;
    }
    if (n == 0) continue;
    const double meanRaw = sumRaw / n, meanFile = sumFile / n;
    means[static_cast<size_t>(segment)] = {meanRaw, meanFile};
    if (segment == last) {
      f.meanRaw = meanRaw;
      f.meanFile = meanFile;
      f.lastCount = n;
    }
    if (int64_t{highRaw} - lowRaw >= kMinSpanMs) f.hasRate = true;
    f.freedom += n - 1;
    for (const Point& p : points_) {
      if (p.segment != segment) continue;
      f.sxx += (p.fileMs - meanFile) * (p.fileMs - meanFile);
    }
  }
  if (!f.hasRate || f.sxx <= 0) {
    f.hasRate = false;
    return f;
  }
  double sxy = 0;
  for (const Point& p : points_) {
    const Mean& m = means[static_cast<size_t>(p.segment)];
    sxy += (p.fileMs - m.file) * (p.rawMs - m.raw);
  }
  f.slope = sxy / f.sxx;
  f.freedom -= 1;  // the slope
  // The residuals about each segment's line.
  for (const Point& p : points_) {
    const Mean& m = means[static_cast<size_t>(p.segment)];
    const double off = p.rawMs - (m.raw + f.slope * (p.fileMs - m.file));
    f.residuals += off * off;
  }
  return f;
}

LineSync::Result LineSync::press(int32_t rawMs, std::optional<int32_t> lineFileMs, const ClockTiming& current,
                                 bool playing, int32_t endFileMs) {
  Result result;
  result.timing = current;
  if (!lineFileMs) return result;
  if (!playing) {
    result.outcome = Outcome::Paused;
    return result;
  }
  const Point point{rawMs, *lineFileMs, segment_};
  for (const Point& p : points_) {
    if (p.segment == segment_ && p.fileMs == point.fileMs) {
      result.outcome = Outcome::RateRefused;
      result.rate = 0;
      return result;
    }
  }
  if (!points_.empty() && std::llabs(int64_t{rawMs} - points_.back().rawMs) < kDoublePressMs) {
    result.outcome = Outcome::DoublePress;
    return result;
  }

  // Far off the line the presses so far give: a cut. With one press of the segment and no
  // rate yet, a pair that would need an absurd rate is a cut as well.
  const Fit before = fit();
  bool cut = false;
  if (before.hasRate) {
    // Beside a person's timing, the fit's own uncertainty where it is carried to this line:
    // presses close together say little of where a line an hour later belongs.
    const double spread2 = (before.residuals + kPressSpreadMs * kPressSpreadMs) / (before.freedom + 1);
    const double reach = point.fileMs - before.meanFile;
    const double expectedError = std::sqrt(spread2 * (1.0 / before.lastCount + reach * reach / before.sxx));
    const double expectedRaw = before.meanRaw + before.slope * reach;
    cut = std::abs(rawMs - expectedRaw) > kCutMs + 3 * expectedError;
  } else if (!points_.empty() && std::llabs(int64_t{rawMs} - points_.back().rawMs) >= kMinSpanMs) {
    const Point& last = points_.back();
    const double rate = static_cast<double>(int64_t{point.fileMs} - last.fileMs) /
                        static_cast<double>(int64_t{point.rawMs} - last.rawMs);
    cut = !(rate >= kMinRate && rate <= kMaxRate);
  }
  if (cut) {
    points_.push_back({rawMs, *lineFileMs, ++segment_});
    result.outcome = Outcome::Cut;
    result.timing = {delayFor(rawMs, point.fileMs, current.rate), current.rate};
    return result;
  }

  points_.push_back(point);
  const Fit after = fit();
  if (!after.hasRate) {
    result.outcome = Outcome::Offset;
    result.timing = {delayFor(rawMs, point.fileMs, current.rate), current.rate};
    return result;
  }
  const double rate = 1.0 / after.slope;
  if (!(rate >= kMinRate && rate <= kMaxRate)) {
    points_.pop_back();
    result.outcome = Outcome::RateRefused;
    result.rate = rate;
    return result;
  }
  // The offset from the fitted line of this segment, where the press's own error averages out.
  const double fittedRaw = after.meanRaw + after.slope * (point.fileMs - after.meanFile);
  result.outcome = Outcome::OffsetAndRate;
  result.timing = {delayFor(fittedRaw, point.fileMs, rate), rate};
  // The presses' spread, with one assumed press of a person's spread so that two presses
  // (which fit exactly) still say how far off they may be; about two standard errors at the
  // file's end, of the slope carried there and of the segment's offset.
  const double spread2 = (after.residuals + kPressSpreadMs * kPressSpreadMs) / (after.freedom + 1);
  const double reach = std::max<double>(std::abs(endFileMs - after.meanFile), std::abs(point.fileMs - after.meanFile));
  const double slopeError = std::sqrt(spread2 / after.sxx) * reach;
  result.spreadMs = static_cast<int32_t>(std::llround(2 * std::sqrt(slopeError * slopeError + spread2 / after.lastCount)));
  return result;
}

}  // namespace quorvane
