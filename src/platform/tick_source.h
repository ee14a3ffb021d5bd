#pragma once

#include <cstdint>

namespace quorvane {

// The system's millisecond tick count (GetTickCount): wraps around after about 49.7 days.
class TickSource {
 public:
  virtual ~TickSource() = default;
  virtual uint32_t now() const = 0;
};

}  // namespace quorvane
