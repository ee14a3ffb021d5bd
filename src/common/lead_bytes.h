#pragma once

namespace quorvane {

// Tells whether a byte starts a double-byte character in the ANSI code page in use.
using LeadBytePredicate = bool (*)(unsigned char);

// The lead bytes of GBK (936) and Big5 (950): 0x81..0xFE. Their trail bytes include 0x5C,
// so a plain search for "\" would cut such a character in half.
bool isChineseLeadByte(unsigned char byte);

// Whether `byte` starts a double-byte character in `codePage`. The East Asian double-byte
// code pages have lead bytes; every other code page (1252, 1250, ...) has none, so a byte
// such as 0xF9 ("ù" in 1252) is a character of its own there.
bool isLeadByteIn(unsigned codePage, unsigned char byte);

}  // namespace quorvane
