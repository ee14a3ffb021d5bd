#include "loading/text_codec.h"

#include <cstdint>
#include <vector>

#include "platform/code_page_scan.h"

namespace quorvane {
namespace {

struct ScriptPair {
  uint16_t from;
  uint16_t to;
};

#include "loading/chinese_script_table.inc"

// Direct lookup by GBK code (both bytes >= 0x81 << 8), built once from the sorted pair lists.
class ScriptMap {
 public:
  template <size_t N>
  explicit ScriptMap(const ScriptPair (&pairs)[N]) : to_(0x8000, 0) {
    for (const auto& p : pairs) to_[p.from - 0x8000u] = p.to;
  }

  // Maps each double-byte GBK character in place; single bytes and unknown codes stay.
  void apply(std::string& gbk) const {
    for (size_t i = 0; i < gbk.size();) {
      const size_t length = codePageCharLength(kCodePageGbk, gbk, i);
      if (length == 2) {
        const auto code = static_cast<uint16_t>(static_cast<unsigned char>(gbk[i]) << 8 |
                                                static_cast<unsigned char>(gbk[i + 1]));
        if (const uint16_t mapped = to_[code - 0x8000u]) {
          gbk[i] = static_cast<char>(mapped >> 8);
          gbk[i + 1] = static_cast<char>(mapped & 0xFF);
        }
      }
      i += length;
    }
  }

 private:
  std::vector<uint16_t> to_;
};

const ScriptMap& toTraditional() {
  static const ScriptMap map(kSimplifiedToTraditional);
  return map;
}

const ScriptMap& toSimplified() {
  static const ScriptMap map(kTraditionalToSimplified);
  return map;
}

}  // namespace

// Every byte is kept, NUL bytes included: the system's conversion of a NUL-terminated text
// would drop everything after a stray NUL, and with it the rest of a subtitle file.
std::string TextCodec::big5ToSimplifiedGbk(std::string_view big5) const {
  std::string gbk = codePages_.fromUtf16(kCodePageGbk, codePages_.toUtf16(kCodePageBig5, big5));
  toSimplified().apply(gbk);
  return gbk;
}

std::string TextCodec::gbkToTraditionalBig5(std::string_view gbk) const {
  std::string traditional(gbk);
  toTraditional().apply(traditional);
  return codePages_.fromUtf16(kCodePageBig5, codePages_.toUtf16(kCodePageGbk, traditional));
}

}  // namespace quorvane
