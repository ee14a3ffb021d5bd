#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <limits>

#include "platform/process_access.h"
#include "platform/process_handles_win.h"

namespace quorvane {
namespace {

// Reading needs no more than this; the narrow request succeeds wherever a full-access one would.
constexpr DWORD readAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

// The address as this build's pointer, or nothing when it does not fit (above 4 GB in the
// 32-bit build) or the range from it wraps past the top: a cut-down address would read
// another place.
std::optional<uintptr_t> pointerFor(uint64_t address, uint64_t length) {
  constexpr uint64_t top = std::numeric_limits<uintptr_t>::max();
  if (address > top || (length != 0 && length - 1 > top - address)) return std::nullopt;
  return static_cast<uintptr_t>(address);
}

class SystemOpenedProcess final : public OpenedProcess {
 public:
  explicit SystemOpenedProcess(UniqueKernelHandle process) : process_(std::move(process)) {}

  std::optional<MemoryRegion> query(uint64_t address) const override {
    const auto at = pointerFor(address, 0);
    if (!process_ || !at) return std::nullopt;
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQueryEx(process_.get(), reinterpret_cast<LPCVOID>(*at), &info, sizeof info) == 0) {
      return std::nullopt;
    }
    MemoryRegion region;
    region.base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    region.allocationBase = reinterpret_cast<uintptr_t>(info.AllocationBase);
    region.size = info.RegionSize;
    region.state = info.State;
    region.protection = info.Protect;
    region.type = info.Type;
    return region;
  }

  bool read(uint64_t address, uint8_t* out, uint32_t length) const override {
    const auto at = pointerFor(address, length);
    if (!process_ || !at) return false;
    SIZE_T done = 0;
    return ReadProcessMemory(process_.get(), reinterpret_cast<LPCVOID>(*at), out, length, &done) != 0 &&
           done == length;
  }

  bool close() override { return process_.close(); }

 private:
  UniqueKernelHandle process_;
};

class SystemProcessAccess final : public ProcessAccess {
 public:
  std::optional<std::vector<ProcessEntry>> listProcesses() const override {
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return std::nullopt;
    std::vector<ProcessEntry> entries;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
      entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
      entries.push_back({entry.th32ProcessID, entry.szExeFile});
      entry.dwSize = sizeof entry;
    }
    return entries;
  }

  std::unique_ptr<OpenedProcess> open(uint32_t pid) const override {
    UniqueKernelHandle process(OpenProcess(readAccess, FALSE, pid));
    if (!process) return nullptr;
    return std::make_unique<SystemOpenedProcess>(std::move(process));
  }
};

}  // namespace

std::unique_ptr<ProcessAccess> makeSystemProcessAccess() {
  return std::make_unique<SystemProcessAccess>();
}

}  // namespace quorvane
