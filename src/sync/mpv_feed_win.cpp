#include "sync/mpv_feed.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/process_handles_win.h"
#include "platform/wide_text_win.h"
#include "sync/mpv_ipc.h"

namespace quorvane {
namespace {

// How often the worker looks at the pipe, and how often it tells the clock that mpv is still
// there when mpv has nothing to report (paused: no property changes).
constexpr DWORD kLookMs = 4;
constexpr uint64_t kStillThereUs = 200'000;
constexpr DWORD kReconnectMs = 250;
// A line longer than this is not mpv's: it is dropped.
constexpr size_t kMaxLineBytes = 64 * 1024;

class MpvFeed final : public ReportFeed {
 public:
  MpvFeed(std::wstring pipe, const PreciseTimeSource& time)
      : pipe_(std::move(pipe)), time_(time), thread_([this] { loop(); }) {}
  ~MpvFeed() override {
    stopping_ = true;
    thread_.join();
  }

  PlayerReport latest() const override {
    const std::lock_guard lock(mutex_);
    return latest_;
  }

 private:
  void publish(PlayerReport report, uint64_t stampUs) {
    report.askedUs = report.answeredUs = stampUs;
    const std::lock_guard lock(mutex_);
    report.sequence = latest_.sequence + 1;
    latest_ = report;
  }

  // One connection: until mpv closes the pipe or the feed stops.
  void follow(HANDLE pipe) {
    const std::string observe = MpvObserver::observeCommands();
    DWORD written = 0;
    if (!WriteFile(pipe, observe.data(), static_cast<DWORD>(observe.size()), &written, nullptr)) return;
    MpvObserver observer;
    std::string pending;
    uint64_t stampUs = time_.nowUs();
    uint64_t toldUs = 0;
    while (!stopping_) {
      DWORD available = 0;
      if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;  // closed
      const uint64_t now = time_.nowUs();
      if (available == 0) {
        if (now - toldUs >= kStillThereUs && observer.report().state != PlayerState::NoAnswer) {
          publish(observer.report(), stampUs);
          toldUs = now;
        }
        Sleep(kLookMs);
        continue;
      }
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr)) return;
      pending.append(buffer, got);
      bool changed = false;
      for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        changed |= observer.take(std::string_view(pending).substr(0, end));
        pending.erase(0, end + 1);
      }
      if (pending.size() > kMaxLineBytes) pending.clear();
      if (changed) {
        // mpv sends a change as it happens: the moment it arrives is the moment it belongs to.
        stampUs = now;
        publish(observer.report(), stampUs);
        toldUs = now;
      }
    }
  }

  void loop() {
    while (!stopping_) {
      UniqueKernelHandle pipe(CreateFileW(pipe_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      if (pipe) follow(pipe.get());
      publish(PlayerReport{}, time_.nowUs());  // no mpv, or it went away: no answer
      for (DWORD waited = 0; waited < kReconnectMs && !stopping_; waited += 10) Sleep(10);
    }
  }

  const std::wstring pipe_;
  const PreciseTimeSource& time_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  PlayerReport latest_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace

std::string mpvPipePath(const std::string& name) {
  return name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\pipe\\" + name;
}

std::unique_ptr<ReportFeed> makeMpvFeed(const MpvInterface& mpv, const PreciseTimeSource& time) {
  return std::make_unique<MpvFeed>(wideFromUtf8(mpvPipePath(mpv.pipe)), time);
}

}  // namespace quorvane
