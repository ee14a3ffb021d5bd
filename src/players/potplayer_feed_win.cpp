#include "players/potplayer_feed.h"

#include <windows.h>

#include "players/potplayer_messages.h"
#include "players/report_poller.h"

namespace quorvane {
namespace {

constexpr UINT kAnswerTimeoutMs = 200;

std::optional<int32_t> ask(HWND window, uint32_t question) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_USER, question, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerTimeoutMs, &result)) {
    return std::nullopt;
  }
  return static_cast<int32_t>(result);
}

}  // namespace

std::unique_ptr<InterfacePlayerFeed> makePotPlayerFeed(const PreciseTimeSource& time) {
  return std::make_unique<ReportPoller>(
      [] {
        HWND window = nullptr;
        for (const wchar_t* windowClass : potplayer::kWindowClasses) {
          if ((window = FindWindowW(windowClass, nullptr)) != nullptr) break;
        }
        if (!window) return PlayerReport{};
        const std::optional<int32_t> status = ask(window, potplayer::kGetPlayStatus);
        return potPlayerReport(status, status ? ask(window, potplayer::kGetCurrentTime) : std::nullopt);
      },
      time);
}

}  // namespace quorvane
