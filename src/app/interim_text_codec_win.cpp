// Stand-in until the text conversion lands: plain code-page transcoding, no script change.
// Removed when the real TextCodec and system code pages are merged.
#include <windows.h>

#include "loading/text_codec.h"

namespace quorvane {
namespace {

class InterimCodePages final : public CodePages {
 public:
  std::u16string toUtf16(unsigned codePage, std::string_view bytes) const override {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
  }
  std::string fromUtf16(unsigned codePage, std::u16string_view text) const override {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int n = WideCharToMultiByte(codePage, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
  }
};

}  // namespace

const CodePages& systemCodePages() {
  static const InterimCodePages pages;
  return pages;
}

}  // namespace quorvane
