#include "sync/report_poller.h"

#include <chrono>

namespace quorvane {

ReportPoller::ReportPoller(Ask ask, const PreciseTimeSource& time, uint32_t periodMs)
    : ask_(std::move(ask)), time_(time), periodMs_(periodMs), thread_([this] { loop(); }) {}

ReportPoller::~ReportPoller() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

PlayerReport ReportPoller::latest() const {
  const std::lock_guard lock(mutex_);
  return latest_;
}

void ReportPoller::loop() {
  uint32_t sequence = 0;
  auto next = std::chrono::steady_clock::now();
  for (;;) {
    next += std::chrono::milliseconds(periodMs_);
    const uint64_t askedUs = time_.nowUs();
    PlayerReport report = ask_();
    report.askedUs = askedUs;
    report.answeredUs = time_.nowUs();
    report.sequence = ++sequence;
    std::unique_lock lock(mutex_);
    latest_ = report;
    // A question that took longer than the period is followed by the next at once, never by a
    // burst that catches up.
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;
    if (wake_.wait_until(lock, next, [this] { return stopping_; })) return;
  }
}

}  // namespace quorvane
