#include "run/subtitle_run.h"

#include <gtest/gtest.h>

#include "loading/ass_reader.h"
#include "loading/subtitle_events.h"
#include "overlay/recording_overlay.h"
#include "run/run_rig_test.h"

namespace quorvane {
namespace {

using Calls = std::vector<std::string>;

class SubtitleRunTest : public ::testing::Test, protected RunRig {
 protected:
  void start(std::vector<Cue> cues, unsigned codePage = 936) {
    run.start(CueTable::fromSorted(std::move(cues)), codePage, std::make_unique<RecordingOverlay>(log));
  }
};

TEST_F(SubtitleRunTest, ShowsEachCueFromTheClocksPositionWithTheControlsGeometry) {
  start({{4200, 4600, "one"}, {4700, 5500, "two"}});
  EXPECT_EQ(tickAfter(50), Calls{});  // 4000
  EXPECT_EQ(tickAfter(200), (Calls{"left 120", "text one", "topmost"}));
  run.setLeft(300);
  EXPECT_EQ(tickAfter(400), (Calls{"left 300", "text ", "top 900"}));  // 4600: the gap
  EXPECT_EQ(tickAfter(100), (Calls{"left 300", "text two", "topmost"}));
  run.setDelay(-1000);  // taken at the next digit change
  EXPECT_EQ(tickAfter(50), Calls{});
  memory.setDigits(0, 0, 5);
  EXPECT_EQ(tickAfter(250), (Calls{"text ", "top 900"}));  // 6000
}

TEST_F(SubtitleRunTest, TheOverlayFindsTheBlocksOfEachStyledCueItShows) {
  CueTable table = CueTable::fromSorted({{4200, 4600, "zh\r\nen", {{0, 1, false}, {1, 2, false}}},
                                         {4600, 5500, "sign", {{2, 0, true}}}});
  table.looks.resize(3);
  table.blockTexts = {"zh", "{\\i1}en", "sign"};
  run.start(std::move(table), 936, std::make_unique<RecordingOverlay>(log));
  EXPECT_EQ(tickAfter(50), Calls{});  // 4000
  EXPECT_EQ(tickAfter(200), (Calls{"left 120", "text zh\r\nen | zh | {\\i1}en", "topmost"}));
  EXPECT_EQ(tickAfter(400), (Calls{"left 120", "text sign | sign", "topmost"}));
  EXPECT_EQ(tickAfter(1000), (Calls{"text ", "top 900"}));
}

TEST_F(SubtitleRunTest, ATypesetScriptIsDrawnAtThePositionItsCuesAreShownAt) {
  CueTable table = CueTable::fromSorted({{4200, 4600, "sign"}});
  table.typeset = std::make_shared<AssScript>();
  run.start(std::move(table), 936, std::make_unique<RecordingOverlay>(log));
  EXPECT_EQ(std::exchange(log, {}), Calls{"typeset"});
  tickAfter(250);  // 4000 and a quarter second
  const TypesetClock* clock = static_cast<RecordingOverlay*>(run.overlay())->typesetClock;
  ASSERT_NE(clock, nullptr);
  // Cues are stored kStoredLeadMs before the file's times: the script runs that much ahead.
  EXPECT_EQ(clock->scriptTimeMs(), run.positionMs() + kStoredLeadMs);
  start({{4200, 4600, "plain"}});
  EXPECT_EQ(std::exchange(log, {}), Calls{"destroy"});  // a plain table gives no script
  CueTable placed = CueTable::fromSorted({{4200, 4600, "cue"}});
  placed.placedCues = std::make_shared<SubtitleEvents>();
  run.start(std::move(placed), 936, std::make_unique<RecordingOverlay>(log));
  EXPECT_EQ(std::exchange(log, {}), (Calls{"destroy", "placed cues"}));  // WebVTT cues on the same clock
  EXPECT_EQ(static_cast<RecordingOverlay*>(run.overlay())->typesetClock, clock);
}

TEST_F(SubtitleRunTest, APauseInsideACueKeepsThatCueNotThePreviousOne) {
  start({{3900, 4300, "before"}, {4300, 6000, "paused in"}});
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "text before", "topmost"}));  // 4000
  EXPECT_EQ(tickAfter(350), (Calls{"left 120", "text paused in", "topmost"}));  // 4350
  memory.setPlaying(0);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(tickAfter(50), Calls{}) << "tick " << i;
  memory.setPlaying(1);
  EXPECT_EQ(tickAfter(50), Calls{});
  EXPECT_EQ(run.positionMs(), 4400);
}

TEST_F(SubtitleRunTest, APlayerThatExitsClearsTheTextOnceAndANewSearchPicksTheNextOneUp) {
  start({{4000, 9000, "last words"}});
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "text last words", "topmost"}));
  memory.exit();
  EXPECT_EQ(tickAfter(50), (Calls{"text ", "top 900"}));
  EXPECT_TRUE(clock.read(0).gone);
  EXPECT_EQ(tickAfter(50), Calls{});
  memory = FakePlayerMemory{};
  memory.pid = 77;
  memory.setPlaying(1);
  memory.setDigits(0, 0, 4);
  clock.setPlayer({77, FakePlayerMemory::kBase});
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "text last words", "topmost"}));
}

// A record that reads as garbage while the player lives: a glitch is ridden out, a silence of
// a second clears the text, and the clock starts afresh when the record reads again.
TEST_F(SubtitleRunTest, AnUnreadableRecordIsNoPositionAfterASecond) {
  for (const bool precise : {false, true}) {
    SCOPED_TRACE(precise);
    memory.setDigits(0, 0, 4);
    run.setPrecise(precise);
    start({{3000, 9000, "shown"}});
    tickAfter(50);
    tickAfter(50);
    ASSERT_TRUE(run.scheduler().textShown());
    memory.setByte(player::hoursOffset, 0);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(tickAfter(50), Calls{}) << i;  // 950 ms silent
    EXPECT_EQ(tickAfter(50), (Calls{"text ", "top 900"}));
    for (int i = 0; i < 40; ++i) ASSERT_EQ(tickAfter(50), Calls{}) << i;
    memory.setDigits(0, 0, 4);
    EXPECT_EQ(tickAfter(50), (Calls{"left 120", "text shown", "topmost"}));
    EXPECT_EQ(run.positionMs(), 4000) << "the whole second the digits show";
  }
}

TEST_F(SubtitleRunTest, LinesAreCountedInTheTextsOwnCodePage) {
  // Two lines of 48 pixels from top 1000 reach below a 1080-pixel screen: raised to 984.
  run.setBaseTop(1000);
  const std::string french = "O\xF9 est le caf\xE9\r\nIci.";
  start({{4000, 9000, french}}, 1252);
  EXPECT_EQ(tickAfter(50), (Calls{"left 120", "top 984", "text " + french, "topmost"}));
  EXPECT_EQ(run.scheduler().lineCount(), 2);
}

TEST_F(SubtitleRunTest, ANewRunEndsTheOldOneFirstAndTheHotkeyStopsAndStartsTickingAndShowing) {
  start({{4000, 9000, "first"}});
  EXPECT_TRUE(run.running());
  EXPECT_EQ(timers.log, Calls{"ticks on"});
  timers.log.clear();
  run.toggleShown();
  EXPECT_EQ(tickAfter(50), Calls{"hidden"}) << "no tick while hidden";
  run.toggleShown();
  EXPECT_EQ(tickAfter(50), (Calls{"visible", "left 120", "text first", "topmost"}));
  EXPECT_EQ(timers.log, (Calls{"ticks off", "ticks on"}));
  timers.log.clear();

  start({{4000, 9000, "second"}});
  EXPECT_EQ(log, Calls{"destroy"}) << "the old overlay goes before the new one comes";
  EXPECT_EQ(timers.log, (Calls{"ticks off", "ticks on"}));
  run.end(100);
  EXPECT_FALSE(run.running());
  EXPECT_EQ(timers.log, (Calls{"ticks off", "ticks on", "ticks off", "settle 100"}));
  run.toggleShown();  // nothing to show or hide
  run.setLeft(10);    // kept for the next run
  EXPECT_EQ(run.inputs().left, 10);
}

TEST_F(SubtitleRunTest, TheControlsAndEnhancementsReachARunningOverlayAtOnce) {
  start({{4000, 9000, "x"}});
  run.setFontSize(34);
  run.setLabelWidth(1000);
  run.setBaseTop(800);
  run.setFontFace("SimHei");
  run.setCentred(false);
  run.setShadow(true);
  run.setFormattingTags(true);
  run.setSmoothText(true);
  EXPECT_EQ(log, (Calls{"size 34", "width 1000", "top 800", "face SimHei", "left-aligned", "shadow", "tags",
                        "smooth"}));
  EXPECT_TRUE(run.inputs().formattingTags) << "the line count follows at once";
}

}  // namespace
}  // namespace quorvane
