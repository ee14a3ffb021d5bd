#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "memory_player/learnt_profiles.h"
#include "platform/process_handles_win.h"
#include "platform/unique_handle.h"
#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return INVALID_HANDLE_VALUE; }
  static bool isValid(Handle handle) { return handle != INVALID_HANDLE_VALUE; }
  static bool close(Handle handle) { return FindClose(handle) != 0; }
};

// The whole file, when it is no larger than `limit`.
bool readSmallFile(const std::wstring& path, size_t limit, std::string& text) {
  const UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > limit) {
    return false;
  }
  text.assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  return text.empty() || (ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) &&
                          read == text.size());
}

}  // namespace

std::string profileFolder() {
  wchar_t appData[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return {};
  return utf8FromWide(appData) + "\\Quorvane\\players";
}

ProfileFile readProfileFile(const std::string& path) {
  ProfileFile file;
  const size_t slash = path.find_last_of("\\/");
  file.name = slash == std::string::npos ? path : path.substr(slash + 1);
  file.readable = readSmallFile(wideFromUtf8(path), kMaxProfileBytes, file.text);
  return file;
}

bool writeProfileFile(const std::string& path, std::string_view text) {
  const std::wstring wide = wideFromUtf8(path);
  const size_t slash = wide.find_last_of(L"\\/");
  if (slash != std::wstring::npos) SHCreateDirectoryExW(nullptr, wide.substr(0, slash).c_str(), nullptr);
  const std::wstring temporary = wide + L".tmp";
  bool written = false;
  {
    const UniqueKernelHandle file(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD count = 0;
    written = file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr) &&
              count == text.size() && FlushFileBuffers(file.get());
  }
  if (written && MoveFileExW(temporary.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

bool removeProfileFile(const std::string& path) { return DeleteFileW(wideFromUtf8(path).c_str()) != 0; }

std::vector<ProfileFile> readProfileFolder(const std::string& folder) {
  std::vector<ProfileFile> files;
  if (folder.empty()) return files;
  const std::wstring wideFolder = wideFromUtf8(folder);
  WIN32_FIND_DATAW found;
  const UniqueHandle<FindHandleTraits> find(FindFirstFileW((wideFolder + L"\\*.profile").c_str(), &found));
  if (!find) return files;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ProfileFile file;
    file.name = utf8FromWide(found.cFileName);
    file.readable = readSmallFile(wideFolder + L"\\" + found.cFileName, kMaxProfileBytes, file.text);
    files.push_back(std::move(file));
  } while (FindNextFileW(find.get(), &found));
  std::sort(files.begin(), files.end(), [](const ProfileFile& a, const ProfileFile& b) { return a.name < b.name; });
  return files;
}

}  // namespace quorvane
