#pragma once

#include <cstdint>

namespace quorvane {

// The system's millisecond tick count (GetTickCount): wraps around after about 49.7 days.
class TickSource {
 public:
  virtual ~TickSource() = default;
  virtual uint32_t now() const = 0;
};

// The system's own tick count: GetTickCount on Windows, a monotonic clock in milliseconds
// (wrapping the same way) elsewhere.
const TickSource& systemTickSource();

}  // namespace quorvane
