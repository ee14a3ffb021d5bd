#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/key_state.h"

namespace quorvane {

// Global hotkeys by polling the keyboard: a hotkey fires when its key goes down while exactly
// its modifiers are held, whichever application has the focus. Nothing is registered with the
// system. Registrations are never removed. The poll may run on a thread of its own: the table
// is locked against the main thread's registrations and runAction.
class HotkeyPoller {
 public:
  using Action = std::function<void()>;
  // TableKeys reads only the keys the table names, and the four modifiers only when a press
  // needs them; AllKeys reads every key 1..255 on each poll. Both give the same firings: the
  // "pressed since the last query" bit is kept per key, and of a modifier only "down now"
  // counts.
  enum class KeyReads { TableKeys, AllKeys };

  // startTimer(intervalMs) is called once, at the first registration, to start calling poll().
  // deferred(id) takes a firing without directCall to the main window's thread, which then
  // calls runAction(id).
  HotkeyPoller(KeyState& keys, std::function<void(int32_t intervalMs)> startTimer,
               std::function<void(int32_t id)> deferred, KeyReads reads = KeyReads::TableKeys);
  HotkeyPoller(const HotkeyPoller&) = delete;
  HotkeyPoller& operator=(const HotkeyPoller&) = delete;

  // keyCode is a virtual-key code, negative to fire on the key's release; modifiers a mask of
  // Alt 1, Ctrl 2, Shift 4, left Windows 8 that must match exactly; secondKey 0 or a key that
  // must also be down. The same keyCode, modifiers and secondKey again replace the action and
  // directCall of that registration. Gives the id, or 0 for a key code whose low byte is 0.
  int32_t registerHotkey(Action action, int32_t keyCode, int32_t modifiers = 0, int32_t secondKey = 0,
                         int32_t pollIntervalMs = 0, int32_t directCall = 0);
  // One poll step: reads the keys once and runs every record's edge detector.
  void poll();
  // Runs the action of the registration with that id; nothing for an unknown id.
  void runAction(int32_t id);

 private:
  struct Record {
    int32_t id = 0;
    std::shared_ptr<const Action> action;
    int32_t keyCode = 0;
    int32_t modifiers = 0;
    int32_t secondKey = 0;
    uint8_t phase = 0;
    int32_t directCall = 0;
  };

  void step(Record& record);
  int32_t modifiersDown();
  void addKeyToRead(uint8_t key);

  KeyState& keys_;
  std::function<void(int32_t)> startTimer_;
  std::function<void(int32_t)> deferred_;
  KeyReads reads_;
  // Records stay where they are: an action called from poll() may register another hotkey.
  std::vector<std::unique_ptr<Record>> table_;
  std::vector<uint8_t> keysToRead_;  // for TableKeys: each key once
  std::array<int16_t, 256> snapshot_{};  // by key code; key 0 is never down
  int32_t modifiersDown_ = -1;           // of this poll; -1 until a press needs them
  // Recursive: a direct action runs inside poll() and may register or poll again.
  std::recursive_mutex lock_;
};

}  // namespace quorvane
