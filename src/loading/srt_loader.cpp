#include "loading/srt_loader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "common/text_number.h"
#include "loading/subtitle_formats.h"
#include "platform/code_page_scan.h"

namespace quorvane {
namespace {

bool startsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

// Strict UTF-8 (no overlongs, surrogates or truncated tail) with at least one multi-byte
// sequence: such a file is almost never GBK or Big5 text.
bool isMultiByteUtf8(std::string_view bytes) {
  bool multiByte = false;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    const size_t length = codePageCharLength(kCodePageUtf8, bytes, i);
    const size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || length != expected) return false;
    multiByte = true;
    i += length;
  }
  return multiByte;
}

// The Big5 probe: the pair AA BA (a very common Big5 character) at a character boundary,
// never starting at one of the last three bytes.
bool hasBig5Pair(std::string_view bytes) {
  if (bytes.find("\xAA\xBA") == std::string_view::npos) return false;  // the usual GBK file
  const size_t size = bytes.size();
  size_t i = 0;
  while (i + 3 < size) {
    const auto b = static_cast<unsigned char>(bytes[i++]);
    if (b > 0x80) {
      if (b == 0xAA && static_cast<unsigned char>(bytes[i]) == 0xBA) return true;
      ++i;
    }
  }
  return false;
}

std::string utf16ToGbk(std::string_view bytes, bool bigEndian) {
  std::u16string units(bytes.size() / 2, u'\0');  // an odd last byte is ignored
  const size_t high = bigEndian ? 0 : 1;
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i + high]) << 8 |
                                     static_cast<unsigned char>(bytes[2 * i + 1 - high]));
  }
  return systemCodePages().fromUtf16(kCodePageGbk, units);
}

// In slices of about a megabyte, each ending after a LF, which is never part of a multi-byte
// sequence (valid or not): the result is the same as in one piece, and the UTF-16 copy of a
// large file never exists whole.
std::string utf8ToGbk(std::string_view bytes) {
  constexpr size_t kSlice = 1u << 20;
  const CodePages& codePages = systemCodePages();
  std::string gbk;
  gbk.reserve(bytes.size());
  for (size_t from = 0; from < bytes.size();) {
    const size_t lf = from + kSlice < bytes.size() ? bytes.find('\n', from + kSlice) : std::string_view::npos;
    const size_t to = lf == std::string_view::npos ? bytes.size() : lf + 1;
    gbk += codePages.fromUtf16(kCodePageGbk, codePages.toUtf16(kCodePageUtf8, bytes.substr(from, to - from)));
    from = to;
  }
  return gbk;
}

std::string toCrLfLineEnds(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 32);
  size_t nextCr = bytes.find('\r'), nextLf = bytes.find('\n');
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (nextCr < i) nextCr = bytes.find('\r', i);
    if (nextLf < i) nextLf = bytes.find('\n', i);
    const size_t plain = std::min({nextCr, nextLf, bytes.size()});
    out.append(bytes.substr(i, plain - i));
    if (plain == bytes.size()) break;
    i = plain;
    // CR LF, CR CR LF (from some converters), a lone LF and a lone CR are one line end each.
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      ++i;
    } else if (bytes[i] == '\r' && i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') {
      i += 2;
    }
    out += "\r\n";
  }
  return out;
}

// The converted text, or nothing when the bytes are already in the display code page.
// `codePage` tells which code page the result is in (0: the system's own ANSI code page).
std::optional<std::string> toDisplayCodePage(std::string_view bytes, UiLanguage uiLanguage,
                                             const TextCodec& codec, unsigned& codePage) {
  codePage = kCodePageGbk;
  if (startsWith(bytes, "\xFF\xFE")) return utf16ToGbk(bytes.substr(2), false);
  if (startsWith(bytes, "\xFE\xFF")) return utf16ToGbk(bytes.substr(2), true);
  if (startsWith(bytes, "\xEF\xBB\xBF")) return utf8ToGbk(bytes.substr(3));
  if (isMultiByteUtf8(bytes)) return utf8ToGbk(bytes);
  switch (uiLanguage) {
    case UiLanguage::SimplifiedChinese:
      if (hasBig5Pair(bytes)) return codec.big5ToSimplifiedGbk(bytes);
      break;
    case UiLanguage::TraditionalChinese:
      codePage = kCodePageBig5;
      if (!hasBig5Pair(bytes)) return codec.gbkToTraditionalBig5(bytes);
      break;
    case UiLanguage::English:
      codePage = 0;  // left as the file has it
      break;
  }
  return std::nullopt;
}

constexpr std::string_view kArrow = "-->";
// A time field is at most this long where it counts (its end before the arrow, its start after
// it): a line of thousands of arrows must not make the parse quadratic.
constexpr size_t kMaxTimeField = 96;
// Bounds for garbage input: a line holding many arrows repeats the next line as every one of
// their texts, and a file of arrows alone would need gigabytes of cues.
constexpr size_t kMaxCues = 2'000'000;

// textToInt for a piece without double-byte characters, where there is nothing to fold; the
// common case, and allocation-free.
int32_t pieceToInt(std::string_view piece) {
  for (char c : piece) {
    if (static_cast<unsigned char>(c) >= 0x80) return textToInt(piece);
  }
  size_t i = 0;
  while (i < piece.size() && (piece[i] == ' ' || (piece[i] >= '\t' && piece[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  uint32_t value = 0;
  for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) value = value * 10u + (piece[i] - '0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

int32_t shifted(int32_t ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(ms) - static_cast<uint32_t>(kStoredLeadMs));
}

// Positions of every CR LF, so that the backward searches of the parse do not rescan the file.
class LineEnds {
 public:
  explicit LineEnds(std::string_view bytes) {
    for (size_t i = bytes.find("\r\n"); i != std::string_view::npos; i = bytes.find("\r\n", i + 2)) {
      ends_.push_back(static_cast<uint32_t>(i));
    }
  }

  // Each call site of the parse asks about positions that only grow, so a cursor per call site
  // makes the walk linear; a position behind the cursor starts it over with a binary search.
  class Cursor {
   public:
    explicit Cursor(const LineEnds& lineEnds) : ends_(lineEnds.ends_) {}

    // 0-based start of the first CR LF at or after from, or npos.
    size_t forward(size_t from) {
      seek(from);
      return next_ == ends_.size() ? std::string_view::npos : ends_[next_];
    }

    // 0-based start of the last CR LF lying wholly before position upTo (exclusive), or npos.
    size_t backward(size_t upTo) {
      if (upTo < 2) return std::string_view::npos;
      seek(upTo - 1);
      return next_ == 0 ? std::string_view::npos : ends_[next_ - 1];
    }

   private:
    // Moves next_ to the first line end at or after position.
    void seek(size_t position) {
      if (position < last_) next_ = std::lower_bound(ends_.begin(), ends_.end(), position) - ends_.begin();
      while (next_ < ends_.size() && ends_[next_] < position) ++next_;
      last_ = position;
    }

    const std::vector<uint32_t>& ends_;
    size_t next_ = 0;
    size_t last_ = 0;
  };

 private:
  std::vector<uint32_t> ends_;
};

}  // namespace

std::string readSubtitleFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  std::string bytes;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size > 0 && static_cast<unsigned long>(size) <= kMaxSubtitleFileBytes) bytes.reserve(static_cast<size_t>(size));
    std::rewind(file);
  }
  char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (bytes.size() + got > kMaxSubtitleFileBytes) {
      bytes.clear();
      break;
    }
    bytes.append(buffer, got);
  }
  if (std::ferror(file)) bytes.clear();
  std::fclose(file);
  return bytes;
}

std::string normaliseSubtitleBytes(std::string_view bytes, UiLanguage uiLanguage, const TextCodec& codec,
                                   unsigned* codePage) {
  unsigned resultCodePage = 0;
  const std::optional<std::string> converted = toDisplayCodePage(bytes, uiLanguage, codec, resultCodePage);
  if (codePage) *codePage = resultCodePage;
  return toCrLfLineEnds(converted ? std::string_view(*converted) : bytes);
}

namespace {

int32_t combineTimePieces(const int32_t (&piece)[4]) {
  const double ms = piece[0] * 3600000.0 + piece[1] * 60000.0 + piece[2] * 1000.0 + piece[3];
  // Truncated toward zero, low 32 bits kept.
  const double wrapped = std::fmod(std::trunc(ms), 4294967296.0);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(wrapped)));
}

// The usual field, digits with two colons and then one comma (spaces anywhere), read without
// building a copy: the same value as the general rules below, which handle everything else.
bool parsePlainSrtTime(std::string_view text, int32_t (&piece)[4]) {
  int index = 0;
  int digits = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      if (++digits > 9) return false;  // long enough to need the general wrap-around
      piece[index] = piece[index] * 10 + (c - '0');
    } else if ((c == ':' && index < 2) || (c == ',' && index == 2)) {
      ++index;
      digits = 0;
    } else if (c != ' ') {
      return false;
    }
  }
  return index == 3;
}

}  // namespace

int32_t parseSrtTime(std::string_view text) {
  int32_t plain[4] = {0, 0, 0, 0};
  if (parsePlainSrtTime(text, plain)) return combineTimePieces(plain);

  std::string t;
  t.reserve(text.size() + 5);
  for (char c : text) {
    if (c != ' ') t.push_back(c);
  }
  const size_t comma = t.rfind(',');
  if (comma == std::string::npos) {
    t += ":0";
  } else {
    t[comma] = ':';
  }
  const auto colons = std::count(t.begin(), t.end(), ':');
  if (colons < 3) t.insert(0, static_cast<size_t>(3 - colons), ':');

  // The first four colon-separated pieces; missing ones read as 0.
  int32_t piece[4] = {0, 0, 0, 0};
  size_t from = 0;
  for (int i = 0; i < 4 && from <= t.size(); ++i) {
    const size_t colon = t.find(':', from);
    const size_t to = colon == std::string::npos ? t.size() : colon;
    piece[i] = pieceToInt(std::string_view(t).substr(from, to - from));
    from = to + 1;
  }
  return combineTimePieces(piece);
}

namespace {

std::string_view trimmed(std::string_view text) {
  for (;;) {
    if (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
      text.remove_prefix(1);
    } else if (startsWith(text, "\r\n")) {
      text.remove_prefix(2);
    } else {
      break;
    }
  }
  for (;;) {
    if (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
      text.remove_suffix(1);
    } else if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") {
      text.remove_suffix(2);
    } else {
      break;
    }
  }
  return text;
}

}  // namespace

std::string trimCueText(std::string_view text) { return std::string(trimmed(text)); }

// A cue is cut out around each arrow: its time line runs from the CR LF before the arrow to the
// CR LF after it; its text runs from the next line to the line end before the next cue's number
// line, or is just the next line when that range is empty.
CueTable parseCueTable(std::string_view b) {
  constexpr size_t npos = std::string_view::npos;
  const LineEnds lineEnds(b);
  LineEnds::Cursor timeLineStart(lineEnds), timeLineEnd(lineEnds), nextNumberLine(lineEnds),
      lineBeforeNumber(lineEnds), lineAfterTime(lineEnds);
  const size_t size = b.size();
  CueTable table;
  size_t textBudget = size + (1u << 20);

  size_t arrows = 0;
  for (size_t i = b.find(kArrow); i != npos && arrows < kMaxCues; i = b.find(kArrow, i + kArrow.size())) ++arrows;
  table.cues.reserve(arrows + 2);

  size_t p = b.find(kArrow);
  while (p != npos && table.cues.size() < kMaxCues) {
    const size_t before = timeLineStart.backward(p);
    const size_t lineStart = before == npos ? 0 : before + 2;
    const size_t lineEnd = std::min(timeLineEnd.forward(p), size);

    Cue cue;
    const size_t startFrom = std::max(lineStart, p >= kMaxTimeField ? p - kMaxTimeField : 0);
    cue.startMs = shifted(parseSrtTime(b.substr(startFrom, p - startFrom)));
    const size_t endFrom = p + kArrow.size();
    cue.endMs = shifted(parseSrtTime(b.substr(endFrom, std::min(lineEnd - endFrom, kMaxTimeField))));

    // Where the text ends (exclusive): the line end before the next cue's number line; npos
    // when there is none, and then the text is just the line after the time line.
    const size_t next = b.find(kArrow, p + kArrow.size());
    size_t textEnd;
    if (next == npos) {
      textEnd = size;
    } else {
      const size_t inner = nextNumberLine.backward(next);
      textEnd = inner == npos ? npos : lineBeforeNumber.backward(inner + 1);
    }
    const size_t textStart = lineEnd + 2;
    std::string_view text;
    if (textEnd != npos && textEnd >= textStart + 1) {
      text = b.substr(textStart, textEnd - textStart);
    } else if (textStart <= size) {
      const size_t lineAfter = lineAfterTime.forward(textStart);
      if (lineAfter != npos) text = b.substr(textStart, lineAfter - textStart);
    }
    text = trimmed(text);
    if (text.size() <= textBudget) {
      cue.text = text;
      textBudget -= text.size();
    }
    table.cues.push_back(std::move(cue));
    p = next;
  }
  // Stable: cues with the same start keep the file's order.
  std::stable_sort(table.cues.begin(), table.cues.end(),
                   [](const Cue& a, const Cue& c) { return a.startMs < c.startMs; });
  return CueTable::fromSorted(std::move(table.cues));
}

CueTable loadCueTable(const std::string& path, UiLanguage uiLanguage, const TextCodec& codec) {
  return loadSubtitles(path, uiLanguage, codec);
}

}  // namespace quorvane
