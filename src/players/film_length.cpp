#include "players/film_length.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvane {
namespace {

// A told second this far from where the last answer's fraction puts the film is a seek.
constexpr double kSeekSeconds = 2.0;
// The zero is taken where a stretch's update brackets meet only once this many have (about four
// seconds of play): a few brackets may meet well off it.
constexpr size_t kMeetingBrackets = 16;
// The brackets kept of a stretch: a minute of updates.
constexpr size_t kKeptBrackets = 256;

}  // namespace

void FilmLength::Pace::endStretch() {
  if (n >= 2) {
    pooledXx += xx - x * x / n;
    pooledXy += xy - x * y / n;
    pooledYy += yy - y * y / n;
    stretches += 1;
  }
  n = x = y = xx = xy = yy = 0;
  brackets.clear();
}

void FilmLength::Pace::add(double lowSeconds, double highSeconds, double fraction) {
  brackets.push_back({lowSeconds, highSeconds, fraction});
  if (brackets.size() > kKeptBrackets) brackets.pop_front();
  const double seconds = (lowSeconds + highSeconds) / 2;
  n += 1;
  x += seconds;
  y += fraction;
  xx += seconds * seconds;
  xy += seconds * fraction;
  yy += fraction * fraction;
  count += 1;
}

bool FilmLength::Pace::fit(double& slope, double& spread, double& sxx) const {
  sxx = pooledXx + (n >= 2 ? xx - x * x / n : 0);
  const double sxy = pooledXy + (n >= 2 ? xy - x * y / n : 0);
  const double syy = pooledYy + (n >= 2 ? yy - y * y / n : 0);
  const double freedom = count - stretches - (n >= 2 ? 1 : 0) - 1;
  if (count < 8 || freedom < 4 || sxx <= 0 || sxy <= 0) return false;
  // How far the updates' moments scatter about the line, in seconds: each is the middle of its
  // bracket, but the player takes its position at much the same point of every question, so the
  // scatter is far below a bracket's width when the round trip is long. Never taken below a
  // millisecond, the counter's and the questions' own jitter.
  slope = sxy / sxx;
  spread = std::max(0.001, std::sqrt(std::max(0.0, syy - slope * sxy) / freedom) / slope);
  return true;
}

double FilmLength::Pace::length(double& relativeError) const {
  double slope = 0, spread = 0, sxx = 0;
  if (!fit(slope, spread, sxx)) return 0;
  relativeError = 3 * spread / std::sqrt(sxx);
  return 1 / slope;
}

bool FilmLength::Pace::zero(double& seconds) const {
  double slope = 0, spread = 0, sxx = 0;
  if (n < 1 || !fit(slope, spread, sxx)) return false;
  // Each update's moment is the zero plus its film time, fraction / slope: the zero is the
  // stretch's mean moment less its mean film time. The mean moment is off by the scatter over
  // the updates' number, the mean film time by the length's error times it, far less than the
  // position times it once the stretch is under way. Put late by two standard errors.
  const double relativeError = spread / std::sqrt(sxx);
  const double meanFilmSeconds = y / n / slope;
  const double lengthError = meanFilmSeconds * relativeError;
  seconds = x / n - meanFilmSeconds + 2 * std::sqrt(spread * spread / n + lengthError * lengthError);
  // Closer still: each update says the zero lies between its bracket's ends less its film time,
  // give or take twice the length's error times that time; where they all meet, the middle,
  // when that is earlier. The updates early in a stretch carry little of the length's error.
  if (brackets.size() < kMeetingBrackets) return true;
  double low = -std::numeric_limits<double>::infinity();
  double high = std::numeric_limits<double>::infinity();
  for (const Bracket& b : brackets) {
    const double filmSeconds = b.fraction / slope;
    const double widen = 2 * relativeError * filmSeconds;
    low = std::max(low, b.lowSeconds - filmSeconds - widen);
    high = std::min(high, b.highSeconds - filmSeconds + widen);
  }
  if (low < high) seconds = std::min(seconds, (low + high) / 2);
  return true;
}

bool FilmLength::zeroUs(double& us) const {
  double seconds = 0;
  if (state_ != FineTime::Known || !lastUsable_ || !pace_.zero(seconds)) return false;
  us = static_cast<double>(pace_.originUs) + seconds * 1e6;
  return true;
}

void FilmLength::learnAnew(double toldLength) {
  // The told length is whole seconds, rounded either way: the true one is within a second of it.
  toldLength_ = toldLength;
  low_ = std::max(0.0, toldLength - 1);
  high_ = toldLength + 1;
  rejectedInARow_ = 0;
  pace_ = Pace();
  lastUsable_ = false;
}

int64_t FilmLength::take(const PlayerReport& report, uint64_t stampUs) {
  if (!report.hasFilm()) return -1;
  if (report.fraction < 0) {
    state_ = FineTime::NotTold;
    return -1;
  }
  if (!(report.lengthSeconds > 0)) {
    state_ = FineTime::NoLength;
    have_ = false;
    return -1;
  }
  const int64_t second = report.positionMs / 1000;
  const bool playing = report.state == PlayerState::Playing;
  const double previousFraction = lastFraction_;

  if (!have_ || report.lengthSeconds != toldLength_) {
    // A new film, or a length that changed under the same film (a stream that grows).
    lengthChanged_ = have_ && std::abs(second - lastSecond_) <= kSeekSeconds + 1;
    if (!have_ || !lengthChanged_) relearnt_ = 0;
    learnAnew(report.lengthSeconds);
    settleUntilUs_ = stampUs + kSettleUs;
  } else {
    const double lastSeconds = lastFraction_ * (low_ + high_) / 2;
    const double toldSeconds = report.fraction * (low_ + high_) / 2;
    if (report.fraction < lastFraction_ && lastSeconds - toldSeconds < kSeekSeconds && playing && lastPlaying_) {
      // Behind an answer already taken while playing, by less than a seek: an older answer
      // that arrived late. It would put the clock back.
      state_ = FineTime::OutOfOrder;
      return -1;
    }
    if (std::abs(static_cast<double>(second) - toldSeconds) > kSeekSeconds ||
        std::abs(toldSeconds - lastSeconds) > kSeekSeconds + 1 || (playing && !lastPlaying_)) {
      settleUntilUs_ = stampUs + kSettleUs;  // a seek or a resume
    }
  }
  have_ = true;
  lastSecond_ = second;
  lastFraction_ = report.fraction;
  lastPlaying_ = playing;

  // Steady play at normal speed: a new fraction was made after the last answer's question and
  // before this answer. Anything else ends the stretch the pace is learnt over.
  const bool usable = playing && std::abs(report.rate - 1.0) <= 1e-9 && report.fraction > 0 && report.fraction <= 1 &&
                      second > 0 && static_cast<int64_t>(stampUs - settleUntilUs_) >= 0;
  if (usable && lastUsable_ && report.fraction != previousFraction && report.answeredUs > lastAskedUs_) {
    if (pace_.count == 0) pace_.originUs = lastAskedUs_;
    const double lowS = static_cast<double>(lastAskedUs_ - pace_.originUs) / 1e6;
    const double highS = static_cast<double>(report.answeredUs - pace_.originUs) / 1e6;
    pace_.add(lowS, highS, report.fraction);
  } else if (!usable && lastUsable_) {
    pace_.endStretch();
  }
  lastUsable_ = usable;
  lastAskedUs_ = report.askedUs;

  if (report.fraction > 1) {
    state_ = FineTime::PastTheEnd;
    return -1;
  }
  if (std::abs(report.rate - 1.0) > 1e-9) {
    state_ = FineTime::RateChanged;
    return -1;
  }
  if (relearnt_ >= kGiveUpAfter) {
    state_ = FineTime::NotConsistent;
    return -1;
  }
  if (static_cast<int64_t>(stampUs - settleUntilUs_) < 0 || report.fraction <= 0 || second <= 0) {
    state_ = lengthChanged_ ? FineTime::LengthChanged : FineTime::Learning;
    return -1;  // nothing to learn from yet, or not to be trusted yet
  }

  // Lengths this answer allows; one that contradicts the interval is thrown out.
  const double low = static_cast<double>(second) / report.fraction;
  const double high = static_cast<double>(second + 1) / report.fraction;
  if (low >= high_ || high <= low_) {
    ++rejected_;
    if (++rejectedInARow_ >= kRelearnAfter) {
      ++relearnt_;
      learnAnew(toldLength_);
    }
    state_ = relearnt_ >= kGiveUpAfter ? FineTime::NotConsistent : lengthChanged_ ? FineTime::LengthChanged
                                                                                   : FineTime::Learning;
    return -1;
  }
  rejectedInARow_ = 0;
  low_ = std::max(low_, low);
  high_ = std::min(high_, high);
  double length = (low_ + high_) / 2;
  double error = report.fraction * (high_ - low_) / 2;
  double relativeError = 0;
  if (const double paced = pace_.length(relativeError); paced > 0 && report.fraction * paced * relativeError < error) {
    length = std::clamp(paced, low_, high_);
    error = report.fraction * paced * relativeError;
  }
  if (error > kKnownSeconds) {
    state_ = lengthChanged_ ? FineTime::LengthChanged : FineTime::Learning;
    return -1;
  }
  state_ = FineTime::Known;
  lengthChanged_ = false;
  // Never ahead of the film, and within the second the player tells, whatever rounding the
  // product leaves.
  const double ms = (report.fraction * length - error) * 1000;
  return std::clamp(static_cast<int64_t>(std::floor(ms)), second * 1000, second * 1000 + 999);
}

}  // namespace quorvane
