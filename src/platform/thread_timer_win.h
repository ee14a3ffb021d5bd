#pragma once

#include <windows.h>

#include <utility>

namespace quorvane {

// A timer of the calling thread that needs no window: SetTimer without a window posts its
// WM_TIMER messages to the thread's own queue. Killed when the object goes.
class ThreadTimer {
 public:
  explicit ThreadTimer(UINT intervalMs) : id_(SetTimer(nullptr, 0, intervalMs, nullptr)) {}
  ~ThreadTimer() {
    if (id_ != 0) KillTimer(nullptr, id_);
  }
  ThreadTimer(ThreadTimer&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
  ThreadTimer& operator=(ThreadTimer&& other) noexcept {
    std::swap(id_, other.id_);
    return *this;
  }
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;

  explicit operator bool() const { return id_ != 0; }
  UINT_PTR id() const { return id_; }

 private:
  UINT_PTR id_;
};

// Runs the thread's message loop and calls onTick() on every firing of `timer` until onTick
// returns false (or the queue receives WM_QUIT). Other messages are dispatched as usual.
template <class OnTick>
void runTimerLoop(const ThreadTimer& timer, OnTick onTick) {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == timer.id()) {
      if (!onTick()) return;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace quorvane
