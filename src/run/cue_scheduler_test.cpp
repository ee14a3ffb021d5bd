#include "run/cue_scheduler.h"

#include <gtest/gtest.h>

#include "overlay/recording_overlay.h"

#include <string>
#include <vector>

namespace quorvane {
namespace {

using Calls = std::vector<std::string>;

// Cue i (1-based) runs from i seconds for half a second and reads "cue i".
CueTable evenlySpacedCues(int count) {
  std::vector<Cue> cues;
  for (int i = 1; i <= count; ++i) cues.push_back({i * 1000, i * 1000 + 500, "cue " + std::to_string(i)});
  return CueTable::fromSorted(std::move(cues));
}

class CueSchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override { scheduler.beginRun(); }

  Calls stepAt(int32_t positionMs) {
    inputs.positionMs = positionMs;
    scheduler.step(table, inputs, overlay);
    return overlay.take();
  }

  CueTable table = evenlySpacedCues(5);
  SchedulerInputs inputs{0, 48, 40, 1080, 120, 1000};
  RecordingOverlay overlay;
  CueScheduler scheduler;
};

TEST_F(CueSchedulerTest, ShowsFromTheStartInclusiveToTheEndExclusive) {
  EXPECT_EQ(stepAt(999), Calls{});
  EXPECT_EQ(stepAt(1000), (Calls{"left 120", "text cue 1", "topmost"}));
  EXPECT_EQ(stepAt(1499), Calls{});
  EXPECT_EQ(stepAt(1500), (Calls{"text ", "top 1000"}));
  EXPECT_FALSE(scheduler.textShown());
  EXPECT_EQ(stepAt(1700), Calls{});
  EXPECT_EQ(stepAt(2000), (Calls{"left 120", "text cue 2", "topmost"}));
  EXPECT_EQ(scheduler.currentIndex(), 2);
  EXPECT_EQ(scheduler.shownIndex(), 2);
}

TEST_F(CueSchedulerTest, TouchingCuesFollowEachOtherWithoutClearing) {
  table = CueTable::fromSorted({{1000, 2000, "one"}, {2000, 3000, "two"}});
  stepAt(1999);
  EXPECT_EQ(stepAt(2000), (Calls{"left 120", "text two", "topmost"}));
}

TEST_F(CueSchedulerTest, AJumpForwardSearchesOnOneTickAndShowsOnTheNext) {
  struct Case { int32_t positionMs; int32_t indexAfterSearch; };
  // Inside cue 4 the search stops at 4; exactly at its start it stops at 3 and case 3 advances.
  for (const Case c : {Case{4200, 4}, Case{4000, 3}}) {
    SCOPED_TRACE(c.positionMs);
    scheduler.beginRun();
    stepAt(1000);
    EXPECT_EQ(stepAt(c.positionMs), Calls{});
    EXPECT_EQ(scheduler.currentIndex(), c.indexAfterSearch);
    EXPECT_EQ(stepAt(c.positionMs), (Calls{"left 120", "text cue 4", "topmost"}));
    EXPECT_EQ(scheduler.currentIndex(), 4);
  }
}

TEST_F(CueSchedulerTest, AJumpBackwardRestartsFromTheFirstCueAndKeepsTheOldTextMeanwhile) {
  stepAt(1000);
  for (int32_t p = 2000; p <= 5000; p += 1000) stepAt(p);
  ASSERT_EQ(scheduler.shownIndex(), 5);
  EXPECT_EQ(stepAt(3200), Calls{});
  EXPECT_EQ(scheduler.currentIndex(), 1);
  EXPECT_EQ(stepAt(3200), Calls{});  // searches
  EXPECT_EQ(stepAt(3200), (Calls{"left 120", "text cue 3", "topmost"}));
}

TEST_F(CueSchedulerTest, AJumpBeforeTheFirstCueClearsTheTextAtOnce) {
  for (const int32_t shown : {1000, 2000}) {  // from the first cue, and from a later one
    SCOPED_TRACE(shown);
    scheduler.beginRun();
    stepAt(shown);
    stepAt(shown);
    ASSERT_TRUE(scheduler.textShown());
    EXPECT_EQ(stepAt(200), (Calls{"text ", "top 1000"}));
    EXPECT_EQ(scheduler.currentIndex(), 1);
    for (int32_t p = 250; p < 1000; p += 50) ASSERT_EQ(stepAt(p), Calls{}) << p;
    EXPECT_EQ(stepAt(1000), (Calls{"left 120", "text cue 1", "topmost"}));
  }
}

TEST_F(CueSchedulerTest, AShortJumpBackIntoTheCueThatJustEndedShowsItAgain) {
  stepAt(3000);
  stepAt(3000);
  ASSERT_EQ(scheduler.shownIndex(), 3);
  EXPECT_EQ(stepAt(3500), (Calls{"text ", "top 1000"}));  // the gap after cue 3
  EXPECT_EQ(stepAt(3400), (Calls{"left 120", "text cue 3", "topmost"}));
  EXPECT_EQ(stepAt(3450), Calls{});
}

TEST_F(CueSchedulerTest, AfterTheLastCueTheTextStaysCleared) {
  for (int32_t p = 1000; p <= 5000; p += 1000) stepAt(p);
  EXPECT_EQ(stepAt(5500), (Calls{"text ", "top 1000"}));
  for (int32_t p = 6000; p < 600'000; p += 5000) ASSERT_EQ(stepAt(p), Calls{});
  EXPECT_EQ(scheduler.currentIndex(), 5);
}

TEST_F(CueSchedulerTest, ATableWithOnlyTheEndMarkersNeverShowsAnything) {
  table = CueTable::fromSorted({});
  for (const int32_t p : {-100000, 0, 1000, 2147483639, 2147483640, 2147483642, 2147483647, 5}) {
    ASSERT_EQ(stepAt(p), Calls{}) << p;
    ASSERT_EQ(scheduler.currentIndex(), 1);
  }
}

TEST_F(CueSchedulerTest, PositionsAtOrPastTheEndMarkersNeverLeaveTheTable) {
  stepAt(1000);
  for (const int32_t p : {2147483640, 2147483641, 2147483642, 2147483643, 2147483647}) {
    for (int i = 0; i < 5; ++i) stepAt(p);
    EXPECT_LE(scheduler.currentIndex(), table.cueCount + 1) << p;
  }
  // A table that lacks its markers is walked to its end and no further.
  table.cues.resize(5);
  for (int i = 0; i < 5; ++i) stepAt(2147483647);
  EXPECT_LE(scheduler.currentIndex(), table.cueCount + 1);
}

TEST_F(CueSchedulerTest, RaisesTheOverlayOnlyForTextThatWouldReachBelowTheScreen) {
  // 1080 high screen, top at 970, 96 px lines: two lines need 192 px, so the top becomes 888.
  inputs.baseTop = 970;
  inputs.lineHeight = 96;
  table = CueTable::fromSorted({{1000, 2000, "first\r\nsecond"}, {2000, 3000, "one line"}, {4000, 5000, "again"}});
  EXPECT_EQ(stepAt(1000), (Calls{"left 120", "top 888", "text first\r\nsecond", "topmost"}));
  EXPECT_EQ(scheduler.lineCount(), 2);
  // A touching cue that fits keeps the raised top; the gap puts it back.
  EXPECT_EQ(stepAt(2000), (Calls{"left 120", "text one line", "topmost"}));
  EXPECT_EQ(stepAt(3000), (Calls{"text ", "top 970"}));
}

TEST_F(CueSchedulerTest, WithFormattingTagsOnlyTheVisibleTextTakesLinesAndTheTextGoesOutWhole) {
  // Ten visible single-byte characters fill a 5-cell line; the tags would make it two lines.
  inputs.baseTop = 970;
  inputs.lineHeight = 120;
  inputs.lineCapacity = 5;
  const std::string tagged = "<font color=#FF0000><i>abcdefghij</i></font>";
  table = CueTable::fromSorted({{1000, 2000, tagged}});
  inputs.formattingTags = true;
  EXPECT_EQ(stepAt(1000), (Calls{"left 120", "top 960", "text " + tagged, "topmost"}));
  EXPECT_EQ(scheduler.lineCount(), 1);
  scheduler.beginRun();
  inputs.formattingTags = false;
  stepAt(1000);
  EXPECT_GT(scheduler.lineCount(), 1);
}

TEST_F(CueSchedulerTest, ShowsATextUpToItsFirstNulByte) {
  table = CueTable::fromSorted({{1000, 2000, std::string("kept\0dropped", 12)}});
  EXPECT_EQ(stepAt(1000), (Calls{"left 120", "text kept", "topmost"}));
}

TEST_F(CueSchedulerTest, ALineCapacityOfZeroCountsAsOne) {
  inputs.lineCapacity = 0;
  inputs.lineHeight = 0;
  table = CueTable::fromSorted({{1000, 2000, "abcd\r\nef"}});
  EXPECT_EQ(stepAt(1000), (Calls{"left 120", "text abcd\r\nef", "topmost"}));
  EXPECT_EQ(scheduler.lineCount(), 3);
}

TEST(SplitCueLines, SplitsAtCrLfOutsideDoubleByteCharacters) {
  using Lines = std::vector<std::string_view>;
  struct Case { unsigned codePage; std::string_view text; Lines lines; };
  const Case cases[] = {
      {936, "", {}},
      {936, "one", {"one"}},
      {936, "one\r\ntwo", {"one", "two"}},
      {936, "one\r\n", {"one"}},
      {936, "one\r\n\r\ntwo", {"one", "", "two"}},
      {936, "\r\n", {""}},
      {936, "a\rb\nc", {"a\rb\nc"}},
      {936, "\xC4\xE3\r\n\xBA\xC3", {"\xC4\xE3", "\xBA\xC3"}},
      {950, "\xA7\x41\r\n\xA6\x6E", {"\xA7\x41", "\xA6\x6E"}},
      // A lead byte takes the CR as its trail byte, so this CR LF is no line end.
      {936, "\xB0\r\nx", {"\xB0\r\nx"}},
      {950, "\xB0\r\nx", {"\xB0\r\nx"}},
      {936, "x\xB0", {"x\xB0"}},  // a lead byte at the very end
      // A single-byte code page has no lead bytes: "caf\xE9" ends in an accented letter.
      {1252, "O\xF9 est le caf\xE9\r\nIci.", {"O\xF9 est le caf\xE9", "Ici."}},
      {1252, "\xB0\r\nx", {"\xB0", "x"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(splitCueLines(c.text, c.codePage), c.lines) << c.codePage << ' ' << testing::PrintToString(c.text);
  }
}

TEST(CountOverlayLines, CountsWrappedLinesAgainstTheCapacity) {
  const std::string tenWide = std::string(20, '\xB0');  // ten two-byte characters
  struct Case { std::string text; int32_t capacity; int32_t lines; };
  const Case cases[] = {
      {std::string(40, 'a'), 20, 1},  // 20 cells
      {std::string(41, 'a'), 20, 2},  // 20.5 cells
      {"", 20, 0},
      {"x\r\n\r\ny", 20, 3},  // an empty line counts as one
      {tenWide + "\r\n" + tenWide + "\r\n" + tenWide, 20, 3},
      {std::string(81, 'a'), 20, 3},
      {std::string(80, 'a'), 20, 2},
      {"abc", 0, 2},  // capacity 0 counts as 1: 1.5 cells
      {"abc", -5, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(countOverlayLines(c.text, c.capacity, 936), c.lines) << c.text.size() << '/' << c.capacity;
  }
}

}  // namespace
}  // namespace quorvane
