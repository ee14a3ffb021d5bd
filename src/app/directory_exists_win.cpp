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

}  // namespace quorvane
