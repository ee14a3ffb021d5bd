#pragma once

#include <string>
#include <string_view>

#include "app/path_text.h"

namespace quorvane {

// True when `folder` (with or without a trailing backslash) is listed as a sub-folder of its
// parent, its name compared byte for byte. A drive's root is never listed, so it gives false.
// Windows build only.
bool directoryExists(std::string_view folder, LeadBytePredicate isLeadByte);

// The lead bytes of the system's ANSI code page (IsDBCSLeadByte). Windows build only.
bool isSystemLeadByte(unsigned char byte);

// The folder of the running program, with its trailing backslash; empty when unknown.
// Windows build only.
std::string programFolder();

}  // namespace quorvane
