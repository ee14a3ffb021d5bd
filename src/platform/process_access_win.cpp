#include <windows.h>
#include <tlhelp32.h>

#include "platform/process_access.h"
#include "platform/process_handles_win.h"

namespace quorvane {
namespace {

// Reading needs no more than this; the narrow request succeeds wherever a full-access one would.
constexpr DWORD readAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

class SystemOpenedProcess final : public OpenedProcess {
 public:
  explicit SystemOpenedProcess(UniqueKernelHandle process) : process_(std::move(process)) {}

  std::optional<MemoryRegion> query(uint32_t address) const override {
    if (!process_) return std::nullopt;
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQueryEx(process_.get(), reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)),
                       &info, sizeof info) == 0) {
      return std::nullopt;
    }
    MemoryRegion region;
    region.base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress));
    region.allocationBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.AllocationBase));
    region.size = static_cast<uint32_t>(info.RegionSize);
    region.state = info.State;
    region.protection = info.Protect;
    region.type = info.Type;
    return region;
  }

  bool read(uint32_t address, uint8_t* out, uint32_t length) const override {
    if (!process_) return false;
    SIZE_T done = 0;
    return ReadProcessMemory(process_.get(),
                             reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)), out,
                             length, &done) != 0 &&
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
