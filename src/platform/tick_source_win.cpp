#include <windows.h>

#include "platform/tick_source.h"

namespace quorvane {
namespace {

class SystemTickSource final : public TickSource {
 public:
  uint32_t now() const override { return GetTickCount(); }
};

}  // namespace

const TickSource& systemTickSource() {
  static const SystemTickSource source;
  return source;
}

}  // namespace quorvane
