#include "platform/utf16_text.h"

#include <cstdint>

namespace quorvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The continuation bytes' range allowed right after a lead byte: narrower than 80..BF after
// E0, ED, F0 and F4, which excludes overlong forms, surrogates and values past U+10FFFF.
struct LeadRule {
  int continuations;
  uint8_t low;
  uint8_t high;
};

bool leadRule(uint8_t lead, LeadRule& rule) {
  if (lead >= 0xC2 && lead <= 0xDF) rule = {1, 0x80, 0xBF};
  else if (lead == 0xE0) rule = {2, 0xA0, 0xBF};
  else if (lead == 0xED) rule = {2, 0x80, 0x9F};
  else if (lead >= 0xE1 && lead <= 0xEF) rule = {2, 0x80, 0xBF};
  else if (lead == 0xF0) rule = {3, 0x90, 0xBF};
  else if (lead == 0xF4) rule = {3, 0x80, 0x8F};
  else if (lead >= 0xF1 && lead <= 0xF3) rule = {3, 0x80, 0xBF};
  else return false;
  return true;
}

void appendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::u16string utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    LeadRule rule{};
    if (!leadRule(lead, rule)) {
      appendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    char32_t c = lead & (0x3F >> rule.continuations);
    size_t next = i + 1;
    bool whole = true;
    for (int k = 0; k < rule.continuations; ++k, ++next) {
      const uint8_t low = k == 0 ? rule.low : 0x80, high = k == 0 ? rule.high : 0xBF;
      if (next >= utf8.size() || static_cast<uint8_t>(utf8[next]) < low || static_cast<uint8_t>(utf8[next]) > high) {
        whole = false;
        break;
      }
      c = (c << 6) | (static_cast<uint8_t>(utf8[next]) & 0x3F);
    }
    // A sequence that breaks off is one replacement; the byte that broke it starts afresh.
    appendUtf16(out, whole ? c : kReplacement);
    i = next;
  }
  return out;
}

std::string utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    char32_t c = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      c = kReplacement;
    }
    appendUtf8(out, c);
  }
  return out;
}

}  // namespace quorvane
