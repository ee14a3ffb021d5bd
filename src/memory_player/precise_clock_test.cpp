#include "memory_player/precise_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "platform/fake_precise_time.h"
#include "memory_player/fake_player_memory.h"

namespace quorvane {
namespace {

// A player whose display follows its true position, read by the clock on 62.5 ms ticks (a
// 50 ms timer on Windows) and at the fine reads the clock asks for, rounded up to the
// millisecond as a one-shot timer fires. Time moves in 250 µs steps; the error of the
// clock's position against the true one is taken at every step.
class Rig {
 public:
  Rig(int64_t startMs, uint64_t preciseStartUs) {
    time.us = preciseStartUs;
    trueUs = startMs * 1000;
    memory.setPlaying(1);
    memory.beforeRead = [this] { show(); };
    clock.beginRun(FakePlayerMemory::kPid);
    nextTickUs = time.us;
  }

  // Runs for `ms`; returns the largest |error| in ms seen after `settleMs` of them.
  int64_t run(int64_t ms, int64_t settleMs = 0) {
    int64_t worst = 0;
    for (int64_t step = 0; step < ms * 4; ++step) {
      time.us += 250;
      if (playing) trueUs += 250;
      if (before) before();
      if (!readsFail && (time.us - nextTickUs) < (1ull << 63)) {
        read();
        nextTickUs += 62'500;
      } else if (!readsFail && fineAt != 0 && (time.us - fineAt) < (1ull << 63)) {
        read();
      }
      if (step >= settleMs * 4) worst = std::max(worst, std::abs(error()));
    }
    return worst;
  }

  int64_t error() const { return clock.positionAt(time.us, delayMs) - (trueUs / 1000 - delayMs); }

  void read() {
    clock.read({FakePlayerMemory::kPid, FakePlayerMemory::kBase, delayMs});
    ++reads;
    const int64_t until = clock.untilFineReadUs(time.us);
    fineAt = until < 0 ? 0 : time.us + static_cast<uint64_t>((until + 999) / 1000 * 1000);
  }

  // The digits the player shows: each change comes `lagUs(second)` after the true boundary.
  void show() {
    int64_t second = trueUs / 1'000'000;
    if (trueUs - second * 1'000'000 < lagUs(second)) --second;
    memory.setDigits(static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
    memory.setPlaying(playing ? 1 : 0);
  }

  FakePlayerMemory memory;
  FakePreciseTime time;
  PreciseClock clock{memory, time};
  int64_t trueUs = 0;
  bool playing = true;
  bool readsFail = false;
  int32_t delayMs = 0;
  int reads = 0;
  uint64_t nextTickUs = 0;
  uint64_t fineAt = 0;
  std::function<int64_t(int64_t)> lagUs = [](int64_t) { return 0; };
  std::function<void()> before;  // runs at every step, before any read
};

struct PlayCase {
  const char* name;
  int64_t startMs;
  uint64_t preciseStartUs;
  int64_t jitterUs;  // each change comes up to this late, differently each second
};

// The phase is learnt within about two seconds from any start, through display jitter and
// a precise clock that wraps, and then the position stays within a few ms.
TEST(PreciseClockTest, LearnsThePhaseAndFollowsWithinAFewMilliseconds) {
  const PlayCase cases[] = {
      {"whole second", 60'000, 5'000'000'000, 0},
      {"fraction", 83'417, 5'000'000'000, 0},
      {"jitter", 83'417, 5'000'000'000, 3'000},
      {"precise clock wraps", 9'999'731, ~0ull - 4'000'000, 2'000},
  };
  for (const PlayCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.startMs, c.preciseStartUs);
    rig.lagUs = [&](int64_t s) { return c.jitterUs == 0 ? 0 : (s * 7919) % (c.jitterUs + 1); };
    EXPECT_LE(rig.run(3'000, 2'500), 3 + c.jitterUs / 1000);
    // Once learnt, fine reads only around the changes: some 20 a second beside the 16 ticks.
    rig.reads = 0;
    EXPECT_LE(rig.run(10'000), 3 + c.jitterUs / 1000);
    EXPECT_LT(rig.reads, 10 * (16 + 24));
  }
}

// A player that paints its clock with its frames, at 59.94 a second: each change comes up to
// a frame (16.7 ms) after the boundary, by an amount that drifts by 1 ms a second. The clock
// keeps to the earliest changes: once a read has seen the true second, the position is at most
// a few ms behind, and never ahead.
TEST(PreciseClockTest, FollowsTheEarliestChangesOfAClockShownWithFrames) {
  constexpr int64_t kFrameUs = 16'683;
  Rig rig(41'300, 5'000'000'000);
  rig.lagUs = [](int64_t s) { return (kFrameUs - s * 1'000'000 % kFrameUs) % kFrameUs; };
  rig.run(20'000);
  int64_t behind = 0, ahead = 0;
  rig.before = [&] {
    // Not while the display lags, nor until a fine read has seen it go on: till then the
    // position holds at the end of the second shown.
    if (rig.trueUs % 1'000'000 < rig.lagUs(rig.trueUs / 1'000'000) + 3'000) return;
    behind = std::max(behind, -rig.error());
    ahead = std::max(ahead, rig.error());
  };
  rig.run(20'000);
  EXPECT_LE(behind, 6);
  EXPECT_LE(ahead, 0);
}

TEST(PreciseClockTest, NeverRunsPastTheShownSecondAndRelearnsAfterAMissedChange) {
  Rig rig(40'500, 5'000'000'000);
  rig.run(3'000);
  // One change comes 300 ms late (a stalled player): the position holds at the end of the
  // shown second instead of running ahead, and the late change is followed again.
  rig.lagUs = [](int64_t s) { return s == 44 ? 300'000 : 0; };
  int64_t worstAhead = 0;
  rig.before = [&] {
    if (rig.trueUs < 44'300'000) worstAhead = std::max<int64_t>(worstAhead, rig.clock.positionAt(rig.time.us, 0) - 43'999);
  };
  rig.run(1'000);
  rig.before = nullptr;
  EXPECT_LE(worstAhead, 0);
  EXPECT_LE(rig.run(4'000, 2'000), 3);
}

TEST(PreciseClockTest, PauseHoldsAndResumeGoesOnFromThere) {
  struct Case { const char* name; int64_t pauseAtFractionUs; };
  const Case cases[] = {{"inside a second", 437'000}, {"exactly at a change", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(20'000, 5'000'000'000);
    rig.run(3'000);
    // Play on to the pause moment, pause for 2 s, resume.
    rig.run((c.pauseAtFractionUs - rig.trueUs % 1'000'000 + 1'000'000) % 1'000'000 / 1000);
    rig.playing = false;
    const int64_t pausedMs = rig.trueUs / 1000;
    rig.run(100);
    const int32_t held = rig.clock.positionAt(rig.time.us, 0);
    EXPECT_LE(std::abs(held - pausedMs), 32);  // half a tick: when in the tick it came is unknown
    rig.run(2'000);
    EXPECT_EQ(rig.clock.positionAt(rig.time.us, 0), held);
    rig.playing = true;
    EXPECT_LE(rig.run(1'000), 32 + 32);
    EXPECT_LE(rig.run(3'000, 1'500), 3);
  }
}

TEST(PreciseClockTest, SeeksAreSeenAtTheNextReadAndTheirPhaseLearntAgain) {
  struct Case { const char* name; int64_t jumpMs; int64_t worstFirstMs; };
  const Case cases[] = {
      {"keeps the seconds digit", 10'000, 3},   // the fraction carries over
      {"back, keeps the digit", -20'000, 3},
      {"to a fraction", 7'370, 1'000},          // only the next change tells the fraction
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(30'250, 5'000'000'000);
    rig.run(3'000);
    rig.trueUs += c.jumpMs * 1000;
    rig.read();  // the next read (tick or fine)
    EXPECT_LE(std::abs(rig.error()), c.worstFirstMs);
    EXPECT_LE(rig.run(1'200), c.worstFirstMs);
    EXPECT_LE(rig.run(3'000, 1'000), 3);
  }
}

TEST(PreciseClockTest, DelayChangesTakeEffectAtOnce) {
  Rig rig(50'000, 5'000'000'000);
  rig.run(3'000);
  const int32_t before = rig.clock.positionAt(rig.time.us, 0);
  EXPECT_EQ(rig.clock.positionAt(rig.time.us, 1'234), before - 1'234);
  EXPECT_EQ(rig.clock.positionAt(rig.time.us, -700), before + 700);
}

TEST(PreciseClockTest, FailedReadsAndASuspendedSystemHoldWithinTheShownSecondThenRecover) {
  Rig rig(70'100, 5'000'000'000);
  rig.run(3'000);
  // Reads fail for 3 s (the player hung, or a timer fired at a bad moment): reported as a 0
  // seconds byte, the position never leaves the second last seen.
  rig.readsFail = true;
  const int64_t lastSecondStart = rig.trueUs / 1'000'000 * 1000;
  rig.run(3'000);
  rig.clock.read({FakePlayerMemory::kPid, FakePlayerMemory::kBase + 1'000'000, 0});
  EXPECT_EQ(rig.clock.secondsByte(), 0);
  EXPECT_LE(rig.clock.positionAt(rig.time.us, 0), lastSecondStart + 999);
  rig.readsFail = false;
  EXPECT_LE(rig.run(3'000, 1'500), 3) << "after failed reads";

  // The precise clock jumps a minute while the player's time stood (a suspended system).
  rig.time.us += 60'000'000;
  rig.nextTickUs = rig.time.us;
  rig.read();
  EXPECT_LE(rig.clock.positionAt(rig.time.us, 0), rig.trueUs / 1000) << "never early";
  EXPECT_LE(rig.run(3'000, 1'500), 3) << "after a suspend";
}

TEST(PreciseClockTest, AnotherPlayerStartsAfresh) {
  Rig rig(10'000, 5'000'000'000);
  rig.run(2'000);
  rig.memory.beforeRead = nullptr;
  rig.memory.pid = 77;
  rig.memory.setDigits(1, 2, 3);
  rig.clock.beginRun(77);
  rig.clock.read({77, FakePlayerMemory::kBase, 0});
  EXPECT_EQ(rig.clock.positionAt(rig.time.us, 0), 3'723'000);
  EXPECT_FALSE(rig.clock.phaseKnown());
}

}  // namespace
}  // namespace quorvane
