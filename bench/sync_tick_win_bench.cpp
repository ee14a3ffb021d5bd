// What one tick of the scheduler timer costs against a running simulated player (the clock's
// read of the player's record plus the scheduler step), and what share of one core a 50 ms tick loop
// takes over a stretch of play.
//
//   sync_tick_win_bench [SECONDS]       length of the tick loop (default 60)

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_clock_win.h"
#include "build_architecture.h"
#include "loading/cue_table.h"
#include "overlay/overlay.h"
#include "platform/thread_timer_win.h"
#include "platform/tick_source.h"
#include "simplayer_client_win.h"
#include "run/cue_scheduler.h"
#include "memory_player/player_locator.h"
#include "memory_player/player_memory_clock.h"
#include "run/subtitle_run.h"
#include "memory_player/record_layout.h"
#include "memory_player/process_memory.h"

using namespace quorvane;
using bench::processCpuSeconds;
using bench::secondsBetween;

namespace {

// Takes the scheduler's calls and drops them, so the figures are the sync layer's own.
class CountingOverlay final : public NullOverlay {
 public:
  void setText(std::string_view) override { ++texts; }
  int texts = 0;
};

// A two-hour film: a two-line GBK cue every two seconds, shown for one and a half.
CueTable makeFilmTable() {
  std::vector<Cue> cues;
  const std::string line = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7 hello, world";
  for (int32_t startMs = 0; startMs < 2 * 3'600'000; startMs += 2000) {
    cues.push_back({startMs, startMs + 1500, line + "\r\n" + line});
  }
  return CueTable::fromSorted(std::move(cues));
}

void printMicroseconds(const char* what, std::vector<double> us) {
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (const double v : us) sum += v;
  std::printf("  %-34s n=%5zu  mean %8.1f  median %8.1f  p99 %8.1f  max %8.1f us\n", what, us.size(),
              sum / us.size(), us[us.size() / 2], us[us.size() * 99 / 100], us.back());
}

}  // namespace

int main(int argc, char** argv) {
  bench::printArchitecture();
  const int loopSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  simplayer::ScratchFolder folder;
  auto player = simplayer::SimPlayer::start(folder.path(), "PowerDVDMovie.exe", "--start=0:01:00");
  auto access = makeSystemProcessAccess();
  ClockInputs inputs;
  if (player) {
    const PlayerLocation where = locatePlayer(*access, "PowerDVDMovie.exe");
    inputs = {where.playerPid, where.recordBase, 0};
  }
  if (inputs.recordBase == 0) {
    std::fprintf(stderr, "could not start or locate %s\n", simplayer::builtPlayerPath().c_str());
    return 1;
  }
  // The search takes the first process of the name: another player left running would give
  // figures for the wrong process.
  if (inputs.playerPid != player->pid()) {
    std::fprintf(stderr, "another PowerDVDMovie.exe is running (pid %u); end it first\n", inputs.playerPid);
    return 1;
  }

  const ProcessMemoryReader reader(*access);
  PlayerMemoryClock clock(reader, systemTickSource());
  clock.setPlayer({inputs.playerPid, inputs.recordBase});
  SubtitleRun run(clock);
  run.setInputs({0, 0, 1000, 1080, {48, 40}});
  auto counting = std::make_unique<CountingOverlay>();
  CountingOverlay& overlay = *counting;
  run.start(makeFilmTable(), 936, std::move(counting));
  const CueTable& table = run.table();
  SchedulerInputs schedulerInputs{0, 48, 40, 1080, 0, 1000, 936};
  const auto tick = [&] { run.tick(); };

  std::printf("sync tick against the running simulated player (%d cues)\n", table.cueCount);
  // Back to back: mostly ticks on which the seconds digit has not changed.
  std::vector<double> steady, change, step;
  LARGE_INTEGER a, b;
  for (int i = 0; i < 3000; ++i) {
    QueryPerformanceCounter(&a);
    tick();
    QueryPerformanceCounter(&b);
    steady.push_back(1e6 * secondsBetween(a, b));
  }
  // Ticks that see the digits change: another player makes the next tick take the record as
  // a change.
  for (int i = 0; i < 1000; ++i) {
    clock.setPlayer({});
    clock.setPlayer({inputs.playerPid, inputs.recordBase});
    QueryPerformanceCounter(&a);
    tick();
    QueryPerformanceCounter(&b);
    change.push_back(1e6 * secondsBetween(a, b));
  }
  // The scheduler step alone, walking a position through the table (shows and clears).
  CueScheduler walker;
  walker.beginRun();
  for (int32_t p = 0; p < 2 * 3'600'000; p += 50) {
    schedulerInputs.positionMs = p;
    QueryPerformanceCounter(&a);
    walker.step(table, schedulerInputs, overlay);
    QueryPerformanceCounter(&b);
    step.push_back(1e6 * secondsBetween(a, b));
  }
  printMicroseconds("tick, digit unchanged (1 read)", steady);
  printMicroseconds("tick, digit changed (1 read)", change);
  printMicroseconds("scheduler step alone", step);

  // The 50 ms timer loop as the program runs it, CPU time of this process only.
  const ThreadTimer timer(50);
  int ticks = 0;
  const int shownBefore = overlay.texts;
  const double cpuBefore = processCpuSeconds();
  LARGE_INTEGER loopStart, now;
  QueryPerformanceCounter(&loopStart);
  runTimerLoop(timer, [&] {
    tick();
    ++ticks;
    QueryPerformanceCounter(&now);
    return secondsBetween(loopStart, now) < loopSeconds;
  });
  const double wall = secondsBetween(loopStart, now);
  const double cpu = processCpuSeconds() - cpuBefore;
  std::printf("50 ms tick loop: %.1f s, %d ticks (%.1f ms apart), %d texts shown, position %d ms\n", wall,
              ticks, 1000 * wall / ticks, overlay.texts - shownBefore, run.positionMs());
  std::printf("  CPU %.3f s = %.3f %% of one core (GetProcessTimes: user + kernel)\n", cpu,
              100 * cpu / wall);
  return 0;
}
