#include "players/interface_player_clock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvane {
namespace {

// The phase counts as known once one stretch of play has bounded it this narrowly; until then
// a new second starts when an answer first tells it.
constexpr double kPhaseKnownUs = 100'000;
constexpr double kPhaseOverrunMs = 250;
// How far an answer's bounds widen per second of its age: how fast the phase may wander.
constexpr double kWanderUsPerSecond = 3000;
// How far a new answer may put the position back without being a seek: the clock's own error. A
// whole-second reading can run up to its overrun past the second the player tells; a finer one
// is off by a fraction of an answer's round trip, beyond however far the clock had run on from
// the position last told (a player that stalls, as mpv does for a moment when it takes a new
// speed, was not where the clock ran on to).
constexpr int64_t kWholeSecondErrorMs = 1000 + static_cast<int64_t>(kPhaseOverrunMs);
constexpr int64_t kFineErrorMs = 250;
// VLC makes a new position about 3.8 times a second: a value first seen was made up to this long
// before.
constexpr uint64_t kUpdatePeriodUs = 263'000;

// The player's rate, or 1 where it tells none that makes sense.
double rateOf(const PlayerReport& report) {
  return report.rate > 0 && std::isfinite(report.rate) ? report.rate : 1.0;
}

}  // namespace

void InterfacePlayerClock::setPrecise(bool on) { precise_ = on; }  // the phase is learnt either way

ClockReading InterfacePlayerClock::read(const ClockTiming& timing) {
  // Every answer since the last read, in order: a change of the player's position is then
  // bracketed by the answers on either side of it, not by whichever the reads happened to see.
  for (const PlayerReport& report : feed_.since(seenSequence_)) {
    seenSequence_ = report.sequence;
    take(report);
  }
  // Measured from when an answer was picked up, so that a feed that stops reporting at all (a
  // hung worker) falls silent too.
  if (known_ && elapsedUs(lastGoodUs_, time_.nowUs()) >= static_cast<int64_t>(kSilenceUs)) restart();
  return at(time_.nowUs(), timing);
}

void InterfacePlayerClock::take(const PlayerReport& report) {
  lastState_ = report.state;
  if (report.state == PlayerState::NoFilm) {
    length_ = FilmLength();
    restart();  // stopped, or the film ended: nothing to show, and whatever comes next is new
    return;
  }
  if (!report.hasFilm()) return;  // silent: the last position goes on until the silence rule
  lastGoodUs_ = time_.nowUs();
  const bool wasKnown = known_;
  // What the run may have shown: the position at the latest moment it was asked for, no later.
  const int64_t shownMs = known_ ? rawAt(std::min(shownUpToUs_, lastGoodUs_)) : 0;
  const int64_t previousToldMs = toldMs_;
  // The player took its position somewhere between question and answer: the middle is the best
  // guess, off by at most half the round trip.
  const uint64_t stampUs = report.askedUs + (report.answeredUs - report.askedUs) / 2;
  if (known_ && elapsedUs(lastReportUs_, stampUs) > static_cast<int64_t>(kLongGapUs)) restart();
  const int64_t fineMs = report.wholeSeconds ? length_.take(report, stampUs) : -1;
  // An answer older than one already taken (two connections): its second would put the clock
  // back past what the step-back rule lets through as a seek.
  if (fineMs < 0 && length_.state() == FineTime::OutOfOrder) return;
  fitted_ = fineMs >= 0 && length_.zeroUs(fittedZeroUs_);
  if (fineMs >= 0) {
    takeFine(report, fineMs, stampUs);
    toldMs_ = fineMs;
  } else if (report.wholeSeconds) {
    takeWholeSecond(report, stampUs);
    fine_ = false;
    toldMs_ = secondMs_;
  } else {
    baseMs_ = report.positionMs;
    baseUs_ = stampUs;
    answers_.clear();
    bounded_ = false;
    toldMs_ = report.positionMs;
  }
  lastReportUs_ = stampUs;
  lastAskedUs_ = report.askedUs;
  wholeSeconds_ = report.wholeSeconds && fineMs < 0;
  playing_ = report.state == PlayerState::Playing;
  rate_ = rateOf(report);
  known_ = true;
  holdAgainstStepBack(wasKnown, shownMs, previousToldMs);
}

void InterfacePlayerClock::holdAgainstStepBack(bool wasKnown, int64_t shownMs, int64_t previousToldMs) {
  if (!wasKnown || !known_) {
    floorActive_ = false;
    return;
  }
  floorActive_ = false;  // the floor holds what was shown, not what an older floor held
  const int64_t nowMs = rawAt(lastGoodUs_);
  if (nowMs >= shownMs) return;
  const int64_t errorMs =
      wholeSeconds_ ? kWholeSecondErrorMs : kFineErrorMs + std::max<int64_t>(0, shownMs - previousToldMs);
  if (shownMs - nowMs > errorMs) return;  // further back than the clock can be wrong: a seek
  floorActive_ = true;
  floorMs_ = shownMs;
}

void InterfacePlayerClock::takeWholeSecond(const PlayerReport& report, uint64_t stampUs) {
  const int64_t second = report.positionMs - (report.positionMs % 1000 + 1000) % 1000;
  const bool playing = report.state == PlayerState::Playing;
  const double rate = rateOf(report);
  // Coming back from the fraction (an answer it cannot use), a second that holds the position
  // already known goes on from it rather than from the second's start.
  const bool fromFine = known_ && fine_ && rawAt(stampUs) >= second && rawAt(stampUs) <= second + 999;
  const bool sameSecond = (known_ && wholeSeconds_ && second == secondMs_) || fromFine;

  if (!sameSecond) {
    // A new second, a seek, or the first answer: the second starts now, as far as is known.
    baseMs_ = second;
    baseUs_ = stampUs;
  } else if (playing_ && !playing) {
    // Paused: hold where playback stopped, within the second the player tells, not at its start
    // (that would bring the previous cue back for the whole pause).
    baseMs_ = std::clamp<int64_t>(rawAt(changedAtUs(report)), second, second + 999);
  } else if (!playing_ && playing) {
    baseUs_ = changedAtUs(report);  // resumed: go on from the held position
  } else if (playing && rate != rate_) {
    baseMs_ = rawAt(stampUs);
    baseUs_ = stampUs;
  }

  // The answer says that at some moment between question and answer the film was within this
  // second: at rate r, the film was at 0 between asked - (second + 1 s) / r and answered -
  // second / r. The latest answers of one stretch of play (no pause, seek or change of rate)
  // that agree with each other narrow the instant; an answer that agrees with none of the
  // earlier ones means the player jumped.
  if (playing) {
    const double low = static_cast<double>(report.askedUs) - static_cast<double>(second + 1000) * 1000.0 / rate;
    const double high = static_cast<double>(report.answeredUs) - static_cast<double>(second) * 1000.0 / rate;
    const bool sameStretch = known_ && wholeSeconds_ && playing_ && rate == rate_;
    if (!sameStretch) answers_.clear();
    narrowZero(low, high, report.answeredUs);
  } else {
    answers_.clear();
    bounded_ = false;
  }
  secondMs_ = second;
}

void InterfacePlayerClock::narrowZero(double lowUs, double highUs, uint64_t atUs) {
  answers_.push_back({lowUs, highUs, atUs});
  if (answers_.size() > kPhaseAnswers) answers_.pop_front();
  // From the newest back, as long as the bounds still meet; older ones are dropped.
  for (size_t i = answers_.size() - 1; i-- > 0;) {
    const double widenUs = static_cast<double>(elapsedUs(answers_[i].atUs, atUs)) / 1e6 * kWanderUsPerSecond;
    const double l = std::max(lowUs, answers_[i].lowUs - widenUs);
    const double h = std::min(highUs, answers_[i].highUs + widenUs);
    if (l >= h) {
      answers_.erase(answers_.begin(), answers_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      break;
    }
    lowUs = l;
    highUs = h;
  }
  zeroLowUs_ = lowUs;
  zeroHighUs_ = highUs;
  bounded_ = true;
}

void InterfacePlayerClock::takeFine(const PlayerReport& report, int64_t fineMs, uint64_t stampUs) {
  const bool playing = report.state == PlayerState::Playing;
  const double rate = rateOf(report);
  const bool continuing = known_ && fine_ && playing && playing_;
  if (!playing) {
    // Paused: the player's last update is up to one period old; hold where play stopped.
    const int64_t heldMs = known_ && playing_ ? rawAt(changedAtUs(report)) : fineMs;
    baseMs_ = std::clamp<int64_t>(heldMs, fineMs, fineMs + static_cast<int64_t>(kUpdatePeriodUs / 1000));
    baseUs_ = stampUs;
    answers_.clear();
    bounded_ = false;
  } else if (!continuing) {
    // The first value of a stretch was made up to a period before the answer: taken as made at
    // the answer, the position is late until the next update brackets one, never early.
    const uint64_t madeUs = report.answeredUs;
    if (known_ && !playing_) {
      baseUs_ = changedAtUs(report);  // resumed: go on from the held position
    } else {
      baseMs_ = fineMs;
      baseUs_ = madeUs;
    }
    answers_.clear();
    bounded_ = false;
  } else if (fineMs != fineMs_) {
    // A new value: the player made it after the last answer's question and before this answer.
    const uint64_t lowUs = lastAskedUs_;
    const uint64_t highUs = report.answeredUs;
    const uint64_t madeUs = changedAtUs(report);
    if (std::abs(rawAt(madeUs) - fineMs) > 1000) {
      answers_.clear();  // a seek: what was learnt of this stretch is of no use
      bounded_ = false;
    }
    baseMs_ = fineMs;
    baseUs_ = madeUs;
    const double zeroShiftUs = static_cast<double>(fineMs) * 1000.0 / rate;
    narrowZero(static_cast<double>(lowUs) - zeroShiftUs, static_cast<double>(highUs) - zeroShiftUs, report.answeredUs);
  }
  fine_ = true;
  fineMs_ = fineMs;
  secondMs_ = fineMs - fineMs % 1000;
}

uint64_t InterfacePlayerClock::changedAtUs(const PlayerReport& report) const {
  return lastAskedUs_ + (report.answeredUs - lastAskedUs_) / 2;
}

int64_t InterfacePlayerClock::rawAt(uint64_t us) const {
  if (!playing_) return floorActive_ ? std::max(baseMs_, floorMs_) : baseMs_;
  double ms;
  double overrunMs = 0;
  if (fine_ && precise_ && (bounded_ || fitted_)) {
    // Two instants the film was at 0, each put late by its own error: the updates' brackets
    // intersected (never wider than the latest alone, and as narrow as the round trip once the
    // updates have fallen at every phase of the questions; they carry the length's error times
    // the position), and the fit with the length to this stretch's updates (off by their mean
    // moment's error, which shrinks with each update). The earlier is the nearer to the film.
    double zeroUs = fitted_ ? fittedZeroUs_ : std::numeric_limits<double>::infinity();
    if (bounded_) zeroUs = std::min(zeroUs, (zeroLowUs_ + zeroHighUs_) / 2);
    ms = (static_cast<double>(us) - zeroUs) * rate_ / 1000.0;
  } else if (wholeSeconds_ && precise_ && bounded_ && zeroHighUs_ - zeroLowUs_ <= kPhaseKnownUs) {
    ms = (static_cast<double>(us) - (zeroLowUs_ + zeroHighUs_) / 2) * rate_ / 1000.0;
    // The next second's answer reaches the run only at a tick after the worker's next question:
    // with the phase known, go on into that second for a while rather than wait for it.
    overrunMs = kPhaseOverrunMs;
  } else {
    ms = static_cast<double>(baseMs_) + static_cast<double>(std::max<int64_t>(0, elapsedUs(baseUs_, us))) * rate_ / 1000.0;
  }
  // Never outside the second the player tells (a stalled player, a late answer): hold until the
  // next answer comes.
  if (wholeSeconds_) {
    ms = std::clamp(ms, static_cast<double>(secondMs_), static_cast<double>(secondMs_ + 999) + overrunMs);
  }
  const auto raw = static_cast<int64_t>(std::floor(ms));
  return floorActive_ ? std::max(raw, floorMs_) : raw;
}

ClockReading InterfacePlayerClock::at(uint64_t us, const ClockTiming& timing) const {
  shownUpToUs_ = std::max(shownUpToUs_, us);
  ClockReading reading;
  reading.atUs = us;
  reading.hasPosition = known_;
  reading.playing = known_ && playing_;
  if (known_) {
    const int64_t raw = rawAt(us);
    reading.positionMs = timing.apply(raw);
    reading.rawMs = static_cast<int32_t>(
        std::clamp<int64_t>(raw, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  }
  return reading;
}

}  // namespace quorvane
