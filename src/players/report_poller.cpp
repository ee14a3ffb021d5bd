#include "players/report_poller.h"

#include <chrono>
#include <condition_variable>
#include <deque>
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
  std::deque<PlayerReport> kept;  // the latest answers, oldest first
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
  return shared_->kept.empty() ? PlayerReport{} : shared_->kept.back();
}

std::vector<PlayerReport> ReportPoller::since(uint32_t sequence) const {
  const std::lock_guard lock(shared_->mutex);
  // Numbered 1, 2, ... in order: the reports after `sequence` are the last ones kept.
  const auto& kept = shared_->kept;
  size_t first = kept.size();
  while (first > 0 && kept[first - 1].sequence != sequence) --first;
  return {kept.begin() + static_cast<std::ptrdiff_t>(first), kept.end()};
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
    s.kept.push_back(report);
    if (s.kept.size() > kKeptAnswers) s.kept.pop_front();
    // A question that took longer than the period is followed by the next at once, never by a
    // burst that catches up.
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;
    s.wake.wait_until(lock, next, [&s] { return s.stopping; });
  }
}

}  // namespace quorvane
