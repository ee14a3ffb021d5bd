#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/lead_bytes.h"

namespace quorvane {

// Byte position of the last backslash that is a character of its own (never the trail byte
// of a double-byte character), or std::string_view::npos.
size_t lastBackslash(std::string_view text, LeadBytePredicate isLeadByte = isChineseLeadByte);

// A text "key\...\name" cut at its last backslash; without one, the key is empty.
struct PathSplit {
  std::string_view head;  // before the backslash
  std::string_view tail;  // after it
};
PathSplit splitAtLastBackslash(std::string_view path,
                               LeadBytePredicate isLeadByte = isChineseLeadByte);

// The folder of a file path, up to and including its last backslash; empty without one.
std::string_view folderOfPath(std::string_view filePath,
                              LeadBytePredicate isLeadByte = isChineseLeadByte);

// How a folder's existence is checked: list "<parent>*.*" and look for a sub-folder named
// exactly `name`. One trailing backslash of the folder is dropped first.
struct FolderQuery {
  std::string pattern;  // parent (with its trailing backslash, or empty) followed by "*.*"
  std::string name;
};
FolderQuery folderQueryFor(std::string_view folder,
                           LeadBytePredicate isLeadByte = isChineseLeadByte);

}  // namespace quorvane
