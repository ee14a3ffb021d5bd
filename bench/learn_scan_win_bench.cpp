// How fast the first scan of learning a player reads the player's memory: the simulated player
// with a large committed heap (default 1024 MiB of varied data) and its position kept as int32
// milliseconds, scanned for every encoding near its position; then the path search to it.
//
//   learn_scan_win_bench [HEAP] [RUNS]       HEAP as for simplayer --heap (default 1024M), RUNS 3

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "build_architecture.h"
#include "peak_memory.h"
#include "memory_player/learn_modules.h"
#include "memory_player/learn_profile.h"
#include "memory_player/learn_scan.h"
#include "simplayer_client_win.h"

using namespace quorvane;

int main(int argc, char** argv) {
  bench::printArchitecture();
  const std::string heap = argc > 1 ? argv[1] : "1024M";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  simplayer::ScratchFolder folder;
  auto player = simplayer::SimPlayer::start(folder.path(), "LearnPlayer.exe", "--layout=ms-chain --start=1:02:03 --heap=" + heap);
  const auto shown = player ? player->position() : std::nullopt;
  if (!shown) {
    std::fprintf(stderr, "could not start %s\n", simplayer::builtPlayerPath().c_str());
    return 1;
  }
  auto access = makeSystemProcessAccess();
  const auto process = access->open(player->pid());
  if (!process) return 1;

  // The reads alone, for how much of the scan's time is the system's.
  for (int run = 0; run < runs; ++run) {
    learn::WalkStats stats;
    const auto start = std::chrono::steady_clock::now();
    learn::walkScannedMemory(*process, {}, 1u << 20, 0, 0, stats,
                             [](const uint8_t*, size_t, size_t, size_t, uint64_t) { return true; });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("  reads alone, run %d: %.0f MiB in %.2f s, %.0f MiB/s\n", run + 1, stats.bytesRead / 1048576.0,
                seconds, stats.bytesRead / 1048576.0 / seconds);
  }

  const double memoryBefore = peakMemoryMb();
  std::printf("learn first scan: simulated player with a %s heap, %d runs\n", heap.c_str(), runs);
  double lowest = 1e30, highest = 0;
  for (int run = 0; run < runs; ++run) {
    const auto origin = std::chrono::steady_clock::now();
    const auto nowMs = [origin] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - origin).count();
    };
    const auto position = player->position();
    const learn::TypedPosition typed{position->positionMs / 1000 * 1000, 0, true};
    const auto start = std::chrono::steady_clock::now();
    const learn::ScanResult result = learn::firstScan(*process, typed, {nowMs, {}, {}});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double mb = result.stats.bytesRead / 1048576.0;
    lowest = std::min(lowest, mb / seconds);
    highest = std::max(highest, mb / seconds);
    std::printf("  run %d: %.0f MiB in %u regions, %.2f s, %.0f MiB/s, %zu candidates\n", run + 1, mb,
                result.stats.regionsScanned, seconds, mb / seconds, result.candidates.size());
  }
  std::printf("read speed: %.0f-%.0f MiB/s; this program's peak working set %.1f MB before the scans, %.1f MB after\n",
              lowest, highest, memoryBefore, peakMemoryMb());

  // The path search that follows the steps: one walk of all memory per level (two here).
  unsigned long long value = 0;
  const auto layout = player->command("layout");
  const auto modules = learn::listModules(player->pid());
  if (!layout || !modules || std::sscanf(layout->c_str(), "OK layout=%*s value=%llx", &value) != 1) return 1;
  const uint64_t target = value;
  const auto start = std::chrono::steady_clock::now();
  const learn::PathResult paths = learn::findPointerPaths(*process, *modules, {&target, 1}, {}, {});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("path search: %.2f s, %zu paths, the first %s\n", seconds, paths.paths[0].size(),
              paths.paths[0].empty() ? "-" : learn::formatPath(paths.paths[0][0]).c_str());
  return 0;
}
