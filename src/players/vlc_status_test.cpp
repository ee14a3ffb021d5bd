#include "players/vlc_status.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

struct StatusCase {
  const char* name;
  std::string body;
  PlayerState state;
  int64_t positionMs;
  bool wholeSeconds;
  double rate;
  double fraction = -1;
  double lengthSeconds = 0;
};

class VlcStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(VlcStatus, Reads) {
  const StatusCase& c = GetParam();
  const PlayerReport r = parseVlcStatus(c.body);
  EXPECT_EQ(r.state, c.state);
  if (r.hasFilm()) {
    EXPECT_EQ(r.positionMs, c.positionMs);
    EXPECT_EQ(r.wholeSeconds, c.wholeSeconds);
    EXPECT_EQ(r.rate, c.rate);
    EXPECT_EQ(r.fraction, c.fraction);
    EXPECT_EQ(r.lengthSeconds, c.lengthSeconds);
  }
}

// The first is the shape VLC 3.0 answers with (trimmed of its long "information" and "stats").
INSTANTIATE_TEST_SUITE_P(
    Answers, VlcStatus,
    ::testing::Values(
        StatusCase{"Playing",
                   R"({"fullscreen":false,"seek_sec":10,"apiversion":3,"currentplid":3,"time":15,"length":20,)"
                   R"("volume":0,"rate":1,"information":{"category":{"meta":{"filename":"film.mp4"}}},)"
                   R"("position":0.79503798484802,"state":"playing","version":"3.0.24 Vetinari"})",
                   PlayerState::Playing, 15'000, true, 1.0, 0.79503798484802, 20},
        StatusCase{"Paused", R"({"time":3725,"length":7200,"state":"paused","rate":1})", PlayerState::Paused,
                   3'725'000, true, 1.0, -1, 7200},
        StatusCase{"FasterAndLengthUnknown", R"({"time":12,"length":0,"state":"playing","rate":1.5})",
                   PlayerState::Playing, 12'000, true, 1.5},
        StatusCase{"PositionPastTheEndKeptForTheClockToJudge",
                   R"({"time":12,"length":20,"position":1.2,"state":"playing"})", PlayerState::Playing, 12'000, true,
                   1.0, 1.2, 20},
        StatusCase{"PositionAsTextIgnored", R"({"time":12,"length":20,"position":"0.6","state":"playing"})",
                   PlayerState::Playing, 12'000, true, 1.0, -1, 20},
        StatusCase{"FractionOfASecond", R"({"time":12.3456,"state":"playing"})", PlayerState::Playing, 12'345,
                   false, 1.0},
        // The film's first second is a position like any other, not a missing one.
        StatusCase{"PlayingFromTheStart", R"({"time":0,"length":20,"state":"playing","rate":1})", PlayerState::Playing,
                   0, true, 1.0, -1, 20},
        StatusCase{"StoppedAtTheEnd", R"({"time":0,"length":0,"state":"stopped","position":0})",
                   PlayerState::NoFilm, 0, false, 1.0},
        StatusCase{"ImpossibleRateIgnored", R"({"time":5,"state":"playing","rate":-3})", PlayerState::Playing,
                   5'000, true, 1.0},
        StatusCase{"BrokenJson", R"({"time":15,"state":"play)", PlayerState::NoAnswer, 0, false, 1.0},
        StatusCase{"HtmlPage", "<html><body><h1>401 Unauthorized</h1></body></html>", PlayerState::NoAnswer, 0,
                   false, 1.0},
        StatusCase{"Empty", "", PlayerState::NoAnswer, 0, false, 1.0},
        StatusCase{"AnotherServersJson", R"({"status":"ok","items":[1,2,3]})", PlayerState::NoAnswer, 0, false,
                   1.0},
        StatusCase{"NotAnObject", R"([{"time":1,"state":"playing"}])", PlayerState::NoAnswer, 0, false, 1.0},
        StatusCase{"TimeAsText", R"({"time":"15","state":"playing"})", PlayerState::NoAnswer, 0, false, 1.0},
        StatusCase{"UnknownState", R"({"time":15,"state":"buffering"})", PlayerState::NoAnswer, 0, false, 1.0},
        StatusCase{"NegativeTime", R"({"time":-4,"state":"playing"})", PlayerState::NoAnswer, 0, false, 1.0},
        StatusCase{"TimePastTheLength", R"({"time":500,"length":20,"state":"playing"})", PlayerState::NoAnswer, 0,
                   false, 1.0},
        StatusCase{"HugeTime", R"({"time":1e300,"state":"playing"})", PlayerState::NoAnswer, 0, false, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
