#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// The ANSI code pages the program works in.
inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageBig5 = 950;
inline constexpr unsigned kCodePageUtf8 = 65001;

// Conversion between a code page and UTF-16: MultiByteToWideChar / WideCharToMultiByte on
// Windows, iconv on the native build. Neither direction fails: a byte sequence that is not
// valid in the code page decodes to U+FFFD, and a character that the target code page cannot
// represent encodes as that code page's default character ("?").
class CodePages {
 public:
  virtual ~CodePages() = default;
  virtual std::u16string toUtf16(unsigned codePage, std::string_view bytes) const = 0;
  virtual std::string fromUtf16(unsigned codePage, std::u16string_view text) const = 0;
};

// The converter of the system the program runs on.
const CodePages& systemCodePages();

}  // namespace quorvane
