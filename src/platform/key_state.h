#pragma once

#include <cstdint>

namespace quorvane {

// The keyboard as GetAsyncKeyState sees it, whichever application has the focus.
class KeyState {
 public:
  virtual ~KeyState() = default;
  // Negative while the key is down; the low bit tells that it was pressed since the last query
  // of that key (reading clears it, for that key only).
  virtual int16_t asyncState(int virtualKey) = 0;
};

// GetAsyncKeyState itself. Windows build only.
KeyState& systemKeyState();

}  // namespace quorvane
