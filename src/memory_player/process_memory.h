#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/process_access.h"
#include "memory_player/memory_reader.h"

namespace quorvane {

// Whether two file names are the same to Windows' eyes (ASCII letters' case ignored).
bool equalIgnoringCase(std::string_view a, std::string_view b);

// The id of the first process in the system's snapshot whose executable name equals `exeName`,
// letter case ignored (ASCII letters); 0 when none matches or the snapshot fails.
uint32_t findProcessId(const ProcessAccess& access, std::string_view exeName);

// The free-standing reads: each opens the process, reads, and closes it again.
int32_t readInt32(const ProcessAccess& access, uint32_t pid, uint64_t address);  // -1 on failure
uint8_t readByte(const ProcessAccess& access, uint32_t pid, uint64_t address);   // 0 on failure
// Exactly `length` bytes, or an empty block on failure (and for lengths above maxReadLength).
std::vector<uint8_t> readBytes(const ProcessAccess& access, uint32_t pid, uint64_t address,
                               uint32_t length);
inline constexpr uint32_t maxReadLength = 64u << 20;

// MemoryReader over the system (or a fake) process access. PerRead opens the process for each
// read and closes it again; Held keeps it open from one read to the next as long as the reads
// are of the same process and succeed, which halves what a tick costs and reads the same bytes.
class ProcessMemoryReader final : public MemoryReader {
 public:
  enum class Opening { PerRead, Held };
  explicit ProcessMemoryReader(const ProcessAccess& access, Opening opening = Opening::PerRead)
      : access_(access), opening_(opening) {}
  int32_t readInt32(uint32_t pid, uint64_t address) const override;
  uint8_t readByte(uint32_t pid, uint64_t address) const override;
  std::vector<uint8_t> readBytes(uint32_t pid, uint64_t address, uint32_t length) const override;
  // Looks for the id in a process snapshot; a failed snapshot counts as running.
  bool isRunning(uint32_t pid) const override;

 private:
  std::function<bool(uint64_t address, uint8_t* out, uint32_t length)> readerFor(uint32_t pid) const;

  const ProcessAccess& access_;
  const Opening opening_;
  mutable std::unique_ptr<OpenedProcess> held_;
  mutable uint32_t heldPid_ = 0;
};

// Keeps one process open across several calls, for the signature search.
class ProcessMemory {
 public:
  // `betweenRegions` runs after each region the search walks past (the application passes its
  // pending-message pump, so the window stays responsive). It may call open() or close() on
  // this object; the search then ends with 0.
  explicit ProcessMemory(const ProcessAccess& access, std::function<void()> betweenRegions = {});

  // Closes any process held, then opens `pid`; whether that succeeded.
  bool open(uint32_t pid);
  // Closes the held process; false when none was held or the close failed.
  bool close();
  bool isOpen() const { return process_ != nullptr; }

  // Address of the first occurrence of `pattern` in the main image's qualifying regions
  // (image mapping at the main image base, not read-only, larger than one page), walking from
  // `startAddress` up to `endAddress` (0 means 0x7FFFFFFF); 0 when there is none or no process
  // is held. Each region is searched from its base (or `startAddress`, if later) to its end,
  // and adjacent qualifying regions are searched as one span.
  uint64_t findPattern(std::span<const uint8_t> pattern, uint64_t startAddress,
                       uint64_t endAddress);

  // Bytes read per call while searching; one buffer of this size (plus the pattern) is alive.
  static constexpr uint32_t searchChunkBytes = 1u << 20;

 private:
  const ProcessAccess& access_;
  std::function<void()> betweenRegions_;
  std::unique_ptr<OpenedProcess> process_;
  uint32_t generation_ = 0;  // changes with every open/close, so a search notices re-entry
};

}  // namespace quorvane
