#include "platform/code_page_scan.h"

#include <algorithm>

#include "platform/code_pages.h"

namespace quorvane {
namespace {

size_t utf8CharLength(std::string_view bytes, size_t pos) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(pos);
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte (Unicode table 3-7)
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 1;
  }
  size_t n = 1;
  while (n < length && pos + n < bytes.size()) {
    const unsigned char b = at(pos + n);
    const bool ok = n == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
    if (!ok) break;
    ++n;
  }
  return n;
}

bool isDoubleByteTrail(unsigned codePage, unsigned char b) {
  if (codePage == kCodePageBig5) return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
  return b >= 0x40 && b <= 0xFE && b != 0x7F;  // GBK
}

// End of the piece that starts at pos and holds at least wanted bytes, or up to the end.
size_t pieceEnd(unsigned codePage, std::string_view bytes, size_t pos, size_t wanted) {
  size_t end = pos;
  const size_t target = std::min(bytes.size(), pos + wanted);
  while (end < target) end += codePageCharLength(codePage, bytes, end);
  return end;
}

}  // namespace

size_t codePageCharLength(unsigned codePage, std::string_view bytes, size_t pos) {
  if (pos >= bytes.size()) return 0;
  if (codePage == kCodePageUtf8) return utf8CharLength(bytes, pos);
  const auto lead = static_cast<unsigned char>(bytes[pos]);
  if (lead >= 0x81 && lead <= 0xFE && pos + 1 < bytes.size() &&
      isDoubleByteTrail(codePage, static_cast<unsigned char>(bytes[pos + 1]))) {
    return 2;
  }
  return 1;
}

std::u16string decodeReplacingInvalid(unsigned codePage, std::string_view bytes,
                                      const StrictDecoder& decodeStrictly) {
  std::u16string out;
  constexpr size_t kMaxWhole = size_t{1} << 26;
  if (bytes.size() <= kMaxWhole && decodeStrictly(bytes, out)) return out;
  out.clear();

  // The piece grows while pieces decode and halves when one fails, so a few bad characters in
  // a large text cost a few short retries, and pure garbage goes one character at a time.
  constexpr size_t kMaxPiece = 64 * 1024;
  size_t piece = kMaxPiece;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t end = pieceEnd(codePage, bytes, pos, piece);
    const size_t before = out.size();
    if (decodeStrictly(bytes.substr(pos, end - pos), out)) {
      pos = end;
      piece = std::min(piece * 2, kMaxPiece);
      continue;
    }
    out.resize(before);
    if (end - pos <= codePageCharLength(codePage, bytes, pos)) {
      out.push_back(u'\uFFFD');
      pos = end;
    } else {
      piece = std::max<size_t>(1, std::min(piece, end - pos) / 2);
    }
  }
  return out;
}

}  // namespace quorvane
