#include "platform/file_dialog_win.h"

#include <commdlg.h>

namespace quorvane {

std::optional<std::string> pickFileWithDialog(HWND owner, const std::string& initialFolder,
                                              const std::string& filter) {
  std::string filterPairs = filter;
  for (char& c : filterPairs) {
    if (c == '|') c = '\0';
  }
  filterPairs.append(2, '\0');
  std::string path(32768, '\0');
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filterPairs.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
  // The current folder stays the program's, where relative paths start.
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return std::nullopt;
  path.resize(path.find('\0'));
  return path;
}

}  // namespace quorvane
