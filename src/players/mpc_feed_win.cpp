#include "players/mpc_feed.h"

#include "platform/loopback_http.h"
#include "players/mpc_variables.h"
#include "players/report_poller.h"

namespace quorvane {
namespace {

// The variables page is well under 4 KiB; a file path makes it longer, never this long.
constexpr size_t kMaxPageBytes = 256 * 1024;
constexpr uint32_t kTimeoutMs = 500;
// The page tells milliseconds, so the position runs on between answers: fewer questions than
// for VLC's whole seconds cost less, and a pause or seek is still seen within a tick or two.
constexpr uint32_t kAskPeriodMs = 97;

}  // namespace

std::unique_ptr<InterfacePlayerFeed> makeMpcFeed(const MpcInterface& mpc, const PreciseTimeSource& time) {
  std::shared_ptr<LoopbackHttp> http = makeLoopbackHttp({mpc.port, {}, {}, kTimeoutMs, kMaxPageBytes});
  if (!http) return nullptr;
  return std::make_unique<ReportPoller>(
      [http] {
        const HttpAnswer answer = http->get("/variables.html");
        return answer.outcome == HttpAnswer::Outcome::Ok ? parseMpcVariables(answer.body) : PlayerReport{};
      },
      time, kAskPeriodMs);
}

}  // namespace quorvane
