#include "app/settings_store.h"

namespace quorvane {
namespace {

std::string lowerAscii(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Where registry virtualisation keeps a 32-bit program's writes to HKEY_LOCAL_MACHINE\SOFTWARE\X
// on 64-bit Windows, under HKEY_CURRENT_USER; nothing for keys outside SOFTWARE, which it leaves
// alone.
std::optional<std::string> virtualStorePath(std::string_view keyPath) {
  constexpr std::string_view software = "software";
  const std::string lower = lowerAscii(keyPath);
  if (lower.compare(0, software.size(), software) != 0) return std::nullopt;
  const std::string_view rest = keyPath.substr(software.size());
  if (!rest.empty() && rest.front() != '\\') return std::nullopt;
  return "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node" + std::string(rest);
}

}  // namespace

std::optional<std::string> SettingsStore::stored(const PathSplit& split) const {
  auto text = registry_.readText(RegistryRoot::LocalMachine, split.head, split.tail);
  if (!registry_.canWrite(RegistryRoot::LocalMachine, split.head)) {
    if (const auto virtualPath = virtualStorePath(split.head)) {
      if (auto copy = registry_.readText(RegistryRoot::CurrentUser, *virtualPath, split.tail)) text = std::move(copy);
    }
  }
  if (auto own = registry_.readText(RegistryRoot::CurrentUser, split.head, split.tail)) text = std::move(own);
  return text;
}

bool SettingsStore::store(const PathSplit& split, std::string_view text) {
  const bool userHasCopy = registry_.readText(RegistryRoot::CurrentUser, split.head, split.tail).has_value();
  if (registry_.writeText(RegistryRoot::LocalMachine, split.head, split.tail, text) && !userHasCopy) return true;
  return registry_.writeText(RegistryRoot::CurrentUser, split.head, split.tail, text);
}

std::string SettingsStore::readText(std::string_view path, std::string_view defaultText) const {
  const PathSplit split = splitAtLastBackslash(path, isLeadByte_);
  auto text = stored(split);
  if (!text) return std::string(defaultText);
  // A value whose write failed stays as the user set it, whatever the registry still holds.
  Known& known = known_[lowerAscii(path)];
  if (!known.unsaved) known = Known{std::string(path), *text, false};
  return std::move(*text);
}

bool SettingsStore::writeText(std::string_view path, std::string_view text) {
  const PathSplit split = splitAtLastBackslash(path, isLeadByte_);
  const bool kept = store(split, text);
  const std::string key = lowerAscii(path);
  known_[key] = Known{std::string(path), std::string(text), !kept};
  if (kept) restoreKnown(key);
  return kept;
}

void SettingsStore::restoreKnown(const std::string& except) {
  for (auto& [key, known] : known_) {
    if (key == except) continue;
    const PathSplit split = splitAtLastBackslash(known.path, isLeadByte_);
    if (!known.unsaved && stored(split)) continue;
    known.unsaved = !store(split, known.text);
  }
}

}  // namespace quorvane
