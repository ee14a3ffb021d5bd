#include "players/film_length.h"

#include <algorithm>
#include <cmath>

namespace quorvane {
namespace {

// A told second this far from where the last answer's fraction puts the film is a seek.
constexpr double kSeekSeconds = 2.0;

}  // namespace

void FilmLength::learnAnew(double toldLength) {
  // The told length is whole seconds, rounded either way: the true one is within a second of it.
  toldLength_ = toldLength;
  low_ = std::max(0.0, toldLength - 1);
  high_ = toldLength + 1;
  rejectedInARow_ = 0;
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
  if (report.fraction * (high_ - low_) / 2 > kKnownSeconds) {
    state_ = lengthChanged_ ? FineTime::LengthChanged : FineTime::Learning;
    return -1;
  }
  state_ = FineTime::Known;
  lengthChanged_ = false;
  // Within the second the player tells, whatever rounding the product leaves.
  const double ms = report.fraction * (low_ + high_) / 2 * 1000;
  return std::clamp(static_cast<int64_t>(std::floor(ms)), second * 1000, second * 1000 + 999);
}

}  // namespace quorvane
