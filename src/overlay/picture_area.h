#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tick_source.h"

namespace quorvane {

// The film's rectangle on screen, in screen pixels: what positions written for the picture (an
// ASS script's, a WebVTT cue's) are laid out in.
struct PictureArea {
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PictureArea&) const = default;
};

// The user's own rectangle as stored: "left,top,width,height". Empty or "auto" is Automatic
// (nothing comes back), and so is anything that is no sane rectangle: a stored bad value must
// not put the subtitles off screen or into a point.
std::optional<PictureArea> parsePictureArea(std::string_view text);
std::string pictureAreaText(const PictureArea& area);

// Which player's window holds the film: the process read (memory), or the window classes (and
// program file) of a player that tells its time through its interface.
struct PictureOwner {
  uint32_t pid = 0;
  std::vector<std::string> classes = {};
  std::string processName = {};  // e.g. "vlc.exe", whose window class is Qt's generic one
  bool any() const { return pid != 0 || !classes.empty() || !processName.empty(); }
};

// What the resolver asks of the window system. A window is an opaque handle, 0 for none.
class PictureWindows {
 public:
  virtual ~PictureWindows() = default;
  // The largest visible, unowned top-level window that matches every part `owner` gives.
  virtual uintptr_t findWindow(const PictureOwner& owner) const = 0;
  // The window's client area on screen; nothing once it is gone or minimised.
  virtual std::optional<PictureArea> clientArea(uintptr_t window) const = 0;
  // The monitor the overlay is on (the primary one without an overlay).
  virtual PictureArea overlayMonitor() const = 0;
};

// Answers "where is the picture" as often as a layout asks (every frame): the user's rectangle,
// else the followed player's window's client area, else the overlay's monitor. The player's
// window is found once and then only its rectangle is read, so a moved or resized window is
// followed at the cost of one query; a window that went away is looked for again at most once a
// second.
class PictureAreaResolver {
 public:
  static constexpr uint32_t kSearchIntervalMs = 1000;

  PictureAreaResolver(const PictureWindows& windows, const TickSource& ticks) : windows_(windows), ticks_(ticks) {}

  void setUserArea(std::optional<PictureArea> area) { userArea_ = area; }
  const std::optional<PictureArea>& userArea() const { return userArea_; }
  // A new run's player (or none: a free clock).
  void follow(PictureOwner owner);

  PictureArea area();

 private:
  const PictureWindows& windows_;
  const TickSource& ticks_;
  std::optional<PictureArea> userArea_;
  PictureOwner owner_;
  uintptr_t window_ = 0;
  std::optional<uint32_t> lastSearchMs_;
};

}  // namespace quorvane
