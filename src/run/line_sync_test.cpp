#include "run/line_sync.h"

#include <gtest/gtest.h>

#include <cmath>

#include "overlay/recording_overlay.h"

namespace quorvane {
namespace {

using Outcome = LineSync::Outcome;

// A file made for 25 fps over a 23.976 fps disc and shifted by 2 s: each time in the file is
// the film's time stretched by 25/23.976, plus 2 s.
constexpr double kStretch = 25.0 / 23.976;
int32_t fileTimeOf(int32_t filmMs) { return static_cast<int32_t>(std::lround(filmMs * kStretch)) + 2'000; }

TEST(LineSyncTest, TwoPressesFarApartGiveTheDelayAndTheRateThatMapTheFilmOntoTheFile) {
  LineSync sync;
  const LineSync::Result first = sync.press(600'000, fileTimeOf(600'000), {});
  EXPECT_EQ(first.outcome, Outcome::Offset);
  EXPECT_EQ(first.timing.apply(600'000), fileTimeOf(600'000));
  EXPECT_EQ(first.timing.rate, 1.0);

  const LineSync::Result second = sync.press(4'800'000, fileTimeOf(4'800'000), first.timing);
  ASSERT_EQ(second.outcome, Outcome::OffsetAndRate);
  EXPECT_NEAR(second.timing.rate, kStretch, 1e-6);
  // Every line of the film, before, between and after the two presses, within a millisecond.
  for (const int32_t filmMs : {0, 600'000, 2'000'000, 4'800'000, 7'000'000}) {
    EXPECT_NEAR(second.timing.apply(filmMs), fileTimeOf(filmMs), 1) << filmMs;
  }
}

TEST(LineSyncTest, PressesCloserThanTheSpanOnlyMoveTheDelayAndBecomeTheAnchor) {
  LineSync sync;
  const ClockTiming start{0, 1.02};
  sync.press(100'000, 103'000, start);
  const LineSync::Result near = sync.press(100'000 + LineSync::kMinSpanMs - 1, 170'000, start);
  EXPECT_EQ(near.outcome, Outcome::Offset);
  EXPECT_EQ(near.timing.rate, 1.02);  // the rate in force stays
  EXPECT_EQ(near.timing.apply(159'999), 170'000);
  // The next press pairs with the moved anchor, not with the first one.
  const LineSync::Result far = sync.press(259'999, 270'000, near.timing);
  ASSERT_EQ(far.outcome, Outcome::OffsetAndRate);
  EXPECT_DOUBLE_EQ(far.timing.rate, 1.0);
}

TEST(LineSyncTest, AbsurdRatesAreRefusedAndChangeNothing) {
  struct Case { const char* what; int32_t rawMs, fileMs; };
  const Case cases[] = {
      {"the same line again", 900'000, 10'000},
      {"rate 0.5", 400'000, 10'000 + 195'000},
      {"rate 1.2", 400'000, 10'000 + 468'000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LineSync sync;
    const ClockTiming now{-500, 1.0};
    sync.press(10'000, 10'000, now);
    const LineSync::Result refused = sync.press(c.rawMs, c.fileMs, now);
    EXPECT_EQ(refused.outcome, Outcome::RateRefused);
    EXPECT_EQ(refused.timing, now);
    // The anchor survives a refusal.
    EXPECT_EQ(sync.press(400'000, 10'000 + 410'000, now).outcome, Outcome::OffsetAndRate);
  }
}

TEST(LineSyncTest, WithoutALineNothingChangesAndResetForgetsTheAnchor) {
  LineSync sync;
  const ClockTiming now{700, 1.0};
  const LineSync::Result none = sync.press(50'000, std::nullopt, now);
  EXPECT_EQ(none.outcome, Outcome::NoLine);
  EXPECT_EQ(none.timing, now);
  sync.press(50'000, 52'000, now);
  sync.reset();
  EXPECT_EQ(sync.press(900'000, 950'000, {}).outcome, Outcome::Offset);
}

// The line to sync is the one shown, else the next if it is near; by the file's own time
// (the loader stores each start 500 ms early).
TEST(LineSyncTest, TheLineIsTheShownOneOrTheNextNearOne) {
  const CueTable table = CueTable::fromSorted({{9'500, 12'000, "a"}, {49'500, 51'000, "b"}});
  CueTable empty = CueTable::fromSorted({});
  CueScheduler scheduler;
  std::vector<std::string> log;
  RecordingOverlay overlay(log);
  SchedulerInputs in{11'000, 40, 20, 1080, 0, 900, 936, false};
  scheduler.step(table, in, overlay);
  ASSERT_TRUE(scheduler.textShown());
  EXPECT_EQ(LineSync::lineToSync(table, scheduler, 11'000), 10'000);
  in.positionMs = 12'500;
  scheduler.step(table, in, overlay);  // the gap
  EXPECT_EQ(LineSync::lineToSync(table, scheduler, 12'500), std::nullopt);  // b is 37 s away
  EXPECT_EQ(LineSync::lineToSync(table, scheduler, 20'000), 50'000);
  EXPECT_EQ(LineSync::lineToSync(table, scheduler, 60'000), std::nullopt);
  EXPECT_EQ(LineSync::lineToSync(empty, CueScheduler{}, 0), std::nullopt);
}

}  // namespace
}  // namespace quorvane
