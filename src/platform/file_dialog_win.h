#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace quorvane {

// The common file-open dialog, owned by `owner`, in `initialFolder` (the system's choice when
// empty), showing the files that `filter` ("text|pattern") names: the full path of the picked
// file, or nothing when cancelled. It runs its own message loop.
std::optional<std::string> pickFileWithDialog(HWND owner, const std::string& initialFolder,
                                              const std::string& filter);

// The common save (`save`) or open dialog over `owner`, in UTF-8: `filter` as above, `suggestedName`
// filled in. The full path chosen, or nothing when cancelled. It runs its own message loop.
std::optional<std::string> pickFileUtf8(HWND owner, const std::string& filter, const std::string& suggestedName,
                                        bool save);

}  // namespace quorvane
