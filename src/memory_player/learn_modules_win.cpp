#include <windows.h>
#include <tlhelp32.h>

#include "memory_player/learn_modules.h"
#include "platform/process_handles_win.h"

namespace quorvane::learn {

std::optional<std::vector<Module>> listModules(uint32_t pid) {
  // A snapshot taken while the process loads a module may fail with ERROR_BAD_LENGTH: try again.
  UniqueKernelHandle snapshot;
  for (int attempt = 0; attempt < 5 && !snapshot; ++attempt) {
    snapshot.reset(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid));
    if (!snapshot && GetLastError() != ERROR_BAD_LENGTH) break;
  }
  if (!snapshot) return std::nullopt;
  std::vector<Module> modules;
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot.get(), &entry); more; more = Module32Next(snapshot.get(), &entry)) {
    entry.szModule[sizeof entry.szModule - 1] = '\0';
    modules.push_back({entry.szModule, reinterpret_cast<uintptr_t>(entry.modBaseAddr), entry.modBaseSize});
    entry.dwSize = sizeof entry;
  }
  return modules;
}

std::optional<uint32_t> processPointerBytes(uint32_t pid) {
  const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return std::nullopt;
  BOOL wow64 = FALSE;
  if (!IsWow64Process(process.get(), &wow64)) return std::nullopt;
  if (wow64) return 4;
  // Not under WOW64: the system's own width, which a 32-bit build learns from being under WOW64
  // itself (then the player is a 64-bit one it cannot follow, which the caller says).
  BOOL selfWow64 = FALSE;
  if (sizeof(void*) == 4 && !IsWow64Process(GetCurrentProcess(), &selfWow64)) return std::nullopt;
  return sizeof(void*) == 8 || selfWow64 ? 8 : 4;
}

}  // namespace quorvane::learn
