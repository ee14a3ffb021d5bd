#include "overlay/ink_windows_win.h"

#include <algorithm>
#include <cstring>

namespace quorvane {
namespace {

constexpr wchar_t kInkClassName[] = L"QuorvaneInk";
// Boxes this close share a window: one window more costs more than the strip between them.
constexpr int kGap = 32;
constexpr size_t kMostWindows = 16;
// A group larger than this is cut along a fixed grid of cells this size, a window for each part:
// a sign that moves or changes inside a large group costs its cell, not the group.
constexpr int64_t kLargestWhole = 512 * 256 * 2;
constexpr LONG kCellWidth = 512, kCellHeight = 256;

int64_t area(SIZE size) { return static_cast<int64_t>(size.cx) * size.cy; }
SIZE sizeOf(const RECT& r) { return {r.right - r.left, r.bottom - r.top}; }
bool sameSize(SIZE a, SIZE b) { return a.cx == b.cx && a.cy == b.cy; }

// A window keeps its size for a box that fits it without leaving it mostly clear: an update costs
// the window's area, a new size several updates.
bool roomFor(SIZE window, SIZE box) {
  return window.cx >= box.cx && window.cy >= box.cy && area(window) <= 2 * area(box) + 64 * 64;
}

}  // namespace

RECT takeInkBox(uint32_t* held, int32_t capacityWidth, const RECT& heldBox, const uint32_t* image, int32_t imageWidth,
                const RECT& box) {
  const SIZE was = sizeOf(heldBox), now = sizeOf(box);
  const LONG width = std::max(was.cx, now.cx), height = std::max(was.cy, now.cy);
  RECT changed{};
  for (LONG y = 0; y < height; ++y) {
    uint32_t* row = held + static_cast<size_t>(y) * capacityWidth;
    const uint32_t* from = y < now.cy ? image + static_cast<size_t>(box.top + y) * imageWidth + box.left : nullptr;
    if (from && width == now.cx && std::memcmp(row, from, static_cast<size_t>(width) * 4) == 0) continue;
    LONG first = -1, last = -1;
    for (LONG x = 0; x < width; ++x) {
      const uint32_t pixel = from && x < now.cx ? from[x] : 0;
      if (row[x] == pixel) continue;
      row[x] = pixel;
      if (first < 0) first = x;
      last = x;
    }
    if (first < 0) continue;
    const RECT line{first, y, last + 1, y + 1};
    UnionRect(&changed, &changed, &line);
  }
  return changed;
}

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

void InkWindows::send(Piece& piece, const AssRenderer& renderer, const RECT& box, POINT origin, SIZE size) {
  // The held image is at least the window's size, and not very much more.
  const SIZE capacity{piece.capacityWidth, piece.capacityHeight};
  if (!piece.pixels || capacity.cx < size.cx || capacity.cy < size.cy || area(capacity) > 4 * area(size) + 256 * 256) {
    piece.pixels = nullptr;
    piece.box = {};
    piece.shown = {};  // sent whole
    piece.dc = MemoryDc(CreateCompatibleDC(nullptr));
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    piece.bitmap = GdiObject<HBITMAP>(CreateDIBSection(piece.dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!piece.dc || !piece.bitmap || !bits) return;  // that group goes unseen rather than a frame is lost
    SelectObject(piece.dc.get(), piece.bitmap.get());
    piece.pixels = static_cast<uint32_t*>(bits);
    piece.capacityWidth = size.cx;
    piece.capacityHeight = size.cy;
  }
  const RECT changed = takeInkBox(piece.pixels, piece.capacityWidth, piece.box, renderer.pixels(), renderer.width(), box);
  piece.box = box;
  const RECT onScreen{origin.x + box.left, origin.y + box.top, origin.x + box.left + size.cx,
                      origin.y + box.top + size.cy};
  // A window of the same size is sent what changed, or only moved; a new size, or a window that
  // was hidden, is sent whole.
  const bool resent = IsRectEmpty(&piece.shown) || !sameSize(piece.size, size);
  if (!resent && IsRectEmpty(&changed) && EqualRect(&onScreen, &piece.shown)) return;
  const bool moveOnly = !resent && IsRectEmpty(&changed);
  POINT source{0, 0}, target{onScreen.left, onScreen.top};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const UPDATELAYEREDWINDOWINFO info{sizeof info,
                                     nullptr,
                                     &target,
                                     &size,
                                     moveOnly ? nullptr : piece.dc.get(),
                                     moveOnly ? nullptr : &source,
                                     0,
                                     &blend,
                                     ULW_ALPHA,
                                     resent || moveOnly ? nullptr : &changed};
  piece.size = size;
  piece.shown = UpdateLayeredWindowIndirect(piece.window, &info) ? onScreen : RECT{};
}

void InkWindows::show(const AssRenderer& renderer, POINT origin) {
  if (pieces_.empty()) {
    pieces_.emplace_back();
    pieces_[0].window = first_;
  }
  std::vector<RECT> groups;
  for (const RECT& group : joinRects(renderer.eventInk(), kGap, kMostWindows)) {
    if (area(sizeOf(group)) <= kLargestWhole) {
      groups.push_back(group);
      continue;
    }
    for (LONG top = group.top / kCellHeight * kCellHeight; top < group.bottom; top += kCellHeight) {
      for (LONG left = group.left / kCellWidth * kCellWidth; left < group.right; left += kCellWidth) {
        const RECT cell{left, top, left + kCellWidth, top + kCellHeight};
        RECT part;
        if (IntersectRect(&part, &cell, &group)) groups.push_back(part);
      }
    }
  }
  // A group keeps the window that showed it; a group of the same size (one that moved) takes the
  // window that showed that, the nearest; the others take the free windows that have room for
  // them, then any free window, the first one first, so that the overlay's own window shows ink
  // whenever there is some.
  std::vector<int> pieceOf(groups.size(), -1);
  std::vector<bool> taken(pieces_.size(), false);
  const auto take = [&](size_t g, size_t p) {
    pieceOf[g] = static_cast<int>(p);
    taken[p] = true;
  };
  for (size_t g = 0; g < groups.size(); ++g) {
    for (size_t p = 0; p < pieces_.size(); ++p) {
      if (!taken[p] && pieces_[p].inked && EqualRect(&pieces_[p].box, &groups[g])) {
        take(g, p);
        break;
      }
    }
  }
  const auto freeWindow = [&](size_t g, auto&& better) {
    int best = -1;
    for (size_t p = 0; p < pieces_.size(); ++p) {
      if (!taken[p] && (best < 0 || better(pieces_[p], pieces_[static_cast<size_t>(best)]))) best = static_cast<int>(p);
    }
    if (best >= 0) take(g, static_cast<size_t>(best));
  };
  for (size_t g = 0; g < groups.size(); ++g) {
    const RECT& box = groups[g];
    if (pieceOf[g] >= 0) continue;
    const auto moved = [&](const Piece& p) { return p.inked && sameSize(sizeOf(p.box), sizeOf(box)); };
    const auto distance = [&](const Piece& p) { return std::abs(p.box.left - box.left) + std::abs(p.box.top - box.top); };
    freeWindow(g, [&](const Piece& a, const Piece& b) {
      if (moved(a) != moved(b)) return moved(a);
      const bool roomA = roomFor(a.size, sizeOf(box)), roomB = roomFor(b.size, sizeOf(box));
      if (roomA != roomB) return roomA;
      return moved(a) ? distance(a) < distance(b) : roomA && area(a.size) < area(b.size);
    });
    if (pieceOf[g] >= 0) continue;
    const HWND window = makeWindow();
    if (!window) continue;  // that group goes unseen rather than a frame is lost
    pieces_.emplace_back();
    pieces_.back().window = window;
    taken.push_back(true);
    pieceOf[g] = static_cast<int>(pieces_.size() - 1);
  }
  if (!groups.empty() && !taken[0]) {  // every group kept another window: the last moves over
    const auto last = std::max_element(pieceOf.begin(), pieceOf.end());
    taken[static_cast<size_t>(*last)] = false;
    *last = 0, taken[0] = true;
  }

  for (size_t g = 0; g < groups.size(); ++g) {
    if (pieceOf[g] < 0) continue;
    Piece& piece = pieces_[static_cast<size_t>(pieceOf[g])];
    const SIZE box = sizeOf(groups[g]);
    // A window that keeps changing its size gets room to grow, within the image.
    const SIZE room{std::max(box.cx, std::min(box.cx + box.cx / 4 + 32, renderer.width() - groups[g].left)),
                    std::max(box.cy, std::min(box.cy + box.cy / 4 + 32, renderer.height() - groups[g].top))};
    const SIZE size = roomFor(piece.size, box) ? piece.size : piece.inked ? room : box;
    send(piece, renderer, groups[g], origin, size);
    piece.inked = true;
    if (piece.window != first_ && !IsWindowVisible(piece.window)) ShowWindow(piece.window, SW_SHOWNA);
  }
  for (size_t p = 0; p < pieces_.size(); ++p) {
    if (taken[p]) continue;
    pieces_[p].inked = false;
    if (p == 0) {
      send(pieces_[0], renderer, RECT{0, 0, 1, 1}, origin, {1, 1});  // nothing inked: the image's corner is clear
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
