// What smooth text costs per cue: the time to draw one two-line cue (tags parsed, image
// rendered, and on to a per-pixel-alpha window with UpdateLayeredWindow) at 36 and 72 points,
// against the classic colour-keyed label drawing the same cue.
//
//   wine build/win/bench/overlay_render_win_bench.exe [REPEATS]    default 200

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_clock_win.h"
#include "build_architecture.h"
#include "loading/subtitle_tags.h"
#include "overlay/overlay_window_win.h"
#include "overlay/smooth_text_win.h"

using namespace quorvane;

namespace {

// Two cues that alternate, so every draw changes the text as a run does.
const char* const kCues[] = {
    "<i>The subtitles float over the player</i>\r\nand follow its clock to the frame",
    "A second cue of two lines, <font color=#FFFF00>one word</font> coloured,\r\nthe other plain",
};

struct Figures {
  double medianMs, p95Ms;
};

template <typename Draw>
Figures measure(int repeats, Draw draw) {
  std::vector<double> ms;
  for (int k = 0; k < repeats; ++k) {
    LARGE_INTEGER start, stop;
    QueryPerformanceCounter(&start);
    draw(kCues[k % 2]);
    QueryPerformanceCounter(&stop);
    ms.push_back(1000 * bench::secondsBetween(start, stop));
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[ms.size() * 95 / 100]};
}

}  // namespace

int main(int argc, char** argv) {
  bench::printArchitecture();
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  std::printf("One two-line cue, %d draws each; ms median / p95\n", repeats);
  std::printf("%-8s %22s %22s %22s\n", "points", "render image only", "smooth overlay", "classic overlay");
  for (const int points : {36, 72}) {
    SmoothTextRenderer renderer;
    SmoothTextLook look;
    look.width = 1440;
    look.height = 540;
    look.face = L"SimHei";
    look.fontPixels = MulDiv(points, 96, 72);
    const Figures image = measure(repeats, [&](const char* cue) {
      renderer.render(wideRuns(parseSubtitleTags(cue, 1252), 1252), look);
    });
    OverlaySetup setup;
    setup.fontFace = "SimHei";
    setup.fontPoints = points;
    setup.top = 500;
    setup.codePage = 1252;
    setup.formattingTags = true;
    setup.smoothText = true;
    const auto smooth = OverlayWindow::create(GetModuleHandleA(nullptr), setup);
    setup.smoothText = false;
    const auto classic = OverlayWindow::create(GetModuleHandleA(nullptr), setup);
    if (!smooth || !classic) {
      std::fprintf(stderr, "overlay_render_bench: no overlay window\n");
      return 1;
    }
    const Figures smoothFigures = measure(repeats, [&](const char* cue) { smooth->setText(cue); });
    const Figures classicFigures = measure(repeats, [&](const char* cue) { classic->setText(cue); });
    std::printf("%-8d %10.2f / %-9.2f %10.2f / %-9.2f %10.2f / %-9.2f\n", points, image.medianMs,
                image.p95Ms, smoothFigures.medianMs, smoothFigures.p95Ms, classicFigures.medianMs,
                classicFigures.p95Ms);
  }
  return 0;
}
