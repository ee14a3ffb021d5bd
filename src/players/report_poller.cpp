#include "players/report_poller.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace quorvane {

void UpdateTiming::take(const PlayerReport& report) {
  const bool following = report.state == PlayerState::Playing && report.fraction >= 0;
  if (!following) {
    havePrevious_ = false;
    haveChange_ = false;  // the phase after a pause or a stop is a new one; the period stays
    return;
  }
  if (havePrevious_ && report.answeredUs > previous_.askedUs &&
      (report.fraction != previous_.fraction || report.positionMs != previous_.positionMs)) {
    // Made after the last question went out and before this answer came.
    const uint64_t changeUs = previous_.askedUs + (report.answeredUs - previous_.askedUs) / 2;
    if (haveChange_) {
      const uint64_t gapUs = changeUs - changeUs_;
      if (gapUs >= kShortestGapUs && gapUs <= kLongestGapUs) {
        gapsUs_.push_back(gapUs);
        if (gapsUs_.size() > kGaps) gapsUs_.pop_front();
        if (gapsUs_.size() >= 3) {
          std::vector<uint64_t> sorted(gapsUs_.begin(), gapsUs_.end());
          // VLC's position stays the same at about every other update: many gaps are two
          // periods. The lower quarter of them is one.
          std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 4), sorted.end());
          periodUs_ = sorted[sorted.size() / 4];
        }
      }
    }
    haveChange_ = true;
    changeUs_ = changeUs;
  }
  havePrevious_ = true;
  previous_ = report;
}

uint64_t UpdateTiming::nextAskUs(uint64_t usualUs, uint64_t nowUs) const {
  if (!haveChange_ || periodUs_ == 0) return usualUs;
  // The next change due after the last one seen; one not seen when due (the player held still,
  // or changed its phase) moves the watch on a period, where the next may come.
  uint64_t dueUs = changeUs_ + periodUs_;
  if (nowUs > dueUs + kGiveUpUs) dueUs += (nowUs - dueUs - kGiveUpUs + periodUs_ - 1) / periodUs_ * periodUs_;
  const uint64_t closeFromUs = dueUs - kLeadUs;
  if (nowUs < closeFromUs) return std::min(usualUs, closeFromUs);
  return std::min(usualUs, nowUs + kCloseUs);
}

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
  UpdateTiming timing;
  const auto period = std::chrono::milliseconds(s.periodMs);
  auto next = std::chrono::steady_clock::now();  // the next question at the usual pace
  std::unique_lock lock(s.mutex);
  while (!s.stopping) {
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
    timing.take(report);
    // A question that took longer than the period is followed by the next at once, never by a
    // burst that catches up. A close question before a change does not move the usual pace.
    const auto now = std::chrono::steady_clock::now();
    if (now >= next) next = std::max(next + period, now);
    const auto usualUs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(next - now).count());
    const uint64_t waitUs = timing.nextAskUs(report.answeredUs + usualUs, report.answeredUs) - report.answeredUs;
    s.wake.wait_until(lock, now + std::chrono::microseconds(waitUs), [&s] { return s.stopping; });
  }
}

}  // namespace quorvane
