#pragma once

#include <windows.h>

#include <atomic>

namespace quorvane {

// A window that other threads post messages to. The rule that keeps a post from reaching a
// window that is gone: the window's own thread sets the handle before it starts any thread
// that posts, and clears it, then stops those threads, before the window is destroyed. A post
// after the clear goes nowhere; one that read the handle just before it still finds the window,
// which lives until those threads have stopped.
class MessageTarget {
 public:
  void set(HWND window) { window_.store(window, std::memory_order_release); }
  void clear() { window_.store(nullptr, std::memory_order_release); }
  // From any thread: false when no window is set or the post fails.
  bool post(UINT message, WPARAM wParam, LPARAM lParam) const {
    const HWND window = window_.load(std::memory_order_acquire);
    return window && PostMessageA(window, message, wParam, lParam);
  }

 private:
  std::atomic<HWND> window_{nullptr};
};

}  // namespace quorvane
