#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/code_page_scan.h"
#include "platform/code_pages.h"

namespace quorvane {
namespace {

// Windows' conversions take int lengths; larger texts go through in pieces.
constexpr size_t kMaxCall = INT_MAX / 4;

class WindowsCodePages final : public CodePages {
 public:
  std::u16string toUtf16(unsigned codePage, std::string_view bytes) const override {
    if (bytes.empty()) return {};
    return decodeReplacingInvalid(codePage, bytes, [codePage](std::string_view piece, std::u16string& out) {
      if (piece.size() > kMaxCall) return false;
      const int size = static_cast<int>(piece.size());
      const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, piece.data(), size, nullptr, 0);
      if (units <= 0) return false;
      const size_t used = out.size();
      out.resize(used + static_cast<size_t>(units));
      auto* target = reinterpret_cast<wchar_t*>(out.data() + used);
      if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, piece.data(), size, target, units) != units) {
        out.resize(used);
        return false;
      }
      return true;
    });
  }

  std::string fromUtf16(unsigned codePage, std::u16string_view text) const override {
    std::string out;
    // No best-fit mapping: a character the code page lacks becomes its default character
    // "?" instead of a look-alike, which could turn a harmless character into a path separator
    // or a quote, and so that both builds give the same bytes.
    const DWORD flags = codePage == kCodePageUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t count = std::min(text.size() - pos, kMaxCall);
      // Keep a surrogate pair within one call.
      if (pos + count < text.size() && text[pos + count - 1] >= 0xD800 && text[pos + count - 1] <= 0xDBFF) --count;
      const auto* source = reinterpret_cast<const wchar_t*>(text.data() + pos);
      const int units = static_cast<int>(count);
      const int size = WideCharToMultiByte(codePage, flags, source, units, nullptr, 0, nullptr, nullptr);
      if (size > 0) {
        const size_t used = out.size();
        out.resize(used + static_cast<size_t>(size));
        const int written = WideCharToMultiByte(codePage, flags, source, units, out.data() + used, size, nullptr, nullptr);
        out.resize(used + static_cast<size_t>(written > 0 ? written : 0));
      }
      pos += count;
    }
    return out;
  }
};

}  // namespace

const CodePages& systemCodePages() {
  static const WindowsCodePages codePages;
  return codePages;
}

}  // namespace quorvane
