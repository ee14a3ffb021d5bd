#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace quorvane {

// The pages behind the three link labels of the main window.
inline constexpr std::string_view kUpdatePageUrl = "https://quorvane.orlenna.example/releases";
inline constexpr std::string_view kToolPageUrl =
    "https://quorvane.orlenna.example/srt-rapid-adjustment";
inline constexpr std::string_view kForumPageUrl = "https://bbs.veltmoor.example/";

// Starts `program` (or opens a document when `parameters` is null) the way ShellExecuteA
// does, giving its result: above 32 on success.
using ShellOpen = std::function<intptr_t(const char* file, const char* parameters)>;

// Opens the page in "iexplore.exe"; where that browser cannot be started (most systems of
// today), the page goes to the system's default handler for web addresses instead.
void openInBrowser(std::string_view url, const ShellOpen& shellOpen);

}  // namespace quorvane
