#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/process_handles_win.h"

namespace quorvane {

// A one-shot timer to the millisecond that posts `message` (wParam: the token it was armed
// with) to a window, so that the work runs on the window's thread. One thread serves every
// arming: under Wine a multimedia one-shot timer starts a thread of its own each time.
class MomentTimer {
 public:
  MomentTimer(HWND window, UINT message);
  ~MomentTimer();
  MomentTimer(const MomentTimer&) = delete;
  MomentTimer& operator=(const MomentTimer&) = delete;

  bool valid() const { return thread_.valid(); }
  // Replaces any armed moment with one `delayUs` from now.
  void arm(int64_t delayUs, WPARAM token);
  void disarm();

 private:
  static DWORD WINAPI threadMain(void* self);
  void loop();

  HWND window_;
  UINT message_;
  CRITICAL_SECTION lock_;
  UniqueKernelHandle wake_;
  UniqueKernelHandle thread_;
  bool quit_ = false;
  bool armed_ = false;
  uint64_t dueUs_ = 0;
  WPARAM token_ = 0;
};

}  // namespace quorvane
