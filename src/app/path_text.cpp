#include "app/path_text.h"

namespace quorvane {

size_t lastBackslash(std::string_view text, LeadBytePredicate isLeadByte) {
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\') {
      found = i;
    } else if (isLeadByte(byte) && i + 1 < text.size()) {
      ++i;  // the trail byte belongs to this character
    }
  }
  return found;
}

PathSplit splitAtLastBackslash(std::string_view path, LeadBytePredicate isLeadByte) {
  const size_t at = lastBackslash(path, isLeadByte);
  if (at == std::string_view::npos) return {{}, path};
  return {path.substr(0, at), path.substr(at + 1)};
}

std::string_view folderOfPath(std::string_view filePath, LeadBytePredicate isLeadByte) {
  const size_t at = lastBackslash(filePath, isLeadByte);
  if (at == std::string_view::npos) return {};
  return filePath.substr(0, at + 1);
}

FolderQuery folderQueryFor(std::string_view folder, LeadBytePredicate isLeadByte) {
  if (!folder.empty() && lastBackslash(folder, isLeadByte) == folder.size() - 1) {
    folder.remove_suffix(1);
  }
  const size_t at = lastBackslash(folder, isLeadByte);
  const std::string_view parent =
      at == std::string_view::npos ? std::string_view{} : folder.substr(0, at + 1);
  const std::string_view name =
      at == std::string_view::npos ? folder : folder.substr(at + 1);
  std::string pattern(parent);
  pattern += "*.*";
  return {std::move(pattern), std::string(name)};
}

}  // namespace quorvane
