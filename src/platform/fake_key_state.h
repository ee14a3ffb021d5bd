#pragma once

#include <array>
#include <cstdint>

#include "platform/key_state.h"

namespace quorvane {

// A keyboard that tests press and release. Like GetAsyncKeyState, each key keeps its own
// "pressed since the last query" bit, which only a read of that key clears.
class FakeKeyState final : public KeyState {
 public:
  int16_t asyncState(int virtualKey) override {
    if (virtualKey < 0 || virtualKey > 255) return 0;
    const auto k = static_cast<size_t>(virtualKey);
    const int16_t state = static_cast<int16_t>((down_[k] ? 0x8000 : 0) | (pressed_[k] ? 1 : 0));
    pressed_[k] = false;
    return state;
  }

  // A key-down event; on a key that is already down it is the keyboard's auto-repeat.
  void press(int virtualKey) {
    down_[static_cast<size_t>(virtualKey)] = true;
    pressed_[static_cast<size_t>(virtualKey)] = true;
  }
  void release(int virtualKey) { down_[static_cast<size_t>(virtualKey)] = false; }
  // Down and up again between two reads: only the low bit tells.
  void tap(int virtualKey) {
    press(virtualKey);
    release(virtualKey);
  }
  bool isDown(int virtualKey) const { return down_[static_cast<size_t>(virtualKey)]; }

 private:
  std::array<bool, 256> down_{};
  std::array<bool, 256> pressed_{};
};

}  // namespace quorvane
