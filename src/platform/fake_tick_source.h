#pragma once

#include "platform/tick_source.h"

namespace quorvane {

// A tick count that moves only when a test moves it.
class FakeTicks final : public TickSource {
 public:
  uint32_t now() const override { return nowMs; }
  uint32_t nowMs = 1'000'000;
};

}  // namespace quorvane
