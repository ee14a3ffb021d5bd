#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// Folds the GBK full-width forms to ASCII: A3 xx (xx in A1..FE) becomes xx - 0x80, the
// ideographic space A1 A1 a space, A1 AB "~", A1 EE and A1 EF "*". Other bytes stay; the
// scan steps over double-byte characters so a trail byte is never taken for a lead byte.
std::string foldFullWidth(std::string_view text);

// The number reading of every numeric setting, the delay box and the subtitle time fields:
// full-width forms folded, leading white space skipped, one optional sign, then decimal digits
// up to the first other character. No digits give 0. Past 32 bits the value wraps: it is the
// number modulo 2^32, read as a signed 32-bit value.
int32_t textToInt(std::string_view text);

// textToInt, then its low 8 bits.
uint8_t textToByte(std::string_view text);

}  // namespace quorvane
