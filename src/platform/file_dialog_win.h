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

}  // namespace quorvane
