#include "players/mpv_ipc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

struct StreamCase {
  const char* name;
  std::vector<std::string> lines;
  PlayerState state;
  int64_t positionMs;
  double rate;
};

class MpvIpc : public ::testing::TestWithParam<StreamCase> {};

TEST_P(MpvIpc, FollowsWhatMpvTells) {
  const StreamCase& c = GetParam();
  MpvObserver observer;
  for (const std::string& line : c.lines) observer.take(line);
  const PlayerReport r = observer.report();
  EXPECT_EQ(r.state, c.state);
  if (r.hasFilm()) {
    EXPECT_EQ(r.positionMs, c.positionMs);
    EXPECT_FALSE(r.wholeSeconds);
    EXPECT_EQ(r.rate, c.rate);
  }
}

const std::string kTime = R"({"event":"property-change","id":1,"name":"time-pos","data":12.3456})";
const std::string kPaused = R"({"event":"property-change","id":2,"name":"pause","data":true})";
const std::string kPlaying = R"({"event":"property-change","id":2,"name":"pause","data":false})";

INSTANTIATE_TEST_SUITE_P(
    Streams, MpvIpc,
    ::testing::Values(
        StreamCase{"Playing", {R"({"request_id":0,"error":"success"})", kPlaying, kTime}, PlayerState::Playing, 12'345, 1.0},
        StreamCase{"Paused", {kTime, kPaused}, PlayerState::Paused, 12'345, 1.0},
        StreamCase{"Faster", {kTime, R"({"event":"property-change","id":3,"name":"speed","data":2.0})"},
                   PlayerState::Playing, 12'345, 2.0},
        StreamCase{"FileEnded", {kTime, R"({"event":"end-file","reason":"eof"})",
                                 R"({"event":"property-change","id":1,"name":"time-pos"})", R"({"event":"idle"})"},
                   PlayerState::NoFilm, 0, 1.0},
        StreamCase{"AnotherFileStarts", {kTime, R"({"event":"property-change","id":1,"name":"time-pos","data":null})",
                                         R"({"event":"property-change","id":1,"name":"time-pos","data":0.04})"},
                   PlayerState::Playing, 40, 1.0},
        // A line cut short where the pipe closed, garbage and wrong types change nothing.
        StreamCase{"BrokenLinesIgnored", {kTime, R"({"event":"property-change","id":1,"name":"time-pos","da)",
                                          "\x01\x02 garbage", R"({"event":"property-change","name":"time-pos","data":"7"})",
                                          R"({"event":"property-change","name":"pause","data":1})"},
                   PlayerState::Playing, 12'345, 1.0},
        StreamCase{"NothingHeard", {"not json", R"([1,2])"}, PlayerState::NoAnswer, 0, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
