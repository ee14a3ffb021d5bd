#pragma once

#include <utility>

namespace quorvane {

// Owns one operating-system handle and closes it once. Traits give the handle's type, the
// value that means "none" and how to close it:
//   struct Traits {
//     using Handle = ...;
//     static Handle invalid();
//     static bool close(Handle);            // true when the system closed it
//     static bool isValid(Handle);          // optional: when more than invalid() means "none"
//   };
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  bool valid() const { return isValid(handle_); }
  explicit operator bool() const { return valid(); }
  // Gives the handle up without closing it.
  Handle release() { return std::exchange(handle_, Traits::invalid()); }
  // Closes the handle now; false when there was none or the system refused.
  bool close() {
    const Handle old = release();
    return isValid(old) && Traits::close(old);
  }
  void reset(Handle handle = Traits::invalid()) {
    close();
    handle_ = handle;
  }
  // For a function that hands its handle back through a pointer: any handle held is closed
  // first.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  static bool isValid(Handle handle) {
    if constexpr (requires { Traits::isValid(handle); }) {
      return Traits::isValid(handle);
    } else {
      return handle != Traits::invalid();
    }
  }

  Handle handle_ = Traits::invalid();
};

}  // namespace quorvane
