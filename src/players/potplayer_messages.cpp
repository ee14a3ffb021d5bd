#include "players/potplayer_messages.h"

namespace quorvane {

PlayerReport potPlayerReport(std::optional<int32_t> playStatus, std::optional<int32_t> currentTimeMs) {
  PlayerReport report;
  if (!playStatus) return report;
  if (*playStatus != potplayer::kStatusPaused && *playStatus != potplayer::kStatusRunning) {
    // Stopped (-1 in the interface's description, 0 in some versions), or a value it never
    // gives: nothing is playing.
    report.state = PlayerState::NoFilm;
    return report;
  }
  if (!currentTimeMs || *currentTimeMs < 0) return report;
  report.state = *playStatus == potplayer::kStatusRunning ? PlayerState::Playing : PlayerState::Paused;
  report.positionMs = *currentTimeMs;
  return report;
}

}  // namespace quorvane
