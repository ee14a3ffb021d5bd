#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "loading/cue_table.h"
#include "overlay/overlay.h"
#include "run/clock_source.h"
#include "run/cue_scheduler.h"
#include "run/subtitle_pair.h"

namespace quorvane {

// What the controls feed into a run: read fresh on every tick, changed at any time.
struct RunInputs {
  int32_t delayMs = 0;       // the delay box: positive shows the subtitles later
  int32_t left = 0;          // horizontal-position slider
  int32_t baseTop = 0;       // vertical-position slider
  int32_t screenHeight = 0;  // taken when the run starts
  OverlayMetrics metrics;    // from the font-size and width sliders
  bool formattingTags = false;  // the overlay hides formatting tags: count visible text only
  double rate = 1.0;            // two-point sync's, like the delay not stored
  ClockTiming timing() const { return {delayMs, rate}; }
};

// The timers a run needs from the window system. Each fires on the thread that owns the run
// (the main window's, as window messages), which then calls tick() or moment().
class RunTimers {
 public:
  virtual ~RunTimers() = default;
  // The 50 ms tick timer; false when it cannot be started.
  virtual bool startTicks() = 0;
  virtual void stopTicks() = 0;
  // One moment `untilUs` from now, handed back with `token`; it replaces any armed moment.
  virtual void armMoment(int64_t untilUs, uint32_t token) = 0;
  virtual void disarmMoment() = 0;
  // Dispatches the thread's messages for a while, so that a tick already queued still finds
  // the overlay there.
  virtual void settle(uint32_t ms) = 0;
};

// A subtitle run: the loaded cues shown on the overlay at the position a clock source gives,
// stepped on every tick of the 50 ms timer and, with precise timing, at the moments between
// ticks when a cue starts or ends or the source wants a read. One object serves every run of
// the program: the scheduler's state carries over from one run to the next.
class SubtitleRun {
 public:
  static constexpr uint32_t kTickIntervalMs = 50;
  // Moments further ahead than this wait for a later tick.
  static constexpr int64_t kMomentHorizonUs = 2'000'000;

  SubtitleRun(ClockSource& clock, RunTimers* timers = nullptr) : clock_(&clock), timers_(timers) {}

  void setTimers(RunTimers* timers) { timers_ = timers; }
  void setClock(ClockSource& clock);
  ClockSource& clock() const { return *clock_; }

  // Ends a run that is still active (see end()), then starts one over `table` on `overlay`
  // from the first cue. `displayCodePage` is the code page the texts are in.
  void start(CueTable table, unsigned displayCodePage, std::unique_ptr<Overlay> overlay);
  // A second file shown with the running run's (one in place of any before), or none. A new
  // run starts without one.
  void setSecond(CueTable table, const SecondLook& look);
  void removeSecond();
  // The second's lines drawn again in `look`.
  void setSecondLook(const SecondLook& look);
  const SubtitlePair* pair() const { return pair_.get(); }
  // The second's own nudge, over the shared delay.
  void setSecondOffset(int32_t offsetMs);
  // Stops the timers, lets already queued timer messages come for `settleMs`, then destroys
  // the overlay.
  void end(uint32_t settleMs);
  bool running() const { return overlay_ != nullptr; }
  // Whether the overlay is shown and the timer ticks (the show/hide hotkey toggles both).
  bool shown() const { return ticking_; }

  // The 50 ms timer: the clock source is read, then the scheduler updates the overlay.
  void tick();
  // A moment armed by the run; a moment of an arming since replaced or stopped is ignored.
  void moment(uint32_t token);
  // The show/hide hotkey: the timer and the overlay stop and go together; the run goes on.
  void toggleShown();

  // Microseconds until the run next needs a moment: the source's next read or the next cue
  // start or end, whichever comes first; -1 when none is due.
  int64_t untilNextMomentUs() const;

  // The controls' values for the next run, stored without touching a running overlay.
  void setInputs(const RunInputs& inputs) { inputs_ = inputs; }
  // The controls' values, applied to the overlay at once during a run.
  void setDelay(int32_t delayMs);
  // Two-point sync's rate, taken like a new delay.
  void setRate(double rate);
  void setLeft(int32_t left);
  void setBaseTop(int32_t top);
  void setFontSize(int32_t points);
  void setLabelWidth(int32_t pixels);
  // How many lines a cue takes: set whenever the font size or the width changes.
  void setMetrics(const OverlayMetrics& metrics) { inputs_.metrics = metrics; }
  void setScreenHeight(int32_t pixels) { inputs_.screenHeight = pixels; }
  void setFontFace(std::string_view face);
  void setCentred(bool centred);
  void setShadow(bool shadow);

  // The system menu's enhancements, switched at any time.
  void setPrecise(bool on);
  void setFormattingTags(bool on);
  void setSmoothText(bool on);
  bool precise() const { return clock_->precise(); }

  const RunInputs& inputs() const { return inputs_; }
  const CueTable& table() const { return table_; }
  const CueScheduler& scheduler() const { return scheduler_; }
  Overlay* overlay() const { return overlay_.get(); }
  // What the source gives now, from its last reads.
  ClockReading reading() const { return clock_->at(clock_->nowUs(), inputs_.timing()); }
  int32_t positionMs() const { return reading().positionMs; }

 private:
  SchedulerInputs schedulerInputs(const ClockReading& reading) const;
  void stepAt(const ClockReading& reading);
  void restep();  // the overlay's text again from the cues now due
  void startTicking();
  void stopTicking();
  void armMoment();
  void stopMoments();

  void useStyles();  // the cues' styles, and the typeset script or placed cues unless paired

  // The styles of the shown cue: the scheduler gives the overlay the current cue's own text, or
  // the pair its text of two cues.
  class Styles final : public CueStyles {
   public:
    explicit Styles(const SubtitleRun& run) : run_(run) {}
    const std::vector<CueBlock>* blocksOf(std::string_view text) const override;
    const CueTable& table() const override { return run_.pair_ ? run_.pair_->styleTable() : run_.table_; }

   private:
    const SubtitleRun& run_;
  };

  // A typeset script's time: the position the cues are shown at, in the file's own times.
  class TypesetTime final : public TypesetClock {
   public:
    explicit TypesetTime(const SubtitleRun& run) : run_(run) {}
    int64_t scriptTimeMs() const override { return int64_t{run_.positionMs()} + kStoredLeadMs; }

   private:
    const SubtitleRun& run_;
  };

  ClockSource* clock_;
  RunTimers* timers_;
  CueScheduler scheduler_;
  CueTable table_;
  unsigned codePage_ = 0;
  RunInputs inputs_;
  std::unique_ptr<Overlay> overlay_;
  std::unique_ptr<SubtitlePair> pair_;
  bool ticking_ = false;
  uint32_t momentToken_ = 0;  // of the armed moment; others are stale
  Styles styles_{*this};
  TypesetTime typesetTime_{*this};
};

}  // namespace quorvane
