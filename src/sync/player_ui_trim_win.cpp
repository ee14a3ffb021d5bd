#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "platform/kernel_handles_win.h"
#include "sync/player_ui_trim.h"

namespace quorvane {

namespace {

bool equalsIgnoringCase(const char* a, std::string_view b) {
  if (std::string_view(a).size() != b.size()) return false;
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, static_cast<int>(b.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The first process in a snapshot whose executable name matches, or 0.
DWORD findProcessIdByExeName(std::string_view exeName) {
  KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (equalsIgnoringCase(entry.szExeFile, exeName)) return entry.th32ProcessID;
  }
  return 0;
}

class SystemProcessTerminator final : public ProcessTerminator {
 public:
  void terminateByName(std::string_view exeName) override {
    const std::string name(exeName);
    DWORD pid = 0;
    // A top-level window titled with the name names its process first; the snapshot is the
    // fallback for a player whose window has another title.
    if (HWND window = FindWindowA(nullptr, name.c_str())) GetWindowThreadProcessId(window, &pid);
    if (pid == 0) pid = findProcessIdByExeName(exeName);
    if (pid == 0) return;
    KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (process) TerminateProcess(process.get(), 0);
  }
};

}  // namespace

std::unique_ptr<ProcessTerminator> makeSystemProcessTerminator() {
  return std::make_unique<SystemProcessTerminator>();
}

}  // namespace quorvane
