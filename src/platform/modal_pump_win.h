#pragma once

#include <windows.h>

namespace quorvane {

// Dispatches the messages waiting in this thread's queue; false once the program is quitting
// (the quit message is put back for the outer loop).
bool pumpPendingMessages();

// Waits `durationMs` while still dispatching this thread's messages; ends early when the
// program is quitting.
void pumpMessagesFor(DWORD durationMs);

}  // namespace quorvane
