#pragma once

#include <cstdint>
#include <vector>

namespace quorvane {

// Reads of another process's memory. Each read does its whole job (open, read, close) and
// gives its fallback value when anything fails; the clock reads through this on every tick.
// Addresses are 64-bit in every build; one the build cannot reach is a failed read.
class MemoryReader {
 public:
  virtual ~MemoryReader() = default;
  virtual int32_t readInt32(uint32_t pid, uint64_t address) const = 0;  // -1 on failure
  virtual uint8_t readByte(uint32_t pid, uint64_t address) const = 0;   // 0 on failure
  // A block of exactly `length` bytes, or an empty block on failure.
  virtual std::vector<uint8_t> readBytes(uint32_t pid, uint64_t address, uint32_t length) const = 0;
  // Whether a process of that id still runs.
  virtual bool isRunning(uint32_t pid) const = 0;
};

}  // namespace quorvane
