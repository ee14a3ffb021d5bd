#include "run/subtitle_pair.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "loading/subtitle_events.h"
#include "overlay/recording_overlay.h"
#include "run/run_rig_test.h"

namespace quorvane {
namespace {

using Calls = std::vector<std::string>;

// A run over two files.
struct PairRig : RunRig {
  using RunRig::RunRig;

  void start(std::vector<Cue> first, std::vector<Cue> second, SecondLook look = {}) {
    run.start(CueTable::fromSorted(std::move(first)), 936, std::make_unique<RecordingOverlay>(log));
    run.setSecond(CueTable::fromSorted(std::move(second)), look);
    log.clear();
  }
};

class SubtitlePairTest : public ::testing::Test, protected PairRig {};

TEST(SubtitlePair, TheSecondsBlockStacksOnTheFirstsWhichKeepsItsPlace) {
  // The text, then each block's in the order drawn: the plain label and smooth text stack alike.
  const std::string below = "text \xd6\xd0\r\nmiddle | \xd6\xd0 | middle";
  const std::string above = "text middle\r\n\xd6\xd0 | middle | \xd6\xd0";
  struct Case { bool above; int32_t baseTop; std::string both; int32_t bothTop; int32_t secondAloneTop; };
  const Case cases[] = {
      {false, 900, below, 900, 900},
      {true, 900, above, 852, 852},    // the first's line stays at 900
      {false, 1000, below, 984, 1000},  // both raised to end at the screen's bottom
      {true, 1000, above, 952, 952},   // ending at 1048, inside the screen
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.both + " from " + std::to_string(c.baseTop));
    PairRig rig(c.baseTop);
    rig.start({{4200, 4600, "\xd6\xd0"}}, {{4300, 5000, "middle"}}, {80, 0xFFE680, c.above});
    const std::string top = "top " + std::to_string(c.baseTop);
    EXPECT_EQ(rig.tickAfter(250), (Calls{"left 120", top, "text \xd6\xd0 | \xd6\xd0", "topmost"}));
    EXPECT_EQ(rig.tickAfter(100), (Calls{"left 120", "top " + std::to_string(c.bothTop), c.both, "topmost"}));
    EXPECT_EQ(rig.tickAfter(300),  // 4650: the first's line ended, the second's goes on
              (Calls{"left 120", "top " + std::to_string(c.secondAloneTop), "text middle | middle", "topmost"}));
    EXPECT_EQ(rig.tickAfter(400), (Calls{"text ", top}));
  }
}

TEST_F(SubtitlePairTest, TheSecondsNudgeMovesOnlyTheSecond) {
  start({{4200, 5000, "first"}}, {{4200, 5000, "second"}});
  run.setSecondOffset(300);  // shown 300 ms later
  EXPECT_EQ(tickAfter(250), (Calls{"left 120", "top 900", "text first | first", "topmost"}));
  EXPECT_EQ(tickAfter(250), (Calls{"left 120", "top 900", "text first\r\nsecond | first | second", "topmost"}));
  EXPECT_EQ(tickAfter(400), Calls{});  // 4900
  EXPECT_EQ(tickAfter(100), (Calls{"left 120", "top 900", "text second | second", "topmost"}));
}

TEST_F(SubtitlePairTest, SmoothTextGetsEachFilesBlockInItsOwnLook) {
  CueTable first = CueTable::fromSorted({{4200, 5000, "zh", {{0, 0, false}}}});
  first.looks.resize(1);
  first.blockTexts = {"{\\b1}zh"};
  run.start(std::move(first), 936, std::make_unique<RecordingOverlay>(log));
  run.setSecond(CueTable::fromSorted({{4200, 5000, "en\r\n"}}), {120, 0x00FF00, true});
  log.clear();
  EXPECT_EQ(tickAfter(250), (Calls{"left 120", "top 852", "text en\r\nzh | en | {\\b1}zh", "topmost"}));
  const CueTable& styles = run.pair()->styleTable();
  ASSERT_EQ(styles.looks.size(), 3u);  // the first's, the plain first's, the second's
  EXPECT_EQ(styles.looks[2].sizePermille, 1200);
  EXPECT_EQ(styles.looks[2].colour, 0x00FF00u);
}

TEST_F(SubtitlePairTest, AddingAndRemovingTheSecondRedrawsAtOnce) {
  run.start(CueTable::fromSorted({{4200, 5000, "first"}}), 936, std::make_unique<RecordingOverlay>(log));
  EXPECT_EQ(tickAfter(50), Calls{});  // 4000
  EXPECT_EQ(tickAfter(200), (Calls{"left 120", "text first", "topmost"}));
  run.setSecond(CueTable::fromSorted({{4000, 5000, "second"}}), {});
  EXPECT_EQ(std::exchange(log, {}),
            (Calls{"text ", "top 900", "left 120", "top 900", "text first\r\nsecond | first | second", "topmost"}));
  run.removeSecond();
  EXPECT_EQ(std::exchange(log, {}), (Calls{"text ", "top 900", "left 120", "text first", "topmost"}));
  EXPECT_EQ(run.pair(), nullptr);
}

TEST_F(SubtitlePairTest, PlacedCuesGiveWayToThePairWhileASecondFileShows) {
  CueTable first = CueTable::fromSorted({{4200, 5000, "first"}});
  first.placedCues = std::make_shared<SubtitleEvents>();
  run.start(std::move(first), 936, std::make_unique<RecordingOverlay>(log));
  EXPECT_EQ(std::exchange(log, {}), Calls{"placed cues"});
  const auto given = [&](const char* call) { return std::count(log.begin(), log.end(), call); };
  run.setSecond(CueTable::fromSorted({{4000, 5000, "second"}}), {});
  EXPECT_EQ(given("no placed cues"), 1);
  log.clear();
  run.removeSecond();
  EXPECT_EQ(given("placed cues"), 1);
}

TEST_F(SubtitlePairTest, ASourceThatFallsSilentClearsBoth) {
  start({{4200, 5000, "first"}}, {{4200, 5000, "second"}});
  EXPECT_EQ(tickAfter(250), (Calls{"left 120", "top 900", "text first\r\nsecond | first | second", "topmost"}));
  memory.exit();
  Calls calls;
  for (int i = 0; i < 40 && calls.empty(); ++i) calls = tickAfter(50);
  EXPECT_EQ(calls, (Calls{"text ", "top 900"}));
}

}  // namespace
}  // namespace quorvane
