#include <windows.h>

#include "platform/key_state.h"

namespace quorvane {
namespace {

class SystemKeyState final : public KeyState {
 public:
  int16_t asyncState(int virtualKey) override { return GetAsyncKeyState(virtualKey); }
};

}  // namespace

KeyState& systemKeyState() {
  static SystemKeyState keys;
  return keys;
}

}  // namespace quorvane
