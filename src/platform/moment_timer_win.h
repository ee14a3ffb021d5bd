#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/process_handles_win.h"

namespace quorvane {

// A one-shot timer to the millisecond that posts `message` (wParam: the token it was armed
// with) to a window, so that the work runs on the window's thread. One thread serves every
// arming: under Wine a multimedia one-shot timer starts a thread of its own each time.
//
// It ends with its window: when the window is destroyed the thread stops and the system timer's
// resolution, raised while the timer lives, is restored, so nothing is posted to a window that
// is gone (or to another that later gets its handle) and a closed program leaves no 1 ms timer
// behind. Made, used and destroyed on the window's thread; arming one whose window is gone does
// nothing.
class MomentTimer {
 public:
  MomentTimer(HWND window, UINT message);
  ~MomentTimer();
  MomentTimer(const MomentTimer&) = delete;
  MomentTimer& operator=(const MomentTimer&) = delete;

  // The thread runs: made for a live window, which is not destroyed yet.
  bool running() const { return thread_.valid() && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT; }
  // Replaces any armed moment with one `delayUs` from now.
  void arm(int64_t delayUs, WPARAM token);
  void disarm();

 private:
  static DWORD WINAPI threadMain(void* self);
  static LRESULT CALLBACK windowWatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
  void loop();
  void stop();

  HWND window_;
  UINT message_;
  CRITICAL_SECTION lock_;
  UniqueKernelHandle wake_;
  UniqueKernelHandle thread_;
  bool watching_ = false;        // subclassed the window to see it go
  bool resolutionRaised_ = false;
  bool quit_ = false;
  bool armed_ = false;
  uint64_t dueUs_ = 0;
  WPARAM token_ = 0;
};

}  // namespace quorvane
