// quorvane-follow [--lang zh-CN|zh-TW|en] [--process NAME] [--seconds N] [--delay MS]
//                 [--source memory|vlc|mpc|mpv|potplayer] [--port N] [--password TEXT]
//                 [--pipe NAME] [--precise] [--stamp] FILE
//
// Runs a subtitle run against the running player with a console in place of the overlay: the
// program's own player search (or, with --source, a player's public interface), subtitle
// loading and run, on the program's timers (the 50 ms tick, and with precise timing the
// moments between ticks), with the geometry the program has stored. Every change of the
// overlay's text is printed with the playback position, in UTF-8; with --stamp each line
// begins with the precise counter's microseconds when the text changed ("@123456789 ").
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/directory_exists.h"
#include "app/main_window_model.h"
#include "app/settings_store.h"
#include "app/ui_text_table.h"
#include "common/ui_language.h"
#include "loading/srt_loader.h"
#include "loading/text_codec.h"
#include "overlay/overlay.h"
#include "overlay/overlay_metrics.h"
#include "platform/code_pages.h"
#include "platform/dpi_win.h"
#include "platform/precise_time.h"
#include "platform/registry.h"
#include "platform/tick_source.h"
#include "memory_player/player_locator.h"
#include "memory_player/player_memory_clock.h"
#include "memory_player/process_memory.h"
#include "players/interface_player_clock.h"
#include "run/subtitle_run.h"
#include "run/window_run_timers_win.h"
#include "players/mpc_feed.h"
#include "players/mpv_feed.h"
#include "players/potplayer_feed.h"
#include "players/vlc_feed.h"

namespace quorvane {
namespace {

std::string clockText(int32_t ms) {
  char text[32];
  const char* sign = ms < 0 ? "-" : "";
  const int64_t v = ms < 0 ? -int64_t{ms} : ms;
  std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld.%03lld", sign, v / 3600000, v / 60000 % 60,
                v / 1000 % 60, v % 1000);
  return text;
}

// Prints what an overlay would show: each change of the text, with the position it happened at.
class ConsoleOverlay final : public NullOverlay {
 public:
  ConsoleOverlay(unsigned displayCodePage, const SubtitleRun& run, bool stamp)
      : codePage_(displayCodePage), run_(run), stamp_(stamp) {}

  void setText(std::string_view ansiText) override {
    if (stamp_) std::printf("@%llu ", static_cast<unsigned long long>(systemPreciseTimeSource().nowUs()));
    if (ansiText.empty()) {
      std::printf("%12s  (clear)\n", clockText(run_.positionMs()).c_str());
    } else {
      const CodePages& pages = systemCodePages();
      std::string utf8 = pages.fromUtf16(kCodePageUtf8, pages.toUtf16(codePage_, ansiText));
      std::string shown;
      for (char c : utf8) {
        if (c == '\r') continue;
        shown += c == '\n' ? std::string(" / ") : std::string(1, c);
      }
      std::printf("%12s  %s\n", clockText(run_.positionMs()).c_str(), shown.c_str());
    }
    std::fflush(stdout);
  }

 private:
  unsigned codePage_;
  const SubtitleRun& run_;
  bool stamp_;
};

constexpr UINT kMomentMessage = WM_APP + 1;
constexpr UINT_PTR kTickTimer = 1;

// The run and what each tick checks besides, for the window's procedure.
struct Following {
  SubtitleRun* run = nullptr;
  std::function<void()> afterTick;
};

LRESULT CALLBACK followWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* following = reinterpret_cast<Following*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (following && following->run) {
    if (message == WM_TIMER && wParam == kTickTimer) {
      following->run->tick();
      following->afterTick();
      return 0;
    }
    if (message == kMomentMessage) {
      following->run->moment(static_cast<uint32_t>(wParam));
      return 0;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* fineTimeName(FineTime state) {
  switch (state) {
    case FineTime::NotTold: return "whole seconds (no fraction told)";
    case FineTime::Learning: return "whole seconds (learning the length)";
    case FineTime::Known: return "fraction x learnt length";
    case FineTime::NoLength: return "whole seconds (no length told)";
    case FineTime::LengthChanged: return "whole seconds (the length changed)";
    case FineTime::PastTheEnd: return "whole seconds (fraction past the end)";
    case FineTime::RateChanged: return "whole seconds (rate changed)";
    case FineTime::OutOfOrder: return "an answer out of order dropped";
    case FineTime::NotConsistent: return "whole seconds (the fraction does not fit the time)";
  }
  return "?";
}

int usage() {
  std::fprintf(stderr,
               "usage: quorvane-follow [--lang zh-CN|zh-TW|en] [--process NAME] [--seconds N] "
               "[--delay MS] [--source memory|vlc|mpc|mpv|potplayer] [--port N] [--password TEXT] "
               "[--pipe NAME] [--precise] [--stamp] FILE\n");
  return 2;
}

int run(int argc, char** argv) {
  UiLanguage language = UiLanguage::SimplifiedChinese;
  std::string processName = "PowerDVDMovie.exe";
  int seconds = 20;
  int32_t delayMs = 0;
  std::string source = "memory";
  VlcInterface vlc;
  MpcInterface mpc;
  MpvInterface mpv;
  bool portGiven = false;
  bool precise = false;
  bool stamp = false;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--lang" && hasValue) {
      const std::string_view lang = argv[++i];
      if (lang == "zh-CN") language = UiLanguage::SimplifiedChinese;
      else if (lang == "zh-TW") language = UiLanguage::TraditionalChinese;
      else if (lang == "en") language = UiLanguage::English;
      else return usage();
    } else if (arg == "--process" && hasValue) {
      processName = argv[++i];
    } else if (arg == "--seconds" && hasValue) {
      seconds = std::atoi(argv[++i]);
    } else if (arg == "--delay" && hasValue) {
      delayMs = std::atoi(argv[++i]);
    } else if (arg == "--source" && hasValue) {
      source = argv[++i];
      if (source != "memory" && source != "vlc" && source != "mpc" && source != "mpv" && source != "potplayer") {
        return usage();
      }
    } else if (arg == "--port" && hasValue) {
      vlc.port = mpc.port = static_cast<uint16_t>(std::atoi(argv[++i]));
      portGiven = true;
    } else if (arg == "--pipe" && hasValue) {
      mpv.pipe = argv[++i];
    } else if (arg == "--password" && hasValue) {
      vlc.password = argv[++i];
    } else if (arg == "--precise") {
      precise = true;
    } else if (arg == "--stamp") {
      stamp = true;
    } else if (!file && !arg.starts_with("--")) {
      file = argv[i];
    } else {
      return usage();
    }
  }
  if (!file || seconds <= 0) return usage();

  const auto access = makeSystemProcessAccess();
  const ProcessMemoryReader reader(*access);
  std::unique_ptr<ClockSource> clock;
  InterfacePlayerClock* reported = nullptr;  // a player's interface, when the source is one
  std::unique_ptr<InterfacePlayerFeed> feed;
  // A player's interface: the player is whatever answers there, and the run shows nothing until
  // it does.
  if (source == "vlc") {
    feed = makeVlcFeed(vlc);
    std::printf("player: VLC's web interface on 127.0.0.1:%u\n", vlc.port);
  } else if (source == "mpc") {
    if (!portGiven) mpc.port = MpcInterface::kDefaultPort;
    feed = makeMpcFeed(mpc);
    std::printf("player: MPC-HC's web interface on 127.0.0.1:%u\n", mpc.port);
  } else if (source == "mpv") {
    feed = makeMpvFeed(mpv);
    std::printf("player: mpv's pipe %s\n", mpvPipePath(mpv.pipe).c_str());
  } else if (source == "potplayer") {
    feed = makePotPlayerFeed();
    std::printf("player: PotPlayer's window messages\n");
  } else {
    const PlayerLocation player = locatePlayer(*access, processName);
    if (!player.located()) {
      std::fprintf(stderr, "quorvane-follow: no running player found (tried %s and the known names)\n",
                   processName.c_str());
      return 1;
    }
    std::printf("player: process %u, time record at 0x%08llX\n", player.playerPid,
                static_cast<unsigned long long>(player.recordBase));
    auto memoryClock = std::make_unique<PlayerMemoryClock>(reader, systemTickSource());
    memoryClock->setPlayer(player);
    clock = std::move(memoryClock);
  }
  if (source != "memory") {
    if (!feed) {
      std::fprintf(stderr, "quorvane-follow: the system's HTTP client could not be set up\n");
      return 1;
    }
    auto reportedClock = std::make_unique<InterfacePlayerClock>(std::move(feed));
    reported = reportedClock.get();
    clock = std::move(reportedClock);
  }
  clock->setPrecise(precise);

  const TextCodec codec(systemCodePages());
  CueTable table = loadCueTable(file, language, codec);
  std::printf("subtitles: %d cues from %s\n", table.cueCount, file);
  // The texts are shown in the code page they were produced in; a file an English system keeps
  // as it is reads best as GBK, which also holds ASCII.
  const unsigned codePage = table.codePage != 0 ? table.codePage : kCodePageGbk;

  // The geometry the program itself would use: the stored settings, or their defaults.
  const auto registry = makeSystemRegistry();
  const SettingsStore settings(*registry, isSystemLeadByte);
  const int32_t screenHeight = designScreenHeight();
  const StartupSettings stored = loadStartupSettings(settings, UiTextTable::build(language, codec), screenHeight);

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = followWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "QuorvaneFollow";
  RegisterClassA(&windowClass);
  const HWND window =
      CreateWindowA(windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  if (!window) {
    std::fprintf(stderr, "quorvane-follow: no window for the run's timers\n");
    return 1;
  }
  WindowRunTimers timers(window, kTickTimer, kMomentMessage);
  SubtitleRun run(*clock, &timers);
  run.setInputs({delayMs, stored.left, stored.top, screenHeight,
                 computeOverlayMetrics(stored.sizeValue, stored.width)});
  run.start(std::move(table), codePage, std::make_unique<ConsoleOverlay>(codePage, run, stamp));

  bool toldRefused = false;
  FineTime toldFine = FineTime::NotTold;
  Following following{&run, [&] {
                        if (reported && !toldRefused && reported->lastState() == PlayerState::Unauthorized) {
                          std::printf("the player refused the password\n");  // once, however often it refuses
                          std::fflush(stdout);
                          toldRefused = true;
                        }
                        // How the film's time is read, each time that changes (VLC's fraction).
                        if (reported && reported->fineTime() != toldFine) {
                          toldFine = reported->fineTime();
                          std::printf("film time: %s\n", fineTimeName(toldFine));
                          std::fflush(stdout);
                        }
                      }};
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&following));
  const ULONGLONG endTick = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  MSG msg;
  for (ULONGLONG now = GetTickCount64(); now < endTick; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(endTick - now), QS_ALLINPUT);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  if (clock->at(clock->nowUs(), delayMs).gone) std::printf("the player has exited\n");
  return 0;
}

}  // namespace
}  // namespace quorvane

int main(int argc, char** argv) { return quorvane::run(argc, argv); }
