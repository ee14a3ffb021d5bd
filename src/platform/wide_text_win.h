#pragma once

#include <windows.h>

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

// Text in a code page (CP_ACP: the system's) as wide characters.
inline std::wstring wideFromCodePage(std::string_view text, unsigned codePage) {
  const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

}  // namespace quorvane
