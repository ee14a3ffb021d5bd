// What typesetting costs per frame on a 1920x1080 picture, for a busy screen (20 ASS events: signs
// placed with \pos, some moving, fading, turned, sung or blurred, and bottom dialogue that
// stacks) and a typical one (a fading line, a moving sign, a karaoke line), laid out and drawn at
// 60 frames a second of script time; the layout and the drawing timed apart, and the frame taken
// on to a per-pixel-alpha window once with only its changed part and once whole.
//
//   wine build/win64/bench/ass_render_win_bench.exe [FRAMES]    default 240

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

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double p95(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 95 / 100)];
}

// Lays out and draws `frames` frames of `script`, each taken on to `window` with only its changed
// part or whole, and prints the median and 95th percentile of each step.
void measure(const char* name, const std::string& text, int frames, HWND window, bool whole) {
  const AssScript script = readAssScript(text);
  const AssWideTexts texts = wideAssTexts(script, kCodePageUtf8);
  const PictureArea area{0, 0, 1920, 1080};
  AssRenderer renderer;
  std::vector<double> layoutMs, drawMs, showMs;
  size_t events = 0;
  for (int f = 0; f < frames; ++f) {
    const int64_t at = 1000 + f * 1000 / 60;
    LARGE_INTEGER a, b, c, d;
    QueryPerformanceCounter(&a);
    const std::vector<AssPlacedEvent> frame = layOutAssFrame(script, texts, area, at, renderer.measure());
    QueryPerformanceCounter(&b);
    renderer.render(frame, area.width, area.height);
    QueryPerformanceCounter(&c);
    POINT source{0, 0};
    SIZE size{renderer.width(), renderer.height()};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const RECT changed = renderer.changed();
    const UPDATELAYEREDWINDOWINFO info{sizeof info, nullptr, nullptr, &size, renderer.dc(), &source, 0, &blend,
                                      ULW_ALPHA, whole ? nullptr : &changed};
    UpdateLayeredWindowIndirect(window, &info);
    QueryPerformanceCounter(&d);
    if (f > 0) {  // the first frame makes the fonts
      layoutMs.push_back(bench::secondsBetween(a, b) * 1000);
      drawMs.push_back(bench::secondsBetween(b, c) * 1000);
      showMs.push_back(bench::secondsBetween(c, d) * 1000);
    }
    events = frame.size();
  }
  std::printf("%s: %zu events on a 1920x1080 picture, %d frames, window updated %s\n", name, events, frames,
              whole ? "whole" : "in its changed part");
  std::printf("  layout              median %.2f ms  p95 %.2f ms\n", median(layoutMs), p95(layoutMs));
  std::printf("  drawing             median %.2f ms  p95 %.2f ms\n", median(drawMs), p95(drawMs));
  std::printf("  to the window       median %.2f ms  p95 %.2f ms\n", median(showMs), p95(showMs));
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 240;
  const HWND window = CreateWindowExA(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT, "STATIC", "", WS_POPUP,
                                      0, 0, 1920, 1080, nullptr, nullptr, nullptr, nullptr);
  bench::printArchitecture();
  for (const bool whole : {false, true}) {
    measure("typical", typicalScript(), frames, window, whole);
    measure("busy", busyScript(), frames, window, whole);
  }
  DestroyWindow(window);
  return 0;
}
