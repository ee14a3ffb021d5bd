#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "overlay/ass_renderer_win.h"
#include "platform/window_handles_win.h"

namespace quorvane {

// Takes an AssRenderer's frames on to per-pixel-alpha windows that cover only the ink: one window
// per group of events that stand near each other (a few at most). Under Wine an update of such a
// window costs in proportion to its area whatever part changed, and a window that changes its
// size costs several times more (a new surface), so: a frame of a few lines spread over the
// picture costs the lines' boxes, not the picture; each window keeps what it shows and is sent
// only the rows and columns that changed; a group that only moved moves its window without a
// pixel sent; and a window whose group keeps growing or shrinking is given room to spare.
class InkWindows {
 public:
  // `first` (the overlay's own window) shows a group whenever there is one, and one clear pixel at
  // the image's corner when nothing is inked. Further windows are made with its styles as they are
  // needed and destroyed with this object.
  explicit InkWindows(HWND first) : first_(first) {}
  ~InkWindows();
  InkWindows(const InkWindows&) = delete;
  InkWindows& operator=(const InkWindows&) = delete;

  // The renderer's last frame, with its image's corner at `origin` on the screen.
  void show(const AssRenderer& renderer, POINT origin);
  // Hides the further windows (the owner hides the first); the next frame shows them again.
  void hide();
  // Puts the further windows back on top, as the owner does with the first.
  void assertTopmost();
  // The windows that show something now, the first one first.
  std::vector<HWND> shownWindows() const;

 private:
  struct Piece {
    HWND window = nullptr;
    RECT shown{};        // on the screen; empty while hidden or not yet sent
    SIZE size{};         // the window's, as last sent (kept while hidden)
    bool inked = false;  // shows a group of the last frame
    // What the window holds: the part `box` of the renderer's image at its corner, clear around.
    RECT box{};
    GdiObject<HBITMAP> bitmap;
    MemoryDc dc;  // after the bitmap: deleted first, so the bitmap is no longer selected
    uint32_t* pixels = nullptr;
    int32_t capacityWidth = 0, capacityHeight = 0;
  };
  HWND makeWindow() const;
  // Sends `box` of the renderer's image to `piece`'s window at `origin` + the box's corner, in a
  // window of `size`: only what changed, or a move alone when the pixels are the same.
  void send(Piece& piece, const AssRenderer& renderer, const RECT& box, POINT origin, SIZE size);

  HWND first_;
  std::vector<Piece> pieces_;  // [0] is the first window's
};

// What `piece` holds, `held` at the corner of a `capacityWidth`-pixel-wide image, made to hold
// `box` of `image` instead (clear around it): the smallest rectangle of the held image that
// changed, empty when nothing did. Rows and columns beyond both boxes are clear and untouched.
RECT takeInkBox(uint32_t* held, int32_t capacityWidth, const RECT& heldBox, const uint32_t* image, int32_t imageWidth,
                const RECT& box);

}  // namespace quorvane
