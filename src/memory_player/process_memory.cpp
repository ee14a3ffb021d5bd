#include "memory_player/process_memory.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "memory_player/record_layout.h"

namespace quorvane {
namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads that open the process, read and close it again.
auto openingFor(const ProcessAccess& access, uint32_t pid) {
  return [&access, pid](uint64_t address, uint8_t* out, uint32_t length) {
    auto process = access.open(pid);
    if (!process) return false;
    const bool ok = process->read(address, out, length);
    process->close();
    return ok;
  };
}

// Only the main executable's own writable or executable regions are worth reading: the
// signature is code, and read-only data and small regions would only cost time.
bool qualifies(const MemoryRegion& region) {
  return region.type == memImage && region.allocationBase == player::mainImageBase &&
         region.protection != pageReadonly && region.size > 4096;
}

}  // namespace

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

uint32_t findProcessId(const ProcessAccess& access, std::string_view exeName) {
  const auto entries = access.listProcesses();
  if (!entries) return 0;
  for (const auto& entry : *entries) {
    if (equalIgnoringCase(entry.exeName, exeName)) return entry.pid;
  }
  return 0;
}

namespace {

// The three reads with their fallback values, over any way of reading raw bytes.
template <class Read>
int32_t int32Through(const Read& read, uint64_t address) {
  uint8_t bytes[4] = {};
  if (!read(address, bytes, sizeof bytes)) return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                              static_cast<uint32_t>(bytes[2]) << 16 |
                              static_cast<uint32_t>(bytes[3]) << 24);
}

template <class Read>
uint8_t byteThrough(const Read& read, uint64_t address) {
  uint8_t byte = 0;
  return read(address, &byte, 1) ? byte : 0;
}

template <class Read>
std::vector<uint8_t> bytesThrough(const Read& read, uint64_t address, uint32_t length) {
  // A wild length must not take the program down with a huge allocation.
  if (length > maxReadLength) return {};
  std::vector<uint8_t> block(length, 0);
  if (!read(address, block.data(), length)) return {};
  return block;
}

}  // namespace

int32_t readInt32(const ProcessAccess& access, uint32_t pid, uint64_t address) {
  return int32Through(openingFor(access, pid), address);
}

uint8_t readByte(const ProcessAccess& access, uint32_t pid, uint64_t address) {
  return byteThrough(openingFor(access, pid), address);
}

std::vector<uint8_t> readBytes(const ProcessAccess& access, uint32_t pid, uint64_t address,
                               uint32_t length) {
  return bytesThrough(openingFor(access, pid), address, length);
}

int32_t ProcessMemoryReader::readInt32(uint32_t pid, uint64_t address) const {
  return int32Through(readerFor(pid), address);
}
uint8_t ProcessMemoryReader::readByte(uint32_t pid, uint64_t address) const {
  return byteThrough(readerFor(pid), address);
}
std::vector<uint8_t> ProcessMemoryReader::readBytes(uint32_t pid, uint64_t address,
                                                    uint32_t length) const {
  return bytesThrough(readerFor(pid), address, length);
}

std::function<bool(uint64_t, uint8_t*, uint32_t)> ProcessMemoryReader::readerFor(uint32_t pid) const {
  if (opening_ == Opening::PerRead) return openingFor(access_, pid);
  return [this, pid](uint64_t address, uint8_t* out, uint32_t length) {
    if (!held_ || heldPid_ != pid) {
      held_ = access_.open(pid);
      heldPid_ = pid;
    }
    if (held_ && held_->read(address, out, length)) return true;
    held_.reset();  // the next read opens the process again: it may have gone, or come back
    return false;
  };
}

bool ProcessMemoryReader::isRunning(uint32_t pid) const {
  const auto entries = access_.listProcesses();
  if (!entries) return true;
  for (const auto& entry : *entries) {
    if (entry.pid == pid) return true;
  }
  return false;
}

ProcessMemory::ProcessMemory(const ProcessAccess& access, std::function<void()> betweenRegions)
    : access_(access), betweenRegions_(std::move(betweenRegions)) {}

bool ProcessMemory::open(uint32_t pid) {
  close();
  process_ = access_.open(pid);
  ++generation_;
  return process_ != nullptr;
}

bool ProcessMemory::close() {
  if (!process_) return false;
  const bool ok = process_->close();
  process_.reset();
  ++generation_;
  return ok;
}

uint64_t ProcessMemory::findPattern(std::span<const uint8_t> pattern, uint64_t startAddress,
                                    uint64_t endAddress) {
  if (!process_ || pattern.empty()) return 0;
  if (endAddress == 0) endAddress = player::searchEndAddress;
  const uint32_t generation = generation_;
  const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
  const size_t carryMax = pattern.size() - 1;

  // The buffer holds the tail of the previous read (when it ended exactly where this read
  // starts) followed by the new bytes, so a match that straddles two reads is still found.
  std::vector<uint8_t> buffer;
  size_t carry = 0;
  uint64_t carryEnd = 0;  // address just past the carried bytes

  uint64_t current = startAddress;
  for (;;) {
    const auto region = process_->query(current);
    if (!region) return 0;
    const uint64_t regionEnd = region->base + region->size;
    if (qualifies(*region)) {
      for (uint64_t address = std::max<uint64_t>(region->base, current); address < regionEnd;) {
        const uint32_t length =
            static_cast<uint32_t>(std::min<uint64_t>(searchChunkBytes, regionEnd - address));
        if (carryEnd != address) carry = 0;
        if (buffer.size() < carry + length) buffer.resize(carry + length);
        if (!process_->read(address, buffer.data() + carry, length)) {
          carry = 0;  // the rest of this region is passed over
          break;
        }
        const auto begin = buffer.begin();
        const auto end = begin + static_cast<std::ptrdiff_t>(carry + length);
        const auto hit = std::search(begin, end, searcher);
        if (hit != end) return address - carry + static_cast<uint64_t>(hit - begin);
        const size_t keep = std::min(carryMax, carry + length);
        std::memmove(buffer.data(), buffer.data() + (carry + length - keep), keep);
        carry = keep;
        address += length;
        carryEnd = address;
      }
    } else {
      carry = 0;
    }
    // A region of size 0, one whose end wraps past the top of the address space, or one that ends
    // past the searched range ends the walk.
    if (regionEnd <= current || regionEnd > endAddress) return 0;
    current = regionEnd;
    if (betweenRegions_) {
      betweenRegions_();
      if (generation != generation_ || !process_) return 0;
    }
  }
}

}  // namespace quorvane
