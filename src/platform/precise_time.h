#pragma once

#include <cstdint>

namespace quorvane {

// A monotonic clock in microseconds (QueryPerformanceCounter on Windows). Readers take
// differences in unsigned arithmetic, so a count that wraps stays right.
class PreciseTimeSource {
 public:
  virtual ~PreciseTimeSource() = default;
  virtual uint64_t nowUs() const = 0;
};

const PreciseTimeSource& systemPreciseTimeSource();

// Microseconds from `from` to `to` on the counter, in unsigned arithmetic so that a wrap stays
// right; negative when `to` is earlier.
inline int64_t elapsedUs(uint64_t from, uint64_t to) { return static_cast<int64_t>(to - from); }

}  // namespace quorvane
