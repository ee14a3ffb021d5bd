#include <windows.h>

#include "app/directory_exists.h"
#include "platform/window_handles_win.h"

namespace quorvane {

bool directoryExists(std::string_view folder, LeadBytePredicate isLeadByte) {
  const FolderQuery query = folderQueryFor(folder, isLeadByte);
  WIN32_FIND_DATAA entry{};
  const FindHandle search(FindFirstFileA(query.pattern.c_str(), &entry));
  if (!search) return false;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && query.name == entry.cFileName) {
      return true;
    }
  } while (FindNextFileA(search.get(), &entry));
  return false;
}

bool isSystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

std::string programFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return std::string(folderOfPath(path, isSystemLeadByte));
}

}  // namespace quorvane
