#include "sync_e2e_analysis.h"

#include <gtest/gtest.h>

#include <set>

#include "loading/srt_loader.h"

namespace quorvane::syncbench {
namespace {

// The bench's figures rest on the file it writes loading as exactly the cues it planned.
TEST(PlanCues, TheWrittenFileLoadsAsThePlannedCues) {
  const std::vector<PlannedCue> cues = planCues(80, 20'000, 7);
  const CueTable table = parseCueTable(srtText(cues));
  ASSERT_EQ(table.cueCount, 80);
  std::set<std::string> texts;
  for (size_t i = 0; i < cues.size(); ++i) {
    const Cue& loaded = table.at(static_cast<int32_t>(i + 1));
    EXPECT_EQ(loaded.startMs, cues[i].startMs) << i;
    EXPECT_EQ(loaded.endMs, cues[i].endMs) << i;
    EXPECT_EQ(loaded.text, cues[i].text) << i;
    texts.insert(cues[i].text);
    // Never on a whole second, shown 1.5 to 2.3 s, and at least 0.4 s before the next.
    EXPECT_NE(cues[i].startMs % 1000, 0) << i;
    EXPECT_NE(cues[i].endMs % 1000, 0) << i;
    EXPECT_GE(cues[i].endMs - cues[i].startMs, 1500) << i;
    EXPECT_LE(cues[i].endMs - cues[i].startMs, 2300 + 137) << i;
    if (i + 1 < cues.size()) {
      EXPECT_GE(cues[i + 1].startMs - cues[i].endMs, 400) << i;
    }
  }
  EXPECT_EQ(texts.size(), cues.size());
}

// Counter at 1 MHz, so counts are microseconds.
class TruePositionTest : public ::testing::Test {
 protected:
  TruePosition truth{1'000'000};
};

TEST_F(TruePositionTest, FollowsPlayPauseResumeAndSeek) {
  truth.add({1'000'000, 10'000'000, true});   // playing from 10 s
  truth.add({3'000'000, 12'000'000, false});  // paused at 12 s
  truth.add({6'000'000, 12'000'000, true});   // resumed 3 s later
  truth.add({7'000'000, 40'000'000, true});   // seek from 13 s to 40 s

  EXPECT_EQ(truth.positionUsAt(2'500'000), 11'500'000);
  EXPECT_EQ(truth.positionUsAt(4'000'000), 12'000'000);
  EXPECT_EQ(truth.positionUsAt(6'500'000), 12'500'000);
  EXPECT_EQ(truth.positionUsAt(8'000'000), 41'000'000);

  EXPECT_EQ(truth.counterReaching(11'000'000), 2'000'000);
  EXPECT_EQ(truth.counterReaching(12'000'000), 3'000'000);   // reached as the pause began
  EXPECT_EQ(truth.counterReaching(12'000'001), 6'000'001);   // not before play resumed
  EXPECT_EQ(truth.counterReaching(20'000'000), 7'000'000);   // jumped over: at the seek
  EXPECT_EQ(truth.counterReaching(42'000'000), 9'000'000);   // the last stretch goes on
  EXPECT_EQ(truth.counterReaching(5'000'000), 1'000'000);    // already past at the first report
}

TEST(TruePosition, RoundsUpToTheFirstCountAtTheTargetAndStopsAtAStandstill) {
  TruePosition truth(3);  // a coarse counter: a count is a third of a second
  truth.add({30, 0, true});
  EXPECT_EQ(truth.counterReaching(1'000'000), 33);
  EXPECT_EQ(truth.counterReaching(1'000'001), 34);
  truth.add({36, 2'000'000, false});
  EXPECT_FALSE(truth.counterReaching(2'000'001).has_value());
  EXPECT_DOUBLE_EQ(truth.msBetween(30, 36), 2000.0);
}

TEST(MatchLabel, FindsShowsHidesRepeatsAndStrangers) {
  const std::vector<PlannedCue> cues = {{0, 10, "cue 01"}, {20, 30, "cue 02"}, {40, 50, "cue 03"},
                                        {60, 70, "cue 04"}};
  const std::vector<LabelChange> changes = {
      {5, ""},         {100, "cue 01"}, {200, ""},       {300, "cue 02"},
      {400, "cue 03"},  // replaced without a gap: that hides cue 02
      {500, "garbled"}, {600, ""},      {700, "cue 01"},  // cue 01 back again
  };
  const LabelHistory h = matchLabel(cues, changes);
  EXPECT_EQ(h.cues[0].appearances, 2);
  EXPECT_EQ(h.cues[0].shown, 100);
  EXPECT_EQ(h.cues[0].hidden, 200);  // the first appearance's end, not the second's
  EXPECT_EQ(h.cues[1].shown, 300);
  EXPECT_EQ(h.cues[1].hidden, 400);
  EXPECT_EQ(h.cues[2].hidden, 500);
  EXPECT_EQ(h.cues[3].appearances, 0);
  EXPECT_FALSE(h.cues[3].shown.has_value());
  EXPECT_EQ(h.unknownTexts, 1);

  // Still on the label when the watching ended: shown, never hidden.
  const LabelHistory stuck = matchLabel(cues, {{1, ""}, {2, "cue 04"}});
  EXPECT_EQ(stuck.cues[3].shown, 2);
  EXPECT_FALSE(stuck.cues[3].hidden.has_value());
}

TEST(Summarize, TakesNearestRanks) {
  std::vector<double> values;
  for (int i = 20; i >= 1; --i) values.push_back(i);
  const Summary s = summarize(values);
  EXPECT_EQ(s.n, 20u);
  EXPECT_EQ(s.median, 10);
  EXPECT_EQ(s.p95, 19);
  EXPECT_EQ(s.max, 20);
  EXPECT_EQ(s.min, 1);

  EXPECT_EQ(summarize({-3.5}).p95, -3.5);
  EXPECT_EQ(summarize({}).n, 0u);
}

}  // namespace
}  // namespace quorvane::syncbench
