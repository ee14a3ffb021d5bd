#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "platform/precise_time.h"
#include "run/clock_source.h"
#include "players/film_length.h"
#include "players/player_report.h"

namespace quorvane {

// The film's position from a player that tells its time through a public interface (its web
// interface, window messages, a pipe). Each read takes the feed's reports since the last read;
// between reports the position moves on with the precise counter at the player's rate.
//
// A player that tells whole seconds is filled in as the memory clock fills its digits: a new
// second starts when it is first seen. With precise timing the clock instead learns where the
// player's second changes: every answer bounds that phase by the moments the question went out
// and came back, and the latest bounds that agree narrow it to a few milliseconds. A phase that
// wanders (VLC updates its time four times a second, on a timer of its own) is followed rather
// than lost: each answer's bounds widen as it ages, and only the latest few seconds count.
//
// No answer for about a second is no position (the text is cleared), and the clock starts
// afresh from the next answer; a player that plays nothing has no position at once. A source
// over an interface is never gone: the player may come back.
class InterfacePlayerClock final : public ClockSource {
 public:
  static constexpr uint64_t kSilenceUs = 1'000'000;
  // Reports further apart than this do not belong to one stretch of play.
  static constexpr uint64_t kLongGapUs = 1'500'000;
  // How many answers' bounds the phase is learnt from at most: a few seconds of them.
  static constexpr size_t kPhaseAnswers = 128;

  InterfacePlayerClock(const InterfacePlayerFeed& feed, const PreciseTimeSource& time = systemPreciseTimeSource())
      : feed_(feed), time_(time) {}
  // Owns its feed (the worker that asks the player), which ends with the clock.
  explicit InterfacePlayerClock(std::unique_ptr<InterfacePlayerFeed> feed, const PreciseTimeSource& time = systemPreciseTimeSource())
      : owned_(std::move(feed)), feed_(*owned_), time_(time) {}

  ClockReading read(const ClockTiming& timing) override;
  ClockReading at(uint64_t us, const ClockTiming& timing) const override;
  int64_t untilReadUs(uint64_t) const override { return -1; }  // the feed asks on its own
  uint64_t nowUs() const override { return time_.nowUs(); }
  void setPrecise(bool on) override;
  bool precise() const override { return precise_; }

  // The state of the last report taken: lets the user interface say why nothing is shown.
  PlayerState lastState() const { return lastState_; }
  // How the film's time is read from a player that tells a fraction of the film (VLC), and why
  // whole seconds must do where they must.
  FineTime fineTime() const { return length_.state(); }

 private:
  void take(const PlayerReport& report);
  void takeWholeSecond(const PlayerReport& report, uint64_t stampUs);
  void takeFine(const PlayerReport& report, int64_t fineMs, uint64_t stampUs);
  // Narrows the instant the film was at 0 with one answer's bounds (see takeWholeSecond).
  void narrowZero(double lowUs, double highUs, uint64_t atUs);
  int64_t rawAt(uint64_t us) const;  // the player's own position, before rate and delay
  // When a change first told by `report` (a new value, a pause, a resume) was made: after the
  // last answer's question and before this answer, the middle being the best guess.
  uint64_t changedAtUs(const PlayerReport& report) const;
  void holdAgainstStepBack(bool wasKnown, int64_t shownMs, int64_t previousToldMs);
  void restart() {
    known_ = false;
    fine_ = false;
    fitted_ = false;
    floorActive_ = false;
  }

  std::unique_ptr<InterfacePlayerFeed> owned_;
  const InterfacePlayerFeed& feed_;
  const PreciseTimeSource& time_;
  bool precise_ = false;
  uint32_t seenSequence_ = 0;
  PlayerState lastState_ = PlayerState::NoAnswer;
  bool known_ = false;       // a position was taken since the clock (re)started
  uint64_t lastGoodUs_ = 0;  // when the player last answered with a film
  uint64_t lastReportUs_ = 0;
  uint64_t lastAskedUs_ = 0;  // when the last answer's question went out
  bool playing_ = false;
  double rate_ = 1.0;
  bool wholeSeconds_ = false;
  // The film's time from the fraction the player tells times the learnt length: the time at the
  // player's own updates, placed at the moment each was made.
  FilmLength length_;
  bool fine_ = false;
  int64_t fineMs_ = 0;  // the last answer's
  int64_t toldMs_ = 0;  // the position the last answer told, to the millisecond it told
  int64_t secondMs_ = 0;  // whole seconds: the second the player tells now
  // While playing the position is baseMs_ at baseUs_; while paused it is held at baseMs_.
  int64_t baseMs_ = 0;
  uint64_t baseUs_ = 0;
  // Precise whole seconds: the instant the film was at 0 (the phase), known to lie in
  // (zeroLowUs_, zeroHighUs_] as far as the latest answers of this stretch of play tell.
  struct Bounds {
    double lowUs;
    double highUs;
    uint64_t atUs;  // when the answer came
  };
  std::deque<Bounds> answers_;  // of this stretch, oldest first
  bool bounded_ = false;
  double zeroLowUs_ = 0;
  double zeroHighUs_ = 0;
  // Precise timing from the fraction: the instant the film was at 0 as the learnt length fits it
  // to this stretch's updates, once it does.
  bool fitted_ = false;
  double fittedZeroUs_ = 0;
  // The clock never steps back without a seek: a new answer that would put the position below
  // what was already shown holds it there until play catches up, since a step back across a
  // line's start would show the line a second time.
  bool floorActive_ = false;
  int64_t floorMs_ = 0;
  mutable uint64_t shownUpToUs_ = 0;  // the latest moment a position was given for
};

}  // namespace quorvane
