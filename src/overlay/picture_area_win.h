#pragma once

#include <windows.h>

#include "overlay/picture_area.h"

namespace quorvane {

// The desktop's windows as the picture area's resolver asks about them.
class SystemPictureWindows final : public PictureWindows {
 public:
  uintptr_t findWindow(const PictureOwner& owner) const override;
  std::optional<PictureArea> clientArea(uintptr_t window) const override;
  PictureArea overlayMonitor() const override;

 private:
  mutable HWND overlay_ = nullptr;  // this process's overlay, found once per overlay
};

}  // namespace quorvane
