#include <windows.h>

#include <string>

#include "platform/registry.h"
#include "platform/registry_key_win.h"

namespace quorvane {
namespace {

// HKEY_LOCAL_MACHINE in its 32-bit view: where the 32-bit program's keys are on 64-bit Windows;
// the flag changes nothing for a 32-bit program on 32-bit Windows.
REGSAM viewOf(HKEY root) { return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0; }

LONG openRaw(HKEY root, const std::string& path, REGSAM access, RegistryKey& out) {
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExA(root, path.c_str(), 0, access | viewOf(root), &key);
  if (rc == ERROR_SUCCESS) out = RegistryKey(key);
  return rc;
}

RegistryKey openKey(HKEY root, const std::string& path, REGSAM access) {
  RegistryKey key;
  openRaw(root, path, access, key);
  return key;
}

// Opens the key for writing, creating it and missing keys on the way.
RegistryKey openOrCreateKey(HKEY root, const std::string& path) {
  if (RegistryKey key = openKey(root, path, KEY_WRITE)) return key;
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | viewOf(root),
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return {};
  }
  return RegistryKey(key);
}

HKEY rootKey(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// A value's raw bytes, or nothing; the size may change between the two queries, so retry.
std::optional<std::string> queryBytes(HKEY key, const std::string& name, DWORD& type) {
  DWORD size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::string bytes(size + 1, '\0');  // one spare byte in case the data lacks its NUL
    DWORD got = size;
    const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(bytes.data()), &got);
    if (rc == ERROR_MORE_DATA) {
      size = got;
      continue;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    bytes.resize(got);
    return bytes;
  }
  return std::nullopt;
}

std::string expandVariables(const std::string& text) {
  const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::string out(needed, '\0');
  const DWORD written = ExpandEnvironmentStringsA(text.c_str(), out.data(), needed);
  if (written == 0 || written > needed) return text;
  out.resize(out.find('\0'));
  return out;
}

class SystemRegistry final : public Registry {
 public:
  std::optional<std::string> readText(RegistryRoot root, std::string_view keyPath,
                                      std::string_view valueName) const override {
    const RegistryKey key = openKey(rootKey(root), std::string(keyPath), KEY_READ);
    if (!key) return std::nullopt;
    DWORD type = REG_NONE;
    auto bytes = queryBytes(key.get(), std::string(valueName), type);
    if (!bytes) return std::nullopt;
    std::string text = bytes->substr(0, bytes->find('\0'));
    if (type == REG_EXPAND_SZ) return expandVariables(text);
    return text;
  }

  bool writeText(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                 std::string_view text) override {
    const RegistryKey key = openOrCreateKey(rootKey(root), std::string(keyPath));
    if (!key) return false;
    const std::string data(text);  // c_str() supplies the terminating NUL
    return RegSetValueExA(key.get(), std::string(valueName).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
  }

  bool writeDword(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                  uint32_t value) override {
    const RegistryKey key = openOrCreateKey(rootKey(root), std::string(keyPath));
    if (!key) return false;
    const DWORD data = value;
    return RegSetValueExA(key.get(), std::string(valueName).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
  }

  bool canWrite(RegistryRoot root, std::string_view keyPath) const override {
    std::string path(keyPath);
    REGSAM needed = KEY_SET_VALUE;
    for (;;) {
      RegistryKey key;
      const LONG rc = openRaw(rootKey(root), path, needed, key);
      if (rc == ERROR_SUCCESS) return true;
      if (rc != ERROR_FILE_NOT_FOUND || path.empty()) return false;
      const size_t cut = path.find_last_of('\\');
      path.resize(cut == std::string::npos ? 0 : cut);
      needed = KEY_CREATE_SUB_KEY;
    }
  }
};

}  // namespace

std::unique_ptr<Registry> makeSystemRegistry() { return std::make_unique<SystemRegistry>(); }

}  // namespace quorvane
