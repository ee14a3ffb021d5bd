#include "players/report_poller.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quorvane {

struct ReportPoller::Shared {
  Shared(Ask a, const PreciseTimeSource& t, uint32_t p) : ask(std::move(a)), time(t), periodMs(p) {}

  const Ask ask;
  // Read only under the mutex while `stopping` is false: the source may go with the poller.
  const PreciseTimeSource& time;
  const uint32_t periodMs;
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  PlayerReport latest;
};

ReportPoller::ReportPoller(Ask ask, const PreciseTimeSource& time, uint32_t periodMs)
    : shared_(std::make_shared<Shared>(std::move(ask), time, periodMs)) {
  std::thread([shared = shared_] { loop(shared); }).detach();
}

ReportPoller::~ReportPoller() {
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->wake.notify_all();
}

PlayerReport ReportPoller::latest() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->latest;
}

void ReportPoller::loop(const std::shared_ptr<Shared>& shared) {
  Shared& s = *shared;
  uint32_t sequence = 0;
  auto next = std::chrono::steady_clock::now();
  std::unique_lock lock(s.mutex);
  while (!s.stopping) {
    next += std::chrono::milliseconds(s.periodMs);
    const uint64_t askedUs = s.time.nowUs();
    lock.unlock();
    PlayerReport report = s.ask();
    lock.lock();
    if (s.stopping) break;
    report.askedUs = askedUs;
    report.answeredUs = s.time.nowUs();
    report.sequence = ++sequence;
    s.latest = report;
    // A question that took longer than the period is followed by the next at once, never by a
    // burst that catches up.
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;
    s.wake.wait_until(lock, next, [&s] { return s.stopping; });
  }
}

}  // namespace quorvane
