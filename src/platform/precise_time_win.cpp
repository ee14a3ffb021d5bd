#include <windows.h>

#include "platform/precise_time.h"

namespace quorvane {
namespace {

class SystemPreciseTime final : public PreciseTimeSource {
 public:
  SystemPreciseTime() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart > 0 ? static_cast<uint64_t>(f.QuadPart) : 1;
  }
  uint64_t nowUs() const override {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const auto counts = static_cast<uint64_t>(c.QuadPart);
    // Whole seconds and the rest apart, so that counts * 1e6 never overflows.
    return counts / frequency_ * 1'000'000 + counts % frequency_ * 1'000'000 / frequency_;
  }

 private:
  uint64_t frequency_ = 1;
};

}  // namespace

const PreciseTimeSource& systemPreciseTimeSource() {
  static const SystemPreciseTime source;
  return source;
}

}  // namespace quorvane
