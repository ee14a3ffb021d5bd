#pragma once

#include <windows.h>

#include <vector>

#include "overlay/ass_renderer_win.h"

namespace quorvane {

// Takes an AssRenderer's frames on to per-pixel-alpha windows that cover only the ink: one window
// per group of events that stand near each other (a few at most). Under Wine an update of such a
// window costs in proportion to its area whatever part changed, so a frame of a few lines spread
// over the picture costs the lines' boxes, not the picture; and a group whose pixels stay as they
// were is not sent again.
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
    RECT shown{};        // on the screen; empty while hidden
    bool inked = false;  // shows a group of the last frame
  };
  HWND makeWindow() const;

  HWND first_;
  std::vector<Piece> pieces_;  // [0] is the first window's
};

}  // namespace quorvane
