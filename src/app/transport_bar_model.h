#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The free clock's bar, what can be decided without windows: its clock text, the slider's
// mapping, and where it goes on the monitors there are.

// What the bar shows, asked for on each refresh.
struct TransportBarState {
  int64_t positionMs = 0;  // the file's time
  int64_t spanMs = 0;      // the slider's length: to the end of the file's last line
  bool playing = false;
  int32_t delayMs = 0;
  double rate = 1.0;
  bool earlyStart = false;
};

// "h:mm:ss"; negative positions count as 0.
std::string clockText(int64_t ms);

// The slider spans [0, spanMs]: the position at `fraction` of its length, and back.
int64_t sliderPositionMs(double fraction, int64_t spanMs);
double sliderFraction(int64_t positionMs, int64_t spanMs);

struct Box {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
};

struct Monitor {
  std::string name;  // the device name, which stays the same across starts
  Box work;          // its work area in screen pixels
  uint32_t dpi = 96;
  bool primary = false;
};

// Where the bar was left: on which monitor, and at what offset from that monitor's work area's
// top-left corner, in 96-DPI pixels so that it keeps its place when the monitor's scale changes.
struct BarPlace {
  std::string monitor;
  int32_t x = 0, y = 0;
};
// Stored as "monitor|x|y"; nothing for a text that is not one.
std::optional<BarPlace> parseBarPlace(std::string_view text);
std::string barPlaceText(const BarPlace& place);

// The bar's box on screen for a bar of `width` x `height` 96-DPI pixels. The remembered monitor
// if it is still there, else the primary one (where a missing place also goes: centred near the
// top, away from the subtitles); always wholly inside that monitor's work area.
Box placeBar(const std::optional<BarPlace>& place, const std::vector<Monitor>& monitors, int32_t width,
             int32_t height);
// After a drag: the monitor the bar's box overlaps most (or the nearest, if off every one), the
// box moved wholly into its work area, and the place to remember.
struct Landing {
  Box box;
  BarPlace place;
};
Landing landBar(const Box& dropped, const std::vector<Monitor>& monitors);

}  // namespace quorvane
