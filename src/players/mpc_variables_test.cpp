#include "players/mpc_variables.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

struct PageCase {
  const char* name;
  std::string page;
  PlayerState state;
  int64_t positionMs;
  double rate;
};

class MpcVariables : public ::testing::TestWithParam<PageCase> {};

TEST_P(MpcVariables, Reads) {
  const PageCase& c = GetParam();
  const PlayerReport r = parseMpcVariables(c.page);
  EXPECT_EQ(r.state, c.state);
  if (r.hasFilm()) {
    EXPECT_EQ(r.positionMs, c.positionMs);
    EXPECT_FALSE(r.wholeSeconds);
    EXPECT_EQ(r.rate, c.rate);
  }
}

std::string page(const std::string& state, const std::string& position, const std::string& extra = "") {
  return "<!DOCTYPE html>\r\n<html><head><title>MPC-HC WebServer - Variables</title></head><body>\r\n"
         "<p id=\"file\">film.mkv</p>\r\n<p id=\"filepath\">C:\\films\\film.mkv</p>\r\n"
         "<p id=\"state\">" + state + "</p>\r\n<p id=\"statestring\">Playing</p>\r\n"
         "<p id=\"positionstring\">00:01:01</p>\r\n<p id=\"position\">" + position + "</p>\r\n"
         "<p id=\"duration\">3600000</p>\r\n" + extra + "</body></html>\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Pages, MpcVariables,
    ::testing::Values(PageCase{"Playing", page("2", "61234"), PlayerState::Playing, 61'234, 1.0},
                      PageCase{"Paused", page("1", "5"), PlayerState::Paused, 5, 1.0},
                      PageCase{"Faster", page("2", "1000", "<p id=\"playbackrate\">1.5</p>"), PlayerState::Playing,
                               1'000, 1.5},
                      PageCase{"SpacesAroundTheNumber", page(" 2 ", "\r\n7000 "), PlayerState::Playing, 7'000, 1.0},
                      PageCase{"Stopped", page("0", "0"), PlayerState::NoFilm, 0, 1.0},
                      PageCase{"NothingLoaded", page("-1", "0"), PlayerState::NoFilm, 0, 1.0},
                      PageCase{"UnknownState", page("7", "1000"), PlayerState::NoAnswer, 0, 1.0},
                      PageCase{"PositionNotANumber", page("2", "01:01"), PlayerState::NoAnswer, 0, 1.0},
                      PageCase{"NegativePosition", page("2", "-5"), PlayerState::NoAnswer, 0, 1.0},
                      PageCase{"Garbage", "\x01\x02<p id=\"state\">2", PlayerState::NoAnswer, 0, 1.0},
                      PageCase{"AnotherServersPage", "<html><body><p id=\"position\">5</p></body></html>",
                               PlayerState::NoAnswer, 0, 1.0},
                      PageCase{"Json", R"({"state":2,"position":5,"file":"a"})", PlayerState::NoAnswer, 0, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
