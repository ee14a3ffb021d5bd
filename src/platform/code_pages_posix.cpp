#include <errno.h>
#include <iconv.h>

#include <cstring>

#include "platform/code_page_scan.h"
#include "platform/code_pages.h"

namespace quorvane {
namespace {

const char* iconvName(unsigned codePage) {
  switch (codePage) {
    case kCodePageGbk: return "CP936";
    case kCodePageBig5: return "CP950";
    default: return "UTF-8";
  }
}

// One iconv descriptor for the length of one conversion call.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as far as it can; returns the number of input bytes consumed and sets failed
  // when it stopped at a sequence it cannot convert (or an incomplete one at the end).
  size_t convert(const char* in, size_t inSize, std::string& out, bool& failed) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in);
    size_t inLeft = inSize;
    failed = false;
    while (inLeft > 0) {
      const size_t used = out.size();
      const size_t room = inLeft * 2 + 16;
      out.resize(used + room);
      char* outPtr = out.data() + used;
      size_t outLeft = room;
      const size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.resize(used + (room - outLeft));
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
        failed = true;
        break;
      }
    }
    return inSize - inLeft;
  }

 private:
  iconv_t cd_;
};

std::u16string unitsFromBytes(const std::string& utf16le) {
  std::u16string units(utf16le.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                     (static_cast<unsigned char>(utf16le[2 * i + 1]) << 8));
  }
  return units;
}

std::string bytesFromUnits(std::u16string_view units) {
  std::string bytes(units.size() * 2, '\0');
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return bytes;
}

class IconvCodePages final : public CodePages {
 public:
  std::u16string toUtf16(unsigned codePage, std::string_view bytes) const override {
    if (bytes.empty()) return {};
    IconvHandle cd("UTF-16LE", iconvName(codePage));
    if (!cd.valid()) return std::u16string(bytes.size(), u'\uFFFD');
    std::string scratch;
    return decodeReplacingInvalid(codePage, bytes, [&](std::string_view piece, std::u16string& out) {
      scratch.clear();
      bool failed = false;
      cd.convert(piece.data(), piece.size(), scratch, failed);
      if (failed) return false;
      out += unitsFromBytes(scratch);
      return true;
    });
  }

  std::string fromUtf16(unsigned codePage, std::u16string_view text) const override {
    if (text.empty()) return {};
    const std::string units = bytesFromUnits(text);
    std::string out;
    IconvHandle cd(iconvName(codePage), "UTF-16LE");
    if (!cd.valid()) return std::string(text.size(), '?');
    // Like WideCharToMultiByte, every UTF-16 unit that cannot be written (a lone surrogate,
    // or each half of a pair the code page lacks) becomes one default character. UTF-8 has
    // no default character; Windows writes U+FFFD there.
    const char* replacement = codePage == kCodePageUtf8 ? "\xEF\xBF\xBD" : "?";
    size_t pos = 0;
    while (pos < units.size()) {
      bool failed = false;
      pos += cd.convert(units.data() + pos, units.size() - pos, out, failed);
      if (failed) {
        out += replacement;
        pos += 2;
      }
    }
    return out;
  }
};

}  // namespace

const CodePages& systemCodePages() {
  static const IconvCodePages codePages;
  return codePages;
}

}  // namespace quorvane
