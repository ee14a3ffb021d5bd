#pragma once

#include <windows.h>

#include "overlay/hotkey_poller.h"

namespace quorvane {

// The hotkey poll timer: a window-less timer of the calling thread with a timer procedure.
// DispatchMessage calls the procedure itself, so polling goes on inside modal loops (message
// boxes, the file dialog) that know nothing of it. Create and destroy it on the same thread.
class HotkeyTimer {
 public:
  HotkeyTimer(HotkeyPoller& poller, UINT intervalMs);
  ~HotkeyTimer();  // kills the timer
  HotkeyTimer(const HotkeyTimer&) = delete;
  HotkeyTimer& operator=(const HotkeyTimer&) = delete;

  explicit operator bool() const { return id_ != 0; }

 private:
  static void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD);

  HotkeyPoller& poller_;
  UINT_PTR id_;
};

}  // namespace quorvane
