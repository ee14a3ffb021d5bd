#pragma once

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace quorvane {

// An in-memory registry for tests. Key paths and value names ignore letter case, as the
// Windows registry does. Reads are logged so that tests can check their order.
class FakeRegistry : public Registry {
 public:
  struct Value {
    bool isText = true;
    std::string text;
    uint32_t dword = 0;
  };

  std::optional<std::string> readText(RegistryRoot root, std::string_view keyPath,
                                      std::string_view valueName) const override {
    readLog.push_back(std::string(valueName));
    const auto it = values.find(keyOf(root, keyPath, valueName));
    if (it == values.end() || !it->second.isText) return std::nullopt;
    return it->second.text.substr(0, it->second.text.find('\0'));
  }
  bool writeText(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                 std::string_view text) override {
    if (failWrites || !canWrite(root, keyPath)) return false;
    values[keyOf(root, keyPath, valueName)] = Value{true, std::string(text), 0};
    return true;
  }
  bool writeDword(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                  uint32_t value) override {
    if (failWrites || !canWrite(root, keyPath)) return false;
    values[keyOf(root, keyPath, valueName)] = Value{false, {}, value};
    return true;
  }

  bool canWrite(RegistryRoot root, std::string_view keyPath) const override {
    return !readOnlyKeys.count({root, lower(keyPath)});
  }

  // Direct access for test set-up and checks.
  void setText(std::string_view keyPath, std::string_view valueName, std::string_view text,
               RegistryRoot root = RegistryRoot::LocalMachine) {
    values[keyOf(root, keyPath, valueName)] = Value{true, std::string(text), 0};
  }
  // The key refuses writes from now on (its values stay readable), as a key whose rights deny
  // this user setting values does.
  void refuseWrites(RegistryRoot root, std::string_view keyPath) {
    readOnlyKeys.insert({root, lower(keyPath)});
  }
  void setDword(std::string_view keyPath, std::string_view valueName, uint32_t value) {
    values[keyOf(RegistryRoot::LocalMachine, keyPath, valueName)] = Value{false, {}, value};
  }
  const Value* find(RegistryRoot root, std::string_view keyPath,
                    std::string_view valueName) const {
    const auto it = values.find(keyOf(root, keyPath, valueName));
    return it == values.end() ? nullptr : &it->second;
  }

  using Key = std::tuple<RegistryRoot, std::string, std::string>;
  std::map<Key, Value> values;
  bool failWrites = false;
  std::set<std::pair<RegistryRoot, std::string>> readOnlyKeys;
  mutable std::vector<std::string> readLog;

 private:
  static std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  }
  static Key keyOf(RegistryRoot root, std::string_view keyPath, std::string_view valueName) {
    return {root, lower(keyPath), lower(valueName)};
  }
};

}  // namespace quorvane
