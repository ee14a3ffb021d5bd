#include "run/subtitle_run.h"

#include <algorithm>
#include <utility>

namespace quorvane {

void SubtitleRun::setClock(ClockSource& clock) {
  stopMoments();
  clock_ = &clock;
}

void SubtitleRun::start(CueTable table, unsigned displayCodePage, std::unique_ptr<Overlay> overlay) {
  if (running()) end(0);
  if (!overlay) return;
  pair_.reset();
  table_ = std::move(table);
  codePage_ = displayCodePage;
  scheduler_.beginRun();
  overlay_ = std::move(overlay);
  useStyles();
  startTicking();
}

// A typeset script or placed WebVTT cues take the whole picture; with a second file both files'
// lines are drawn as a pair instead, so that neither hides the other.
void SubtitleRun::useStyles() {
  if (!overlay_) return;
  overlay_->setCueStyles(table_.looks.empty() && !pair_ ? nullptr : &styles_);
  const TypesetClock* clock = pair_ ? nullptr : &typesetTime_;
  if (table_.typeset) overlay_->setTypeset(clock ? table_.typeset.get() : nullptr, clock);
  if (table_.placedCues) overlay_->setPlacedCues(clock ? table_.placedCues.get() : nullptr, clock);
}

// The overlay's text is rebuilt from the first's cue and the second's at once: the first's
// scheduler forgets what it showed, so that the next step gives its cue again.
void SubtitleRun::setSecond(CueTable table, const SecondLook& look) {
  if (!running()) return;
  const int32_t offsetMs = pair_ ? pair_->offsetMs() : 0;
  pair_ = std::make_unique<SubtitlePair>(std::move(table), look, table_);
  pair_->setOffset(offsetMs);
  restep();
}

void SubtitleRun::removeSecond() {
  if (!pair_) return;
  pair_.reset();
  restep();
}

void SubtitleRun::setSecondLook(const SecondLook& look) {
  if (!pair_ || pair_->look() == look) return;
  setSecond(pair_->table(), look);
}

void SubtitleRun::setSecondOffset(int32_t offsetMs) {
  if (!pair_) return;
  pair_->setOffset(offsetMs);
  if (clock_->precise()) tick();
}

void SubtitleRun::restep() {
  if (!overlay_) return;
  useStyles();
  scheduler_.clearShown(schedulerInputs(reading()), *overlay_);
  tick();
}

const std::vector<CueBlock>* SubtitleRun::Styles::blocksOf(std::string_view text) const {
  if (run_.pair_) return run_.pair_->blocksOf(text);
  const CueTable& table = run_.table_;
  const int32_t index = run_.scheduler_.currentIndex();
  if (text.empty() || index < 1 || index > table.cueCount) return nullptr;
  const Cue& cue = table.at(index);
  return cue.text.data() == text.data() && !cue.blocks.empty() ? &cue.blocks : nullptr;
}

void SubtitleRun::end(uint32_t settleMs) {
  if (!running()) return;
  stopTicking();
  if (timers_ && settleMs > 0) timers_->settle(settleMs);
  overlay_.reset();
  pair_.reset();
}

void SubtitleRun::toggleShown() {
  if (!running()) return;
  if (ticking_) {
    stopTicking();
    overlay_->setVisible(false);
  } else {
    startTicking();
    overlay_->setVisible(true);
  }
}

// Without timers (a console run) whoever owns the run ticks it by hand.
void SubtitleRun::startTicking() { ticking_ = !timers_ || timers_->startTicks(); }

void SubtitleRun::stopTicking() {
  if (timers_) timers_->stopTicks();
  stopMoments();
  ticking_ = false;
}

void SubtitleRun::tick() {
  if (!running() || !ticking_) return;
  stepAt(clock_->read(inputs_.timing()));
  armMoment();
}

void SubtitleRun::moment(uint32_t token) {
  if (token != momentToken_ || !running() || !ticking_) return;
  const uint64_t now = clock_->nowUs();
  const int64_t untilRead = clock_->untilReadUs(now);
  // A moment fires to the millisecond: a read due within one counts as due now. A moment at a
  // cue's start or end needs no read.
  stepAt(untilRead >= 0 && untilRead < 1000 ? clock_->read(inputs_.timing()) : clock_->at(now, inputs_.timing()));
  armMoment();
}

int64_t SubtitleRun::untilNextMomentUs() const {
  if (!clock_->precise() || !running() || table_.cues.empty()) return -1;
  const uint64_t now = clock_->nowUs();
  int64_t until = clock_->untilReadUs(now);
  const ClockReading reading = clock_->at(now, inputs_.timing());
  if (!reading.hasPosition || !reading.playing) return until;
  // The scheduler walks one cue at a time from its current index, so the next start or end
  // is among the cues around it.
  const auto nearest = [&](const CueTable& table, const CueScheduler& scheduler, int32_t p) {
    const int32_t first = std::max(1, scheduler.currentIndex() - 1);
    const int32_t last = std::min(static_cast<int32_t>(table.cues.size()), scheduler.currentIndex() + 2);
    for (int32_t i = first; i <= last; ++i) {
      for (const int32_t boundary : {table.at(i).startMs, table.at(i).endMs}) {
        if (boundary <= p) continue;
        // File milliseconds pass at the rate's pace.
        const int64_t us = static_cast<int64_t>(static_cast<double>((int64_t{boundary} - p) * 1000) / inputs_.rate);
        if (until < 0 || us < until) until = us;
      }
    }
  };
  nearest(table_, scheduler_, reading.positionMs);
  if (pair_) nearest(pair_->table(), pair_->scheduler(), pair_->positionMs(reading.positionMs));
  return until;
}

SchedulerInputs SubtitleRun::schedulerInputs(const ClockReading& reading) const {
  return {reading.positionMs, inputs_.metrics.lineHeight, inputs_.metrics.lineCapacity,
          inputs_.screenHeight, inputs_.left,              inputs_.baseTop,
          codePage_,            inputs_.formattingTags};
}

void SubtitleRun::stepAt(const ClockReading& reading) {
  const SchedulerInputs in = schedulerInputs(reading);
  if (pair_) {
    pair_->step(table_, scheduler_, in, reading.hasPosition, *overlay_);
    return;
  }
  // A source that is gone or silent has no position: the last subtitle must not stay over the
  // desktop or a film that has moved on.
  if (!reading.hasPosition) {
    scheduler_.clearShown(in, *overlay_);
    return;
  }
  scheduler_.step(table_, in, *overlay_);
}

// Precise timing: a moment is armed when it falls before the next tick or close after it, so
// that its work runs on the run's thread between ticks.
void SubtitleRun::armMoment() {
  const int64_t untilUs = untilNextMomentUs();
  if (untilUs < 0 || untilUs > kMomentHorizonUs || !ticking_ || !timers_) {
    stopMoments();
    return;
  }
  timers_->armMoment(untilUs, ++momentToken_);
}

void SubtitleRun::stopMoments() {
  ++momentToken_;  // a moment already posted is stale
  if (timers_) timers_->disarmMoment();
}

void SubtitleRun::setDelay(int32_t delayMs) {
  inputs_.delayMs = delayMs;
  // Precise timing takes a new delay at once, not at the next tick.
  if (clock_->precise()) tick();
}

void SubtitleRun::setRate(double rate) {
  inputs_.rate = rate;
  if (clock_->precise()) tick();
}

void SubtitleRun::setLeft(int32_t left) {
  inputs_.left = left;
  if (overlay_) overlay_->setLeft(left);
}

// Also drops a raise for a long cue; the next cue that does not fit raises it again.
void SubtitleRun::setBaseTop(int32_t top) {
  inputs_.baseTop = top;
  if (overlay_) overlay_->setTop(top);
}

void SubtitleRun::setFontSize(int32_t points) {
  if (overlay_) overlay_->setFontSize(points);
}

void SubtitleRun::setLabelWidth(int32_t pixels) {
  if (overlay_) overlay_->setLabelWidth(pixels);
}

void SubtitleRun::setFontFace(std::string_view face) {
  if (overlay_) overlay_->setFontFace(face);
}

void SubtitleRun::setCentred(bool centred) {
  if (overlay_) overlay_->setCentred(centred);
}

void SubtitleRun::setShadow(bool shadow) {
  if (overlay_) overlay_->setShadow(shadow);
}

void SubtitleRun::setPrecise(bool on) {
  stopMoments();  // a tick arms the next moment when on
  clock_->setPrecise(on);
}

void SubtitleRun::setFormattingTags(bool on) {
  inputs_.formattingTags = on;
  if (overlay_) overlay_->setFormattingTags(on);
}

void SubtitleRun::setSmoothText(bool on) {
  if (overlay_) overlay_->setSmoothText(on);
}

}  // namespace quorvane
