#pragma once

#include <cstdint>

#include "players/player_report.h"

namespace quorvane {

// How the film's time is read from a player that tells whole seconds and a fraction of the film
// (VLC): what a status view can say about the run's timing.
enum class FineTime : uint8_t {
  NotTold,        // no fraction told: whole seconds
  Learning,       // the length is not yet known finely enough: whole seconds meanwhile
  Known,          // the film's time is the fraction times the learnt length
  NoLength,       // the player tells no length (or 0): whole seconds
  LengthChanged,  // the told length changed mid-film (a stream): whole seconds until learnt again
  PastTheEnd,     // a fraction beyond 1: whole seconds
  RateChanged,    // not played at normal speed: whole seconds
  OutOfOrder,     // an answer older than one already taken (two connections): dropped
  NotConsistent,  // the fraction does not fit the seconds at all (a byte-based position): whole seconds
};

// Learns a film's true length from answers that each tell a whole second t and the fraction p
// of the film with floor(p x length) == t: each allows lengths in [t / p, (t + 1) / p), and
// their intersection narrows to a few milliseconds within a minute or two of play. Then
// p x length gives the film's time at the player's last update to about a millisecond, where
// the whole seconds are up to a second behind.
class FilmLength {
 public:
  // How far off the time may be (the fraction times half the interval's width) to be used. Far
  // better than whole seconds, whose changes come up to a quarter second late; early in a film
  // the fraction is small, so this holds within seconds of play, and the error shrinks to a
  // few milliseconds as the interval narrows.
  static constexpr double kKnownSeconds = 0.040;
  // After a seek, a resume or a new film the fraction is not yet consistent with the seconds.
  static constexpr uint64_t kSettleUs = 500'000;
  // This many contradicting answers in a row mean the interval itself was wrong: learn anew.
  static constexpr int kRelearnAfter = 6;
  // Learning anew this often within one film: the fraction is not the film's time at all.
  static constexpr int kGiveUpAfter = 3;

  // Takes one answer, stamped with the precise counter; gives the film's time in ms that its
  // fraction tells, or -1 where the whole seconds must do (state() says why).
  int64_t take(const PlayerReport& report, uint64_t stampUs);

  FineTime state() const { return state_; }
  int rejected() const { return rejected_; }  // answers that contradicted the interval
  double lowSeconds() const { return low_; }
  double highSeconds() const { return high_; }

 private:
  void learnAnew(double toldLength);

  FineTime state_ = FineTime::NotTold;
  bool have_ = false;       // an answer of this film was taken
  double toldLength_ = 0;   // the length the player told
  double low_ = 0;          // the true length lies in [low_, high_)
  double high_ = 0;
  int64_t lastSecond_ = 0;  // the last answer taken, to tell seeks and stale answers
  double lastFraction_ = 0;
  bool lastPlaying_ = false;
  uint64_t settleUntilUs_ = 0;
  int rejected_ = 0;
  int rejectedInARow_ = 0;
  int relearnt_ = 0;
  bool lengthChanged_ = false;
};

}  // namespace quorvane
