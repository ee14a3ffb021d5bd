#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace quorvane {

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return nullptr; }
  // Both null and INVALID_HANDLE_VALUE mean "none", because the system uses either.
  static bool isValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static bool close(Handle handle) { return CloseHandle(handle) != 0; }
};
// Owns one kernel object handle (process, snapshot, pipe, event, thread, file) and closes it
// once.
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace quorvane
