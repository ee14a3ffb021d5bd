#include "sync/subtitle_run.h"

#include <gtest/gtest.h>

#include "overlay/recording_overlay.h"
#include "platform/fake_tick_source.h"
#include "sync/fake_player_memory.h"

namespace quorvane {
namespace {

using Calls = std::vector<std::string>;

class SubtitleRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory.setPlaying(1);
    memory.setDigits(0, 0, 4);
    run.setPlayer({FakePlayerMemory::kPid, FakePlayerMemory::kBase});
    run.inputs() = {0, 120, 900, 1080, {48, 40}};
  }

  // One 50 ms tick of the scheduler timer.
  Calls tickAfter(uint32_t ms) {
    ticks.nowMs += ms;
    run.tick(overlay);
    return overlay.take();
  }

  FakePlayerMemory memory;
  FakeTicks ticks;
  SubtitleRun run{memory, ticks};
  RecordingOverlay overlay;
};

TEST_F(SubtitleRunTest, ShowsEachCueFromTheClocksPositionWithTheControlsGeometry) {
  run.start(CueTable::fromSorted({{4200, 4600, "one"}, {4700, 5500, "two"}}), 936);
  EXPECT_EQ(tickAfter(50), Calls{});  // 4000
  EXPECT_EQ(tickAfter(200), (Calls{"left 120", "text one", "topmost"}));
  run.inputs().left = 300;
  EXPECT_EQ(tickAfter(400), (Calls{"text ", "top 900"}));  // 4600: the gap
  EXPECT_EQ(tickAfter(100), (Calls{"left 300", "text two", "topmost"}));
  run.inputs().delayMs = -1000;  // taken at the next digit change
  EXPECT_EQ(tickAfter(50), Calls{});
  memory.setDigits(0, 0, 5);
  EXPECT_EQ(tickAfter(250), (Calls{"text ", "top 900"}));  // 6000
}

TEST_F(SubtitleRunTest, APauseInsideACueKeepsThatCueNotThePreviousOne) {
  run.start(CueTable::fromSorted({{3900, 4300, "before"}, {4300, 6000, "paused in"}}), 936);
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "text before", "topmost"}));  // 4000
  EXPECT_EQ(tickAfter(350), (Calls{"left 120", "text paused in", "topmost"}));  // 4350
  memory.setPlaying(0);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(tickAfter(50), Calls{}) << "tick " << i;
  memory.setPlaying(1);
  EXPECT_EQ(tickAfter(50), Calls{});
  EXPECT_EQ(run.positionMs(), 4400);
}

TEST_F(SubtitleRunTest, APlayerThatExitsClearsTheTextOnceAndTheRunFallsQuiet) {
  run.start(CueTable::fromSorted({{4000, 9000, "last words"}}), 936);
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "text last words", "topmost"}));
  memory.exit();
  EXPECT_EQ(tickAfter(50), (Calls{"text ", "top 900"}));
  EXPECT_TRUE(run.playerGone());
  EXPECT_EQ(tickAfter(50), Calls{});
  // A new run starts afresh.
  memory = FakePlayerMemory{};
  memory.setPlaying(1);
  memory.setDigits(0, 0, 4);
  run.start(CueTable::fromSorted({{4000, 9000, "again"}}), 936);
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "text again", "topmost"}));
}

TEST_F(SubtitleRunTest, LinesAreCountedInTheTextsOwnCodePage) {
  // Two lines of 48 pixels from top 1000 reach below a 1080-pixel screen: raised to 984.
  run.inputs().baseTop = 1000;
  const std::string french = "O\xF9 est le caf\xE9\r\nIci.";
  run.start(CueTable::fromSorted({{4000, 9000, french}}), 1252);
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "top 984", "text " + french, "topmost"}));
  EXPECT_EQ(run.scheduler().lineCount(), 2);
}

}  // namespace
}  // namespace quorvane
