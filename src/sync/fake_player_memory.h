#pragma once

#include <array>
#include <cstring>
#include <functional>
#include <vector>

#include "sync/memory_reader.h"
#include "sync/player_interface.h"

namespace quorvane {

// The player's time record at kBase in a fake process kPid. Reads of another process, outside
// the record, or after the player has "exited" give the readers' fallback values.
class FakePlayerMemory final : public MemoryReader {
 public:
  static constexpr uint32_t kPid = 4242;
  static constexpr uint32_t kBase = 0x00520000;

  void setDigits(int hours, int minutes, int seconds) {
    const int digits[] = {hours, minutes / 10, minutes % 10, seconds / 10, seconds % 10};
    for (int i = 0; i < 5; ++i) record_[80 * i] = static_cast<uint8_t>(digits[i] + 1);
  }
  void setByte(uint32_t offset, uint8_t value) { record_[offset] = value; }
  void setPlaying(int32_t flag) { std::memcpy(&record_[player::playingFlagOffset], &flag, 4); }
  void exit() { alive_ = false; }

  uint32_t pid = kPid;  // the fake process's id

  // Runs before every read, so a test can move the player's display between two reads.
  std::function<void()> beforeRead;

  int32_t readInt32(uint32_t pid, uint64_t address) const override {
    int32_t value = -1;
    if (readable(pid, address, 4)) std::memcpy(&value, &record_[address - kBase], 4);
    return value;
  }
  uint8_t readByte(uint32_t pid, uint64_t address) const override {
    return readable(pid, address, 1) ? record_[address - kBase] : 0;
  }
  std::vector<uint8_t> readBytes(uint32_t pid, uint64_t address, uint32_t length) const override {
    if (!readable(pid, address, length)) return {};
    return {record_.begin() + (address - kBase), record_.begin() + (address - kBase + length)};
  }
  bool isRunning(uint32_t id) const override { return alive_ && id == pid; }

 private:
  bool readable(uint32_t id, uint64_t address, uint32_t length) const {
    if (beforeRead) beforeRead();
    return alive_ && id == pid && address >= kBase && address - kBase + length <= record_.size();
  }

  std::array<uint8_t, player::recordLength> record_{};
  bool alive_ = true;
};

}  // namespace quorvane
