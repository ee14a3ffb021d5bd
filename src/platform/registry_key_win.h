#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace quorvane {

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle invalid() { return nullptr; }
  static bool close(Handle key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};
// An open registry key, closed when it goes.
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

}  // namespace quorvane
