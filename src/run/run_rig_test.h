#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "memory_player/fake_player_memory.h"
#include "memory_player/player_memory_clock.h"
#include "platform/fake_precise_time.h"
#include "platform/fake_tick_source.h"
#include "run/fake_run_timers.h"
#include "run/subtitle_run.h"

namespace quorvane {

// A run over the simulated memory-read player from 4 s into the film, playing, with the screen
// 1080 high, lines 48 high and the line's top at `baseTop`. The run's overlay writes its calls
// into `log`.
struct RunRig {
  using Calls = std::vector<std::string>;

  explicit RunRig(int32_t baseTop = 900) {
    memory.setPlaying(1);
    memory.setDigits(0, 0, 4);
    clock.setPlayer({FakePlayerMemory::kPid, FakePlayerMemory::kBase});
    run.setInputs({0, 120, baseTop, 1080, {48, 40}});
  }

  // One tick of the scheduler timer `ms` after the last: the overlay's calls meanwhile.
  Calls tickAfter(uint32_t ms) {
    ticks.nowMs += ms;
    time.advanceMs(ms);
    run.tick();
    return std::exchange(log, {});
  }

  FakePlayerMemory memory;
  FakeTicks ticks;
  FakePreciseTime time;
  PlayerMemoryClock clock{memory, ticks, time};
  FakeRunTimers timers;
  Calls log;  // before the run, whose overlay writes into it to its end
  SubtitleRun run{clock, &timers};
};

}  // namespace quorvane
