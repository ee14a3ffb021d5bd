#include "overlay/overlay_metrics.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(OverlayMetrics, LineHeightIsTheWholeOrNextEvenPixelHeight) {
  struct Case { int32_t fontSizeValue; int32_t lineHeight, capacityAt1440, capacityAt1920; };
  const Case cases[] = {
      {4, 12, 120, 160},  {5, 14, 102, 137}, {7, 20, 72, 96},  {16, 44, 32, 43},
      {17, 46, 31, 41},   {18, 48, 30, 40},  {36, 96, 15, 20},
      {37, 100, 14, 19},  // one font size up from the slider's end: t 296, q 98 (even) + 2
      {1, 4, 360, 480},   // t 8, q 2 (even) + 2
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fontSizeValue);
    EXPECT_EQ(computeOverlayMetrics(c.fontSizeValue, 1440).lineHeight, c.lineHeight);
    EXPECT_EQ(computeOverlayMetrics(c.fontSizeValue, 1440).lineCapacity, c.capacityAt1440);
    EXPECT_EQ(computeOverlayMetrics(c.fontSizeValue, 1920).lineCapacity, c.capacityAt1920);
  }
}

TEST(OverlayMetrics, LineCapacityIsAtLeastOne) {
  struct Case { int32_t fontSizeValue, width, lineHeight; };
  const Case cases[] = {
      {0, 1920, 0},  // font size 0, reachable with the font size down hotkey
      {0, 0, 0},
      {18, 0, 48},   // zero width
      {18, 47, 48},  // narrower than one line
      {18, -10, 48},
      {-3, 1920, 0},  // below the slider's range: held at 0
  };
  for (const auto& c : cases) {
    const OverlayMetrics m = computeOverlayMetrics(c.fontSizeValue, c.width);
    EXPECT_EQ(m.lineHeight, c.lineHeight) << c.fontSizeValue << ' ' << c.width;
    EXPECT_EQ(m.lineCapacity, 1) << c.fontSizeValue << ' ' << c.width;
  }
  EXPECT_EQ(computeOverlayMetrics(32767, 2560).lineCapacity, 1);  // the largest slider value
}

}  // namespace
}  // namespace quorvane
