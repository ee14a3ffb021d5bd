#include "run/free_clock.h"

#include <gtest/gtest.h>

#include "overlay/recording_overlay.h"
#include "platform/fake_precise_time.h"
#include "run/fake_run_timers.h"
#include "run/subtitle_run.h"

namespace quorvane {
namespace {

class FreeClockTest : public ::testing::Test {
 protected:
  int32_t positionAfter(int64_t ms, const ClockTiming& timing = {}) {
    time.advanceMs(ms);
    return clock.read(timing).positionMs;
  }

  FakePreciseTime time;
  FreeClock clock{time};
};

TEST_F(FreeClockTest, StartsPausedAndRunsOnlyWhilePlaying) {
  clock.reset(5'000);
  EXPECT_EQ(positionAfter(3'000), 5'000);
  EXPECT_FALSE(clock.read({}).playing);
  clock.play();
  EXPECT_EQ(positionAfter(1'234), 6'234);
  clock.play();  // again: no jump back to where the first play started
  EXPECT_EQ(positionAfter(100), 6'334);
  clock.pause();
  EXPECT_EQ(positionAfter(10'000), 6'334);
  clock.togglePlay();
  EXPECT_EQ(positionAfter(66), 6'400);
  const ClockReading reading = clock.read({});
  EXPECT_TRUE(reading.playing && reading.hasPosition && !reading.gone);
  EXPECT_EQ(reading.atUs, time.us);
}

TEST_F(FreeClockTest, SeeksKeepPlayOrPauseAndStayWithinTheFilesSpan) {
  clock.setEndMs(60'000);
  struct Case { bool playing; int64_t toMs, positionMs; };
  const Case cases[] = {
      {false, 30'000, 30'000}, {true, 30'000, 30'500},
      {false, 90'000, 60'000}, {true, 90'000, 60'500},  // past the end: at the end; play runs on
      {false, -4'000, 0},      {true, -4'000, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.toMs);
    clock.reset(10'000);
    if (c.playing) clock.play();
    clock.seek(c.toMs);
    EXPECT_EQ(positionAfter(500), c.positionMs);
  }
  clock.reset(59'000);
  clock.seekBy(-10'000);
  EXPECT_EQ(clock.positionMs(), 49'000);
}

// The delay comes off the clock's own position, then the rate scales it (about the written
// times, the stored lead kept in the film's time); the raw position stays the clock's own.
TEST_F(FreeClockTest, TheRunsTimingShiftsThenScales) {
  clock.reset(100'000);
  clock.play();
  time.advanceMs(1'000);
  const ClockReading reading = clock.read({2'000, 1.04});
  EXPECT_EQ(reading.rawMs, 101'000);
  EXPECT_EQ(reading.positionMs, 102'980);  // (101,000 - 2,000 + 500) x 1.04 - 500
  EXPECT_EQ(clock.at(time.us + 500'000, {-300}).positionMs, 101'800);
}

TEST_F(FreeClockTest, TheCounterWrappingWhilePlayingIsHarmless) {
  time.us = ~uint64_t{0} - 300'000;  // 0.3 s before the counter wraps
  clock.reset(7'000);
  clock.play();
  EXPECT_EQ(positionAfter(1'000), 8'000);
  clock.pause();
  EXPECT_EQ(positionAfter(1'000), 8'000);
  // A moment computed for an instant before the last play holds at the base, never wraps to
  // a huge position.
  EXPECT_EQ(clock.at(time.us - 5'000'000, {}).positionMs, 8'000);
}

TEST(FreeClockLinesTest, NextAndPreviousLineGoByStartsAndPreviousStepsPastTheLineJustReached) {
  const CueTable table = CueTable::fromSorted({{1'000, 2'000, "a"}, {5'000, 6'000, "b"}, {9'000, 9'500, "c"}});
  struct Case { int32_t positionMs; std::optional<int32_t> next, previous; };
  const Case cases[] = {
      {0, 1'000, std::nullopt},
      {5'000, 9'000, 1'000},    // just jumped to b: previous is a, not b again
      {6'000, 9'000, 1'000},    // b started exactly the slack ago, not more: still a
      {6'500, 9'000, 5'000},    // after b: previous restarts b
      {9'200, std::nullopt, 5'000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nextLineStart(table, c.positionMs), c.next) << c.positionMs;
    EXPECT_EQ(previousLineStart(table, c.positionMs), c.previous) << c.positionMs;
  }
  EXPECT_EQ(nextLineStart(CueTable::fromSorted({}), 0), std::nullopt);
}

// A run on the free clock is stepped to the millisecond: the moment the next cue starts is
// armed, and a seek shows the cue sought into at the next tick.
TEST_F(FreeClockTest, ARunFollowsItAtEachCuesStartAndAfterASeek) {
  std::vector<std::string> log;
  FakeRunTimers timers;
  SubtitleRun run{clock, &timers};
  run.setInputs({0, 120, 900, 1080, {48, 40}});
  run.start(CueTable::fromSorted({{1'000, 2'000, "one"}, {30'000, 31'000, "far"}}), 936,
            std::make_unique<RecordingOverlay>(log));
  clock.reset(0);
  clock.play();
  run.tick();
  EXPECT_EQ(timers.untilUs, 1'000'000);
  time.advanceMs(1'000);
  run.moment(timers.token);
  EXPECT_EQ(log, (std::vector<std::string>{"left 120", "text one", "topmost"}));
  clock.seek(30'200);
  run.tick();
  EXPECT_EQ(log.at(log.size() - 2), "text far");
}

}  // namespace
}  // namespace quorvane
