#include "players/vlc_feed.h"

#include "platform/loopback_http.h"
#include "players/report_poller.h"
#include "players/vlc_status.h"

namespace quorvane {
namespace {

// VLC 3's status with a few streams is 2-4 KiB; its "information" grows with a film's metadata.
constexpr size_t kMaxStatusBytes = 1 << 20;
// Over the loopback VLC answers in tens of milliseconds; past this the answer is no answer.
constexpr uint32_t kTimeoutMs = 500;

}  // namespace

std::unique_ptr<InterfacePlayerFeed> makeVlcFeed(const VlcInterface& vlc, const PreciseTimeSource& time) {
  std::shared_ptr<LoopbackHttp> http =
      makeLoopbackHttp({vlc.port, std::string(), vlc.password, kTimeoutMs, kMaxStatusBytes});
  if (!http) return nullptr;
  return std::make_unique<ReportPoller>(
      [http] {
        PlayerReport report;
        const HttpAnswer answer = http->get("/requests/status.json");
        if (answer.outcome == HttpAnswer::Outcome::Unauthorized) {
          report.state = PlayerState::Unauthorized;
        } else if (answer.outcome == HttpAnswer::Outcome::Ok) {
          report = parseVlcStatus(answer.body);
        }
        return report;
      },
      time);
}

}  // namespace quorvane
