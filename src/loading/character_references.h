#pragma once

#include <cstddef>
#include <string_view>

namespace quorvane {

// What a character reference stands for: one or two characters, and how many bytes after its
// "&" it takes.
struct DecodedReference {
  char32_t first = 0, second = 0;  // second: 0 when the reference names one character
  size_t length = 0;
};

// Decodes the character reference that starts just after an "&" by HTML's rules for text:
// "#" and decimal digits or "#x" and hex digits, the ";" optional, with the code points that
// cannot stand in text replaced (0, surrogates and anything past U+10FFFF by U+FFFD; 0x80 to 0x9F
// by the Windows-1252 characters they meant); or the longest name of HTML's named references,
// of which the older ones are also taken without their ";" ("&ampx" is "&x"). False when
// nothing there is a reference: the "&" is then text.
bool decodeCharacterReference(std::string_view afterAmpersand, DecodedReference& decoded);

}  // namespace quorvane
