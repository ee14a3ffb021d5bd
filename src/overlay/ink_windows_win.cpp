#include "overlay/ink_windows_win.h"

#include <algorithm>

namespace quorvane {
namespace {

constexpr wchar_t kInkClassName[] = L"QuorvaneInk";
// Boxes this close share a window: one window more costs more than the strip between them.
constexpr int kGap = 32;
constexpr size_t kMostWindows = 8;

}  // namespace

InkWindows::~InkWindows() {
  for (size_t i = 1; i < pieces_.size(); ++i) DestroyWindow(pieces_[i].window);
}

HWND InkWindows::makeWindow() const {
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(first_, GWLP_HINSTANCE));
  WNDCLASSEXW inkClass{};
  inkClass.cbSize = sizeof inkClass;
  inkClass.lpfnWndProc = DefWindowProcW;
  inkClass.hInstance = instance;
  inkClass.lpszClassName = kInkClassName;
  if (!RegisterClassExW(&inkClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  // The first window's styles: click-through, topmost, never activated, out of the taskbar.
  return CreateWindowExW(static_cast<DWORD>(GetWindowLongW(first_, GWL_EXSTYLE)), kInkClassName, L"",
                         static_cast<DWORD>(GetWindowLongW(first_, GWL_STYLE)) & ~WS_VISIBLE, 0, 0, 1, 1, nullptr,
                         nullptr, instance, nullptr);
}

void InkWindows::show(const AssRenderer& renderer, POINT origin) {
  if (pieces_.empty()) pieces_.push_back({first_, {}});
  std::vector<RECT> groups = joinRects(renderer.eventInk(), kGap, kMostWindows);
  // A group where a window already stands keeps it; the others take the free windows, the first
  // one first, so that the overlay's own window shows ink whenever there is some.
  std::vector<int> pieceOf(groups.size(), -1);
  std::vector<bool> taken(pieces_.size(), false);
  for (size_t g = 0; g < groups.size(); ++g) {
    RECT onScreen = groups[g];
    OffsetRect(&onScreen, origin.x, origin.y);
    for (size_t p = 0; p < pieces_.size(); ++p) {
      if (!taken[p] && EqualRect(&pieces_[p].shown, &onScreen)) {
        pieceOf[g] = static_cast<int>(p), taken[p] = true;
        break;
      }
    }
  }
  for (size_t g = 0; g < groups.size(); ++g) {
    if (pieceOf[g] >= 0) continue;
    const auto free = std::find(taken.begin(), taken.end(), false);
    if (free != taken.end()) {
      *free = true;
      pieceOf[g] = static_cast<int>(free - taken.begin());
      continue;
    }
    const HWND window = makeWindow();
    if (!window) continue;  // that group goes unseen rather than a frame is lost
    pieces_.push_back({window, {}});
    taken.push_back(true);
    pieceOf[g] = static_cast<int>(pieces_.size() - 1);
  }
  if (!groups.empty() && !taken[0]) {  // every group kept another window: the last moves over
    const auto last = std::max_element(pieceOf.begin(), pieceOf.end());
    taken[static_cast<size_t>(*last)] = false;
    *last = 0, taken[0] = true;
  }

  const std::vector<RECT>& changed = renderer.changed();
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const auto send = [&](Piece& piece, const RECT& box) {
    RECT onScreen = box;
    OffsetRect(&onScreen, origin.x, origin.y);
    const bool same = EqualRect(&onScreen, &piece.shown);
    RECT dirty{};
    for (const RECT& r : changed) {
      RECT common;
      if (IntersectRect(&common, &r, &box)) UnionRect(&dirty, &dirty, &common);
    }
    if (same && IsRectEmpty(&dirty)) return;  // its pixels are as they were
    OffsetRect(&dirty, -box.left, -box.top);  // the window's own coordinates
    POINT source{box.left, box.top}, target{onScreen.left, onScreen.top};
    SIZE size{box.right - box.left, box.bottom - box.top};
    // A moved or resized window is sent whole.
    const UPDATELAYEREDWINDOWINFO info{sizeof info, nullptr, &target, &size, renderer.dc(), &source, 0, &blend,
                                      ULW_ALPHA, same ? &dirty : nullptr};
    piece.shown = UpdateLayeredWindowIndirect(piece.window, &info) ? onScreen : RECT{};
  };
  for (Piece& piece : pieces_) piece.inked = false;
  for (size_t g = 0; g < groups.size(); ++g) {
    if (pieceOf[g] < 0) continue;
    Piece& piece = pieces_[static_cast<size_t>(pieceOf[g])];
    send(piece, groups[g]);
    piece.inked = true;
    if (piece.window != first_ && !IsWindowVisible(piece.window)) ShowWindow(piece.window, SW_SHOWNA);
  }
  for (size_t p = 0; p < pieces_.size(); ++p) {
    if (taken[p]) continue;
    if (p == 0) {
      send(pieces_[0], RECT{0, 0, 1, 1});  // nothing inked: the image's corner is clear
    } else if (!IsRectEmpty(&pieces_[p].shown)) {
      ShowWindow(pieces_[p].window, SW_HIDE);
      pieces_[p].shown = {};
    }
  }
}

void InkWindows::hide() {
  for (size_t p = 1; p < pieces_.size(); ++p) {
    ShowWindow(pieces_[p].window, SW_HIDE);
    pieces_[p].shown = {};
    pieces_[p].inked = false;
  }
}

void InkWindows::assertTopmost() {
  const auto ours = [this](HWND window) {
    return std::any_of(pieces_.begin(), pieces_.end(), [window](const Piece& p) { return p.window == window; });
  };
  for (size_t p = 1; p < pieces_.size(); ++p) {
    const HWND window = pieces_[p].window;
    if (!IsWindowVisible(window)) continue;
    // As the first window: a round trip only when another visible window stands above.
    HWND above = GetWindow(window, GW_HWNDPREV);
    while (above && (!IsWindowVisible(above) || ours(above))) above = GetWindow(above, GW_HWNDPREV);
    if (above) SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

std::vector<HWND> InkWindows::shownWindows() const {
  std::vector<HWND> windows;
  for (const Piece& piece : pieces_) {
    if (piece.inked) windows.push_back(piece.window);
  }
  return windows;
}

}  // namespace quorvane
