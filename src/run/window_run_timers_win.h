#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/moment_timer_win.h"
#include "run/subtitle_run.h"

namespace quorvane {

// A run's timers on a window of the caller's thread, as the main window gives them: the tick on
// the window timer `tickTimer`, the moments between ticks from the moment timer, posted to the
// window as `momentMessage` with the moment's token in wParam. The window's procedure hands
// both to the run (tick(), moment(token)).
class WindowRunTimers final : public RunTimers {
 public:
  WindowRunTimers(HWND window, UINT_PTR tickTimer, UINT momentMessage)
      : window_(window), tickTimer_(tickTimer), moments_(window, momentMessage) {}
  bool startTicks() override { return SetTimer(window_, tickTimer_, SubtitleRun::kTickIntervalMs, nullptr) != 0; }
  void stopTicks() override { KillTimer(window_, tickTimer_); }
  void armMoment(int64_t untilUs, uint32_t token) override { moments_.arm(untilUs, token); }
  void disarmMoment() override { moments_.disarm(); }
  void settle(uint32_t) override {}

 private:
  HWND window_;
  UINT_PTR tickTimer_;
  MomentTimer moments_;
};

}  // namespace quorvane
