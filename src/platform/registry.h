#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

enum class RegistryRoot { LocalMachine, CurrentUser };

// The registry, reached through this seam only: the Windows registry on Windows, an
// in-memory map in tests. Texts are ANSI bytes in the system code page. HKEY_LOCAL_MACHINE is
// seen as a 32-bit program sees it in every build (on 64-bit Windows its SOFTWARE key is
// WOW6432Node), so the 32-bit and the 64-bit program share one set of keys.
class Registry {
 public:
  virtual ~Registry() = default;
  // A REG_SZ value up to its first NUL, or a REG_EXPAND_SZ value with its variables expanded.
  // Nothing for a missing key or value and for every other type.
  virtual std::optional<std::string> readText(RegistryRoot root, std::string_view keyPath,
                                              std::string_view valueName) const = 0;
  // Stores REG_SZ text, creating the key (and missing keys on the way) when needed.
  virtual bool writeText(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                         std::string_view text) = 0;
  // Stores a REG_DWORD, creating the key when needed.
  virtual bool writeDword(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                          uint32_t value) = 0;
  // Whether this program may set values in the key: the key's own rights when it exists, else
  // the right to create it under the nearest key that exists.
  virtual bool canWrite(RegistryRoot root, std::string_view keyPath) const = 0;
};

// The Windows registry (Windows build only).
std::unique_ptr<Registry> makeSystemRegistry();

}  // namespace quorvane
