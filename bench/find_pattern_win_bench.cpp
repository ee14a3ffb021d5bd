// How long the signature search takes over a large main image: the simulated player padded
// so that 32 MiB of its image lie before the signature.
//
//   find_pattern_win_bench [PAD]        PAD as for simplayer --pad (default 32M)

#include <windows.h>

#include <cstdio>
#include <string>

#include "build_architecture.h"
#include "simplayer_client_win.h"
#include "sync/player_interface.h"
#include "sync/process_memory.h"

using namespace quorvane;

int main(int argc, char** argv) {
  bench::printArchitecture();
  const std::string pad = argc > 1 ? argv[1] : "32M";
  simplayer::ScratchFolder folder;
  auto player = simplayer::SimPlayer::start(folder.path(), "PowerDVDMovie.exe", "--paused --pad=" + pad);
  const auto addresses = player ? player->addresses() : std::nullopt;
  if (!addresses) {
    std::fprintf(stderr, "could not start %s\n", simplayer::builtPlayerPath().c_str());
    return 1;
  }
  auto access = makeSystemProcessAccess();

  // The image bytes a search reads before it reaches the signature.
  uint64_t imageBytes = 0;
  if (auto process = access->open(player->pid())) {
    for (uint64_t at = player::mainImageBase; at < addresses->signature;) {
      const auto region = process->query(at);
      if (!region || region->size == 0) break;
      if (region->type == memImage && region->allocationBase == player::mainImageBase &&
          region->protection != pageReadonly && region->size > 4096) {
        imageBytes += std::min<uint64_t>(region->base + region->size, addresses->signature) -
                      region->base;
      }
      at = region->base + region->size;
    }
  }

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::printf("find_pattern: pad %s, %.1f MiB of image searched before the signature\n", pad.c_str(),
              imageBytes / 1048576.0);
  const int runs = 7;
  double best = 1e30, total = 0;
  for (int run = 0; run < runs; ++run) {
    ProcessMemory memory(*access);
    LARGE_INTEGER start, stop;
    QueryPerformanceCounter(&start);
    memory.open(player->pid());
    const uint64_t match =
        memory.findPattern(player::codeSignature, player::searchStartAddress, player::searchEndAddress);
    memory.close();
    QueryPerformanceCounter(&stop);
    const double ms = 1000.0 * static_cast<double>(stop.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
    if (match != addresses->signature) {
      std::fprintf(stderr, "run %d: found 0x%08llX, expected 0x%08llX\n", run,
                   static_cast<unsigned long long>(match), static_cast<unsigned long long>(addresses->signature));
      return 1;
    }
    best = std::min(best, ms);
    total += ms;
    std::printf("  run %d: %8.2f ms  %8.1f MB/s\n", run + 1, ms, imageBytes / 1e6 / (ms / 1000.0));
  }
  std::printf("find_pattern: best %.2f ms (%.1f MB/s), mean %.2f ms\n", best,
              imageBytes / 1e6 / (best / 1000.0), total / runs);

  // A miss walks every region up to 0x7FFFFFFF, besides reading the same image.
  auto without = simplayer::SimPlayer::start(folder.path(), "PowerDVD.exe", "--paused --no-signature --pad=" + pad);
  if (!without) return 1;
  int regions = 0;
  ProcessMemory memory(*access, [&] { ++regions; });
  memory.open(without->pid());
  LARGE_INTEGER start, stop;
  QueryPerformanceCounter(&start);
  const uint64_t match =
      memory.findPattern(player::codeSignature, player::searchStartAddress, player::searchEndAddress);
  QueryPerformanceCounter(&stop);
  std::printf("find_pattern: miss (no signature) %.2f ms over %d regions, result %llu\n",
              1000.0 * static_cast<double>(stop.QuadPart - start.QuadPart) /
                  static_cast<double>(frequency.QuadPart),
              regions + 1, static_cast<unsigned long long>(match));
  return 0;
}
