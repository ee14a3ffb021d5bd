#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/subtitle_run.h"

namespace quorvane {

// Timers that only remember what the run asked for; the test fires them by hand.
class FakeRunTimers final : public RunTimers {
 public:
  bool startTicks() override {
    log.push_back("ticks on");
    return ticksStart;
  }
  void stopTicks() override { log.push_back("ticks off"); }
  void armMoment(int64_t us, uint32_t armedToken) override {
    untilUs = us;
    token = armedToken;
  }
  void disarmMoment() override { untilUs = -1; }
  void settle(uint32_t ms) override { log.push_back("settle " + std::to_string(ms)); }

  bool ticksStart = true;     // whether the tick timer can be started
  int64_t untilUs = -1;       // the armed moment, -1 when none is
  uint32_t token = 0;
  std::vector<std::string> log;
};

}  // namespace quorvane
