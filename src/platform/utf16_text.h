#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// UTF-8 <-> UTF-16 for texts the program passes to and from the system's wide-character calls
// (a password, a pipe name, a message). Neither direction fails and nothing is dropped: each
// malformed piece becomes one U+FFFD, so a bad byte shows where it was instead of emptying the
// text or cutting it short. A malformed piece of UTF-8 is a byte that cannot start a sequence,
// or the longest start of a sequence that breaks off (an overlong form, a surrogate or a value
// past U+10FFFF breaks off at its first byte); in UTF-16 it is a surrogate without its partner.
std::u16string utf16FromUtf8(std::string_view utf8);
std::string utf8FromUtf16(std::u16string_view utf16);

}  // namespace quorvane
