// The digit clock on the real tick count and a 50 ms thread timer, following a running
// simulated player that the real process layer has located.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/thread_timer_win.h"
#include "platform/tick_source.h"
#include "simplayer_client_win.h"
#include "memory_player/digit_clock.h"
#include "memory_player/player_locator.h"
#include "memory_player/player_memory_clock.h"
#include "memory_player/record_layout.h"
#include "memory_player/process_memory.h"

namespace quorvane {
namespace {

using simplayer::SimPlayer;

constexpr int32_t kToleranceMs = 100;

// The system tick count, remembering the value the clock last used.
class RecordingTicks final : public TickSource {
 public:
  uint32_t now() const override { return last = systemTickSource().now(); }
  mutable uint32_t last = 0;
};

// One timer tick: the clock's position and the player's true position at the same tick count.
struct Sample {
  int32_t clockMs;
  int32_t trueMs;
};

class DigitClockWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    player_ = SimPlayer::start(folder_.path(), "PowerDVDMovie.exe", "--start=0:01:00");
    ASSERT_NE(player_, nullptr) << "could not start " << simplayer::builtPlayerPath();
    // Found as the program finds it: by name, by the signature and the pointer before it.
    const PlayerLocation where = locatePlayer(*access_, "PowerDVDMovie.exe");
    ASSERT_EQ(where.playerPid, player_->pid());
    inputs_.playerPid = where.playerPid;
    inputs_.recordBase = where.recordBase;
    const auto addresses = player_->addresses();
    ASSERT_TRUE(addresses);
    ASSERT_EQ(inputs_.recordBase, addresses->record);
    clock_.beginRun(inputs_.playerPid);
  }

  // Runs the clock on a 50 ms timer for `durationMs` and pairs every tick with the player's own
  // position at that tick count.
  std::vector<Sample> follow(uint32_t durationMs) {
    std::vector<Sample> samples;
    const ThreadTimer timer(50);
    EXPECT_TRUE(timer);
    const uint32_t begin = GetTickCount();
    runTimerLoop(timer, [&] {
      const int32_t clockMs = clock_.update(inputs_);
      const auto truth = player_->position();
      if (!truth) {
        ADD_FAILURE() << "the player did not answer";
        return false;
      }
      const auto sinceTick = static_cast<int32_t>(truth->tickCount - ticks_.last);
      samples.push_back({clockMs, truth->playing ? truth->positionMs - sinceTick : truth->positionMs});
      return ticks_.last - begin < durationMs;
    });
    return samples;
  }

  // Until the player's seconds digit first changes the clock knows only whole seconds, so it
  // may lag by up to a second; from the second tick after that change on it must be close.
  static void expectFollows(const std::vector<Sample>& samples) {
    ASSERT_FALSE(samples.empty());
    const int32_t firstChangeMs = (samples.front().trueMs / 1000 + 1) * 1000;
    size_t steadyFrom = samples.size();
    for (size_t i = 0; i < samples.size(); ++i) {
      if (samples[i].trueMs >= firstChangeMs) {
        steadyFrom = i + 2;
        break;
      }
    }
    ASSERT_LT(steadyFrom + 10, samples.size()) << "too few ticks after the first digit change";
    for (size_t i = 0; i < samples.size(); ++i) {
      const Sample& s = samples[i];
      if (i >= steadyFrom) {
        EXPECT_NEAR(s.clockMs, s.trueMs, kToleranceMs) << "tick " << i;
      } else {
        EXPECT_LE(s.clockMs, s.trueMs + kToleranceMs) << "tick " << i;
        EXPECT_GT(s.clockMs, s.trueMs - 1000 - kToleranceMs) << "tick " << i;
      }
    }
  }

  simplayer::ScratchFolder folder_;  // outlives the player
  std::unique_ptr<ProcessAccess> access_ = makeSystemProcessAccess();
  std::unique_ptr<SimPlayer> player_;
  ProcessMemoryReader reader_{*access_};
  RecordingTicks ticks_;
  DigitClock clock_{reader_, ticks_};
  ClockInputs inputs_;
};

TEST_F(DigitClockWinTest, FollowsPlayPauseResumeAndSeek) {
  const std::vector<Sample> played = follow(3500);
  expectFollows(played);
  EXPECT_GE(played.front().trueMs, 60'000);

  // Paused: the clock holds close to where the player stopped, and stays there.
  const auto paused = player_->pause();
  ASSERT_TRUE(paused);
  const std::vector<Sample> held = follow(1500);
  ASSERT_GT(held.size(), 2u);
  const int32_t heldMs = held[1].clockMs;
  EXPECT_NEAR(heldMs, paused->positionMs, kToleranceMs);
  for (size_t i = 1; i < held.size(); ++i) {
    EXPECT_EQ(held[i].trueMs, paused->positionMs);
    EXPECT_EQ(held[i].clockMs, heldMs);
  }

  // Resumed: no jump over the paused time, and close again after the next digit change.
  ASSERT_TRUE(player_->resume());
  const std::vector<Sample> resumed = follow(2500);
  ASSERT_FALSE(resumed.empty());
  EXPECT_GE(resumed.front().clockMs, heldMs);
  EXPECT_LT(resumed.front().clockMs, heldMs + 2 * kToleranceMs);
  expectFollows(resumed);

  // Seek while playing, to a whole second whose seconds digit differs: followed at once.
  const int32_t targetMs = (resumed.back().trueMs / 1000 + 20 * 60 + 5) * 1000;
  ASSERT_TRUE(player_->seek(targetMs));
  const std::vector<Sample> sought = follow(2500);
  ASSERT_GT(sought.size(), 2u);
  EXPECT_GE(sought[1].clockMs, targetMs);
  expectFollows(sought);
}

TEST_F(DigitClockWinTest, AfterThePlayerExitsNoReadCountsAndThePlayerIsGone) {
  PlayerMemoryClock source(reader_, ticks_);
  source.setPlayer({inputs_.playerPid, inputs_.recordBase});
  ASSERT_TRUE(source.read(0).hasPosition);
  ASSERT_FALSE(follow(300).empty());
  const int32_t beforeMs = clock_.positionMs();
  player_->kill();
  // A failed read is no digit change: the position never jumps to what zeros would give.
  const int32_t afterMs = clock_.update(inputs_);
  EXPECT_FALSE(clock_.recordValid());
  EXPECT_GE(afterMs, beforeMs);
  EXPECT_LT(afterMs, beforeMs + 1000);
  const ClockReading reading = source.read(0);
  EXPECT_TRUE(reading.gone);
  EXPECT_FALSE(reading.hasPosition);
}

}  // namespace
}  // namespace quorvane
