#include "platform/file_dialog_win.h"

#include <commdlg.h>

#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

// "text|pattern|..." as the dialog takes it: NUL-separated, ended by two NULs.
template <typename Char>
std::basic_string<Char> dialogFilter(std::basic_string<Char> filter) {
  for (Char& c : filter) {
    if (c == Char('|')) c = Char(0);
  }
  filter.append(2, Char(0));
  return filter;
}

}  // namespace

std::optional<std::string> pickFileWithDialog(HWND owner, const std::string& initialFolder,
                                              const std::string& filter) {
  const std::string filterPairs = dialogFilter(filter);
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

std::optional<std::string> pickFileUtf8(HWND owner, const std::string& filter, const std::string& suggestedName,
                                        bool save) {
  const std::wstring filterPairs = dialogFilter(wideFromUtf8(filter));
  std::wstring path = wideFromUtf8(suggestedName);
  path.resize(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filterPairs.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrDefExt = L"profile";
  dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                 (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return std::nullopt;
  path.resize(path.find(L'\0'));
  return utf8FromWide(path);
}

}  // namespace quorvane
