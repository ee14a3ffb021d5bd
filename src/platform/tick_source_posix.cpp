#include <chrono>

#include "platform/tick_source.h"

namespace quorvane {
namespace {

class SystemTickSource final : public TickSource {
 public:
  uint32_t now() const override {
    const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    // Keep the low 32 bits, so the count wraps like GetTickCount.
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count());
  }
};

}  // namespace

const TickSource& systemTickSource() {
  static const SystemTickSource source;
  return source;
}

}  // namespace quorvane
