#include <chrono>

#include "platform/precise_time.h"

namespace quorvane {
namespace {

class SystemPreciseTime final : public PreciseTimeSource {
 public:
  uint64_t nowUs() const override {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
  }
};

}  // namespace

const PreciseTimeSource& systemPreciseTimeSource() {
  static const SystemPreciseTime source;
  return source;
}

}  // namespace quorvane
