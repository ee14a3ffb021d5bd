// The free clock end to end inside one process: a subtitle run on it, stepped by the same
// timers the main window uses (the 50 ms window timer and the moment timer), with an overlay
// that notes when each text arrives. Gives how late each cue's start and end came against the
// free clock's own time (p50, p95, max) and the CPU share while playing; then the same run
// on the player's memory against a running simulated player (classic, and precise timing),
// for the CPU to compare with.
//
//   free_clock_win_bench [SECONDS]      length of each run (default 30)

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_clock_win.h"
#include "build_architecture.h"
#include "overlay/overlay.h"
#include "platform/precise_time.h"
#include "platform/tick_source.h"
#include "simplayer_client_win.h"
#include "run/free_clock.h"
#include "memory_player/player_locator.h"
#include "memory_player/player_memory_clock.h"
#include "memory_player/process_memory.h"
#include "run/subtitle_run.h"
#include "run/window_run_timers_win.h"

using namespace quorvane;
using bench::processCpuSeconds;

namespace {

constexpr UINT kMomentMessage = WM_APP + 2;
constexpr UINT_PTR kTickTimer = 1;

// A cue every 700 ms, 400 ms long: a start or an end every few hundred milliseconds.
CueTable makeTable(int seconds) {
  std::vector<Cue> cues;
  for (int32_t startMs = 1000; startMs < seconds * 1000; startMs += 700) cues.push_back({startMs, startMs + 400, "line"});
  return CueTable::fromSorted(std::move(cues));
}

// Notes the precise time of every text the scheduler puts.
class TimedOverlay final : public NullOverlay {
 public:
  struct Change {
    uint64_t us;
    bool shown;
  };
  void setText(std::string_view text) override { changes.push_back({systemPreciseTimeSource().nowUs(), !text.empty()}); }
  std::vector<Change> changes;
};

SubtitleRun* g_run = nullptr;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTickTimer && g_run) g_run->tick();
  if (message == kMomentMessage && g_run) g_run->moment(static_cast<uint32_t>(wParam));
  return DefWindowProcA(window, message, wParam, lParam);
}

struct RunFigures {
  double cpuShare = 0;
  std::vector<TimedOverlay::Change> changes;
};

// Runs `run` over the table for `seconds`, dispatching messages as the program does.
RunFigures play(SubtitleRun& run, int seconds) {
  auto timed = std::make_unique<TimedOverlay>();
  TimedOverlay* overlay = timed.get();
  run.setInputs({0, 0, 1000, 1080, {48, 40}});
  run.start(makeTable(3 * seconds), 936, std::move(timed));  // the memory runs follow on the player
  g_run = &run;
  const double cpuBefore = processCpuSeconds();
  const uint64_t began = systemPreciseTimeSource().nowUs();
  MSG msg;
  while (systemPreciseTimeSource().nowUs() - began < uint64_t(seconds) * 1'000'000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  RunFigures figures;
  figures.cpuShare = (processCpuSeconds() - cpuBefore) / seconds;
  figures.changes = overlay->changes;  // the run's end takes the overlay
  g_run = nullptr;
  run.end(0);
  return figures;
}

void printLateness(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("  %-28s no changes seen\n", what);
    return;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("  %-28s n=%4zu  min %6.2f  p50 %6.2f  p95 %6.2f  max %6.2f ms\n", what, ms.size(), ms.front(),
              ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  bench::printArchitecture();
  const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
  WNDCLASSA wc{};
  wc.lpfnWndProc = windowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "QuorvaneFreeClockBench";
  RegisterClassA(&wc);
  const HWND window = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  WindowRunTimers timers(window, kTickTimer, kMomentMessage);

  // The free clock: each change against the instant it was due on the clock's own time.
  FreeClock freeClock;
  SubtitleRun freeRun(freeClock, &timers);
  freeClock.reset(0);
  freeClock.play();
  const uint64_t playedUs = systemPreciseTimeSource().nowUs();
  const RunFigures free = play(freeRun, seconds);
  std::vector<double> starts, ends;
  for (const TimedOverlay::Change& c : free.changes) {
    const double atMs = static_cast<double>(c.us - playedUs) / 1000.0;
    // The boundary this change answers: the latest start (or end) at or before it, with a
    // millisecond's slack for a change that came a hair early.
    const int32_t since = static_cast<int32_t>(atMs - 1000 - (c.shown ? 0 : 400) + 1);
    if (since < 0) continue;
    const double dueMs = 1000 + 700.0 * (since / 700) + (c.shown ? 0 : 400);
    (c.shown ? starts : ends).push_back(atMs - dueMs);
  }
  std::printf("free clock, %d s of play, a start or end every 300-400 ms\n", seconds);
  printLateness("cue starts, lateness", starts);
  printLateness("cue ends, lateness", ends);
  std::vector<double> all = starts;
  all.insert(all.end(), ends.begin(), ends.end());
  printLateness("all changes", all);
  std::printf("  CPU %.3f %% of one core\n", 100 * free.cpuShare);

  // The player's memory, as a baseline for the CPU.
  simplayer::ScratchFolder folder;
  auto player = simplayer::SimPlayer::start(folder.path(), "PowerDVDMovie.exe", "--start=0:00:00");
  auto access = makeSystemProcessAccess();
  const PlayerLocation where = player ? locatePlayer(*access, "PowerDVDMovie.exe") : PlayerLocation{};
  if (!where.located() || where.playerPid != player->pid()) {
    std::fprintf(stderr, "could not start or locate the simulated player (or another one runs)\n");
    return 1;
  }
  const ProcessMemoryReader reader(*access, ProcessMemoryReader::Opening::Held);
  PlayerMemoryClock memoryClock(reader, systemTickSource());
  memoryClock.setPlayer(where);
  SubtitleRun memoryRun(memoryClock, &timers);
  for (const bool precise : {false, true}) {
    memoryRun.setPrecise(precise);
    const RunFigures memory = play(memoryRun, seconds);
    std::printf("player's memory (%s), %d s: %zu changes, CPU %.3f %% of one core\n",
                precise ? "precise timing" : "classic", seconds, memory.changes.size(), 100 * memory.cpuShare);
  }
  DestroyWindow(window);
  return 0;
}
