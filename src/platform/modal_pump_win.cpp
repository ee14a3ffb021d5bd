#include "platform/modal_pump_win.h"

namespace quorvane {

bool pumpPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void pumpMessagesFor(DWORD durationMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < durationMs) {
    if (!pumpPendingMessages()) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

}  // namespace quorvane
