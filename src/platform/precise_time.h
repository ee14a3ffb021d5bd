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

}  // namespace quorvane
