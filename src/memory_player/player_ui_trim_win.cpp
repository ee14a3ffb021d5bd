#include <windows.h>

#include <string>

#include "platform/process_access.h"
#include "platform/process_handles_win.h"
#include "memory_player/player_ui_trim.h"
#include "memory_player/process_memory.h"

namespace quorvane {

namespace {

class SystemProcessTerminator final : public ProcessTerminator {
 public:
  void terminateByName(std::string_view exeName) override {
    const std::string name(exeName);
    DWORD pid = 0;
    // A top-level window titled with the name names its process first; the snapshot is the
    // fallback for a player whose window has another title.
    if (HWND window = FindWindowA(nullptr, name.c_str())) GetWindowThreadProcessId(window, &pid);
    if (pid == 0) pid = findProcessId(*processes_, exeName);
    if (pid == 0) return;
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (process) TerminateProcess(process.get(), 0);
  }

 private:
  std::unique_ptr<ProcessAccess> processes_ = makeSystemProcessAccess();
};

}  // namespace

std::unique_ptr<ProcessTerminator> makeSystemProcessTerminator() {
  return std::make_unique<SystemProcessTerminator>();
}

}  // namespace quorvane
