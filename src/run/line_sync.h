#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "loading/cue_table.h"
#include "run/clock_source.h"
#include "run/cue_scheduler.h"

namespace quorvane {

// "This line is now": the user presses a key as a line is spoken, and the delay is set so that
// the line starts at that moment. Presses far enough apart also give the rate between the
// source's time and the file's (a file made for another frame rate, or another cut's pace):
// every press of the film is a point (the line's file time, the source's time of the press),
// and the rate comes from the least-squares line through all of them, so that a person's
// timing errors average out as presses are added instead of the last press deciding alone.
// A press far off that line is an offset change (a cut in the film): it starts a new segment,
// which shares the rate but has its own offset, and does not bend the rate.
class LineSync {
 public:
  // Presses spanning less than this only move the delay: over a short span a person's timing
  // error would make the rate wrong by far more than a frame rate does.
  static constexpr int32_t kMinSpanMs = 60'000;
  // A rate outside these is no frame-rate mismatch but a wrong press.
  static constexpr double kMinRate = 0.9;
  static constexpr double kMaxRate = 1.1;
  // A press with no line shown takes the next line only when it starts this soon.
  static constexpr int32_t kNearMs = 30'000;
  // Presses closer together than this are one press made twice, not two points of a line.
  static constexpr int32_t kDoublePressMs = 1'000;
  // A press this far from the fitted line, beyond three times the fit's own uncertainty at
  // that line, is a cut. A person presses within about 300 ms of a line, while a cut or a
  // changed edit moves the film by whole seconds.
  static constexpr int32_t kCutMs = 1'500;
  // The spread of a person's presses, assumed until the presses themselves show theirs.
  static constexpr double kPressSpreadMs = 200.0;

  enum class Outcome {
    Offset,         // the delay moved; the rate stays
    OffsetAndRate,  // the fit over the presses set both
    Cut,            // the press was far off the fit: the delay moved, a new segment began, the rate stays
    NoLine,         // no line shown and none near: nothing changes
    Paused,         // the source is paused: a press says nothing about when a line is spoken
    DoublePress,    // within kDoublePressMs of the last press: nothing changes
    RateRefused,    // the rate would be absurd (same line twice, or outside the bounds): nothing changes
  };
  struct Result {
    Outcome outcome = Outcome::NoLine;
    ClockTiming timing;     // to apply; the current one unless Offset, OffsetAndRate or Cut
    double rate = 1.0;      // for RateRefused, the rate that was refused (0: the same line)
    int32_t spreadMs = 0;   // for OffsetAndRate: how far a line may be off by the file's end
  };

  // The file time (the time written in the file) of the line to sync: the one shown, or else
  // the next one if it starts within kNearMs of `positionMs`; nothing otherwise.
  static std::optional<int32_t> lineToSync(const CueTable& table, const CueScheduler& scheduler,
                                           int32_t positionMs);

  // A press with the source at `rawMs`, the line at `lineFileMs` (from lineToSync), the timing
  // now in force, whether the source plays, and the file time of the file's last line.
  Result press(int32_t rawMs, std::optional<int32_t> lineFileMs, const ClockTiming& current,
               bool playing = true, int32_t endFileMs = 0);
  // Alt+/ or a new file: the presses are forgotten.
  void reset() {
    points_.clear();
    segment_ = 0;
  }

 private:
  struct Point {
    int32_t rawMs;
    int32_t fileMs;
    int segment;
  };
  // The least-squares line through the points, one slope, an offset per segment.
  struct Fit {
    bool hasRate = false;   // some segment's presses span kMinSpanMs
    double slope = 1.0;     // source ms per file ms: 1 / rate
    double meanRaw = 0, meanFile = 0;  // of the last segment
    int lastCount = 0;
    double sxx = 0, residuals = 0;
    int freedom = 0;        // points less the line's parameters
  };
  Fit fit() const;

  std::vector<Point> points_;
  int segment_ = 0;
};

}  // namespace quorvane
