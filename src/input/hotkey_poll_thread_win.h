#pragma once

#include <windows.h>

#include <atomic>

#include "input/hotkey_poller.h"
#include "platform/process_handles_win.h"

namespace quorvane {

// Polls the hotkeys on a thread of its own, every `intervalMs`, until destroyed. A thread that
// sleeps costs nothing between polls, where a 10 ms window timer (or a wait on an event) goes
// through the system's message and wait machinery a hundred times a second; and no modal loop
// (message box, file dialog) can hold it up.
// A firing reaches the main window's thread as the poller's deferred call, so nothing of the
// user interface is touched from here.
class HotkeyPollThread {
 public:
  HotkeyPollThread(HotkeyPoller& poller, UINT intervalMs);
  ~HotkeyPollThread();  // stops the thread and waits for it
  HotkeyPollThread(const HotkeyPollThread&) = delete;
  HotkeyPollThread& operator=(const HotkeyPollThread&) = delete;

  explicit operator bool() const { return thread_.valid(); }

 private:
  static DWORD WINAPI run(void* self);

  HotkeyPoller& poller_;
  const UINT intervalMs_;
  std::atomic<bool> stopping_{false};
  UniqueKernelHandle thread_;
};

}  // namespace quorvane
