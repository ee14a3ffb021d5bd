// What taking an image on to a per-pixel-alpha (layered) window costs, and what the cost follows:
// the window's size, the part marked as changed, the size of the image it is taken from, and a
// window moved and resized in the same call. Each case updates a shown, topmost, click-through
// window many times and prints the median and 95th percentile of one update.
//
//   wine build/win64/bench/layered_window_win_bench.exe [UPDATES [CASE]]    default 40, every case

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_clock_win.h"
#include "build_architecture.h"

using namespace quorvane;

namespace {

using bench::median;
using bench::p95;

// A premultiplied image of `width` x `height` with bands of half-transparent ink, selected into
// its DC.
struct Image {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  Image(int width, int height) {
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = SelectObject(dc, bitmap);
    auto* p = static_cast<uint32_t*>(bits);
    // Bands of half-transparent ink, as lines of text make: a window's shape is cut around its
    // ink, and pixel-fine scatter would cut it into more pieces than a request can carry.
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) p[static_cast<size_t>(y) * width + x] = y % 100 < 40 && x > width / 10 && x < width * 9 / 10 ? 0x80808080u : 0;
    }
  }
  ~Image() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

// The window's messages, as the overlay's message loop takes them between frames.
void pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

struct Case {
  const char* what;
  SIZE window;      // the window's size in each update
  SIZE image;       // the image taken from
  SIZE dirty;       // the part marked as changed, at the image's corner; 0x0: none given (all)
  bool moveResize;  // each update moves the window and alternates its size by a pixel
};

void run(const Case& c, int updates) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "LayeredBench";
  RegisterClassA(&windowClass);
  const HWND window = CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE,
                                      "LayeredBench", "", WS_POPUP | WS_DISABLED, 0, 0, c.window.cx, c.window.cy, nullptr,
                                      nullptr, nullptr, nullptr);
  Image image(c.image.cx, c.image.cy);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  POINT source{0, 0};
  // Shown, then given a first whole image, as the overlay is.
  SIZE size = c.window;
  POINT target{0, 0};
  UPDATELAYEREDWINDOWINFO first{sizeof first, nullptr, &target, &size, image.dc, &source, 0, &blend, ULW_ALPHA, nullptr};
  ShowWindow(window, SW_SHOWNA);
  UpdateLayeredWindowIndirect(window, &first);
  pump();
  std::vector<double> ms;
  for (int i = 0; i < updates; ++i) {
    const RECT dirty{0, 0, c.dirty.cx, c.dirty.cy};
    target = c.moveResize ? POINT{100 + i % 50, 100 + i % 30} : POINT{0, 0};
    size = c.moveResize ? SIZE{c.window.cx - i % 2, c.window.cy - i % 2} : c.window;
    const UPDATELAYEREDWINDOWINFO info{sizeof info, nullptr, &target, &size, image.dc, &source, 0, &blend, ULW_ALPHA,
                                      c.dirty.cx > 0 ? &dirty : nullptr};
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    UpdateLayeredWindowIndirect(window, &info);
    QueryPerformanceCounter(&b);
    ms.push_back(bench::secondsBetween(a, b) * 1000);
    pump();
  }
  std::printf("  %-52s median %7.2f ms  p95 %7.2f ms\n", c.what, median(ms), p95(ms));
  std::fflush(stdout);
  DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  const int updates = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  bench::printArchitecture();
  std::printf("UpdateLayeredWindowIndirect, %d updates per case:\n", updates);
  const Case cases[] = {
      {"window 1920x1080, whole", {1920, 1080}, {1920, 1080}, {0, 0}, false},
      {"window 1920x1080, 400x100 changed", {1920, 1080}, {1920, 1080}, {400, 100}, false},
      {"window 1920x1080, 8x8 changed", {1920, 1080}, {1920, 1080}, {8, 8}, false},
      {"window 960x540 from a 1920x1080 image, whole", {960, 540}, {1920, 1080}, {0, 0}, false},
      {"window 960x540, whole", {960, 540}, {960, 540}, {0, 0}, false},
      {"window 960x540, 8x8 changed", {960, 540}, {960, 540}, {8, 8}, false},
      {"window 400x100 from a 1920x1080 image, whole", {400, 100}, {1920, 1080}, {0, 0}, false},
      {"window 400x100, whole", {400, 100}, {400, 100}, {0, 0}, false},
      {"window 400x100, moved and resized each time", {400, 100}, {1920, 1080}, {0, 0}, true},
      {"window 1600x500, moved and resized each time", {1600, 500}, {1920, 1080}, {0, 0}, true},
  };
  const int only = argc > 2 ? std::atoi(argv[2]) : -1;
  for (const Case& c : cases) {
    if (only < 0 || &c - cases == only) run(c, updates);
  }
  return 0;
}
