#pragma once

#include <cstdint>
#include <optional>

#include "players/player_report.h"

namespace quorvane {

// PotPlayer's window-message interface: a WM_USER message to its main window (class "PotPlayer64"
// or "PotPlayer") whose wParam names the question and whose result is the answer.
namespace potplayer {
inline constexpr uint32_t kGetCurrentTime = 0x5004;  // ms
inline constexpr uint32_t kGetPlayStatus = 0x5006;   // one of the statuses below
inline constexpr int32_t kStatusPaused = 1;
inline constexpr int32_t kStatusRunning = 2;  // any other status is stopped (-1, or 0 in some versions)
inline constexpr const wchar_t* kWindowClasses[] = {L"PotPlayer64", L"PotPlayer"};
}  // namespace potplayer

// The report from the two answers; an unanswered question (no window, a hung player) is
// nothing. The caller stamps the times.
PlayerReport potPlayerReport(std::optional<int32_t> playStatus, std::optional<int32_t> currentTimeMs);

}  // namespace quorvane
