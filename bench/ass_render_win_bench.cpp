// What typesetting costs per frame on a 1920x1080 picture, for a busy screen (20 ASS events: signs
// placed with \pos, some moving, fading, turned, sung or blurred, and bottom dialogue that
// stacks), a typical one (a fading line, a moving sign, a karaoke line) and a file of a million
// tag-laden events, laid out, drawn and taken on to shown per-pixel-alpha windows over the ink as
// the overlay does, at 60 frames a second of script time: each step and the whole frame timed.
// Then the CPU the overlay itself takes over a few seconds of animated events (its repaint timer
// at the monitor's rate: a moving sign, a fading line, the typical screen) and of a still sign
// (no timer).
//
//   wine build/win64/bench/ass_render_win_bench.exe [FRAMES] [SECONDS]    default 240 frames, 5 s

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock_win.h"
#include "build_architecture.h"
#include "loading/ass_reader.h"
#include "overlay/ass_renderer_win.h"
#include "overlay/ink_windows_win.h"
#include "overlay/overlay_window_win.h"
#include "platform/code_pages.h"

using namespace quorvane;

namespace {
const char kHeader[] =
    "[Script Info]\r\nPlayResX: 1920\r\nPlayResY: 1080\r\nScaledBorderAndShadow: yes\r\n\r\n[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\r\n"
    "Style: Default,Arial,72,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,3,2,2,60,60,50,1\r\n"
    "Style: Sign,Arial,48,&H0000FFFF,&H000000FF,&H00800000,&H00000000,-1,0,0,0,100,100,0,0,1,2,0,7,30,30,40,1\r\n"
    "\r\n[Events]\r\n";

std::string typicalScript() {
  return std::string(kHeader) +
         "Dialogue: 0,0:00:00.00,0:01:00.00,Default,,0,0,0,,{\\fad(500,500)}A line of dialogue fading in\r\n"
         "Dialogue: 0,0:00:00.00,0:01:00.00,Sign,,0,0,0,,{\\move(200,200,1400,300)}A moving sign\r\n"
         "Dialogue: 0,0:00:00.00,0:01:00.00,Default,,0,0,0,,{\\an8\\k50}Ka{\\k50}ra{\\kf100}oke line\r\n";
}

std::string busyScript() {
  std::string s = kHeader;
  const char* const kinds[] = {
      "{\\pos(%d,%d)}A placed sign",
      "{\\move(%d,%d,960,540)}A moving sign",
      "{\\pos(%d,%d)\\fad(300,300)}A fading sign",
      "{\\pos(%d,%d)\\frz15\\blur2}A turned, blurred sign",
      "{\\pos(%d,%d)\\k40}Ka{\\k40}ra{\\kf80}oke",
  };
  for (int i = 0; i < 16; ++i) {
    char text[160];
    std::snprintf(text, sizeof text, kinds[i % 5], 100 + (i % 4) * 420, 80 + (i / 4) * 160);
    s += "Dialogue: 0,0:00:00.00,0:01:00.00,Sign,,0,0,0,," + std::string(text) + "\r\n";
  }
  for (int i = 0; i < 4; ++i) {
    s += "Dialogue: 0,0:00:00.00,0:01:00.00,Default,,0,0,0,,A line of dialogue at the bottom, number " +
         std::to_string(i + 1) + "\r\n";
  }
  return s;
}

// A million events of a second each, two on screen at a time, every one moving, fading, turned,
// clipped and changing under \t.
std::string millionScript() {
  std::string s = kHeader;
  s.reserve(s.size() + 1'000'000 * 150);
  char line[256];
  for (int i = 0; i < 1'000'000; ++i) {
    const int start = i / 2, x = 200 + i % 7 * 200;
    std::snprintf(line, sizeof line,
                  "Dialogue: 0,%d:%02d:%02d.%02d,%d:%02d:%02d.%02d,Sign,,0,0,0,,{\\move(%d,300,%d,700)\\fad(200,200)"
                  "\\frz5\\clip(0,0,1900,1000)\\t(\\fs60\\1c&H00FF00&)}Event %d\r\n",
                  start / 3600, start / 60 % 60, start % 60, 0, (start + 1) / 3600, (start + 1) / 60 % 60,
                  (start + 1) % 60, 0, x, x + 100, i);
    s += line;
  }
  return s;
}

using bench::median;
using bench::p95;

// Lays out, draws and shows `frames` frames of `script` from `fromMs` on, and prints the median,
// 95th percentile and largest of each step and of the whole frame.
void measure(const char* name, const AssScript& script, int64_t fromMs, int frames, HWND window) {
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  const AssWideTexts texts = wideAssTexts(script, kCodePageUtf8);
  QueryPerformanceCounter(&b);
  const PictureArea area{0, 0, 1920, 1080};
  AssRenderer renderer;
  InkWindows windows(window);
  std::vector<double> steps[4];  // layout, drawing, to the window, the whole frame
  size_t events = 0;
  for (int f = 0; f < frames; ++f) {
    const int64_t at = fromMs + f * 1000 / 60;
    LARGE_INTEGER t[4];
    QueryPerformanceCounter(&t[0]);
    const std::vector<AssPlacedEvent> frame = layOutAssFrame(script, texts, area, at, renderer.measure());
    QueryPerformanceCounter(&t[1]);
    renderer.render(frame, area.width, area.height);
    QueryPerformanceCounter(&t[2]);
    windows.show(renderer, {area.left, area.top});
    QueryPerformanceCounter(&t[3]);
    if (f > 0) {  // the first frame makes the fonts and masks
      for (int i = 0; i < 3; ++i) steps[i].push_back(bench::secondsBetween(t[i], t[i + 1]) * 1000);
      steps[3].push_back(bench::secondsBetween(t[0], t[3]) * 1000);
    }
    events = std::max(events, frame.size());
  }
  std::printf("%s: %zu events of %zu on screen at most, 1920x1080 picture, %d frames (texts and index made in %.0f ms)\n",
              name, events, script.events.size(), frames, bench::secondsBetween(a, b) * 1000);
  const char* const names[] = {"layout", "drawing", "to the window", "whole frame"};
  for (int i = 0; i < 4; ++i) {
    std::printf("  %-15s median %6.2f ms  p95 %6.2f ms  max %6.2f ms\n", names[i], median(steps[i]), p95(steps[i]),
                steps[i].empty() ? 0 : *std::max_element(steps[i].begin(), steps[i].end()));
  }
  std::fflush(stdout);
}

// The run's clock: script time goes on with the wall clock from `fromMs`.
struct WallClock : TypesetClock {
  LARGE_INTEGER start{};
  int64_t fromMs = 0;
  int64_t scriptTimeMs() const override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return fromMs + static_cast<int64_t>(bench::secondsBetween(start, now) * 1000);
  }
};

// The overlay's own CPU while it shows `script` for `seconds`, in percent of one core.
void overlayCpu(const char* name, const std::string& text, double seconds) {
  const AssScript script = readAssScript(text);
  auto overlay = OverlayWindow::create(GetModuleHandleA(nullptr), {.fontFace = "Arial", .codePage = kCodePageUtf8,
                                                                   .smoothText = true,
                                                                   .pictureArea = [] { return PictureArea{0, 0, 1920, 1080}; }});
  if (!overlay) return;
  WallClock clock;
  clock.fromMs = 1000;
  QueryPerformanceCounter(&clock.start);
  overlay->setTypeset(&script, &clock);
  const double cpuBefore = bench::processCpuSeconds();
  LARGE_INTEGER a, now;
  QueryPerformanceCounter(&a);
  // A message loop as the program's: a frame slower than the timer's period finds the next
  // WM_TIMER waiting at once.
  do {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    QueryPerformanceCounter(&now);
  } while (bench::secondsBetween(a, now) < seconds);
  const double cpu = bench::processCpuSeconds() - cpuBefore;
  std::printf("%s: the overlay's CPU %.1f%% of a core over %.1f s\n", name, 100 * cpu / bench::secondsBetween(a, now),
              bench::secondsBetween(a, now));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(2, std::atoi(argv[1])) : 240;
  const double seconds = argc > 2 ? std::max(0.5, std::atof(argv[2])) : 5;
  // Shown, click-through and topmost, as the overlay is: a hidden window costs nothing to update.
  const HWND window = CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE,
                                      "STATIC", "", WS_POPUP | WS_DISABLED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ShowWindow(window, SW_SHOWNA);
  bench::printArchitecture();
  measure("typical", readAssScript(typicalScript()), 1000, frames, window);
  measure("busy", readAssScript(busyScript()), 1000, frames, window);
  {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    const AssScript script = readAssScript(millionScript());
    QueryPerformanceCounter(&b);
    std::printf("a million events read in %.0f ms\n", bench::secondsBetween(a, b) * 1000);
    measure("million", script, 250'000'000, frames, window);
  }
  DestroyWindow(window);
  overlayCpu("a moving sign", std::string(kHeader) +
                                  "Dialogue: 0,0:00:00.00,0:01:00.00,Sign,,0,0,0,,{\\move(200,200,1400,300)}A moving sign\r\n",
             seconds);
  overlayCpu("a fading line", std::string(kHeader) +
                                  "Dialogue: 0,0:00:00.00,0:00:08.00,Default,,0,0,0,,{\\fad(8000,0)}A line of dialogue fading in\r\n",
             seconds);
  overlayCpu("the typical screen", typicalScript(), seconds);
  overlayCpu("still (a placed sign)",
             std::string(kHeader) + "Dialogue: 0,0:00:00.00,0:01:00.00,Sign,,0,0,0,,{\\pos(200,200)}A placed sign\r\n",
             seconds);
  return 0;
}
