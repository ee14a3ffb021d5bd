#include "platform/moment_timer_win.h"

#include <commctrl.h>
#include <mmsystem.h>

#include "platform/precise_time.h"

namespace quorvane {

MomentTimer::MomentTimer(HWND window, UINT message) : window_(window), message_(message) {
  InitializeCriticalSection(&lock_);
  wake_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!wake_ || !window_) return;
  // Watching the window is what ends the thread with it; without that the timer does not start.
  watching_ = SetWindowSubclass(window_, &MomentTimer::windowWatch, reinterpret_cast<UINT_PTR>(this),
                                reinterpret_cast<DWORD_PTR>(this)) != FALSE;
  if (!watching_) return;
  // Waits end to the millisecond only with the system timer at its finest.
  resolutionRaised_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  thread_.reset(CreateThread(nullptr, 0, &MomentTimer::threadMain, this, 0, nullptr));
  // It only wakes, posts and sleeps again; while a full-screen player keeps the cores busy, a
  // wake at normal priority can wait for a time slice.
  if (thread_) SetThreadPriority(thread_.get(), THREAD_PRIORITY_TIME_CRITICAL);
}

MomentTimer::~MomentTimer() {
  stop();
  DeleteCriticalSection(&lock_);
}

void MomentTimer::stop() {
  if (watching_) {
    RemoveWindowSubclass(window_, &MomentTimer::windowWatch, reinterpret_cast<UINT_PTR>(this));
    watching_ = false;
  }
  if (thread_) {
    EnterCriticalSection(&lock_);
    quit_ = true;
    LeaveCriticalSection(&lock_);
    SetEvent(wake_.get());
    WaitForSingleObject(thread_.get(), INFINITE);  // it never blocks but in its wait
    thread_.reset();
  }
  if (resolutionRaised_) {
    timeEndPeriod(1);
    resolutionRaised_ = false;
  }
}

LRESULT CALLBACK MomentTimer::windowWatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR self) {
  const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  // The window's last message: no moment may reach it, nor whatever window reuses its handle.
  if (message == WM_NCDESTROY) reinterpret_cast<MomentTimer*>(self)->stop();
  return result;
}

void MomentTimer::arm(int64_t delayUs, WPARAM token) {
  if (!thread_) return;
  EnterCriticalSection(&lock_);
  armed_ = true;
  dueUs_ = systemPreciseTimeSource().nowUs() + static_cast<uint64_t>(delayUs > 0 ? delayUs : 0);
  token_ = token;
  LeaveCriticalSection(&lock_);
  SetEvent(wake_.get());
}

void MomentTimer::disarm() {
  EnterCriticalSection(&lock_);
  armed_ = false;
  LeaveCriticalSection(&lock_);
}

DWORD WINAPI MomentTimer::threadMain(void* self) {
  static_cast<MomentTimer*>(self)->loop();
  return 0;
}

void MomentTimer::loop() {
  for (;;) {
    DWORD waitMs = INFINITE;
    EnterCriticalSection(&lock_);
    if (quit_) {
      LeaveCriticalSection(&lock_);
      return;
    }
    if (armed_) {
      const auto remainingUs = static_cast<int64_t>(dueUs_ - systemPreciseTimeSource().nowUs());
      if (remainingUs <= 0) {
        armed_ = false;
        const WPARAM token = token_;
        LeaveCriticalSection(&lock_);
        PostMessageA(window_, message_, token, 0);
        continue;
      }
      waitMs = static_cast<DWORD>((remainingUs + 999) / 1000);
    }
    LeaveCriticalSection(&lock_);
    WaitForSingleObject(wake_.get(), waitMs);
  }
}

}  // namespace quorvane
