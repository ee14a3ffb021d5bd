#pragma once

#include <cstdint>
#include <deque>

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

// Learns a film's true length two ways. Each answer tells a whole second t and the fraction p of
// the film with floor(p x length) == t, so allows lengths in [t / p, (t + 1) / p); their
// intersection narrows to milliseconds once the player's updates have fallen close to the
// start of a second, which may take long: VLC's updates can keep one phase of the second for
// minutes. And at normal speed the fraction grows by 1 / length a second: a straight line
// through each update's moment (between the last answer with the old value and the first with
// the new) and its fraction gives the length to a fraction of a per mille within tens of
// seconds. The narrower of the two is used. Then p x length gives the film's time at the
// player's last update to a few milliseconds, where the whole seconds are up to a second behind.
class FilmLength {
 public:
  // How far off the time may be to be used. The time given is taken back by that much, so that
  // it is never ahead of the film: late by up to twice this at first, where whole seconds change
  // up to a quarter second and more late, and by a few milliseconds once the length is learnt.
  static constexpr double kKnownSeconds = 0.100;
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
  // The precise counter's moment the film was at 0 for the current stretch of steady play, once
  // the length is known and the stretch has an update: false otherwise. Fitted with the length
  // (each update's moment is that zero plus its fraction times the length), so that its error
  // is that of the stretch's updates, not the length's error times the film's position.
  bool zeroUs(double& us) const;

 private:
  void learnAnew(double toldLength);
  // The moments of updates at normal speed, for the length from their pace: sums over the
  // current stretch of play (seconds from its first update, and fractions), and the centred sums
  // of the stretches before it, which share the pace but not the start.
  struct Pace {
    double n = 0, x = 0, y = 0, xx = 0, xy = 0, yy = 0;
    double pooledXx = 0, pooledXy = 0, pooledYy = 0;
    double count = 0;
    double stretches = 0;  // ended ones
    uint64_t originUs = 0;
    struct Bracket {
      double lowSeconds, highSeconds, fraction;
    };
    std::deque<Bracket> brackets;  // the current stretch's latest updates
    void endStretch();
    // An update made between these moments (seconds from originUs) with this fraction.
    void add(double lowSeconds, double highSeconds, double fraction);
    // The length and its error relative to it (three standard errors), or 0 for the length.
    double length(double& relativeError) const;
    // The moment the film was at 0 in the current stretch (seconds from originUs), put late by
    // what it may be off, or false.
    bool zero(double& seconds) const;

   private:
    // The line through every stretch's updates: fractions per second, the updates' scatter about
    // it in seconds, and the centred sum of squares of their moments; false while too few.
    bool fit(double& slope, double& spread, double& sxx) const;
  };

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
  uint64_t lastAskedUs_ = 0;
  bool lastUsable_ = false;  // the last answer was taken in steady play at normal speed
  Pace pace_;
};

}  // namespace quorvane
