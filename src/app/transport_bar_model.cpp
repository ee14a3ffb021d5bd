#include "app/transport_bar_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/text_number.h"

namespace quorvane {
namespace {

int32_t scaled(int32_t length, uint32_t dpi) { return static_cast<int32_t>(std::lround(length * (dpi / 96.0))); }
int32_t unscaled(int32_t length, uint32_t dpi) { return static_cast<int32_t>(std::lround(length * (96.0 / dpi))); }

Box inside(Box box, const Box& area) {
  const int32_t w = box.width(), h = box.height();
  box.left = std::max(area.left, std::min(box.left, area.right - w));
  box.top = std::max(area.top, std::min(box.top, area.bottom - h));
  box.right = box.left + w;
  box.bottom = box.top + h;
  return box;
}

int64_t overlap(const Box& a, const Box& b) {
  const int64_t w = std::min(a.right, b.right) - std::max(a.left, b.left);
  const int64_t h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// How far the box's centre is from the area, in pixels along both axes.
int64_t distance(const Box& box, const Box& area) {
  const int64_t cx = (int64_t{box.left} + box.right) / 2, cy = (int64_t{box.top} + box.bottom) / 2;
  const int64_t dx = cx < area.left ? area.left - cx : cx > area.right ? cx - area.right : 0;
  const int64_t dy = cy < area.top ? area.top - cy : cy > area.bottom ? cy - area.bottom : 0;
  return dx + dy;
}

const Monitor* primaryOf(const std::vector<Monitor>& monitors) {
  for (const Monitor& m : monitors) {
    if (m.primary) return &m;
  }
  return monitors.empty() ? nullptr : &monitors.front();
}

}  // namespace

std::string clockText(int64_t ms) {
  const int64_t s = std::max<int64_t>(0, ms) / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  return text;
}

int64_t sliderPositionMs(double fraction, int64_t spanMs) {
  return std::llround(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(std::max<int64_t>(0, spanMs)));
}

double sliderFraction(int64_t positionMs, int64_t spanMs) {
  if (spanMs <= 0) return 0;
  return std::clamp(static_cast<double>(positionMs) / static_cast<double>(spanMs), 0.0, 1.0);
}

std::optional<BarPlace> parseBarPlace(std::string_view text) {
  const size_t second = text.rfind('|');
  if (second == std::string_view::npos || second == 0) return std::nullopt;
  const size_t first = text.rfind('|', second - 1);
  if (first == std::string_view::npos || first == 0) return std::nullopt;
  const std::string x(text.substr(first + 1, second - first - 1)), y(text.substr(second + 1));
  const auto number = [](const std::string& s) -> std::optional<int32_t> {
    if (s.empty() || s.size() > 7) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0') return std::nullopt;
    return static_cast<int32_t>(value);
  };
  const auto px = number(x), py = number(y);
  if (!px || !py) return std::nullopt;
  return BarPlace{std::string(text.substr(0, first)), *px, *py};
}

std::string barPlaceText(const BarPlace& place) {
  return place.monitor + "|" + std::to_string(place.x) + "|" + std::to_string(place.y);
}

Box placeBar(const std::optional<BarPlace>& place, const std::vector<Monitor>& monitors, int32_t width,
             int32_t height) {
  const Monitor* on = nullptr;
  if (place) {
    for (const Monitor& m : monitors) {
      if (m.name == place->monitor) on = &m;
    }
  }
  const bool remembered = on != nullptr;
  if (!on) on = primaryOf(monitors);
  if (!on) return {0, 0, width, height};
  const int32_t w = scaled(width, on->dpi), h = scaled(height, on->dpi);
  Box box;
  if (remembered) {
    box.left = on->work.left + scaled(place->x, on->dpi);
    box.top = on->work.top + scaled(place->y, on->dpi);
  } else {
    // Centred near the top: the subtitles take the bottom of the screen.
    box.left = on->work.left + (on->work.width() - w) / 2;
    box.top = on->work.top + scaled(48, on->dpi);
  }
  box.right = box.left + w;
  box.bottom = box.top + h;
  return inside(box, on->work);
}

Landing landBar(const Box& dropped, const std::vector<Monitor>& monitors) {
  const Monitor* best = primaryOf(monitors);
  int64_t bestOverlap = -1, bestDistance = INT64_MAX;
  for (const Monitor& m : monitors) {
    const int64_t o = overlap(dropped, m.work), d = distance(dropped, m.work);
    if (o > bestOverlap || (o == 0 && bestOverlap == 0 && d < bestDistance)) {
      best = &m;
      bestOverlap = o;
      bestDistance = d;
    }
  }
  if (!best) return {dropped, {}};
  const Box box = inside(dropped, best->work);
  return {box, {best->name, unscaled(box.left - best->work.left, best->dpi), unscaled(box.top - best->work.top, best->dpi)}};
}

}  // namespace quorvane
