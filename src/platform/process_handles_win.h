#pragma once

#include <windows.h>

#include <utility>

namespace quorvane {

// Owns one kernel object handle (process, snapshot, pipe, event, thread) and closes it once.
// Both null and INVALID_HANDLE_VALUE mean "none", because the system uses either.
class UniqueKernelHandle {
 public:
  UniqueKernelHandle() = default;
  explicit UniqueKernelHandle(HANDLE handle) : handle_(handle) {}
  UniqueKernelHandle(UniqueKernelHandle&& other) noexcept : handle_(other.release()) {}
  UniqueKernelHandle& operator=(UniqueKernelHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueKernelHandle(const UniqueKernelHandle&) = delete;
  UniqueKernelHandle& operator=(const UniqueKernelHandle&) = delete;
  ~UniqueKernelHandle() { reset(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  // Closes the handle now; false when there was none or the system refused.
  bool close() {
    if (!valid()) {
      handle_ = nullptr;
      return false;
    }
    return CloseHandle(std::exchange(handle_, nullptr)) != 0;
  }
  void reset(HANDLE handle = nullptr) {
    close();
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace quorvane
