#include "input/hotkey_poll_thread_win.h"

namespace quorvane {

HotkeyPollThread::HotkeyPollThread(HotkeyPoller& poller, UINT intervalMs)
    : poller_(poller), intervalMs_(intervalMs),
      thread_(CreateThread(nullptr, 0, &HotkeyPollThread::run, this, 0, nullptr)) {}

HotkeyPollThread::~HotkeyPollThread() {
  if (!thread_) return;
  stopping_ = true;
  WaitForSingleObject(thread_.get(), INFINITE);  // at most one interval and one poll
}

DWORD WINAPI HotkeyPollThread::run(void* self) {
  auto& t = *static_cast<HotkeyPollThread*>(self);
  for (;;) {
    Sleep(t.intervalMs_);
    if (t.stopping_) return 0;
    t.poller_.poll();
  }
}

}  // namespace quorvane
