// Whether one process handle held for the whole run gives the same positions as opening the
// player for every read, and what each costs. Two digit clocks follow the running simulated
// player on the same 50 ms ticks with the same tick count: one reads through
// ProcessMemoryReader (open, read, close per read), the other through a reader that opens the
// player once. The player is paused for 3 s a third of the way and seeks forward at two
// thirds. Then each reader does a burst of back-to-back ticks alone, for its CPU cost.
//
//   held_handle_win_bench [SECONDS] [--wineserver-pid PID --clock-ticks HZ]
//     SECONDS   length of the followed run (default 60)
//     --wineserver-pid, --clock-ticks   also the wineserver's CPU per burst, read as
//               Z:\proc\PID\stat (the session's wineserver; see bench/sync_e2e_bench.sh)

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "build_architecture.h"
#include "platform/process_access.h"
#include "platform/thread_timer_win.h"
#include "platform/tick_source.h"
#include "simplayer_client_win.h"
#include "memory_player/digit_clock.h"
#include "memory_player/player_locator.h"
#include "memory_player/process_memory.h"

using namespace quorvane;

namespace {

// Reads through one opened process, kept from the first read to the end. A failed read drops
// it, so the next read opens the process afresh (a player that ended and was started again).
class HeldProcessReader final : public MemoryReader {
 public:
  HeldProcessReader(const ProcessAccess& access, const MemoryReader& processList)
      : access_(access), processList_(processList) {}

  int32_t readInt32(uint32_t pid, uint64_t address) const override {
    uint8_t b[4] = {};
    if (!read(pid, address, b, 4)) return -1;
    return static_cast<int32_t>(b[0] | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24);
  }
  uint8_t readByte(uint32_t pid, uint64_t address) const override {
    uint8_t b = 0;
    return read(pid, address, &b, 1) ? b : 0;
  }
  std::vector<uint8_t> readBytes(uint32_t pid, uint64_t address, uint32_t length) const override {
    if (length > maxReadLength) return {};
    std::vector<uint8_t> block(length);
    if (!read(pid, address, block.data(), length)) return {};
    return block;
  }
  bool isRunning(uint32_t pid) const override { return processList_.isRunning(pid); }

  int opens() const { return opens_; }

 private:
  bool read(uint32_t pid, uint64_t address, uint8_t* out, uint32_t length) const {
    if (!held_ || heldPid_ != pid) {
      held_ = access_.open(pid);
      heldPid_ = pid;
      ++opens_;
    }
    if (held_ && held_->read(address, out, length)) return true;
    held_.reset();
    return false;
  }

  const ProcessAccess& access_;
  const MemoryReader& processList_;
  mutable std::unique_ptr<OpenedProcess> held_;
  mutable uint32_t heldPid_ = 0;
  mutable int opens_ = 0;
};

// The same tick count for both clocks of one tick.
class SharedTicks final : public TickSource {
 public:
  uint32_t now() const override { return value; }
  uint32_t value = 0;
};

int64_t counterNow() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart;
}

double usBetween(int64_t from, int64_t to) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return 1e6 * static_cast<double>(to - from) / frequency;
}

double ownCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto value = [](const FILETIME& t) {
    return static_cast<double>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
  };
  return value(kernel) + value(user);
}

// utime + stime of a Linux process in seconds, through Wine's view of the root folder.
std::optional<double> linuxCpuSeconds(uint32_t pid, int clockTicks) {
  if (pid == 0) return std::nullopt;
  const std::string path = "Z:\\proc\\" + std::to_string(pid) + "\\stat";
  UniqueKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  char text[1024] = {};
  DWORD got = 0;
  if (!file || !ReadFile(file.get(), text, sizeof text - 1, &got, nullptr)) return std::nullopt;
  const char* rest = std::strrchr(text, ')');  // the fields after the command's name
  unsigned long long utime = 0, stime = 0;
  if (!rest || std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) {
    return std::nullopt;
  }
  return static_cast<double>(utime + stime) / clockTicks;
}

void printMicroseconds(const char* what, std::vector<double> us) {
  if (us.empty()) {
    std::printf("  %-40s n=    0\n", what);
    return;
  }
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (const double v : us) sum += v;
  std::printf("  %-40s n=%5zu  mean %7.1f  median %7.1f  p99 %7.1f  max %8.1f us\n", what, us.size(),
              sum / static_cast<double>(us.size()), us[us.size() / 2], us[us.size() * 99 / 100], us.back());
}

// One reader's share of the followed run: the time of each update, split by whether the
// seconds digit had changed (a block read) or not (the digit and the flag).
struct UpdateCosts {
  std::vector<double> unchanged, changed;
};

}  // namespace

int main(int argc, char** argv) {
  bench::printArchitecture();
  int seconds = 60;
  uint32_t wineserverPid = 0;
  int clockTicks = 100;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--wineserver-pid" && i + 1 < argc) wineserverPid = static_cast<uint32_t>(std::atol(argv[++i]));
    else if (a == "--clock-ticks" && i + 1 < argc) clockTicks = std::max(1, std::atoi(argv[++i]));
    else seconds = std::max(3, std::atoi(argv[i]));
  }

  simplayer::ScratchFolder folder;
  auto player = simplayer::SimPlayer::start(folder.path(), "PowerDVDMovie.exe", "--start=0:01:00");
  auto access = makeSystemProcessAccess();
  const PlayerLocation where = player ? locatePlayer(*access, "PowerDVDMovie.exe") : PlayerLocation{};
  if (!where.located()) {
    std::fprintf(stderr, "could not start or locate %s\n", simplayer::builtPlayerPath().c_str());
    return 1;
  }
  if (where.playerPid != player->pid()) {
    std::fprintf(stderr, "another PowerDVDMovie.exe is running (pid %u); end it first\n", where.playerPid);
    return 1;
  }
  const ClockInputs inputs{where.playerPid, where.recordBase, 0};

  const ProcessMemoryReader perRead(*access);
  const HeldProcessReader held(*access, perRead);
  SharedTicks ticks;
  DigitClock perReadClock(perRead, ticks), heldClock(held, ticks);
  perReadClock.beginRun(inputs.playerPid);
  heldClock.beginRun(inputs.playerPid);

  UpdateCosts perReadCosts, heldCosts;
  int tickCount = 0, straddled = 0, differed = 0;
  int32_t lastPerReadByte = -1, lastHeldByte = -1;
  const auto update = [&](DigitClock& clock, UpdateCosts& costs, int32_t& lastByte) {
    const int64_t a = counterNow();
    clock.update(inputs);
    const int64_t b = counterNow();
    (clock.secondsByte() == lastByte ? costs.unchanged : costs.changed).push_back(usBetween(a, b));
    lastByte = clock.secondsByte();
  };

  std::printf("Held handle against one open per read: two clocks on the same %d s of play, 50 ms ticks\n", seconds);
  const ThreadTimer timer(50);
  const DWORD begin = GetTickCount();
  bool paused = false, resumed = false, sought = false;
  runTimerLoop(timer, [&] {
    ticks.value = GetTickCount();
    // Each goes first on every other tick, so neither always finds the other's reads warm.
    if (tickCount % 2 == 0) {
      update(perReadClock, perReadCosts, lastPerReadByte);
      update(heldClock, heldCosts, lastHeldByte);
    } else {
      update(heldClock, heldCosts, lastHeldByte);
      update(perReadClock, perReadCosts, lastPerReadByte);
    }
    ++tickCount;
    if (perReadClock.secondsByte() != heldClock.secondsByte()) {
      // The player's digit changed between the two reads: not a difference of the readers.
      // Both start afresh, so the next tick compares them again on equal terms.
      ++straddled;
      for (DigitClock* c : {&perReadClock, &heldClock}) {
        c->beginRun(0);
        c->beginRun(inputs.playerPid);
      }
    } else if (perReadClock.positionMs() != heldClock.positionMs()) {
      if (differed++ < 5) {
        std::printf("  tick %d: one open per read %d ms, held handle %d ms\n", tickCount, perReadClock.positionMs(),
                    heldClock.positionMs());
      }
    }
    const DWORD elapsed = GetTickCount() - begin;
    if (!paused && elapsed >= static_cast<DWORD>(seconds) * 1000 / 3) {
      player->pause();
      paused = true;
    } else if (paused && !resumed && elapsed >= static_cast<DWORD>(seconds) * 1000 / 3 + 3000) {
      player->resume();
      resumed = true;
    } else if (!sought && elapsed >= static_cast<DWORD>(seconds) * 2000 / 3) {
      if (const auto now = player->position()) player->seek(now->positionMs + 10 * 60'000 + 5'000);
      sought = true;
    }
    return elapsed < static_cast<DWORD>(seconds) * 1000;
  });

  const int compared = tickCount - straddled;
  std::printf("  %d ticks (paused 3 s, one seek); positions %s on all %d ticks where both read the same seconds "
              "digit (%d differed)\n",
              tickCount, differed == 0 ? "AGREED" : "DIFFERED", compared, differed);
  std::printf("  %d ticks saw the player's digit change between the two clocks' reads (both restarted after)\n",
              straddled);
  std::printf("  the held reader opened the player %d time(s)\n", held.opens());
  std::printf("\n  cost of one clock update on the followed ticks\n");
  printMicroseconds("one open per read, digit unchanged", perReadCosts.unchanged);
  printMicroseconds("held handle, digit unchanged", heldCosts.unchanged);
  printMicroseconds("one open per read, digit changed", perReadCosts.changed);
  printMicroseconds("held handle, digit changed", heldCosts.changed);

  // Back-to-back updates, each reader alone: mostly the digit-unchanged path (two reads).
  constexpr int kBurst = 3000;
  std::printf("\n  %d back-to-back updates each, alone%s\n", kBurst,
              wineserverPid ? "" : " (wineserver not measured: pass --wineserver-pid)");
  for (const MemoryReader* reader : {static_cast<const MemoryReader*>(&perRead), static_cast<const MemoryReader*>(&held)}) {
    DigitClock clock(*reader, systemTickSource());
    clock.beginRun(inputs.playerPid);
    const double cpuBefore = ownCpuSeconds();
    const auto serverBefore = linuxCpuSeconds(wineserverPid, clockTicks);
    const int64_t a = counterNow();
    for (int i = 0; i < kBurst; ++i) clock.update(inputs);
    const int64_t b = counterNow();
    const auto serverAfter = linuxCpuSeconds(wineserverPid, clockTicks);
    const double cpu = ownCpuSeconds() - cpuBefore;
    std::printf("  %-20s %7.1f us per update, this process's CPU %6.1f us",
                reader == &perRead ? "one open per read" : "held handle", usBetween(a, b) / kBurst, 1e6 * cpu / kBurst);
    if (serverBefore && serverAfter) std::printf(", wineserver's %6.1f us", 1e6 * (*serverAfter - *serverBefore) / kBurst);
    std::printf("\n");
  }
  return 0;
}
