#include "sync/subtitle_run.h"

#include <algorithm>
#include <utility>

namespace quorvane {

void SubtitleRun::setPlayer(const PlayerLocation& player) {
  if (player.playerPid != player_.playerPid || player.recordBase != player_.recordBase) playerGone_ = false;
  player_ = player;
  clock_.beginRun(player.playerPid);
  preciseClock_.beginRun(player.playerPid);
}

void SubtitleRun::start(CueTable table, unsigned displayCodePage) {
  table_ = std::move(table);
  codePage_ = displayCodePage;
  clock_.beginRun(player_.playerPid);
  preciseClock_.beginRun(player_.playerPid);
  scheduler_.beginRun();
  playerGone_ = false;
}

void SubtitleRun::tick(Overlay& overlay) {
  if (playerGone_) return;
  if (precise_) {
    preciseClock_.read(clockInputs());
    stepAt(preciseClock_.positionNow(inputs_.delayMs), preciseClock_.secondsByte(), overlay);
  } else {
    const int32_t positionMs = clock_.update(clockInputs());
    stepAt(positionMs, clock_.secondsByte(), overlay);
  }
}

void SubtitleRun::moment(Overlay& overlay) {
  if (playerGone_ || !precise_) return;
  const int64_t untilRead = preciseClock_.untilFineReadUs(preciseClock_.nowUs());
  // A one-shot timer fires to the millisecond: a read due within one counts as due now.
  // A boundary moment needs no read; the last read's byte still tells whether the player lives.
  if (untilRead >= 0 && untilRead < 1000) preciseClock_.read(clockInputs());
  stepAt(preciseClock_.positionNow(inputs_.delayMs), preciseClock_.secondsByte(), overlay);
}

int64_t SubtitleRun::untilNextMomentUs() const {
  if (!precise_ || playerGone_ || !player_.located() || table_.cues.empty()) return -1;
  const uint64_t now = preciseClock_.nowUs();
  int64_t until = preciseClock_.untilFineReadUs(now);
  if (!preciseClock_.playing()) return until;
  // The scheduler walks one cue at a time from its current index, so the next start or end
  // is among the cues around it.
  const int32_t p = preciseClock_.positionAt(now, inputs_.delayMs);
  const int32_t first = std::max(1, scheduler_.currentIndex() - 1);
  const int32_t last = std::min(static_cast<int32_t>(table_.cues.size()), scheduler_.currentIndex() + 2);
  for (int32_t i = first; i <= last; ++i) {
    for (const int32_t boundary : {table_.at(i).startMs, table_.at(i).endMs}) {
      if (boundary <= p) continue;
      const int64_t us = (int64_t{boundary} - p) * 1000;
      if (until < 0 || us < until) until = us;
    }
  }
  return until;
}

void SubtitleRun::stepAt(int32_t positionMs, int32_t secondsByte, Overlay& overlay) {
  const SchedulerInputs in{positionMs,         inputs_.metrics.lineHeight, inputs_.metrics.lineCapacity,
                           inputs_.screenHeight, inputs_.left,             inputs_.baseTop,
                           codePage_,          inputs_.formattingTags};
  // A running player's digit bytes are never 0: a 0 is a failed read, and the process may
  // have exited. Then the last subtitle must not stay over the desktop.
  if (!player_.located() || (secondsByte == 0 && !memory_.isRunning(player_.playerPid))) {
    playerGone_ = true;
    scheduler_.clearShown(in, overlay);
    return;
  }
  scheduler_.step(table_, in, overlay);
}

}  // namespace quorvane
