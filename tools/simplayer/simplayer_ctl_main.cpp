// Commands a running simulated player and prints its answer (for scripts and by hand).
//
//   simplayer-ctl.exe [--timeout=MS] PID|EXE-NAME COMMAND [ARGUMENT]
//
// COMMAND: position | pause | resume | seek TIME | info | layout | frames | quit | poke OFFSET VALUE [1|4]
//          | drop-high
// TIME is H:MM:SS[.mmm], M:SS or milliseconds. The answer goes to standard output, e.g.
//   OK position=61234 tick=5203312 playing=1
//   OK record=0x00A2B2E8 signature=0x04401200 pointer=0x00A2B000 high=0x200000000
//   OK frames=1234 qpc=81234567890
// Exit status 0 when the player answered OK, 1 otherwise. An EXE-NAME means the first process
// of that name (letter case ignored); the player is waited for until the timeout (10 s).

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "simplayer_client_win.h"

namespace {

uint32_t firstProcessNamed(const char* name) {
  quorvane::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (lstrcmpiA(entry.szExeFile, name) == 0) return entry.th32ProcessID;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int next = 1;
  uint32_t timeoutMs = 10000;
  if (next < argc && std::strncmp(argv[next], "--timeout=", 10) == 0) {
    timeoutMs = static_cast<uint32_t>(std::strtoul(argv[next] + 10, nullptr, 10));
    ++next;
  }
  if (argc - next < 2) {
    std::fprintf(stderr,
                 "usage: simplayer-ctl [--timeout=MS] PID|EXE-NAME "
                 "position|pause|resume|seek TIME|info|quit\n");
    return 2;
  }
  const char* target = argv[next++];
  std::string command = argv[next++];
  for (; next < argc; ++next) command += std::string(" ") + argv[next];

  char* end = nullptr;
  uint32_t pid = static_cast<uint32_t>(std::strtoul(target, &end, 10));
  const DWORD started = GetTickCount();
  if (*end != '\0') {
    pid = 0;
    while ((pid = firstProcessNamed(target)) == 0 && GetTickCount() - started < timeoutMs) Sleep(50);
  }
  const uint32_t spent = GetTickCount() - started;
  const auto reply =
      pid ? quorvane::simplayer::sendCommand(pid, command, spent < timeoutMs ? timeoutMs - spent : 0)
          : std::nullopt;
  if (!reply) {
    std::fprintf(stderr, "simplayer-ctl: no answer from %s\n", target);
    return 1;
  }
  std::printf("%s\n", reply->c_str());
  return reply->compare(0, 2, "OK") == 0 ? 0 : 1;
}
