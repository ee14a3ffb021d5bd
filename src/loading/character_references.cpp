#include "loading/character_references.h"

#include <algorithm>
#include <cstdint>

namespace quorvane {
namespace {

struct NamedReference {
  uint16_t offset;  // into kReferenceNames
  uint8_t length;
  uint32_t first;
  uint16_t second;
};

#include "loading/character_references.inc"

constexpr size_t kLongestName = 32;

std::string_view nameOf(const NamedReference& reference) {
  return std::string_view(kReferenceNames + reference.offset, reference.length);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlphanumeric(char c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

int hexDigit(char c) {
  if (isDigit(c)) return c - '0';
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// What a numeric reference to 0x80..0x9F meant: the Windows-1252 character written as its byte.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool decodeNumeric(std::string_view text, DecodedReference& decoded) {
  size_t at = 1;  // after "#"
  const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
  if (hex) ++at;
  const size_t digitsBegin = at;
  uint32_t value = 0;
  for (; at < text.size(); ++at) {
    const int digit = hex ? hexDigit(text[at]) : (isDigit(text[at]) ? text[at] - '0' : -1);
    if (digit < 0) break;
    // Saturates past the last code point, so that a long run of digits stays out of range.
    value = std::min<uint32_t>(value * (hex ? 16 : 10) + static_cast<uint32_t>(digit), 0x110000);
  }
  if (at == digitsBegin) return false;  // "&#" or "&#x" alone is text
  if (at < text.size() && text[at] == ';') ++at;
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    value = 0xFFFD;
  } else if (value >= 0x80 && value <= 0x9F) {
    value = kWindows1252[value - 0x80];
  }
  decoded = {value, 0, at};
  return true;
}

}  // namespace

bool decodeCharacterReference(std::string_view text, DecodedReference& decoded) {
  if (!text.empty() && text.front() == '#') return decodeNumeric(text, decoded);
  // Every name is letters and digits, with or without a closing ";": the longest that starts
  // the text is found among the prefixes of that run.
  size_t run = 0;
  while (run < text.size() && run < kLongestName && isAlphanumeric(text[run])) ++run;
  if (run < text.size() && run < kLongestName && text[run] == ';') ++run;
  const auto less = [](const NamedReference& reference, std::string_view name) { return nameOf(reference) < name; };
  for (size_t length = run; length > 0; --length) {
    const std::string_view name = text.substr(0, length);
    const auto found = std::lower_bound(std::begin(kNamedReferences), std::end(kNamedReferences), name, less);
    if (found != std::end(kNamedReferences) && nameOf(*found) == name) {
      decoded = {found->first, found->second, length};
      return true;
    }
  }
  return false;
}

}  // namespace quorvane
