#include "players/interface_player_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/fake_precise_time.h"

namespace quorvane {
namespace {

// Keeps every report, as the poller keeps its latest few; `keeping` off gives only the latest,
// as a feed that keeps none does.
class FakeFeed final : public InterfacePlayerFeed {
 public:
  PlayerReport latest() const override { return reports.empty() ? PlayerReport{} : reports.back(); }
  std::vector<PlayerReport> since(uint32_t seen) const override {
    if (!keeping) return InterfacePlayerFeed::since(seen);
    return {reports.begin() + seen, reports.end()};
  }
  void publish(PlayerReport r) {
    r.sequence = static_cast<uint32_t>(reports.size()) + 1;
    reports.push_back(r);
  }
  std::vector<PlayerReport> reports;
  bool keeping = true;
};

// A player asked every 43 ms by a worker (a period prime to the second, so that questions fall
// at every phase of it), each answer `latencyUs` after its question, taken by
// the player `takenAtUs` after the question (not the middle the clock assumes); the run reads the clock
// on its own 50 ms ticks. Time moves in 1 ms steps; the clock's error against the true position
// is taken at each step.
class Rig {
 public:
  explicit Rig(bool wholeSeconds, int64_t startMs = 7'300) : wholeSeconds_(wholeSeconds) {
    trueUs = startMs * 1000;
    askedUs = time.us;
  }

  // Runs for `ms`; returns the largest |error| in ms seen after `settleMs` of them.
  int64_t run(int64_t ms, int64_t settleMs = 0) {
    int64_t worst = 0;
    for (int64_t step = 1; step <= ms; ++step) {
      time.us += 1000;
      if (playing) trueUs += static_cast<int64_t>(1000 * rate);
      // VLC: a new fraction about 3.8 times a second on a timer of its own, the whole seconds
      // from the same update.
      if (lengthS > 0 && (!hasUpdate || trueUs - updateUs >= 263'000 || trueUs < updateUs)) {
        updateUs = trueUs;
        hasUpdate = true;
      }
      const int64_t inPoll = (time.us - pollOriginUs) % kAskPeriodUs;
      if (inPoll == 0) askedUs = time.us;
      if (inPoll == takenAtUs) told = tell();
      if (inPoll == latencyUs) answer();
      if ((time.us - pollOriginUs) % 50'000 == 17'000) clock.read(0);
      if (step > settleMs) worst = std::max(worst, std::abs(error()));
      const int64_t shown = clock.at(time.us, 0).positionMs;
      if (playing && hasShown) worstStepBackMs = std::max(worstStepBackMs, lastShownMs - shown);
      lastShownMs = shown;
      hasShown = true;
    }
    return worst;
  }

  // Against the position the player tells, which lags the true one by `lagUs`.
  int64_t error() const { return clock.at(time.us, 0).positionMs - (trueUs - lagUs) / 1000; }

  PlayerReport tell() const {
    PlayerReport r;
    r.state = !answering ? PlayerState::NoAnswer : playing ? PlayerState::Playing : PlayerState::Paused;
    const int64_t toldUs = trueUs - lagUs;
    r.positionMs = wholeSeconds_ ? toldUs / 1'000'000 * 1000 : toldUs / 1000;
    r.wholeSeconds = wholeSeconds_;
    r.rate = rate;
    if (lengthS > 0) {
      r.fraction = static_cast<double>(updateUs) / 1e6 / lengthS;
      r.positionMs = updateUs / 1'000'000 * 1000;
      r.lengthSeconds = std::round(lengthS);
    }
    if (bend) bend(r, answers++);
    return r;
  }

  void answer() {
    told.askedUs = askedUs;
    told.answeredUs = time.us;
    if (feeding) feed.publish(told);
  }

  static constexpr int64_t kAskPeriodUs = 43'000;
  FakeFeed feed;
  FakePreciseTime time;
  InterfacePlayerClock clock{feed, time};
  uint64_t pollOriginUs = time.us;
  int64_t latencyUs = 22'000;
  int64_t takenAtUs = 7'000;
  int64_t trueUs = 0;
  int64_t lagUs = 0;  // how far the told position lags the true one
  bool playing = true;
  double rate = 1.0;
  bool answering = true;  // the player answers with its position
  bool feeding = true;    // the worker publishes at all
  // How far the clock ever stepped back between two steps of play: a step back across a line's
  // start shows the line twice.
  int64_t worstStepBackMs = 0;
  double lengthS = 0;  // tells a fraction of a film this long, as VLC does
  std::function<void(PlayerReport&, int answer)> bend;  // makes an answer a bad one
  mutable int answers = 0;
  int64_t updateUs = 0;
  bool hasUpdate = false;

 private:
  bool wholeSeconds_;
  int64_t lastShownMs = 0;
  bool hasShown = false;
  uint64_t askedUs = 0;
  PlayerReport told;
};

struct FollowCase {
  const char* name;
  bool wholeSeconds;
  bool precise;
  double rate;
  int64_t settleMs;
  int64_t maxErrorMs;
};

class InterfacePlayerClockFollows : public ::testing::TestWithParam<FollowCase> {};

TEST_P(InterfacePlayerClockFollows, StaysWithinItsBoundOfTheTruePosition) {
  const FollowCase& c = GetParam();
  Rig rig(c.wholeSeconds);
  rig.rate = c.rate;
  rig.clock.setPrecise(c.precise);
  EXPECT_LE(rig.run(8'000, c.settleMs), c.maxErrorMs);
}

// Bounds: a millisecond source is off by the answer's asymmetry (half the latency less 7 ms) times the
// rate; whole seconds started at first sight are late by up to a question's period plus the latency;
// a learnt phase leaves the asymmetry and the spacing of the questions' phases.
INSTANTIATE_TEST_SUITE_P(
    Sources, InterfacePlayerClockFollows,
    ::testing::Values(FollowCase{"Milliseconds", false, false, 1.0, 100, 6},
                      FollowCase{"MillisecondsAtDoubleRate", false, false, 2.0, 100, 11},
                      FollowCase{"WholeSecondsAtFirstSight", true, false, 1.0, 1'100, 75},
                      FollowCase{"WholeSecondsPrecise", true, true, 1.0, 4'000, 12},
                      FollowCase{"WholeSecondsPreciseAtHalfRate", true, true, 0.5, 6'000, 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InterfacePlayerClock, LearntPhaseSurvivesAPauseAndASeekAndIsLearntAgain) {
  Rig rig(true);
  rig.clock.setPrecise(true);
  rig.run(4'000);
  rig.playing = false;
  rig.run(1'000);
  // Held where playback stopped, not at the start of its second: the pause is seen at the first
  // read after the first answer that tells it, and what was shown meanwhile is never taken back.
  EXPECT_LE(std::abs(rig.error()), 70);
  rig.playing = true;
  EXPECT_LE(rig.run(1'200), 1'000);
  EXPECT_LE(rig.run(4'000, 3'000), 12);
  rig.trueUs += 95'250'000;  // a seek while playing
  EXPECT_LE(rig.run(1'200, 100), 1'000);
  EXPECT_LE(rig.run(4'000, 3'000), 12);
}

// VLC updates its time on a timer of its own: where its second changes wanders. The phase is
// followed, never lost for good nor worse than starting each second at first sight (up to a question's
// period and round trip late), however far it wanders.
TEST(InterfacePlayerClock, FollowsAWanderingPhase) {
  Rig rig(true);
  rig.clock.setPrecise(true);
  rig.run(4'000);
  int64_t worst = 0;
  for (int step = 0; step < 200; ++step) {  // 20 s, the told second drifting 250 ms later and back
    rig.lagUs = (step < 100 ? step : 200 - step) * 250'000 / 100;
    worst = std::max(worst, rig.run(100));
  }
  EXPECT_LE(worst, 90);
  EXPECT_LE(rig.run(4'000, 3'000), 12);  // still again: learnt again
  EXPECT_EQ(rig.worstStepBackMs, 0);
}

// VLC: the film's time from the fraction it tells once the length is learnt. Each update lies
// between the last answer with the old value and the first with the new: classic timing places
// it at that bracket's middle (off by up to half a question's period and round trip), precise
// timing where the brackets of the latest updates meet (off by about half the round trip's
// asymmetry). Both add the length's few ms. It never steps back, through a pause and a seek.
TEST(InterfacePlayerClock, FollowsVlcsFraction) {
  for (const bool precise : {false, true}) {
    const int64_t boundMs = precise ? 12 : 35;
    Rig rig(true, 1'300);
    rig.lengthS = 150.021;
    rig.clock.setPrecise(precise);
    rig.run(120'000);
    EXPECT_EQ(rig.clock.fineTime(), FineTime::Known);
    EXPECT_LE(rig.run(5'000), boundMs) << precise;
    rig.playing = false;
    rig.run(1'000);
    rig.playing = true;
    rig.run(3'000);
    EXPECT_EQ(rig.worstStepBackMs, 0) << precise;
    rig.trueUs -= 40'000'000;  // a seek back
    rig.run(1'500);
    rig.worstStepBackMs = 0;
    EXPECT_LE(rig.run(5'000, 3'000), boundMs) << precise;
    EXPECT_EQ(rig.worstStepBackMs, 0) << precise;
  }
}

// VLC from the film's start, as a user presses play: within seconds the precise clock is close
// behind the film, where the length's error times the position would keep it 30-45 ms late for
// the first twenty seconds; and it is never ahead.
TEST(InterfacePlayerClock, IsCloseToVlcsFilmSoonAfterItsStart) {
  Rig rig(true, 0);
  rig.lengthS = 150.021;
  rig.clock.setPrecise(true);
  rig.run(10'000);
  int64_t latest = 0;
  int64_t earliest = 0;
  for (int step = 0; step < 1'000; ++step) {  // 10-20 s in
    rig.run(10);
    latest = std::min(latest, rig.error());
    earliest = std::max(earliest, rig.error());
  }
  EXPECT_GE(latest, -10);
  EXPECT_LE(earliest, 2);
  EXPECT_EQ(rig.worstStepBackMs, 0);
}

// VLC telling what the fraction cannot be trusted with: the clock says so and keeps to the whole
// seconds (or drops the bad answer), and shows no line early (the clock ahead of the film by more
// than its own error: a learnt phase's few ms, or with classic timing half the bracket an update
// is placed in the middle of) or twice (a step back while playing).
struct BadVlcCase {
  const char* name;
  std::function<void(PlayerReport&, int answer)> bend;
  double rate;
  FineTime state;
};

class InterfacePlayerClockBadVlc : public ::testing::TestWithParam<BadVlcCase> {};

TEST_P(InterfacePlayerClockBadVlc, KeepsToWholeSecondsNeverEarlyNorTwice) {
  const BadVlcCase& c = GetParam();
  for (const bool precise : {false, true}) {
    Rig rig(true, 1'300);
    rig.lengthS = 150.021;
    rig.rate = c.rate;
    rig.bend = c.bend;
    rig.clock.setPrecise(precise);
    rig.run(5'000);
    int64_t worstAheadMs = 0;
    for (int step = 0; step < 600; ++step) {  // a minute
      rig.run(100);
      worstAheadMs = std::max(worstAheadMs, rig.error());
    }
    EXPECT_EQ(rig.clock.fineTime(), c.state) << precise;
    EXPECT_LE(worstAheadMs, precise ? 12 : 35) << precise;
    EXPECT_EQ(rig.worstStepBackMs, 0) << precise;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InterfacePlayerClockBadVlc,
    ::testing::Values(
        BadVlcCase{"ByteBased", [](PlayerReport& r, int) { r.fraction = std::pow(r.fraction, 1.3); }, 1.0,
                   FineTime::NotConsistent},
        BadVlcCase{"NoLength", [](PlayerReport& r, int) { r.lengthSeconds = 0; }, 1.0, FineTime::NoLength},
        BadVlcCase{"PastTheEnd", [](PlayerReport& r, int) { r.fraction += 1; }, 1.0, FineTime::PastTheEnd},
        BadVlcCase{"Faster", nullptr, 1.5, FineTime::RateChanged},
        // Two connections: every tenth answer is one from half a second before.
        BadVlcCase{"OutOfOrder",
                   [](PlayerReport& r, int i) {
                     if (i % 10 == 5 && r.positionMs > 1000) {
                       r.fraction -= 0.5 / 150.021;
                       r.positionMs = static_cast<int64_t>(std::floor(r.fraction * 150.021)) * 1000;
                     }
                   },
                   1.0, FineTime::Known}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InterfacePlayerClock, HoldsThroughShortSilenceClearsAfterASecondAndPicksTheNextFilmUp) {
  Rig rig(false);
  rig.run(500);
  rig.answering = false;
  rig.run(900);
  EXPECT_TRUE(rig.clock.read(0).hasPosition);
  rig.run(150);
  EXPECT_FALSE(rig.clock.read(0).hasPosition);
  rig.answering = true;
  rig.trueUs = 2'000'000;  // the player came back with another film
  rig.run(100);
  EXPECT_TRUE(rig.clock.read(0).hasPosition);
  EXPECT_LE(std::abs(rig.error()), 6);
}

TEST(InterfacePlayerClock, AFeedThatStopsReportingFallsSilent) {
  Rig rig(true);
  rig.run(500);
  rig.feeding = false;
  rig.run(1'100);
  EXPECT_FALSE(rig.clock.read(0).hasPosition);
}

TEST(InterfacePlayerClock, APlayerThatPlaysNothingHasNoPositionAtOnce) {
  Rig rig(true);
  rig.run(500);
  PlayerReport stopped;
  stopped.state = PlayerState::NoFilm;
  rig.feed.publish(stopped);
  const ClockReading reading = rig.clock.read(0);
  EXPECT_FALSE(reading.hasPosition);
  EXPECT_FALSE(reading.gone);
}

// Recorded from the real mpv: it reports its new speed at once with the position it last told,
// then stalls for about 0.2 s before it plays on. The clock ran on at twice the speed; the next
// position is 0.35 s behind what was shown, which is no seek: the clock holds rather than step
// back across a line's start (the line would be shown twice). A real seek back still steps.
TEST(InterfacePlayerClock, HoldsWhenAPlayerStallsAtANewSpeedAndStepsBackOnlyForASeek) {
  FakeFeed feed;
  FakePreciseTime time;
  InterfacePlayerClock clock{feed, time};
  const auto tell = [&](uint64_t us, int64_t positionMs, double rate) {
    time.us = us;
    PlayerReport report;
    report.state = PlayerState::Playing;
    report.positionMs = positionMs;
    report.rate = rate;
    report.askedUs = report.answeredUs = us;
    feed.publish(report);
    return clock.read(0).positionMs;
  };
  tell(17'331'000, 6'520, 1.0);
  tell(17'335'700, 6'520, 2.0);
  time.us = 17'528'000;
  const int32_t shown = clock.read(0).positionMs;
  EXPECT_GT(shown, 6'850);
  EXPECT_GE(tell(17'529'000, 6'560, 2.0), shown);
  time.us = 17'700'000;
  EXPECT_GE(clock.read(0).positionMs, shown);
  EXPECT_EQ(tell(17'750'000, 3'000, 2.0), 3'000);
}

TEST(InterfacePlayerClock, DelayIsTakenOff) {
  Rig rig(false);
  rig.run(200);
  EXPECT_EQ(rig.clock.at(rig.time.us, 0).positionMs - rig.clock.at(rig.time.us, 1'500).positionMs, 1'500);
}

}  // namespace
}  // namespace quorvane
