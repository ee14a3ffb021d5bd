// What one hotkey poll costs against the real GetAsyncKeyState, with the program's five hotkeys
// registered: reading only the keys the table names against reading all 255. Then the share of
// one core that polling every 10 ms takes, from the per-poll cost and measured over a stretch of
// the real poll thread.
//
//   hotkey_poll_win_bench [SECONDS]      length of each timed 10 ms poll loop (default 5)

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_clock_win.h"
#include "build_architecture.h"
#include "input/hotkey_poller.h"
#include "input/hotkey_poll_thread_win.h"
#include "platform/key_state.h"

using namespace quorvane;
using bench::processCpuSeconds;
using bench::secondsBetween;

namespace {

constexpr int kPollIntervalMs = 10;

// The system's key state, counting the reads, so a timed loop knows how often it polled.
class CountingKeyState final : public KeyState {
 public:
  int16_t asyncState(int virtualKey) override {
    ++reads;
    if (virtualKey == VK_F1) ++polls;  // a hotkey's key: read once in every poll, either way
    return systemKeyState().asyncState(virtualKey);
  }
  long long reads = 0;
  long long polls = 0;
};

struct Poller {
  explicit Poller(HotkeyPoller::KeyReads reads) : poller(keys, [](int32_t) {}, [](int32_t) {}, reads) {
    const int hotkeys[][2] = {{VK_F1, 1}, {VK_F2, 1}, {VK_OEM_6, 1}, {VK_OEM_4, 1}, {VK_F8, 0}};
    for (const auto& [key, mask] : hotkeys) poller.registerHotkey([] {}, key, mask);
  }
  CountingKeyState keys;
  HotkeyPoller poller;
};

void measurePolls(const char* what, HotkeyPoller::KeyReads reads) {
  Poller p(reads);
  for (int i = 0; i < 200; ++i) p.poller.poll();
  p.keys.reads = 0;

  std::vector<double> us(5000);
  for (double& v : us) {
    LARGE_INTEGER start, stop;
    QueryPerformanceCounter(&start);
    p.poller.poll();
    QueryPerformanceCounter(&stop);
    v = secondsBetween(start, stop) * 1e6;
  }
  const long long readsPerPoll = p.keys.reads / static_cast<long long>(us.size());
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (const double v : us) sum += v;
  const double mean = sum / us.size();
  std::printf("  %-10s %3lld reads/poll  mean %8.2f  median %8.2f  p99 %8.2f  max %8.2f us"
              "  -> %6.3f %% of a core at %d ms\n",
              what, readsPerPoll, mean, us[us.size() / 2], us[us.size() * 99 / 100], us.back(),
              mean / (kPollIntervalMs * 1000.0) * 100.0, kPollIntervalMs);
}

void measurePollThread(const char* what, HotkeyPoller::KeyReads reads, int seconds) {
  Poller p(reads);
  LARGE_INTEGER start, stop;
  const double cpuStart = processCpuSeconds();
  QueryPerformanceCounter(&start);
  {
    const HotkeyPollThread polls(p.poller, kPollIntervalMs);
    if (!polls) {
      std::printf("  %-10s no poll thread\n", what);
      return;
    }
    Sleep(static_cast<DWORD>(seconds) * 1000);
  }
  QueryPerformanceCounter(&stop);
  const double cpu = processCpuSeconds() - cpuStart;
  const double wall = secondsBetween(start, stop);
  std::printf("  %-10s %6lld polls in %.1f s (%5.1f per s)  CPU %.3f s  -> %6.3f %% of a core\n", what,
              p.keys.polls, wall, p.keys.polls / wall, cpu, cpu / wall * 100.0);
}

}  // namespace

int main(int argc, char** argv) {
  bench::printArchitecture();
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  std::printf("One poll, five hotkeys registered (5000 polls after 200 to warm up):\n");
  measurePolls("TableKeys", HotkeyPoller::KeyReads::TableKeys);
  measurePolls("AllKeys", HotkeyPoller::KeyReads::AllKeys);

  std::printf("The poll thread at %d ms for %d s each (process CPU time over wall time):\n", kPollIntervalMs,
              seconds);
  measurePollThread("TableKeys", HotkeyPoller::KeyReads::TableKeys, seconds);
  measurePollThread("AllKeys", HotkeyPoller::KeyReads::AllKeys, seconds);
  return 0;
}
