#include "memory_player/digit_clock.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/fake_tick_source.h"
#include "memory_player/fake_player_memory.h"

namespace quorvane {
namespace {

class DigitClockTest : public ::testing::Test {
 protected:
  void SetUp() override { memory.setPlaying(1); }

  // One tick of the scheduler timer, `ms` after the previous one.
  int32_t tickAfter(uint32_t ms) {
    ticks.nowMs += ms;
    return clock.update(inputs);
  }

  FakePlayerMemory memory;
  FakeTicks ticks;
  DigitClock clock{memory, ticks};
  ClockInputs inputs{FakePlayerMemory::kPid, FakePlayerMemory::kBase, 0};
};

TEST_F(DigitClockTest, ExtrapolatesFromTheLastDigitChangeMinusTheDelay) {
  for (const int32_t delayMs : {0, 250, -250, 2000}) {
    SCOPED_TRACE(delayMs);
    inputs.delayMs = delayMs;
    memory.setDigits(0, 1, 22);
    clock.beginRun(FakePlayerMemory::kPid);
    tickAfter(50);
    memory.setDigits(0, 1, 23);  // bytes 1, 1, 2, 3 and 4 at offset 320
    EXPECT_EQ(tickAfter(50), 83'000 - delayMs);
    EXPECT_EQ(tickAfter(700), 83'700 - delayMs);
    EXPECT_EQ(clock.positionMs(), 83'700 - delayMs);
  }
}

TEST_F(DigitClockTest, ReadsAllDigitsAndAllowsNegativePositions) {
  struct Case { int hours, minutes, seconds; int32_t delayMs, positionMs; };
  const Case cases[] = {
      {0, 0, 1, 2000, -1000},
      {1, 59, 59, 0, 7'199'000},
      {9, 0, 0, -500, 32'400'500},
  };
  for (const auto& c : cases) {
    inputs.delayMs = c.delayMs;
    memory.setDigits(c.hours, c.minutes, c.seconds);
    clock.beginRun(FakePlayerMemory::kPid);
    EXPECT_EQ(tickAfter(50), c.positionMs) << c.hours << ':' << c.minutes << ':' << c.seconds;
  }
}

TEST_F(DigitClockTest, HoldsWherePlaybackStoppedAndResumesFromThere) {
  memory.setDigits(0, 10, 5);
  clock.beginRun(FakePlayerMemory::kPid);
  tickAfter(50);
  EXPECT_EQ(tickAfter(300), 605'300);
  memory.setPlaying(0);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(tickAfter(50), 605'300);  // 10 s held
  memory.setPlaying(1);
  EXPECT_EQ(tickAfter(50), 605'350);
  EXPECT_EQ(tickAfter(50), 605'400);
}

TEST_F(DigitClockTest, APauseNeverHoldsPastTheSecondTheDigitsShow) {
  memory.setDigits(0, 0, 7);
  clock.beginRun(FakePlayerMemory::kPid);
  tickAfter(50);
  EXPECT_EQ(tickAfter(1300), 8'300);  // a slow player: no digit change yet
  memory.setPlaying(0);
  EXPECT_EQ(tickAfter(50), 7'999);
  memory.setPlaying(1);
  EXPECT_EQ(tickAfter(50), 8'049);
}

TEST_F(DigitClockTest, EachTickReadsTheRecordOnceSoItsValuesAreOfOneMoment) {
  memory.setDigits(0, 0, 58);
  clock.beginRun(FakePlayerMemory::kPid);
  int reads = 0;
  memory.beforeRead = [&] { ++reads; };
  for (int i = 0; i < 30; ++i) {
    memory.setDigits(0, 0, 58 + i / 10);  // changes, and ticks without a change
    tickAfter(100);
    ASSERT_EQ(reads, i + 1);
  }
}

// Any digit that changes is a change: a jump of whole tens of seconds keeps the seconds digit,
// and while paused no other change would ever show it.
TEST_F(DigitClockTest, ASeekTakesTheNewDigitsAtTheNextTickAlsoWhenTheSecondsDigitStays) {
  struct Case { int hours, minutes, seconds; bool playing; };
  const Case cases[] = {{1, 2, 3, false}, {0, 10, 15, false}, {0, 11, 5, false}, {0, 10, 15, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    memory.setPlaying(1);
    memory.setDigits(0, 10, 5);
    clock.beginRun(0);
    clock.beginRun(FakePlayerMemory::kPid);
    tickAfter(50);
    memory.setPlaying(c.playing ? 1 : 0);
    tickAfter(50);
    memory.setDigits(c.hours, c.minutes, c.seconds);
    const int32_t seekedMs = ((c.hours * 60 + c.minutes) * 60 + c.seconds) * 1000;
    EXPECT_EQ(tickAfter(50), seekedMs);
    EXPECT_EQ(tickAfter(c.playing ? 200 : 2000), seekedMs + (c.playing ? 200 : 0));
  }
}

TEST_F(DigitClockTest, ANewDelayTakesEffectAtTheNextDigitChange) {
  memory.setDigits(0, 0, 30);
  clock.beginRun(FakePlayerMemory::kPid);
  tickAfter(50);
  inputs.delayMs = 1000;
  EXPECT_EQ(tickAfter(400), 30'400);
  memory.setPlaying(0);
  EXPECT_EQ(tickAfter(50), 30'400);  // paused: the delay of the last change still holds
  memory.setPlaying(1);
  memory.setDigits(0, 0, 31);
  EXPECT_EQ(tickAfter(50), 30'000);
}

// Two-point sync's rate: it scales the player's position (and the time that fills each
// second) before the delay comes off, and like the delay it is taken at the next change.
TEST_F(DigitClockTest, ARateScalesThePositionBeforeTheDelayFromTheNextDigitChange) {
  memory.setDigits(0, 1, 40);
  clock.beginRun(FakePlayerMemory::kPid);
  tickAfter(50);
  inputs.delayMs = 500;
  inputs.rate = 1.05;
  EXPECT_EQ(tickAfter(400), 100'400);
  memory.setDigits(0, 1, 41);
  EXPECT_EQ(tickAfter(50), 105'550);        // 101,000 x 1.05 - 500
  EXPECT_EQ(tickAfter(600), 105'550 + 630);  // 600 ms of the player are 630 of the file
  EXPECT_EQ(clock.rawMs(), 101'600);
}

TEST_F(DigitClockTest, TickCountWrappingDuringPlayIsHarmless) {
  ticks.nowMs = 0xFFFF'FF00;  // 256 ms before the wrap
  memory.setDigits(2, 0, 0);
  clock.beginRun(FakePlayerMemory::kPid);
  tickAfter(0);
  EXPECT_EQ(tickAfter(200), 7'200'200);
  EXPECT_EQ(tickAfter(312), 7'200'512);  // the count is now 0x100
  EXPECT_EQ(ticks.nowMs, 0x100u);
  memory.setPlaying(0);
  EXPECT_EQ(tickAfter(50), 7'200'512);
  memory.setPlaying(1);
  EXPECT_EQ(tickAfter(50), 7'200'562);
}

TEST_F(DigitClockTest, ANewRunCarriesTheClockOnUnlessThePlayerIsAnotherProcess) {
  memory.setDigits(0, 20, 4);
  clock.beginRun(FakePlayerMemory::kPid);
  tickAfter(50);
  EXPECT_EQ(tickAfter(700), 1'204'700);
  // The display shows the same digits, paused.
  memory.setPlaying(0);
  clock.beginRun(FakePlayerMemory::kPid);  // the same player: where it was
  EXPECT_EQ(tickAfter(50), 1'204'700);
  memory.pid = inputs.playerPid = 77;  // another player process: only its digits count
  clock.beginRun(77);
  EXPECT_EQ(tickAfter(50), 1'204'000);
}

TEST_F(DigitClockTest, DigitsOutsideTheirRangeGiveTheFormulasValueWithoutOverflow) {
  // 255 stands for digit 254. The result is held within 32 bits.
  for (const uint32_t offset : {player::hoursOffset, player::tensOfMinutesOffset,
                                player::minutesOffset, player::tensOfSecondsOffset}) {
    memory.setByte(offset, 255);
  }
  memory.setByte(player::secondsOffset, 255);
  inputs.delayMs = std::numeric_limits<int32_t>::min();
  clock.beginRun(FakePlayerMemory::kPid);
  EXPECT_EQ(tickAfter(50), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(tickAfter(5000), std::numeric_limits<int32_t>::max());
  inputs.delayMs = std::numeric_limits<int32_t>::max();
  memory.setByte(player::secondsOffset, 1);
  EXPECT_EQ(tickAfter(50), 254 * 3'600'000 + 2794 * 60'000 + 2540 * 1'000 - std::numeric_limits<int32_t>::max());
}

TEST_F(DigitClockTest, FailedOrImpossibleReadsChangeNothingUntilARestart) {
  memory.setDigits(0, 30, 0);
  clock.beginRun(FakePlayerMemory::kPid);
  EXPECT_EQ(tickAfter(50), 1'800'000);
  // A digit byte of 0 is no digit (the player stores digit + 1): not a change, play goes on.
  memory.setByte(player::minutesOffset, 0);
  EXPECT_EQ(tickAfter(50), 1'800'050);
  EXPECT_FALSE(clock.recordValid());
  memory.setDigits(0, 30, 0);
  EXPECT_EQ(tickAfter(50), 1'800'100);
  EXPECT_TRUE(clock.recordValid());
  // Started afresh, the clock takes the digits as a change: the whole second they show.
  clock.restart();
  EXPECT_EQ(tickAfter(50), 1'800'000);
  memory.exit();
  EXPECT_EQ(tickAfter(50), 1'800'050);
  EXPECT_FALSE(clock.recordValid());

  // A record address that points nowhere: the offsets wrap past the top of the address space.
  FakePlayerMemory alive;
  DigitClock other{alive, ticks};
  other.beginRun(FakePlayerMemory::kPid);
  other.update({FakePlayerMemory::kPid, 0xFFFF'FFF0, 100});
  EXPECT_FALSE(other.recordValid());
}

}  // namespace
}  // namespace quorvane
