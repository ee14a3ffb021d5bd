#include "app/settings_store.h"

namespace quorvane {

std::string SettingsStore::readText(std::string_view path, std::string_view defaultText) const {
  const PathSplit split = splitAtLastBackslash(path, isLeadByte_);
  auto text = registry_.readText(RegistryRoot::LocalMachine, split.head, split.tail);
  return text ? std::move(*text) : std::string(defaultText);
}

bool SettingsStore::writeText(std::string_view path, std::string_view text) {
  const PathSplit split = splitAtLastBackslash(path, isLeadByte_);
  return registry_.writeText(RegistryRoot::LocalMachine, split.head, split.tail, text);
}

}  // namespace quorvane
