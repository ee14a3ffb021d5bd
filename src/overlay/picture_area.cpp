#include "overlay/picture_area.h"

#include <array>
#include <charconv>

namespace quorvane {
namespace {

// Far beyond any desktop of monitors, short of what sums of two coordinates overflow.
constexpr int32_t kCoordinateLimit = 100'000;

}  // namespace

std::optional<PictureArea> parsePictureArea(std::string_view text) {
  std::array<int32_t, 4> numbers{};
  size_t at = 0;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != ',') return std::nullopt;
      ++at;
    }
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, numbers[i]);
    if (error != std::errc() || end == first) return std::nullopt;
    at = static_cast<size_t>(end - text.data());
  }
  if (at != text.size()) return std::nullopt;
  const PictureArea area{numbers[0], numbers[1], numbers[2], numbers[3]};
  const auto within = [](int32_t v) { return v > -kCoordinateLimit && v < kCoordinateLimit; };
  if (!within(area.left) || !within(area.top) || area.width < 1 || area.height < 1 ||
      area.width >= kCoordinateLimit || area.height >= kCoordinateLimit) {
    return std::nullopt;
  }
  return area;
}

std::string pictureAreaText(const PictureArea& area) {
  return std::to_string(area.left) + "," + std::to_string(area.top) + "," + std::to_string(area.width) + "," +
         std::to_string(area.height);
}

void PictureAreaResolver::follow(PictureOwner owner) {
  owner_ = std::move(owner);
  window_ = 0;
  lastSearchMs_.reset();
}

PictureArea PictureAreaResolver::area() {
  if (userArea_) return *userArea_;
  if (window_ != 0) {
    if (const std::optional<PictureArea> client = windows_.clientArea(window_)) return *client;
    window_ = 0;  // gone or minimised: looked for again below, within the interval
  }
  if (owner_.any()) {
    const uint32_t now = ticks_.now();
    if (!lastSearchMs_ || now - *lastSearchMs_ >= kSearchIntervalMs) {
      lastSearchMs_ = now;
      window_ = windows_.findWindow(owner_);
      if (window_ != 0) {
        if (const std::optional<PictureArea> client = windows_.clientArea(window_)) return *client;
        window_ = 0;
      }
    }
  }
  return windows_.overlayMonitor();
}

}  // namespace quorvane
