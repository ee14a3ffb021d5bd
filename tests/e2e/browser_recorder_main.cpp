// Stands in for the web browser in the end-to-end tests: appends its command line, one line per
// start, to the file named by the environment variable QUORVANE_BROWSER_LOG (or to
// browser-starts.log beside this program), then ends.
#include <windows.h>

#include <string>

#include "platform/process_handles_win.h"

int main() {
  char path[MAX_PATH * 2] = {};
  if (!GetEnvironmentVariableA("QUORVANE_BROWSER_LOG", path, sizeof path)) {
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self(path, n);
    self = self.substr(0, self.find_last_of('\\') + 1) + "browser-starts.log";
    lstrcpynA(path, self.c_str(), sizeof path);
  }
  quorvane::UniqueKernelHandle log(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!log) return 1;
  std::string line = GetCommandLineA();
  line += "\r\n";
  DWORD written = 0;
  return WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ? 0 : 1;
}
