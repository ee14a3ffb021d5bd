#pragma once

#include <string>
#include <string_view>

#include "platform/utf16_text.h"

namespace quorvane {

// The system's wide characters are UTF-16 units: the conversions of utf16_text.h, for W calls.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring wideFromUtf8(std::string_view utf8) {
  const std::u16string text = utf16FromUtf8(utf8);
  return std::wstring(text.begin(), text.end());
}

inline std::string utf8FromWide(std::wstring_view wide) {
  return utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

}  // namespace quorvane
