#include "sync/clock_source.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvane {

int32_t ClockTiming::apply(int64_t rawMs) const {
  // A rate of exactly 1 keeps the integer arithmetic, so that a run without two-point sync
  // gives the very positions it gave before rates existed.
  const double scaled = rate == 1.0 ? static_cast<double>(rawMs) : std::llround(static_cast<double>(rawMs) * rate);
  const double p = scaled - delayMs;
  return static_cast<int32_t>(std::clamp<double>(p, std::numeric_limits<int32_t>::min(),
                                                 std::numeric_limits<int32_t>::max()));
}

}  // namespace quorvane
