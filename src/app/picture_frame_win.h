#pragma once

#include <windows.h>

#include <memory>

#include "overlay/picture_area.h"
#include "platform/window_win.h"

namespace quorvane {

inline constexpr char kPictureFrameClassName[] = "QuorvanePictureFrame";

// The settings dialog's "Frame it": a translucent, framed window over the picture area, with
// the rectangle's numbers in its middle, that goes after a few seconds or at a click.
class PictureFrame final : public WindowBase<PictureFrame> {
 public:
  static constexpr UINT kShowMs = 4000;

  // Null when the window cannot be made.
  static std::unique_ptr<PictureFrame> create(HINSTANCE instance);
  ~PictureFrame();

  // Over `area`, in front of every window; one already shown moves there and starts its time again.
  void show(const PictureArea& area);

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  PictureFrame() = default;
  void paint(HDC dc);

  PictureArea area_;
};

}  // namespace quorvane
