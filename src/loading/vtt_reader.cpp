#include "loading/vtt_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "loading/character_references.h"

namespace quorvane {
namespace {

// WebVTT's whitespace within a line: space, tab and form feed.
bool isVttSpace(char c) { return c == ' ' || c == '\t' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWithWord(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word && (line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t');
}

// The digits at `at`, moving past them; their value saturates far above any time the program
// keeps, so that a thousand digits neither overflow nor cost more than reading them.
size_t collectDigits(std::string_view text, size_t& at, int64_t& value) {
  const size_t from = at;
  value = 0;
  for (; at < text.size() && isDigit(text[at]); ++at) {
    if (value < 100'000'000) value = value * 10 + (text[at] - '0');
  }
  return at - from;
}

// A timestamp at `at` by the rules for collecting one, moving past it; nothing when it does not
// read. A first field of other than two digits, or over 59, can only be hours.
std::optional<int64_t> collectTimestamp(std::string_view line, size_t& at) {
  const auto next = [&](char c) {
    if (at >= line.size() || line[at] != c) return false;
    ++at;
    return true;
  };
  if (at >= line.size() || !isDigit(line[at])) return std::nullopt;
  int64_t hours = 0, minutes = 0, seconds = 0, ms = 0;
  const size_t firstDigits = collectDigits(line, at, minutes);
  const bool haveHours = firstDigits != 2 || minutes > 59;
  if (!next(':') || collectDigits(line, at, seconds) != 2) return std::nullopt;
  if (haveHours || (at < line.size() && line[at] == ':')) {
    hours = minutes;
    minutes = seconds;
    if (!next(':') || collectDigits(line, at, seconds) != 2) return std::nullopt;
  }
  if (!next('.') || collectDigits(line, at, ms) != 3) return std::nullopt;
  if (minutes > 59 || seconds > 59) return std::nullopt;
  // Times are kept in 32 bits: a later one (past 596 hours) is read as the last time there is.
  const int64_t total = hours * 3'600'000 + minutes * 60'000 + seconds * 1000 + ms;
  return std::min<int64_t>(total, std::numeric_limits<int32_t>::max());
}

// A number by the rules for real numbers, as `line` and percentages are written: digits with at
// most one "." between digits; false for anything else, or a value too large for a float.
bool parseDecimal(std::string_view text, float& value) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() || (dot != std::string_view::npos && fraction.empty())) return false;
  double result = 0, scale = 1;
  for (const char c : whole) {
    if (!isDigit(c)) return false;
    result = result * 10 + (c - '0');
  }
  for (const char c : fraction) {
    if (!isDigit(c)) return false;
    scale /= 10;
    result += (c - '0') * scale;
  }
  if (!(result <= std::numeric_limits<float>::max())) return false;
  value = static_cast<float>(result);
  return true;
}

// "digits[.digits]%" from 0 to 100.
bool parsePercentage(std::string_view text, float& value) {
  if (text.empty() || text.back() != '%') return false;
  float number = 0;
  if (!parseDecimal(text.substr(0, text.size() - 1), number) || number > 100) return false;
  value = number;
  return true;
}

// Splits "a,b" at the first comma; `second` is nothing without one.
std::string_view splitAtComma(std::string_view value, std::optional<std::string_view>& second) {
  const size_t comma = value.find(',');
  if (comma == std::string_view::npos) return value;
  second = value.substr(comma + 1);
  return value.substr(0, comma);
}

void readLineSetting(std::string_view value, VttCueSettings& settings) {
  std::optional<std::string_view> alignText;
  const std::string_view position = splitAtComma(value, alignText);
  if (position.find_first_of("0123456789") == std::string_view::npos) return;
  float number = 0;
  const bool percent = position.back() == '%';
  if (percent) {
    if (!parsePercentage(position, number)) return;
  } else {
    // An optional "-" first: negative line numbers count from the bottom. "-0" is line 0.
    const bool negative = position.front() == '-';
    if (!parseDecimal(position.substr(negative ? 1 : 0), number)) return;
    if (negative && number != 0) number = -number;
  }
  if (alignText) {
    if (*alignText == "start") settings.lineAlign = VttCueSettings::LineAlign::Start;
    else if (*alignText == "center") settings.lineAlign = VttCueSettings::LineAlign::Center;
    else if (*alignText == "end") settings.lineAlign = VttCueSettings::LineAlign::End;
    else return;
  }
  settings.lineAuto = false;
  settings.line = number;
  settings.snapToLines = !percent;
}

void readPositionSetting(std::string_view value, VttCueSettings& settings) {
  std::optional<std::string_view> alignText;
  float number = 0;
  if (!parsePercentage(splitAtComma(value, alignText), number)) return;
  if (alignText) {
    if (*alignText == "line-left") settings.positionAlign = VttCueSettings::PositionAlign::LineLeft;
    else if (*alignText == "center") settings.positionAlign = VttCueSettings::PositionAlign::Center;
    else if (*alignText == "line-right") settings.positionAlign = VttCueSettings::PositionAlign::LineRight;
    else return;
  }
  settings.positionAuto = false;
  settings.position = number;
}

// One "name:value" setting; a setting the rules do not know or whose value they reject changes
// nothing, and the settings after it are still read.
void readSetting(std::string_view setting, VttCueSettings& settings) {
  const size_t colon = setting.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == setting.size()) return;
  const std::string_view name = setting.substr(0, colon), value = setting.substr(colon + 1);
  using Direction = VttCueSettings::Direction;
  using TextAlign = VttCueSettings::TextAlign;
  if (name == "vertical") {
    if (value == "rl") settings.direction = Direction::VerticalGrowingLeft;
    else if (value == "lr") settings.direction = Direction::VerticalGrowingRight;
  } else if (name == "line") {
    readLineSetting(value, settings);
  } else if (name == "position") {
    readPositionSetting(value, settings);
  } else if (name == "size") {
    float number = 0;
    if (parsePercentage(value, number)) settings.size = number;
  } else if (name == "align") {
    if (value == "start") settings.align = TextAlign::Start;
    else if (value == "center") settings.align = TextAlign::Center;
    else if (value == "end") settings.align = TextAlign::End;
    else if (value == "left") settings.align = TextAlign::Left;
    else if (value == "right") settings.align = TextAlign::Right;
  }
}

// "start --> end settings" into the event; false when the line is no timing line by the rules.
// Nothing has to separate the times from the arrow, and whatever follows the end time is read
// as settings.
bool readTimingLine(std::string_view line, SubtitleEvent& event) {
  size_t at = 0;
  const auto skipSpaces = [&] {
    while (at < line.size() && isVttSpace(line[at])) ++at;
  };
  skipSpaces();
  const std::optional<int64_t> start = collectTimestamp(line, at);
  if (!start) return false;
  skipSpaces();
  if (line.substr(at, 3) != "-->") return false;
  at += 3;
  skipSpaces();
  const std::optional<int64_t> end = collectTimestamp(line, at);
  if (!end) return false;
  event.startMs = shiftedEventTime(*start);
  event.endMs = shiftedEventTime(*end);
  while (at < line.size()) {
    skipSpaces();
    const size_t from = at;
    while (at < line.size() && !isVttSpace(line[at])) ++at;
    if (at > from) readSetting(line.substr(from, at - from), event.vtt);
  }
  const VttCueSettings& settings = event.vtt;
  // Where cues are not placed by their settings (beside a second file), a line counted from the
  // top or a position in the upper half goes to the top.
  event.top = !settings.lineAuto && (settings.snapToLines ? settings.line >= 0 : settings.line < 50);
  return true;
}

// Characters from references and NULs in the file's code page, each converted once per file.
class CharacterWriter {
 public:
  CharacterWriter(unsigned codePage, const CodePages& codePages) : codePage_(codePage), codePages_(codePages) {}

  void append(char32_t c, std::string& out) {
    // A line feed or carriage return from a reference breaks the line, as the text's own line
    // ends do; every other ASCII character is the same byte in every code page.
    if (c == '\n' || c == '\r') {
      out += "\r\n";
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      auto found = cache_.find(c);
      if (found == cache_.end()) found = cache_.emplace(c, convert(c)).first;
      out += found->second;
    }
  }

 private:
  std::string convert(char32_t c) const {
    std::u16string units;
    if (c >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
    std::string bytes = codePages_.fromUtf16(codePage_, units);
    if (bytes == std::string(units.size(), '?')) {
      // Where the code page lacks them, a no-break space is still a space and the zero-width
      // marks (joiners, direction marks) are left out: a "?" would put ink where there is none.
      if (c == 0xA0) return " ";
      if (c >= 0x200B && c <= 0x200F) return {};
    }
    return bytes;
  }

  unsigned codePage_;
  const CodePages& codePages_;
  std::unordered_map<char32_t, std::string> cache_;
};

bool isTagNameEnd(char c) { return isVttSpace(c) || c == '.' || c == '\r' || c == '\n'; }

// The cue text's plain and smooth forms by the cue text rules: whatever lies between "<" and the
// next ">" (or the end) is a tag and taken out, "&" starts a character reference. Neither "<",
// "&" nor NUL is ever a GBK or Big5 trail byte, so the scan needs no code page.
void convertText(std::string_view text, SubtitleEvent& event, CharacterWriter& writer) {
  std::string& plain = event.text;
  std::string& tagged = event.tagged;
  plain.reserve(text.size());
  tagged.reserve(text.size());
  const auto appendCharacter = [&](char32_t c) {
    const size_t from = plain.size();
    writer.append(c, plain);
    tagged.append(plain, from, std::string::npos);
  };
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '<') {
      const size_t close = text.find('>', i + 1);
      const size_t tagEnd = close == std::string_view::npos ? text.size() : close;
      std::string_view tag = text.substr(i + 1, tagEnd - i - 1);
      const bool closing = !tag.empty() && tag.front() == '/';
      if (closing) {
        tag.remove_prefix(1);  // an end tag's name runs to the ">"
      } else {
        size_t nameEnd = 0;
        while (nameEnd < tag.size() && !isTagNameEnd(tag[nameEnd])) ++nameEnd;
        tag = tag.substr(0, nameEnd);  // "<i.loud>" is an <i> with a class
      }
      if (tag == "i" || tag == "b" || tag == "u") {
        tagged += closing ? "</" : "<";
        tagged += tag;
        tagged += '>';
      }
      i = close == std::string_view::npos ? text.size() : close + 1;
    } else if (c == '&') {
      DecodedReference reference;
      if (decodeCharacterReference(text.substr(i + 1), reference)) {
        appendCharacter(reference.first);
        if (reference.second != 0) appendCharacter(reference.second);
        i += 1 + reference.length;
      } else {
        appendCharacter('&');
        ++i;
      }
    } else if (c == '\0') {
      appendCharacter(0xFFFD);
      ++i;
    } else {
      plain.push_back(c);
      tagged.push_back(c);
      ++i;
    }
  }
}

}  // namespace

bool looksLikeWebVtt(std::string_view bytes) { return startsWithWord(bytes.substr(0, bytes.find("\r\n")), "WEBVTT"); }

std::optional<int64_t> parseVttTime(std::string_view text) {
  size_t at = 0;
  const std::optional<int64_t> time = collectTimestamp(text, at);
  if (at != text.size()) return std::nullopt;
  return time;
}

SubtitleEvents readVttEvents(std::string_view bytes, unsigned codePage, const CodePages& codePages) {
  SubtitleEvents result;
  result.looks.push_back(TextLook{});
  std::vector<std::string_view> lines;
  forEachLine(bytes, [&](std::string_view line) { lines.push_back(line); });
  const auto hasArrow = [](std::string_view line) { return line.find("-->") != std::string_view::npos; };
  CharacterWriter writer(codePage, codePages);

  // The header follows the signature line up to an empty line, or up to a line holding "-->",
  // which is already the first cue's.
  size_t i = 1;
  while (i < lines.size() && !hasArrow(lines[i])) {
    if (lines[i++].empty()) break;
  }
  std::string text;
  while (i < lines.size()) {
    if (lines[i].empty()) {
      ++i;
      continue;
    }
    // A block. Its first line, or its second when no arrow came first, may be the timing line;
    // any later line with "-->" ends the block and starts the next one.
    SubtitleEvent event;
    bool timed = false, seenArrow = false;
    size_t textBegin = 0, textEnd = 0;  // the lines after the timing line
    for (size_t lineCount = 1; i < lines.size(); ++lineCount) {
      const std::string_view line = lines[i];
      if (hasArrow(line)) {
        if (lineCount > 2 || seenArrow) break;
        seenArrow = true;
        timed = readTimingLine(line, event);
        textBegin = textEnd = ++i;
        continue;
      }
      ++i;
      if (line.empty()) break;
      textEnd = i;
    }
    if (!timed) continue;
    text.clear();
    for (size_t k = textBegin; k < textEnd; ++k) {
      if (k > textBegin) text += "\r\n";
      text.append(lines[k]);
    }
    convertText(text, event, writer);
    finishEventText(event);
    result.events.push_back(std::move(event));
  }
  return result;
}

bool placesCues(const SubtitleEvents& events) {
  return std::any_of(events.events.begin(), events.events.end(),
                     [](const SubtitleEvent& e) { return !(e.vtt == VttCueSettings{}); });
}

}  // namespace quorvane
