#pragma once

#include <cstdint>
#include <optional>

#include "loading/cue_table.h"
#include "run/clock_source.h"
#include "run/cue_scheduler.h"

namespace quorvane {

// "This line is now": the user presses a key as a line is spoken, and the delay is set so that
// the line starts at that moment. Two presses far enough apart also give the rate between the
// source's time and the file's (a file made for another frame rate, or another cut's pace):
// the first press is kept as an anchor and each later one far from it sets delay and rate
// together, from the anchor and itself.
class LineSync {
 public:
  // Presses closer than this to the anchor only move the delay (and become the anchor): over
  // a short span a second's error would make the rate wrong by far more than a frame rate does.
  static constexpr int32_t kMinSpanMs = 60'000;
  // A rate outside these is no frame-rate mismatch but a wrong press.
  static constexpr double kMinRate = 0.9;
  static constexpr double kMaxRate = 1.1;
  // A press with no line shown takes the next line only when it starts this soon.
  static constexpr int32_t kNearMs = 30'000;

  enum class Outcome {
    Offset,         // the delay moved; the rate stays
    OffsetAndRate,  // two-point sync: both set
    NoLine,         // no line shown and none near: nothing changes
    RateRefused,    // the rate would be absurd (same line twice, or outside the bounds): nothing changes
  };
  struct Result {
    Outcome outcome = Outcome::NoLine;
    ClockTiming timing;  // to apply; the current one unless Offset or OffsetAndRate
    double rate = 1.0;   // for RateRefused, the rate that was refused
  };

  // The file time (the time written in the file) of the line to sync: the one shown, or else
  // the next one if it starts within kNearMs of `positionMs`; nothing otherwise.
  static std::optional<int32_t> lineToSync(const CueTable& table, const CueScheduler& scheduler,
                                           int32_t positionMs);

  // A press with the source at `rawMs`, the line at `lineFileMs` (from lineToSync), and the
  // timing now in force.
  Result press(int32_t rawMs, std::optional<int32_t> lineFileMs, const ClockTiming& current);
  // Alt+/: delay and rate go back to 0 and 1, and the anchor is forgotten.
  void reset() { anchor_.reset(); }

 private:
  struct Point {
    int32_t rawMs;
    int32_t fileMs;
  };
  std::optional<Point> anchor_;
};

}  // namespace quorvane
