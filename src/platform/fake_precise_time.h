#pragma once

#include "platform/precise_time.h"

namespace quorvane {

// A precise clock that moves only when a test moves it.
class FakePreciseTime final : public PreciseTimeSource {
 public:
  uint64_t nowUs() const override { return us; }
  void advanceMs(int64_t ms) { us += static_cast<uint64_t>(ms * 1000); }
  uint64_t us = 5'000'000'000;
};

}  // namespace quorvane
