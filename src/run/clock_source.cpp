#include "run/clock_source.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvane {

int32_t ClockTiming::apply(int64_t rawMs) const {
  // A rate of exactly 1 keeps the integer arithmetic, so that a run without two-point sync
  // gives the very positions it gave before rates existed.
  const double p = rate == 1.0 ? static_cast<double>(rawMs - delayMs)
                                 : std::llround(static_cast<double>(rawMs - delayMs + kStoredLeadMs) * rate) -
                                       double{kStoredLeadMs};
  return static_cast<int32_t>(std::clamp<double>(p, std::numeric_limits<int32_t>::min(),
                                                 std::numeric_limits<int32_t>::max()));
}

int64_t ClockTiming::rawFor(int64_t fileMs) const {
  // The first position that reaches `fileMs`, so that a jump to a line's start shows the line:
  // rounding must not land a millisecond short.
  int64_t raw = std::llround(rawOf(static_cast<double>(fileMs)));
  for (int i = 0; i < 4 && apply(raw) < fileMs; ++i) ++raw;
  for (int i = 0; i < 4 && apply(raw - 1) >= fileMs; ++i) --raw;
  return raw;
}

}  // namespace quorvane

namespace quorvane {

double ClockTiming::rawOf(double positionMs) const {
  if (rate == 1.0) return positionMs + delayMs;
  return (positionMs + kStoredLeadMs) / rate - kStoredLeadMs + delayMs;
}

}  // namespace quorvane
