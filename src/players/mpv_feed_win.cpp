#include "players/mpv_feed.h"

#include <windows.h>

#include <mutex>
#include <thread>

#include "platform/process_handles_win.h"
#include "platform/wide_text_win.h"
#include "players/mpv_session.h"

namespace quorvane {
namespace {

// mpv's pipe, read without blocking: only what is waiting is read.
class PipeConnection final : public MpvConnection {
 public:
  explicit PipeConnection(UniqueKernelHandle pipe) : pipe_(std::move(pipe)) {}

  bool send(std::string_view bytes) override {
    DWORD written = 0;
    return WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }

  bool receive(std::string& into) override {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(pipe_.get(), buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr)) return false;
    into.append(buffer, got);
    return true;
  }

 private:
  UniqueKernelHandle pipe_;
};

// Unlike the other players' feeds this is no ReportPoller: mpv is not asked, it reports each
// change itself over a connection kept open, and the moment a line arrives is the moment it
// belongs to. Nothing here blocks for long: the pipe is read only for what waits, and every wait
// ends at the stop event (a busy pipe's within one slice of kBusySliceMs), so the destructor's
// join returns within a few milliseconds, kBusySliceMs at most.
class MpvFeed final : public InterfacePlayerFeed {
 public:
  MpvFeed(std::wstring pipe, const PreciseTimeSource& time)
      : pipe_(std::move(pipe)), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        follower_({[this] { return connect(); },
                   [this](uint32_t ms) { return WaitForSingleObject(stop_.get(), ms) == WAIT_TIMEOUT; },
                   [this](const PlayerReport& report) { publish(report); }},
                  time),
        thread_([this] { follower_.run(); }) {}
  ~MpvFeed() override {
    SetEvent(stop_.get());
    thread_.join();
  }

  PlayerReport latest() const override {
    const std::lock_guard lock(mutex_);
    return latest_;
  }

 private:
  // A pipe whose every instance is taken just now (mpv makes the next as it takes a client) is
  // waited for a moment rather than taken for a silent player, in short slices that end at the
  // stop event.
  std::unique_ptr<MpvConnection> connect() const {
    const auto open = [this] {
      return UniqueKernelHandle(
          CreateFileW(pipe_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    UniqueKernelHandle pipe = open();
    bool busy = !pipe && GetLastError() == ERROR_PIPE_BUSY;
    for (DWORD waited = 0; busy && waited < kBusyWaitMs; waited += kBusySliceMs) {
      if (WaitForSingleObject(stop_.get(), 0) != WAIT_TIMEOUT) break;
      if (!WaitNamedPipeW(pipe_.c_str(), kBusySliceMs)) {
        busy = GetLastError() == ERROR_SEM_TIMEOUT;  // still busy, or gone
        continue;
      }
      pipe = open();
      busy = !pipe && GetLastError() == ERROR_PIPE_BUSY;
    }
    if (!pipe) return nullptr;
    return std::make_unique<PipeConnection>(std::move(pipe));
  }

  void publish(PlayerReport report) {
    const std::lock_guard lock(mutex_);
    report.sequence = latest_.sequence + 1;
    latest_ = report;
  }

  static constexpr DWORD kBusyWaitMs = 200, kBusySliceMs = 20;

  const std::wstring pipe_;
  const UniqueKernelHandle stop_;
  mutable std::mutex mutex_;
  PlayerReport latest_;
  MpvFollower follower_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace

std::string mpvPipePath(const std::string& name) {
  return name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\pipe\\" + name;
}

std::unique_ptr<InterfacePlayerFeed> makeMpvFeed(const MpvInterface& mpv, const PreciseTimeSource& time) {
  return std::make_unique<MpvFeed>(wideFromUtf8(mpvPipePath(mpv.pipe)), time);
}

}  // namespace quorvane
