#include "players/film_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace quorvane {
namespace {

// VLC as recorded: a 150.021 s film, a new (time, position) pair about 3.8 times a second, asked
// every 43 ms; `tell` may bend an answer (film seconds, answer index) into a bad one.
constexpr double kTrueLength = 150.021;

PlayerReport vlcAnswer(double filmSeconds, double length = kTrueLength) {
  PlayerReport r;
  r.state = PlayerState::Playing;
  r.wholeSeconds = true;
  r.fraction = filmSeconds / length;
  r.positionMs = static_cast<int64_t>(std::floor(r.fraction * length)) * 1000;
  r.lengthSeconds = std::round(length);
  return r;
}

struct LengthCase {
  const char* name;
  std::function<PlayerReport(double filmSeconds, int answer)> tell;
  FineTime state;  // after two minutes of play
  bool rejects;    // some answers contradict the interval
  double lengthAtTheEnd = kTrueLength;
  bool stuckPhase = false;  // the player's updates keep one phase of the second
};

class FilmLengthLearns : public ::testing::TestWithParam<LengthCase> {};

TEST_P(FilmLengthLearns, FromTwoMinutesOfAnswers) {
  const LengthCase& c = GetParam();
  FilmLength length;
  uint64_t us = 1'000'000;
  double updateS = 0;  // the film's time at the player's last update
  double periodS = c.stuckPhase ? 0.250 : 0.263;
  uint32_t wander = 1;
  int64_t worstAheadMs = 0;   // of the film's time
  int64_t worstBehindMs = 0;
  for (int i = 0; i < 2800; ++i, us += 43'000) {
    const double filmS = static_cast<double>(i) * 0.043;
    if (filmS - updateS >= periodS) {
      // The player's timer wanders: each update 250-280 ms after the last, and the answer
      // tells it from then on. Or it keeps one phase: every 250 ms, 140 ms into a second.
      updateS = c.stuckPhase && updateS == 0 ? 0.140 : updateS + periodS;
      wander = wander * 1'103'515'245u + 12'345u;
      if (!c.stuckPhase) periodS = 0.250 + static_cast<double>(wander >> 16 & 0x7FFF) / 32768.0 * 0.030;
    }
    PlayerReport r = c.tell(updateS, i);
    r.askedUs = us - 5'000;
    r.answeredUs = us + 5'000;
    const int64_t ms = length.take(r, us);
    if (ms >= 0) {
      worstAheadMs = std::max<int64_t>(worstAheadMs, ms - std::llround(updateS * 1000));
      worstBehindMs = std::max<int64_t>(worstBehindMs, std::llround(updateS * 1000) - ms);
    }
  }
  EXPECT_EQ(length.state(), c.state) << length.highSeconds() - length.lowSeconds();
  EXPECT_EQ(length.rejected() > 0, c.rejects);
  // Whatever it gives is the film's time, never ahead of it.
  EXPECT_LE(worstAheadMs, 1);
  EXPECT_LE(worstBehindMs, 2 * FilmLength::kKnownSeconds * 1000 + 1);
  if (c.state == FineTime::Known) {
    EXPECT_LE(length.lowSeconds(), c.lengthAtTheEnd);
    EXPECT_GT(length.highSeconds(), c.lengthAtTheEnd);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FilmLengthLearns,
    ::testing::Values(
        LengthCase{"Consistent", [](double s, int) { return vlcAnswer(s); }, FineTime::Known, false},
        // The seconds alone leave the length a tenth of a second wide: learnt from the pace.
        LengthCase{"OnePhase", [](double s, int) { return vlcAnswer(s); }, FineTime::Known, false, kTrueLength, true},
        // Near the film's start the position lags the time: skipped, then learnt.
        LengthCase{"InconsistentAtTheStart",
                   [](double s, int i) {
                     PlayerReport r = vlcAnswer(s);
                     if (i < 30) r.fraction *= 0.8;
                     return r;
                   },
                   FineTime::Known, true},
        // A position counted in bytes of a container whose rate is not even.
        LengthCase{"ByteBased",
                   [](double s, int) {
                     PlayerReport r = vlcAnswer(s);
                     r.fraction = std::pow(s / kTrueLength, 1.3);
                     return r;
                   },
                   FineTime::NotConsistent, true},
        LengthCase{"NoLength",
                   [](double s, int) {
                     PlayerReport r = vlcAnswer(s);
                     r.lengthSeconds = 0;
                     return r;
                   },
                   FineTime::NoLength, false},
        // A stream: the length grows as it plays, the fraction with it. Each new length is learnt
        // anew from the told one, on whole seconds until the fraction's time is close enough.
        LengthCase{"LengthGrows", [](double s, int i) { return vlcAnswer(s, kTrueLength + i / 40); },
                   FineTime::Known, false, kTrueLength + 2799 / 40},
        // Just changed: not yet learnt again.
        LengthCase{"LengthJustChanged", [](double s, int i) { return vlcAnswer(s, i < 2790 ? kTrueLength : 300.5); },
                   FineTime::LengthChanged, false},
        LengthCase{"PastTheEnd",
                   [](double s, int) {
                     PlayerReport r = vlcAnswer(s);
                     r.fraction += 1;
                     return r;
                   },
                   FineTime::PastTheEnd, false},
        LengthCase{"Faster",
                   [](double s, int) {
                     PlayerReport r = vlcAnswer(s);
                     r.rate = 1.5;
                     return r;
                   },
                   FineTime::RateChanged, false},
        // Two connections: every tenth answer is one from half a second ago.
        LengthCase{"OutOfOrder", [](double s, int i) { return vlcAnswer(i % 10 == 5 && s > 1 ? s - 0.5 : s); },
                   FineTime::Known, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FilmLength, AnOlderAnswerIsDroppedAndSaidSo) {
  FilmLength length;
  uint64_t us = 1'000'000;
  for (int i = 0; i < 1400; ++i, us += 43'000) length.take(vlcAnswer(i * 0.043), us);
  ASSERT_EQ(length.state(), FineTime::Known);
  EXPECT_EQ(length.take(vlcAnswer(1400 * 0.043 - 0.5), us), -1);
  EXPECT_EQ(length.state(), FineTime::OutOfOrder);
}

// After a seek the position is not trusted for half a second, then the learnt length goes on.
TEST(FilmLength, ASeekIsTrustedAfterHalfASecond) {
  FilmLength length;
  uint64_t us = 1'000'000;
  for (int i = 0; i < 1400; ++i, us += 43'000) length.take(vlcAnswer(i * 0.043), us);
  EXPECT_EQ(length.take(vlcAnswer(100.0), us), -1);
  EXPECT_EQ(length.take(vlcAnswer(100.3), us + 300'000), -1);
  EXPECT_NEAR(length.take(vlcAnswer(100.6), us + 600'000), 100'600, FilmLength::kKnownSeconds * 1000 + 1);
}

// The instant the film was at 0 is fitted to each stretch of steady play: close to the truth (the
// film at 0 at 1 s on the counter, then 2 s later after a pause), never ahead of it by more than
// the answers' own few ms (the middle of where their brackets meet); unknown from a pause until
// the first update of the next stretch, then fitted anew with the length kept.
TEST(FilmLength, FitsTheZeroOfEachStretch) {
  FilmLength length;
  double zeroUs = 0;
  auto play = [&](uint64_t fromUs, double fromS, int answers, double truthUs) {
    double worstLateMs = 0;
    double worstEarlyMs = 0;
    double updateS = fromS;
    for (int i = 0; i < answers; ++i) {
      const uint64_t us = fromUs + static_cast<uint64_t>(i) * 43'000;
      const double filmS = fromS + i * 0.043;
      if (filmS - updateS >= 0.263) updateS += 0.263;
      PlayerReport r = vlcAnswer(updateS);
      r.askedUs = us - 5'000;
      r.answeredUs = us + 5'000;
      if (length.take(r, us) >= 0 && length.zeroUs(zeroUs) && i * 0.043 > 10) {
        worstLateMs = std::max(worstLateMs, (zeroUs - truthUs) / 1000);
        worstEarlyMs = std::max(worstEarlyMs, (truthUs - zeroUs) / 1000);
      }
    }
    EXPECT_LE(worstLateMs, 12);
    EXPECT_LE(worstEarlyMs, 2);
  };
  play(1'000'000, 0, 1'400, 1'000'000);
  PlayerReport paused = vlcAnswer(60.0);
  paused.state = PlayerState::Paused;
  length.take(paused, 61'500'000);
  EXPECT_FALSE(length.zeroUs(zeroUs));
  EXPECT_EQ(length.take(vlcAnswer(60.0), 63'000'000), -1);  // resumed: not yet settled
  EXPECT_FALSE(length.zeroUs(zeroUs));
  play(63'000'000, 60.0, 700, 3'000'000);
}

}  // namespace
}  // namespace quorvane
