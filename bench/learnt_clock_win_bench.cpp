// What a run costs in CPU when it follows a learnt player, beside a run on the disc player's
// memory clock: the same 50 ms tick loop as the program's, once over a simulated player that
// keeps its time record, once over one that keeps its position behind a two-level pointer chain
// (the ms-chain layout, its path as the player's "layout" answer gives it), each in classic and
// in precise timing. Precise timing's fine reads between ticks come as often as a 10 ms thread
// timer allows (the program's moment timer is finer), the same for both clocks.
//
//   learnt_clock_win_bench [SECONDS]    length of each loop (default 30)

#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bench_clock_win.h"
#include "build_architecture.h"
#include "loading/cue_table.h"
#include "memory_player/learn_modules.h"
#include "memory_player/learnt_player_clock.h"
#include "memory_player/player_locator.h"
#include "memory_player/player_memory_clock.h"
#include "memory_player/process_memory.h"
#include "overlay/overlay.h"
#include "platform/thread_timer_win.h"
#include "platform/tick_source.h"
#include "run/subtitle_run.h"
#include "simplayer_client_win.h"

using namespace quorvane;
using bench::processCpuSeconds;
using bench::secondsBetween;

namespace {

CueTable makeFilmTable() {
  std::vector<Cue> cues;
  for (int32_t startMs = 0; startMs < 2 * 3'600'000; startMs += 2000) cues.push_back({startMs, startMs + 1500, "line"});
  return CueTable::fromSorted(std::move(cues));
}

// The tick loop over `clock`, with the fine reads precise timing asks for between ticks: the
// share of one core this process takes.
double cpuPercent(ClockSource& clock, bool precise, int seconds, int& reads) {
  SubtitleRun run(clock);
  run.setInputs({0, 0, 1000, 1080, {48, 40}});
  run.start(makeFilmTable(), 936, std::make_unique<NullOverlay>());
  run.setPrecise(precise);
  const ThreadTimer timer(precise ? 10 : 50);
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  const double cpuBefore = processCpuSeconds();
  uint64_t nextTickUs = clock.nowUs();
  reads = 0;
  runTimerLoop(timer, [&] {
    const uint64_t us = clock.nowUs();
    const int64_t fine = clock.untilReadUs(us);
    if (us >= nextTickUs) {
      nextTickUs += 50'000;
      run.tick();
      ++reads;
    } else if (fine >= 0 && fine <= 10'000) {
      clock.read(run.inputs().timing());
      ++reads;
    }
    QueryPerformanceCounter(&now);
    return secondsBetween(start, now) < seconds;
  });
  return 100 * (processCpuSeconds() - cpuBefore) / secondsBetween(start, now);
}

}  // namespace

int main(int argc, char** argv) {
  bench::printArchitecture();
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  simplayer::ScratchFolder folder;
  auto disc = simplayer::SimPlayer::start(folder.path(), "PowerDVDMovie.exe", "--start=0:01:00");
  auto learnt = simplayer::SimPlayer::start(folder.path(), "LearnPlayer.exe", "--layout=ms-chain --start=0:01:00");
  auto access = makeSystemProcessAccess();
  const PlayerLocation record = disc ? locatePlayer(*access, "PowerDVDMovie.exe") : PlayerLocation{};
  const auto modules = learnt ? learn::listModules(learnt->pid()) : std::nullopt;
  const auto layout = learnt ? learnt->command("layout") : std::nullopt;
  unsigned long long root = 0;
  if (!record.located() || !modules || modules->empty() || !layout ||
      std::sscanf(layout->c_str(), "OK layout=%*s value=%*x wall=%*x frames=%*x stale=%*x root=%llx", &root) != 1) {
    std::fprintf(stderr, "could not start or read the two simulated players\n");
    return 1;
  }
  LearntPlayer player;
  player.pid = learnt->pid();
  player.moduleBase = modules->front().base;
  player.moduleSize = modules->front().size;
  player.profile.executable = "LearnPlayer.exe";
  player.profile.path = {"LearnPlayer.exe", root - player.moduleBase, {0x48, 0x1A0}};
  player.profile.encoding = {learn::ValueType::Int32, 1};

  // As the program reads: one handle held from read to read.
  const ProcessMemoryReader reader(*access, ProcessMemoryReader::Opening::Held);
  std::printf("CPU of this process, %% of one core, %d s each, 50 ms ticks (fine reads too when precise)\n", seconds);
  std::printf("  %-8s %22s %22s\n", "timing", "disc player's record", "learnt ms-chain value");
  for (const bool precise : {false, true}) {
    PlayerMemoryClock memoryClock(reader, systemTickSource());
    memoryClock.setPlayer(record);
    LearntPlayerClock learntClock(reader, systemTickSource());
    learntClock.setPlayer(player);
    int memoryReads = 0, learntReads = 0;
    const double memoryCpu = cpuPercent(memoryClock, precise, seconds, memoryReads);
    const double learntCpu = cpuPercent(learntClock, precise, seconds, learntReads);
    std::printf("  %-8s %12.2f (%5d reads) %12.2f (%5d reads)\n", precise ? "precise" : "classic", memoryCpu,
                memoryReads, learntCpu, learntReads);
  }
  return 0;
}
