// player_interfaces_win_bench [SECONDS] [--vlc-port N --vlc-password TEXT [--vlc-only]]
//
// Lateness of each clock source over a player's interface against that player's own report of
// its position, with the CPU a run costs, beside the memory clock's run for comparison. The
// simulated player plays MPC-HC's web interface, PotPlayer's window messages and mpv's pipe;
// its own report is its true position, asked on its control pipe with the performance counter
// it was taken at. With --vlc-port the real VLC (started by the caller, playing) is measured:
// its own report is its status' whole second, asked back to back beside the source, and the
// lateness is taken where that second changes, over four times as long (a change a second).
//
// The run's clock is read on 50 ms ticks, as the program reads it; the lateness is the true
// position less the source's position at the same counter value (positive: late).
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "build_architecture.h"
#include "platform/loopback_http.h"
#include "platform/precise_time.h"
#include "platform/process_access.h"
#include "platform/tick_source.h"
#include "simplayer_client_win.h"
#include "players/mpc_feed.h"
#include "players/mpv_feed.h"
#include "memory_player/player_locator.h"
#include "memory_player/player_memory_clock.h"
#include "players/potplayer_feed.h"
#include "memory_player/process_memory.h"
#include "players/interface_player_clock.h"
#include "players/vlc_feed.h"
#include "players/vlc_status.h"

namespace quorvane {
namespace {

using simplayer::SimPlayer;

double cpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto value = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
  return value(kernel) + value(user);
}

struct Figures {
  std::vector<double> lateMs;
  double cpuPercent = 0;
  int samples = 0;
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

void print(const char* name, const Figures& f) {
  std::vector<double> magnitude;
  for (double x : f.lateMs) magnitude.push_back(std::fabs(x));
  std::printf("%-34s %6d %8.1f %8.1f %8.1f %8.1f %7.2f%%\n", name, static_cast<int>(f.lateMs.size()),
              percentile(f.lateMs, 0.5), percentile(f.lateMs, 0.95), percentile(magnitude, 0.95),
              f.lateMs.empty() ? NAN : *std::max_element(magnitude.begin(), magnitude.end()), f.cpuPercent);
  std::fflush(stdout);
}

// The simulated player's true position, with the counter value it belongs to.
bool truth(const SimPlayer& player, uint64_t& us, int64_t& positionMs) {
  const auto reply = player.command("position");
  if (!reply) return false;
  const char* qpc = std::strstr(reply->c_str(), "qpc=");
  const char* pos = std::strstr(reply->c_str(), " us=");
  if (!qpc || !pos) return false;
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  const uint64_t counts = std::strtoull(qpc + 4, nullptr, 10);
  const uint64_t frequency = static_cast<uint64_t>(f.QuadPart);
  us = counts / frequency * 1'000'000 + counts % frequency * 1'000'000 / frequency;
  positionMs = std::strtoll(pos + 4, nullptr, 10) / 1000;
  return true;
}

// Ticks the clock every 50 ms for `seconds`, sampling `measure` between ticks.
Figures runFor(ClockSource& clock, int seconds, const std::function<void(Figures&)>& measure) {
  Figures f;
  const double cpu0 = cpuSeconds();
  const ULONGLONG start = GetTickCount64();
  ULONGLONG nextTick = start;
  clock.read(0);
  Sleep(1500);  // a first answer, and the phase's first bounds
  while (GetTickCount64() - start < static_cast<ULONGLONG>(seconds) * 1000 + 1500) {
    if (GetTickCount64() >= nextTick) {
      clock.read(0);
      nextTick += 50;
    }
    measure(f);
    Sleep(7);
  }
  f.cpuPercent = (cpuSeconds() - cpu0) * 100.0 / (seconds + 1.5);
  return f;
}

Figures simulated(ClockSource& clock, const SimPlayer& player, int seconds) {
  return runFor(clock, seconds, [&](Figures& f) {
    uint64_t us = 0;
    int64_t positionMs = 0;
    if (!truth(player, us, positionMs)) return;
    const ClockReading reading = clock.at(us, 0);
    if (reading.hasPosition) f.lateMs.push_back(static_cast<double>(positionMs - reading.positionMs));
  });
}

Figures vlc(InterfacePlayerClock& clock, LoopbackHttp& http, int seconds) {
  int64_t lastSecond = -1;
  return runFor(clock, seconds, [&](Figures& f) {
    const uint64_t asked = systemPreciseTimeSource().nowUs();
    const HttpAnswer answer = http.get("/requests/status.json");
    const uint64_t answered = systemPreciseTimeSource().nowUs();
    if (answer.outcome != HttpAnswer::Outcome::Ok) return;
    const PlayerReport r = parseVlcStatus(answer.body);
    if (r.state != PlayerState::Playing) return;
    if (lastSecond >= 0 && r.positionMs == lastSecond + 1000) {
      const ClockReading reading = clock.at(asked + (answered - asked) / 2, 0);
      if (reading.hasPosition) f.lateMs.push_back(static_cast<double>(r.positionMs - reading.positionMs));
    }
    lastSecond = r.positionMs;
  });
}

int run(int argc, char** argv) {
  bench::printArchitecture();
  int seconds = 20;
  uint16_t vlcPort = 0;
  std::string vlcPassword;
  bool vlcOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--vlc-port" && i + 1 < argc) vlcPort = static_cast<uint16_t>(std::atoi(argv[++i]));
    else if (arg == "--vlc-password" && i + 1 < argc) vlcPassword = argv[++i];
    else if (arg == "--vlc-only") vlcOnly = true;
    else seconds = std::max(2, std::atoi(argv[i]));
  }
  timeBeginPeriod(1);
  std::printf("%d s per row, clock read every 50 ms; lateness = the player's own position less the source's (ms)\n",
              seconds);
  std::printf("%-34s %6s %8s %8s %8s %8s %8s\n", "source", "n", "p50", "p95", "|p95|", "|max|", "CPU");

  simplayer::ScratchFolder folder;
  if (!vlcOnly) {
    auto player = SimPlayer::start(folder.path(), "PowerDVDMovie.exe", "--start=0:01:00");
    const auto access = makeSystemProcessAccess();
    const ProcessMemoryReader reader(*access);
    PlayerMemoryClock clock(reader, systemTickSource());
    clock.setPlayer(locatePlayer(*access, "PowerDVDMovie.exe"));
    print("memory (classic), for comparison", simulated(clock, *player, seconds));
    clock.setPrecise(true);
    print("memory (precise; ticks only)", simulated(clock, *player, seconds));
  }
  const std::string pipe = "\\\\.\\pipe\\quorvane-bench-mpv";
  const struct {
    const char* name;
    std::string arguments;
    std::function<std::unique_ptr<InterfacePlayerFeed>()> feed;
  } sources[] = {
      {"MPC-HC web interface", "--mpc-web=13580", [] { return makeMpcFeed({13580}); }},
      {"PotPlayer window messages", "--potplayer", [] { return makePotPlayerFeed(); }},
      {"mpv JSON IPC (observed)", "--mpv-pipe=" + pipe, [&] { return makeMpvFeed({pipe}); }},
  };
  for (const auto& source : sources) {
    if (vlcOnly) break;
    auto player = SimPlayer::start(folder.path(), "simplayer.exe", "--no-signature --start=0:01:00 " + source.arguments);
    if (!player) {
      std::printf("%-34s the simulated player did not start\n", source.name);
      continue;
    }
    InterfacePlayerClock clock(source.feed());
    print(source.name, simulated(clock, *player, seconds));
    player->kill();
  }
  if (vlcPort != 0) {
    const auto http = makeLoopbackHttp({vlcPort, {}, vlcPassword, 500, 1 << 20});
    for (const bool precise : {false, true}) {
      InterfacePlayerClock clock(makeVlcFeed({vlcPort, vlcPassword}));
      clock.setPrecise(precise);
      print(precise ? "VLC web interface (precise)" : "VLC web interface (classic)", vlc(clock, *http, 4 * seconds));
    }
  }
  return 0;
}

}  // namespace
}  // namespace quorvane

int main(int argc, char** argv) { return quorvane::run(argc, argv); }
