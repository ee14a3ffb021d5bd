#include "players/potplayer_messages.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct AnswerCase {
  std::optional<int32_t> status;
  std::optional<int32_t> timeMs;
  PlayerState state;
};

TEST(PotPlayerMessages, AnswersMakeTheReport) {
  const AnswerCase cases[] = {
      {2, 61'234, PlayerState::Playing},  {1, 61'234, PlayerState::Paused},
      {-1, 0, PlayerState::NoFilm},       {0, 0, PlayerState::NoFilm},
      {5, 1'000, PlayerState::NoFilm},    {std::nullopt, 1'000, PlayerState::NoAnswer},
      {2, std::nullopt, PlayerState::NoAnswer}, {2, -40, PlayerState::NoAnswer},
  };
  for (const AnswerCase& c : cases) {
    const PlayerReport r = potPlayerReport(c.status, c.timeMs);
    EXPECT_EQ(r.state, c.state) << (c.status ? *c.status : 99) << " " << (c.timeMs ? *c.timeMs : -99);
    if (r.hasFilm()) {
      EXPECT_EQ(r.positionMs, *c.timeMs);
      EXPECT_FALSE(r.wholeSeconds);
    }
  }
}

}  // namespace
}  // namespace quorvane
