#include "input/hotkey_poller.h"

#include <algorithm>
#include <utility>

namespace quorvane {
namespace {

constexpr int32_t kFirstId = 1'000'001;
constexpr int32_t kDefaultPollIntervalMs = 10;

// The edge detector's phases.
constexpr uint8_t kIdle = 0;
constexpr uint8_t kSeenDown = 1;
constexpr uint8_t kReleased = 2;
constexpr uint8_t kFired = 88;

struct Modifier {
  uint8_t key;
  int32_t bit;
};
// VK_MENU, VK_CONTROL, VK_SHIFT, VK_LWIN. The right Windows key is deliberately not among them.
constexpr Modifier kModifiers[] = {{18, 1}, {17, 2}, {16, 4}, {91, 8}};

// Virtual-key codes are one byte: a key code counts by the low byte of its magnitude (hence the
// refusal of a zero low byte). Computed unsigned, so INT32_MIN is no overflow.
uint8_t keyOf(int32_t code) {
  const uint32_t magnitude = code < 0 ? 0u - static_cast<uint32_t>(code) : static_cast<uint32_t>(code);
  return static_cast<uint8_t>(magnitude & 0xFF);
}

}  // namespace

HotkeyPoller::HotkeyPoller(KeyState& keys, std::function<void(int32_t)> startTimer,
                           std::function<void(int32_t)> deferred, KeyReads reads)
    : keys_(keys), startTimer_(std::move(startTimer)), deferred_(std::move(deferred)), reads_(reads) {}

int32_t HotkeyPoller::registerHotkey(Action action, int32_t keyCode, int32_t modifiers, int32_t secondKey,
                                     int32_t pollIntervalMs, int32_t directCall) {
  if (keyOf(keyCode) == 0) return 0;
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  auto shared = action ? std::make_shared<const Action>(std::move(action)) : nullptr;

  for (const auto& record : table_) {
    if (record->keyCode == keyCode && record->modifiers == modifiers && record->secondKey == secondKey) {
      record->action = std::move(shared);
      record->directCall = directCall;
      return record->id;
    }
  }

  auto record = std::make_unique<Record>();
  record->id = kFirstId + static_cast<int32_t>(table_.size());
  record->action = std::move(shared);
  record->keyCode = keyCode;
  record->modifiers = modifiers;
  record->secondKey = secondKey;
  record->directCall = directCall;
  const int32_t id = record->id;
  table_.push_back(std::move(record));
  addKeyToRead(keyOf(keyCode));
  if (secondKey != 0) addKeyToRead(keyOf(secondKey));

  if (id == kFirstId && startTimer_) startTimer_(pollIntervalMs > 0 ? pollIntervalMs : kDefaultPollIntervalMs);
  return id;
}

void HotkeyPoller::addKeyToRead(uint8_t key) {
  if (key != 0 && std::find(keysToRead_.begin(), keysToRead_.end(), key) == keysToRead_.end()) {
    keysToRead_.push_back(key);
  }
}

void HotkeyPoller::poll() {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  if (reads_ == KeyReads::AllKeys) {
    for (int key = 1; key <= 255; ++key) snapshot_[static_cast<size_t>(key)] = keys_.asyncState(key);
  } else {
    for (const uint8_t key : keysToRead_) snapshot_[key] = keys_.asyncState(key);
  }
  modifiersDown_ = -1;

  // Only the records this snapshot was read for: one that an action adds waits for the next
  // poll. A direct action may run a modal loop whose timer ticks poll again inside this pass;
  // that inner pass steps every record with newer key states, after which stepping the rest of
  // them here with the same states fires nothing.
  const size_t count = table_.size();
  for (size_t i = 0; i < count; ++i) step(*table_[i]);
}

// The modifiers held now, read once per poll and only when a press is about to fire: on most
// polls nothing is pressed, and each read of a key costs a call into the system.
int32_t HotkeyPoller::modifiersDown() {
  if (modifiersDown_ < 0) {
    modifiersDown_ = 0;
    for (const Modifier& m : kModifiers) {
      const bool tableKey = std::find(keysToRead_.begin(), keysToRead_.end(), m.key) != keysToRead_.end();
      const int16_t state = reads_ == KeyReads::AllKeys || tableKey ? snapshot_[m.key] : keys_.asyncState(m.key);
      if (state < 0) modifiersDown_ += m.bit;
    }
  }
  return modifiersDown_;
}

void HotkeyPoller::step(Record& r) {
  const int16_t s = snapshot_[keyOf(r.keyCode)];
  if (s == 0) {
    if (r.phase != kSeenDown) {
      r.phase = kIdle;
      return;
    }
    r.phase = kReleased;
  } else if (s < 0) {
    if (r.phase == kIdle) r.phase = kSeenDown;
    if (r.keyCode < 0) return;  // a release hotkey waits for the release
  }
  // s > 0: up now but pressed since the last poll; the phase decides.

  if (r.phase == kIdle || r.phase == kFired) return;
  r.phase = kFired;  // from here on this press is used up, fired or not
  if (modifiersDown() != r.modifiers) return;
  if (r.secondKey != 0 && snapshot_[keyOf(r.secondKey)] >= 0) return;

  if (r.directCall != 0) {
    // Held by a copy: the action may register its own key again, replacing itself.
    const std::shared_ptr<const Action> action = r.action;
    if (action) (*action)();
  } else if (deferred_) {
    deferred_(r.id);
  }
}

void HotkeyPoller::runAction(int32_t id) {
  std::shared_ptr<const Action> action;
  {
    const std::lock_guard<std::recursive_mutex> hold(lock_);
    const int64_t index = int64_t{id} - kFirstId;
    if (index < 0 || index >= static_cast<int64_t>(table_.size())) return;
    action = table_[static_cast<size_t>(index)]->action;
  }
  if (action) (*action)();  // unlocked: the poll thread goes on meanwhile
}

}  // namespace quorvane
