#include "players/mpv_session.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

#include "platform/fake_precise_time.h"
#include "players/mpv_ipc.h"

namespace quorvane {
namespace {

struct LinesCase {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<std::string> lines;
};

class MpvLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(MpvLinesTest, CutsWhatArrivesIntoLines) {
  MpvLines framer;
  std::vector<std::string> lines;
  for (const std::string& chunk : GetParam().chunks) {
    framer.add(chunk, [&](std::string_view line) { lines.emplace_back(line); });
  }
  EXPECT_EQ(lines, GetParam().lines);
}

const std::string kLong(MpvLines::kMaxLineBytes + 1, 'x');

INSTANTIATE_TEST_SUITE_P(
    Chunks, MpvLinesTest,
    ::testing::Values(LinesCase{"OnePerChunk", {"{a}\n", "{b}\n"}, {"{a}", "{b}"}},
                      LinesCase{"SeveralInOne", {"{a}\n{b}\n{c"}, {"{a}", "{b}"}},
                      LinesCase{"SplitAnywhere", {"{", "a", "}", "\n{b", "}\n"}, {"{a}", "{b}"}},
                      LinesCase{"EmptyLine", {"\n{a}\n"}, {"", "{a}"}},
                      LinesCase{"AtTheLimit", {std::string(MpvLines::kMaxLineBytes, 'y') + "\n"},
                                {std::string(MpvLines::kMaxLineBytes, 'y')}},
                      // Past the limit the whole line goes, its tail in later chunks too.
                      LinesCase{"TooLongDroppedWhole", {kLong, "tail}\n{b}\n"}, {"{b}"}},
                      LinesCase{"TooLongInOneChunk", {"{a}\n" + kLong + "tail\n{b}\n"}, {"{a}", "{b}"}}),
    [](const auto& info) { return std::string(info.param.name); });

// What a scripted mpv does on each look at the pipe: send bytes, send nothing, or close.
struct Step {
  std::optional<std::string> bytes;  // none: mpv closes its end
};
const Step kQuiet{std::string()};
const Step kClose{std::nullopt};

class ScriptedConnection final : public MpvConnection {
 public:
  ScriptedConnection(std::deque<Step> steps, std::string& sent) : steps_(std::move(steps)), sent_(sent) {}
  bool send(std::string_view bytes) override {
    sent_.append(bytes);
    return true;
  }
  bool receive(std::string& into) override {
    if (steps_.empty() || !steps_.front().bytes) return false;
    into += *steps_.front().bytes;
    steps_.pop_front();
    return true;
  }

 private:
  std::deque<Step> steps_;
  std::string& sent_;
};

const std::string kTimePos = R"({"event":"property-change","id":1,"name":"time-pos","data":5.5})" "\n";
const std::string kPaused = R"({"event":"property-change","id":2,"name":"pause","data":true})" "\n";

// Runs a follower against mpv's scripted connections (nullopt: mpv is not there at that try)
// on a fake clock until `untilMs` of it passed.
struct FollowedRun {
  std::vector<PlayerReport> published;
  std::string sent;
  int connects = 0;
  uint64_t startUs = 0;
};

FollowedRun follow(std::vector<std::optional<std::deque<Step>>> connections, int64_t untilMs) {
  FakePreciseTime time;
  FollowedRun run;
  run.startUs = time.us;
  size_t next = 0;
  MpvFollower follower({[&]() -> std::unique_ptr<MpvConnection> {
                          ++run.connects;
                          if (next >= connections.size() || !connections[next]) return ++next, nullptr;
                          return std::make_unique<ScriptedConnection>(*connections[next++], run.sent);
                        },
                        [&](uint32_t ms) {
                          time.advanceMs(ms);
                          return time.us - run.startUs < static_cast<uint64_t>(untilMs) * 1000;
                        },
                        [&](const PlayerReport& report) { run.published.push_back(report); }},
                       time);
  follower.run();
  return run;
}

TEST(MpvFollower, PublishesEachChangeStampedWithItsArrivalAndRepeatsItWhileMpvIsQuiet) {
  std::deque<Step> steps{kQuiet, Step{kTimePos.substr(0, 20)}, Step{kTimePos.substr(20)}};
  for (int i = 0; i < 100; ++i) steps.push_back(kQuiet);  // 400 ms of silence
  steps.push_back(Step{kPaused});
  const FollowedRun run = follow({steps}, 500);
  EXPECT_EQ(run.sent, MpvObserver::observeCommands());
  ASSERT_GE(run.published.size(), 3u);
  const PlayerReport& first = run.published[0];
  EXPECT_EQ(first.state, PlayerState::Playing);
  EXPECT_EQ(first.positionMs, 5'500);
  EXPECT_EQ(first.askedUs, run.startUs + 4'000);  // the line was whole after the first look
  EXPECT_EQ(first.answeredUs, first.askedUs);
  // Told again while mpv is quiet, with the moment of the change, not of the telling.
  EXPECT_EQ(run.published[1].state, PlayerState::Playing);
  EXPECT_EQ(run.published[1].askedUs, first.askedUs);
  const PlayerReport& paused = run.published[run.published.size() - 2];
  EXPECT_EQ(paused.state, PlayerState::Paused);
  EXPECT_EQ(paused.positionMs, 5'500);
  EXPECT_GT(paused.askedUs, first.askedUs);
  EXPECT_EQ(run.published.back().state, PlayerState::NoAnswer);  // the script ends: mpv closed
}

TEST(MpvFollower, ReconnectsAfterMpvWentAwayOrWasNotThereAndStartsFromNothing) {
  const FollowedRun run = follow({std::nullopt, std::deque<Step>{Step{kTimePos}, kClose},
                          std::deque<Step>{Step{kPaused}}},
                         3 * MpvFollower::kReconnectMs - 1);
  EXPECT_EQ(run.connects, 3);
  EXPECT_EQ(run.sent, MpvObserver::observeCommands() + MpvObserver::observeCommands());
  std::vector<PlayerState> states;
  for (const PlayerReport& report : run.published) states.push_back(report.state);
  // Nothing, a film, gone, then a new connection that has heard only "paused": no film yet.
  EXPECT_EQ(states, (std::vector<PlayerState>{PlayerState::NoAnswer, PlayerState::Playing, PlayerState::NoAnswer,
                                              PlayerState::NoFilm, PlayerState::NoAnswer}));
}

}  // namespace
}  // namespace quorvane
