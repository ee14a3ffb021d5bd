#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

enum class RegistryRoot { LocalMachine, CurrentUser };

// The registry, reached through this seam only: the Windows registry on Windows, an
// in-memory map in tests. Texts are ANSI bytes in the system code page.
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
};

// The Windows registry (Windows build only).
std::unique_ptr<Registry> makeSystemRegistry();

}  // namespace quorvane
