#include "sync/subtitle_run.h"

#include <utility>

namespace quorvane {

void SubtitleRun::setPlayer(const PlayerLocation& player) {
  if (player.playerPid != player_.playerPid || player.recordBase != player_.recordBase) playerGone_ = false;
  player_ = player;
  clock_.beginRun(player.playerPid);
}

void SubtitleRun::start(CueTable table, unsigned displayCodePage) {
  table_ = std::move(table);
  codePage_ = displayCodePage;
  clock_.beginRun(player_.playerPid);
  scheduler_.beginRun();
  playerGone_ = false;
}

void SubtitleRun::tick(Overlay& overlay) {
  if (playerGone_) return;
  const ClockInputs clockInputs{player_.playerPid, player_.recordBase, inputs_.delayMs};
  const int32_t positionMs = clock_.update(clockInputs);
  const SchedulerInputs in{positionMs,         inputs_.metrics.lineHeight, inputs_.metrics.lineCapacity,
                           inputs_.screenHeight, inputs_.left,             inputs_.baseTop,
                           codePage_};
  // A running player's digit bytes are never 0: a 0 is a failed read, and the process may
  // have exited. Then the last subtitle must not stay over the desktop.
  if (!player_.located() || (clock_.secondsByte() == 0 && !memory_.isRunning(player_.playerPid))) {
    playerGone_ = true;
    scheduler_.clearShown(in, overlay);
    return;
  }
  scheduler_.step(table_, in, overlay);
}

}  // namespace quorvane
