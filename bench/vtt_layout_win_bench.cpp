// What placing WebVTT cues by their settings costs per frame on a 1920x1080 picture: a typical
// screen (a bilingual pair at the bottom, a sign at the top, a note on the right) and the bad
// inputs (500 cues at once, 100 000 cue settings on a line, a cue of 100 000 characters). Each is
// laid out and drawn by a renderer whose image is made but which has drawn nothing yet (fonts and
// masks made: a cue's first frame), and then again by the same one (what a repaint costs); the
// layout and the drawing timed apart; the window update is left out (see ass_render_win_bench).
//
//   wine build/win64/bench/vtt_layout_win_bench.exe [FRAMES]    default 20

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock_win.h"
#include "build_architecture.h"
#include "loading/vtt_reader.h"
#include "overlay/ass_renderer_win.h"
#include "overlay/vtt_layout.h"
#include "platform/code_pages.h"

using namespace quorvane;

namespace {

std::string cue(const std::string& settings, const std::string& text) {
  return "00:00.000 --> 01:00.000 " + settings + "\r\n" + text + "\r\n\r\n";
}

using bench::median;

double highest(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

void measure(const char* name, const std::string& body, int frames) {
  const SubtitleEvents events = readVttEvents("WEBVTT\r\n\r\n" + body, kCodePageUtf8);
  std::vector<VttCue> cues;
  for (const SubtitleEvent& event : events.events) cues.push_back(vttCueOf(event, kCodePageUtf8));
  std::vector<const VttCue*> shown;
  for (const VttCue& c : cues) shown.push_back(&c);
  const PictureArea area{0, 0, 1920, 1080};
  VttLook look;
  look.face = u"Arial";
  std::vector<double> layoutMs[2], drawMs[2];  // first frame, repainted
  size_t placed = 0;
  for (int f = 0; f < frames; ++f) {
    AssRenderer renderer;
    renderer.render({}, area.width, area.height);
    for (int pass = 0; pass < 2; ++pass) {
      LARGE_INTEGER a, b, c;
      QueryPerformanceCounter(&a);
      const std::vector<AssPlacedEvent> frame = layOutVttCues(shown, area, look, renderer.measure());
      QueryPerformanceCounter(&b);
      renderer.render(frame, area.width, area.height);
      QueryPerformanceCounter(&c);
      layoutMs[pass].push_back(bench::secondsBetween(a, b) * 1000);
      drawMs[pass].push_back(bench::secondsBetween(b, c) * 1000);
      placed = frame.size();
    }
  }
  std::printf("%s: %zu cues, %zu placed, %d frames\n", name, cues.size(), placed, frames);
  for (int pass = 0; pass < 2; ++pass) {
    std::printf("  %-10s layout median %.2f ms max %.2f ms; drawing median %.2f ms max %.2f ms\n",
                pass ? "repainted" : "first", median(layoutMs[pass]), highest(layoutMs[pass]), median(drawMs[pass]),
                highest(drawMs[pass]));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  bench::printArchitecture();
  measure("typical",
          cue("", "我什么都没说。\r\nI didn't say anything.") + cue("line:1 position:5%,line-left size:40% align:left",
                                                                 "<b>Railway station</b>") +
              cue("line:-4 position:95%,line-right size:30% align:right", "(bells in the distance)"),
          frames);
  std::string crowd;
  for (int i = 0; i < 500; ++i) crowd += cue(i % 2 ? "line:-1000" : "", "Cue number " + std::to_string(i));
  measure("500 cues at once", crowd, frames);
  std::string settings;
  for (int i = 0; i < 100000; ++i) settings += i % 3 ? "position:100% " : "size:0% ";
  measure("100000 settings on a line", cue(settings, "Hello big world"), frames);
  std::string words;
  for (int i = 0; i < 20000; ++i) words += "word ";
  measure("a cue of 100000 characters", cue("", words), frames);
  return 0;
}
