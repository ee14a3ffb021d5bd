#include "overlay/overlay_metrics.h"

#include <algorithm>
#include <cmath>

namespace quorvane {
namespace {

constexpr double kTolerance = 1e-7;
constexpr int32_t kMaxSliderValue = 32767;  // a slider holds nothing outside 0..32767

}  // namespace

OverlayMetrics computeOverlayMetrics(int32_t fontSizeValue, int32_t subtitleWidth) {
  OverlayMetrics metrics;
  const double t = 8.0 * std::clamp(fontSizeValue, 0, kMaxSliderValue);  // 3 x the pixel height of a 2 x value point font
  if (std::fabs(std::fmod(t, 3)) < kTolerance) {
    metrics.lineHeight = static_cast<int32_t>(t / 3);
  } else {
    const double q = std::floor(t / 3);
    metrics.lineHeight = static_cast<int32_t>(std::fabs(std::fmod(q, 2)) > kTolerance ? q + 1 : q + 2);
  }
  const int32_t capacity =
      metrics.lineHeight > 0 ? static_cast<int32_t>(static_cast<double>(subtitleWidth) / metrics.lineHeight) : 1;
  metrics.lineCapacity = std::max(capacity, 1);
  return metrics;
}

}  // namespace quorvane
