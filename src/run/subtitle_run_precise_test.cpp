#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "overlay/recording_overlay.h"
#include "platform/fake_precise_time.h"
#include "platform/fake_tick_source.h"
#include "memory_player/fake_player_memory.h"
#include "run/fake_run_timers.h"
#include "memory_player/player_memory_clock.h"
#include "run/subtitle_run.h"

namespace quorvane {
namespace {

// A run with precise timing over a player whose display follows its true position, stepped
// as the main window steps it: 62.5 ms ticks, and moments when untilNextMomentUs() says,
// fired to the millisecond as a one-shot timer fires.
class PreciseRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory.setPlaying(1);
    memory.beforeRead = [this] { show(); };
    clock.setPlayer({FakePlayerMemory::kPid, FakePlayerMemory::kBase});
    run.setInputs({0, 120, 900, 1080, {48, 40}});
    run.setPrecise(true);
  }

  void show() {
    const int64_t second = trueUs / 1'000'000;
    memory.setDigits(0, static_cast<int>(second / 60), static_cast<int>(second % 60));
    memory.setPlaying(playing ? 1 : 0);
  }

  void start(CueTable table) { run.start(std::move(table), 936, std::make_unique<RecordingOverlay>(log)); }

  // Each overlay text change with the player's true position (ms) at that moment.
  struct Change { int64_t atMs; std::string call; };

  std::vector<Change> play(int64_t ms) {
    std::vector<Change> changes;
    for (int64_t step = 0; step < ms * 4; ++step) {
      time.us += 250;
      if (playing) trueUs += 250;
      if (time.us >= nextTickUs) {
        nextTickUs += 62'500;
        run.tick();
      } else if (momentAt != 0 && time.us >= momentAt) {
        run.moment(timers.token);
      } else {
        continue;
      }
      const int64_t until = timers.untilUs;
      momentAt = until < 0 ? 0 : time.us + static_cast<uint64_t>((until + 999) / 1000 * 1000);
      for (const std::string& call : std::exchange(log, {}))
        if (call.rfind("text", 0) == 0) changes.push_back({trueUs / 1000, call});
    }
    return changes;
  }

  FakePlayerMemory memory;
  FakeTicks ticks;
  FakePreciseTime time;
  PlayerMemoryClock clock{memory, ticks, time};
  FakeRunTimers timers;
  std::vector<std::string> log;  // before the run, whose overlay writes into it to its end
  SubtitleRun run{clock, &timers};
  int64_t trueUs = 20'600'000;
  bool playing = true;
  uint64_t nextTickUs = time.us;
  uint64_t momentAt = 0;
};

TEST_F(PreciseRunTest, CuesAppearAndClearAtTheirMillisecondsNotAtTheNextTick) {
  start(CueTable::fromSorted({{22'013, 22'977, "a"}, {23'301, 24'049, "b"}, {24'050, 25'555, "c"}}));
  const std::vector<Change> changes = play(6'000);
  const std::vector<Change> expected = {{22'013, "text a"}, {22'977, "text "}, {23'301, "text b"},
                                        {24'049, "text "},  {24'050, "text c"}, {25'555, "text "}};
  ASSERT_EQ(changes.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(changes[i].call, expected[i].call);
    // Off by the bracket of the learnt change and the timer's millisecond at most.
    EXPECT_NEAR(changes[i].atMs, expected[i].atMs, 3) << expected[i].call;
  }
}

TEST_F(PreciseRunTest, APauseHoldsTheCueAndNoMomentIsDueWhilePaused) {
  start(CueTable::fromSorted({{22'500, 23'500, "held"}}));
  play(2'200);  // 22.8 s
  playing = false;
  play(100);
  EXPECT_EQ(run.untilNextMomentUs(), -1);
  EXPECT_TRUE(play(3'000).empty());
  playing = true;
  const std::vector<Change> changes = play(1'000);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_NEAR(changes[0].atMs, 23'500, 35);  // the pause's moment is known to half a tick
}

TEST_F(PreciseRunTest, APlayerThatExitsClearsOnceAndNoMomentStaysDue) {
  start(CueTable::fromSorted({{21'000, 29'000, "last"}}));
  play(1'000);
  memory.exit();
  const std::vector<Change> changes = play(200);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].call, "text ");
  EXPECT_TRUE(clock.at(time.us, 0).gone);
  EXPECT_EQ(run.untilNextMomentUs(), -1);
}

TEST_F(PreciseRunTest, OffTheRunAsksForNoMoments) {
  run.setPrecise(false);
  start(CueTable::fromSorted({{21'000, 29'000, "x"}}));
  run.tick();
  EXPECT_EQ(run.untilNextMomentUs(), -1);
  EXPECT_EQ(timers.untilUs, -1);
}

}  // namespace
}  // namespace quorvane
