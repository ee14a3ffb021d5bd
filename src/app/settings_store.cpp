#include "app/settings_store.h"

namespace quorvane {
namespace {

std::string lowerAscii(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

std::string SettingsStore::readText(std::string_view path, std::string_view defaultText) const {
  const PathSplit split = splitAtLastBackslash(path, isLeadByte_);
  auto text = registry_.readText(RegistryRoot::LocalMachine, split.head, split.tail);
  if (!text) return std::string(defaultText);
  // A value whose write failed stays as the user set it, whatever the registry still holds.
  Known& known = known_[lowerAscii(path)];
  if (!known.unsaved) known = Known{std::string(path), *text, false};
  return std::move(*text);
}

bool SettingsStore::writeText(std::string_view path, std::string_view text) {
  const PathSplit split = splitAtLastBackslash(path, isLeadByte_);
  const bool stored = registry_.writeText(RegistryRoot::LocalMachine, split.head, split.tail, text);
  const std::string key = lowerAscii(path);
  known_[key] = Known{std::string(path), std::string(text), !stored};
  if (stored) restoreKnown(key);
  return stored;
}

void SettingsStore::restoreKnown(const std::string& except) {
  for (auto& [key, known] : known_) {
    if (key == except) continue;
    const PathSplit split = splitAtLastBackslash(known.path, isLeadByte_);
    if (!known.unsaved && registry_.readText(RegistryRoot::LocalMachine, split.head, split.tail))
      continue;
    known.unsaved = !registry_.writeText(RegistryRoot::LocalMachine, split.head, split.tail, known.text);
  }
}

}  // namespace quorvane
