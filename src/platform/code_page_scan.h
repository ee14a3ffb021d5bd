#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quorvane {

// Length in bytes of the character that starts at bytes[pos] in the given code page, judged
// by the code page's byte structure alone (lead and trail byte ranges for GBK and Big5, the
// well-formed sequences of UTF-8). An ill-formed sequence counts as its longest well-formed
// start, at least one byte, so that an ASCII byte after a stray lead byte stays itself.
size_t codePageCharLength(unsigned codePage, std::string_view bytes, size_t pos);

// Decodes whole text with a strict converter that fails on any character the code page does
// not define. Valid text costs one strict call; otherwise the text is taken in pieces cut at
// character boundaries, and each character that still fails alone becomes U+FFFD. Both
// builds share this, so invalid bytes decode the same with iconv and with Windows.
using StrictDecoder = std::function<bool(std::string_view bytes, std::u16string& out)>;
std::u16string decodeReplacingInvalid(unsigned codePage, std::string_view bytes,
                                      const StrictDecoder& decodeStrictly);

}  // namespace quorvane
