#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// One entry of a process snapshot: the id and the executable's file name (no folder).
struct ProcessEntry {
  uint32_t pid = 0;
  std::string exeName;
};

// Values of the region fields, as the system reports them.
inline constexpr uint32_t memCommit = 0x1000;
inline constexpr uint32_t memImage = 0x1000000;
inline constexpr uint32_t pageReadonly = 0x02;
inline constexpr uint32_t pageReadWrite = 0x04;
inline constexpr uint32_t pageWriteCopy = 0x08;
inline constexpr uint32_t pageExecuteReadWrite = 0x40;
inline constexpr uint32_t pageExecuteWriteCopy = 0x80;
inline constexpr uint32_t pageGuard = 0x100;

// A run of pages with the same attributes, as the system's region query reports it.
// `size` counts from the page-aligned `base`. Addresses and sizes are 64-bit in every build: a
// 64-bit process's regions lie above 4 GB and can be larger than 4 GB.
struct MemoryRegion {
  uint64_t base = 0;
  uint64_t allocationBase = 0;
  uint64_t size = 0;
  uint32_t state = 0;
  uint32_t protection = 0;
  uint32_t type = 0;
};

// A process opened for reading. Destroying it closes the handle if close() was not called.
class OpenedProcess {
 public:
  virtual ~OpenedProcess() = default;
  // The region that holds `address`, or nothing when the query fails (past the user address
  // space, an address this build's pointers cannot hold, or the process is gone).
  virtual std::optional<MemoryRegion> query(uint64_t address) const = 0;
  // Fills `out` with `length` bytes from `address`; false unless every byte was read (and for
  // a range this build's pointers cannot hold: it is never cut down to a wrong address).
  virtual bool read(uint64_t address, uint8_t* out, uint32_t length) const = 0;
  // Closes the handle; false when that fails or it was closed already.
  virtual bool close() = 0;
};

// The operating system's process list and read access to other processes' memory.
class ProcessAccess {
 public:
  virtual ~ProcessAccess() = default;
  // All processes in the system's snapshot order, or nothing when the snapshot fails.
  virtual std::optional<std::vector<ProcessEntry>> listProcesses() const = 0;
  // Opens a process for querying and reading its memory; null on failure.
  virtual std::unique_ptr<OpenedProcess> open(uint32_t pid) const = 0;
};

// The Windows implementation (Windows build only).
std::unique_ptr<ProcessAccess> makeSystemProcessAccess();

}  // namespace quorvane
