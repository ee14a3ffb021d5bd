#include "overlay/hotkey_timer_win.h"

#include <algorithm>
#include <vector>

namespace quorvane {
namespace {

// A window-less timer procedure gets no user data, only the timer's id: this thread's timers
// are found by it.
thread_local std::vector<HotkeyTimer*> threadTimers;

}  // namespace

HotkeyTimer::HotkeyTimer(HotkeyPoller& poller, UINT intervalMs)
    : poller_(poller), id_(SetTimer(nullptr, 0, intervalMs, &HotkeyTimer::onTimer)) {
  if (id_ != 0) threadTimers.push_back(this);
}

HotkeyTimer::~HotkeyTimer() {
  if (id_ == 0) return;
  KillTimer(nullptr, id_);
  threadTimers.erase(std::find(threadTimers.begin(), threadTimers.end(), this));
}

void CALLBACK HotkeyTimer::onTimer(HWND, UINT, UINT_PTR id, DWORD) {
  for (HotkeyTimer* timer : threadTimers) {
    if (timer->id_ == id) {
      timer->poller_.poll();
      return;
    }
  }
}

}  // namespace quorvane
