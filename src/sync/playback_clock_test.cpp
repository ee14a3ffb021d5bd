#include "sync/playback_clock.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>

namespace quorvane {
namespace {

constexpr uint32_t kPid = 4242;
constexpr uint32_t kBase = 0x00520000;

// The player's time record at kBase in a fake process. Reads of another process, outside the
// record, or after the player has "exited" give the readers' fallback values.
class FakePlayerMemory final : public MemoryReader {
 public:
  void setDigits(int hours, int minutes, int seconds) {
    const int digits[] = {hours, minutes / 10, minutes % 10, seconds / 10, seconds % 10};
    for (int i = 0; i < 5; ++i) record_[80 * i] = static_cast<uint8_t>(digits[i] + 1);
  }
  void setByte(uint32_t offset, uint8_t value) { record_[offset] = value; }
  void setPlaying(int32_t flag) { std::memcpy(&record_[player::playingFlagOffset], &flag, 4); }
  void exit() { alive_ = false; }

  int32_t readInt32(uint32_t pid, uint32_t address) const override {
    int32_t value = -1;
    if (readable(pid, address, 4)) std::memcpy(&value, &record_[address - kBase], 4);
    return value;
  }
  uint8_t readByte(uint32_t pid, uint32_t address) const override {
    return readable(pid, address, 1) ? record_[address - kBase] : 0;
  }
  std::vector<uint8_t> readBytes(uint32_t pid, uint32_t address, uint32_t length) const override {
    if (!readable(pid, address, length)) return {};
    return {record_.begin() + (address - kBase), record_.begin() + (address - kBase + length)};
  }

 private:
  bool readable(uint32_t pid, uint32_t address, uint32_t length) const {
    return alive_ && pid == kPid && address >= kBase && address - kBase + length <= record_.size();
  }

  std::array<uint8_t, player::recordLength> record_{};
  bool alive_ = true;
};

class FakeTicks final : public TickSource {
 public:
  uint32_t now() const override { return nowMs; }
  uint32_t nowMs = 1'000'000;
};

class PlaybackClockTest : public ::testing::Test {
 protected:
  void SetUp() override { memory.setPlaying(1); }

  // One tick of the scheduler timer, `ms` after the previous one.
  int32_t tickAfter(uint32_t ms) {
    ticks.nowMs += ms;
    return clock.update(inputs);
  }

  FakePlayerMemory memory;
  FakeTicks ticks;
  PlaybackClock clock{memory, ticks};
  ClockInputs inputs{kPid, kBase, 0};
};

TEST_F(PlaybackClockTest, ExtrapolatesFromTheLastDigitChangeMinusTheDelay) {
  for (const int32_t delayMs : {0, 250, -250, 2000}) {
    SCOPED_TRACE(delayMs);
    inputs.delayMs = delayMs;
    memory.setDigits(0, 1, 22);
    clock.beginRun();
    tickAfter(50);
    memory.setDigits(0, 1, 23);  // bytes 1, 1, 2, 3 and 4 at offset 320
    EXPECT_EQ(tickAfter(50), 83'000 - delayMs);
    EXPECT_EQ(tickAfter(700), 83'700 - delayMs);
    EXPECT_EQ(clock.positionMs(), 83'700 - delayMs);
  }
}

TEST_F(PlaybackClockTest, ReadsAllDigitsAndAllowsNegativePositions) {
  struct Case { int hours, minutes, seconds; int32_t delayMs, positionMs; };
  const Case cases[] = {
      {0, 0, 1, 2000, -1000},
      {1, 59, 59, 0, 7'199'000},
      {9, 0, 0, -500, 32'400'500},
  };
  for (const auto& c : cases) {
    inputs.delayMs = c.delayMs;
    memory.setDigits(c.hours, c.minutes, c.seconds);
    clock.beginRun();
    EXPECT_EQ(tickAfter(50), c.positionMs) << c.hours << ':' << c.minutes << ':' << c.seconds;
  }
}

TEST_F(PlaybackClockTest, HoldsWhilePausedAndResumesWithoutAJump) {
  memory.setDigits(0, 10, 5);
  clock.beginRun();
  tickAfter(50);
  EXPECT_EQ(tickAfter(300), 605'300);
  memory.setPlaying(0);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(tickAfter(50), 605'000);  // 10 s held
  memory.setPlaying(1);
  EXPECT_EQ(tickAfter(50), 605'050);
  EXPECT_EQ(tickAfter(50), 605'100);
}

TEST_F(PlaybackClockTest, SeekWhilePausedTakesTheNewDigitsAtOnce) {
  memory.setDigits(0, 10, 5);
  clock.beginRun();
  tickAfter(50);
  memory.setPlaying(0);
  tickAfter(50);
  memory.setDigits(1, 2, 3);
  EXPECT_EQ(tickAfter(50), 3'723'000);
  EXPECT_EQ(tickAfter(2000), 3'723'000);
}

TEST_F(PlaybackClockTest, ANewDelayTakesEffectAtTheNextDigitChange) {
  memory.setDigits(0, 0, 30);
  clock.beginRun();
  tickAfter(50);
  inputs.delayMs = 1000;
  EXPECT_EQ(tickAfter(400), 30'400);
  memory.setPlaying(0);
  EXPECT_EQ(tickAfter(50), 30'000);  // paused: the delay of the last change still holds
  memory.setPlaying(1);
  memory.setDigits(0, 0, 31);
  EXPECT_EQ(tickAfter(50), 30'000);
}

TEST_F(PlaybackClockTest, TickCountWrappingDuringPlayIsHarmless) {
  ticks.nowMs = 0xFFFF'FF00;  // 256 ms before the wrap
  memory.setDigits(2, 0, 0);
  clock.beginRun();
  tickAfter(0);
  EXPECT_EQ(tickAfter(200), 7'200'200);
  EXPECT_EQ(tickAfter(312), 7'200'512);  // the count is now 0x100
  EXPECT_EQ(ticks.nowMs, 0x100u);
  memory.setPlaying(0);
  EXPECT_EQ(tickAfter(50), 7'200'000);
  memory.setPlaying(1);
  EXPECT_EQ(tickAfter(50), 7'200'050);
}

TEST_F(PlaybackClockTest, ANewRunRereadsTheDigitsEvenWhenTheSecondsByteIsUnchanged) {
  memory.setDigits(0, 20, 4);
  clock.beginRun();
  tickAfter(50);
  // The next run's player shows the same seconds digit at another time, and is paused.
  memory.setDigits(0, 0, 4);
  memory.setPlaying(0);
  clock.beginRun();
  EXPECT_EQ(tickAfter(50), 4'000);
}

TEST_F(PlaybackClockTest, DigitsOutsideTheirRangeGiveTheFormulasValueWithoutOverflow) {
  // Byte 0 stands for digit -1; 255 for 254. The result is held within 32 bits.
  memory.setByte(player::hoursOffset, 0);
  memory.setByte(player::tensOfMinutesOffset, 0);
  memory.setByte(player::minutesOffset, 0);
  memory.setByte(player::tensOfSecondsOffset, 0);
  memory.setByte(player::secondsOffset, 12);
  clock.beginRun();
  EXPECT_EQ(tickAfter(50), -3'600'000 - 11 * 60'000 + 1'000);

  for (const uint32_t offset : {player::hoursOffset, player::tensOfMinutesOffset,
                                player::minutesOffset, player::tensOfSecondsOffset}) {
    memory.setByte(offset, 255);
  }
  memory.setByte(player::secondsOffset, 255);
  inputs.delayMs = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(tickAfter(50), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(tickAfter(5000), std::numeric_limits<int32_t>::max());
  inputs.delayMs = std::numeric_limits<int32_t>::max();
  memory.setByte(player::secondsOffset, 1);
  EXPECT_EQ(tickAfter(50), 254 * 3'600'000 + 2794 * 60'000 + 2540 * 1'000 - std::numeric_limits<int32_t>::max());
}

TEST_F(PlaybackClockTest, FailedReadsGiveTheFallbackValuesAndKeepCounting) {
  // Every digit of a failed block reads 0 (digit -1); a failed flag read (-1) counts as playing.
  constexpr int32_t kFailedRecordMs = -3'600'000 - 11 * 60'000 - 11 * 1'000;
  memory.setDigits(0, 30, 0);
  clock.beginRun();
  tickAfter(50);
  memory.exit();  // the seconds byte now reads 0: a change
  EXPECT_EQ(tickAfter(50), kFailedRecordMs);
  EXPECT_EQ(tickAfter(50), kFailedRecordMs + 50);

  // A record address that points nowhere: the offsets wrap past the top of the address space.
  FakePlayerMemory alive;
  PlaybackClock other{alive, ticks};
  other.beginRun();
  inputs = {kPid, 0xFFFF'FFF0, 100};
  EXPECT_EQ(other.update(inputs), kFailedRecordMs - 100);
  ticks.nowMs += 50;
  EXPECT_EQ(other.update(inputs), kFailedRecordMs - 50);
}

}  // namespace
}  // namespace quorvane
