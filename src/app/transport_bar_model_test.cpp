#include "app/transport_bar_model.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

// A primary monitor at 96 DPI and one to its right at 144 DPI (150 %).
const std::vector<Monitor> kMonitors = {
    {"\\\\.\\DISPLAY1", {0, 0, 1920, 1040}, 96, true},
    {"\\\\.\\DISPLAY2", {1920, 0, 1920 + 2560, 1400}, 144, false},
};

TEST(TransportBarModelTest, ClockTextAndSlider) {
  EXPECT_EQ(clockText(0), "0:00:00");
  EXPECT_EQ(clockText(6'305'999), "1:45:05");
  EXPECT_EQ(clockText(-500), "0:00:00");
  EXPECT_EQ(sliderPositionMs(0.25, 600'000), 150'000);
  EXPECT_EQ(sliderPositionMs(1.7, 600'000), 600'000);  // dragged past the end: the end
  EXPECT_EQ(sliderFraction(900'000, 600'000), 1.0);
  EXPECT_EQ(sliderFraction(5, 0), 0.0);  // a file with no cue has no span
}

TEST(TransportBarModelTest, APlaceIsParsedOnlyWhenWhole) {
  const auto place = parseBarPlace("\\\\.\\DISPLAY2|-40|300");
  ASSERT_TRUE(place);
  EXPECT_EQ(barPlaceText(*place), "\\\\.\\DISPLAY2|-40|300");
  for (const char* bad : {"", "|1|2", "a|1", "a|1|", "a|x|2", "a|1|2x"}) EXPECT_FALSE(parseBarPlace(bad)) << bad;
}

// The remembered monitor at its own scale; a monitor that is gone or no place at all: the
// primary, centred near the top; never outside the work area.
TEST(TransportBarModelTest, TheBarGoesWhereItWasLeftOrOntoThePrimaryMonitor) {
  struct Case { const char* what; std::optional<BarPlace> place; Box box; };
  const Case cases[] = {
      {"second monitor at 150 %", BarPlace{"\\\\.\\DISPLAY2", 100, 200}, {2070, 300, 2070 + 900, 300 + 60}},
      {"past its edge", BarPlace{"\\\\.\\DISPLAY2", 5000, -80}, {4480 - 900, 0, 4480, 60}},
      {"monitor gone", BarPlace{"\\\\.\\DISPLAY3", 100, 200}, {660, 48, 1260, 88}},
      {"first start", std::nullopt, {660, 48, 1260, 88}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Box box = placeBar(c.place, kMonitors, 600, 40);
    EXPECT_EQ(std::vector<int32_t>({box.left, box.top, box.right, box.bottom}),
              std::vector<int32_t>({c.box.left, c.box.top, c.box.right, c.box.bottom}));
  }
}

TEST(TransportBarModelTest, ADropOffEveryMonitorComesBackOntoTheNearestAndIsRememberedThere) {
  const Landing off = landBar({5000, 500, 5900, 560}, kMonitors);  // right of the second monitor
  EXPECT_EQ(off.box.right, 4480);
  EXPECT_EQ(off.place.monitor, "\\\\.\\DISPLAY2");
  EXPECT_EQ(off.place.x, 1107);  // 1,660 pixels at 150 %
  const Landing straddling = landBar({1700, 100, 2300, 140}, kMonitors);  // mostly on the second
  EXPECT_EQ(straddling.place.monitor, "\\\\.\\DISPLAY2");
  EXPECT_EQ(straddling.box.left, 1920);
  EXPECT_EQ(placeBar(straddling.place, kMonitors, 400, 40 * 2 / 3).left, 1920);
}

}  // namespace
}  // namespace quorvane
