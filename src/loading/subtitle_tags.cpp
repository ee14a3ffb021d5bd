#include "loading/subtitle_tags.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/lead_bytes.h"

namespace quorvane {

bool TextStyle::operator==(const TextStyle& other) const {
  return italic == other.italic && bold == other.bold && underline == other.underline &&
         strike == other.strike && hasColour == other.hasColour &&
         (!hasColour || colour == other.colour) && face == other.face && size == other.size;
}

namespace {

// A tag or block longer than this is taken as text: real ones are a few dozen bytes, and the
// bound keeps the scan linear in a line of brackets.
constexpr size_t kMaxTagLength = 512;
// Nesting deeper than this still takes the tags out but keeps the style of the deepest level
// kept, so that tag soup costs bounded memory.
constexpr size_t kMaxFontDepth = 64;

struct NamedColour {
  std::string_view name;
  uint32_t rgb;
};
constexpr std::array<NamedColour, 16> kNamedColours{{
    {"white", 0xFFFFFF}, {"black", 0x000000}, {"red", 0xFF0000},    {"lime", 0x00FF00},
    {"green", 0x008000}, {"blue", 0x0000FF},  {"yellow", 0xFFFF00}, {"cyan", 0x00FFFF},
    {"aqua", 0x00FFFF},  {"magenta", 0xFF00FF}, {"fuchsia", 0xFF00FF}, {"silver", 0xC0C0C0},
    {"gray", 0x808080},  {"grey", 0x808080},  {"orange", 0xFFA500}, {"purple", 0x800080},
}};

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "#RRGGBB", "RRGGBB", "#RGB" or a common colour name; false when it is none of these.
bool parseColour(std::string_view value, uint32_t& rgb) {
  for (const NamedColour& named : kNamedColours) {
    if (equalsNoCase(value, named.name)) {
      rgb = named.rgb;
      return true;
    }
  }
  if (!value.empty() && value.front() == '#') value.remove_prefix(1);
  if (value.size() != 6 && value.size() != 3) return false;
  uint32_t result = 0;
  for (const char c : value) {
    const int digit = hexValue(c);
    if (digit < 0) return false;
    result = result << 4 | static_cast<uint32_t>(digit);
    if (value.size() == 3) result = result << 4 | static_cast<uint32_t>(digit);
  }
  rgb = result;
  return true;
}

// Where the bracket opened at `open` closes: the first `close` byte, stepping over double-byte
// characters; npos when the line, the text, the bound or another `open` comes first.
size_t findClose(std::string_view text, size_t open, char openByte, char closeByte,
                 unsigned codePage) {
  const size_t limit = std::min(text.size(), open + kMaxTagLength);
  size_t k = open + 1;
  while (k < limit) {
    const char c = text[k];
    if (c == closeByte) return k;
    if (c == openByte || c == '\r' || c == '\n') return std::string_view::npos;
    k += isLeadByteIn(codePage, static_cast<unsigned char>(c)) && k + 1 < text.size() ? 2 : 1;
  }
  return std::string_view::npos;
}

class Parser {
 public:
  explicit Parser(unsigned codePage) : codePage_(codePage) {}

  FormattedCue run(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
      const char c = text[i];
      if (c == '<') {
        const size_t close = findClose(text, i, '<', '>', codePage_);
        if (close != std::string_view::npos && takeAngleTag(text.substr(i + 1, close - i - 1))) {
          styleChanged_ = true;
          i = close + 1;
          continue;
        }
      } else if (c == '{' && i + 1 < text.size() && text[i + 1] == '\\') {
        const size_t close = findClose(text, i, '{', '}', codePage_);
        if (close != std::string_view::npos) {
          takeOverrideBlock(text.substr(i + 1, close - i - 1));
          styleChanged_ = true;
          i = close + 1;
          continue;
        }
      }
      const size_t length =
          isLeadByteIn(codePage_, static_cast<unsigned char>(c)) && i + 1 < text.size() ? 2 : 1;
      emit(text.substr(i, length));
      i += length;
    }
    return std::move(cue_);
  }

 private:
  // The inside of <...>; false when it is not one of the tags taken out.
  bool takeAngleTag(std::string_view inside) {
    const bool closing = !inside.empty() && inside.front() == '/';
    if (closing) inside.remove_prefix(1);
    size_t nameEnd = 0;
    while (nameEnd < inside.size() && std::isalpha(static_cast<unsigned char>(inside[nameEnd]))) ++nameEnd;
    const std::string_view name = inside.substr(0, nameEnd);
    std::string_view rest = inside.substr(nameEnd);
    const bool restBlank = rest.find_first_not_of(" \t") == std::string_view::npos;
    if (name.size() == 1 && restBlank) {
      int* counter = nullptr;
      switch (lower(name[0])) {
        case 'i': counter = &italic_; break;
        case 'b': counter = &bold_; break;
        case 'u': counter = &underline_; break;
        case 's': counter = &strike_; break;
        default: return false;
      }
      // Clamped both ways: a stray closing tag does not cancel a later opening one.
      if (closing) {
        if (*counter > 0) --*counter;
      } else if (*counter < 1 << 30) {
        ++*counter;
      }
      return true;
    }
    if (!equalsNoCase(name, "font") || (!rest.empty() && !isSpace(rest.front()))) return false;
    if (closing) {
      if (!restBlank) return false;
      if (fontDepth_ > 0) {
        if (fontDepth_ <= fonts_.size()) fonts_.pop_back();
        --fontDepth_;
      }
      return true;
    }
    TextStyle font = fonts_.empty() ? TextStyle{} : fonts_.back();
    takeFontAttributes(rest, font);
    if (fontDepth_ < kMaxFontDepth) fonts_.push_back(std::move(font));
    ++fontDepth_;
    return true;
  }

  // name=value pairs, values bare or in quotes; unknown names and bad values change nothing.
  void takeFontAttributes(std::string_view rest, TextStyle& font) const {
    size_t k = 0;
    while (k < rest.size()) {
      while (k < rest.size() && isSpace(rest[k])) ++k;
      const size_t nameBegin = k;
      while (k < rest.size() && rest[k] != '=' && !isSpace(rest[k])) ++k;
      const std::string_view name = rest.substr(nameBegin, k - nameBegin);
      while (k < rest.size() && isSpace(rest[k])) ++k;
      if (k >= rest.size() || rest[k] != '=') continue;
      ++k;
      while (k < rest.size() && isSpace(rest[k])) ++k;
      std::string_view value;
      if (k < rest.size() && (rest[k] == '"' || rest[k] == '\'')) {
        const char quote = rest[k++];
        const size_t end = rest.find(quote, k);
        const size_t stop = end == std::string_view::npos ? rest.size() : end;
        value = rest.substr(k, stop - k);
        k = stop == rest.size() ? stop : stop + 1;
      } else {
        const size_t begin = k;
        while (k < rest.size() && !isSpace(rest[k])) {
          k += isLeadByteIn(codePage_, static_cast<unsigned char>(rest[k])) ? 2 : 1;
        }
        k = std::min(k, rest.size());
        value = rest.substr(begin, k - begin);
      }
      if (equalsNoCase(name, "color")) {
        uint32_t rgb = 0;
        if (parseColour(value, rgb)) {
          font.hasColour = true;
          font.colour = rgb;
        }
      } else if (equalsNoCase(name, "face")) {
        if (!value.empty()) font.face = std::string(value);
      } else if (equalsNoCase(name, "size")) {
        int32_t size = 0;
        size_t d = 0;
        while (d < value.size() && d < 4 && std::isdigit(static_cast<unsigned char>(value[d]))) {
          size = size * 10 + (value[d] - '0');
          ++d;
        }
        if (d == value.size() && size > 0) font.size = size;
      }
    }
  }

  // The inside of {\...}: \anN places the cue, \i \b \u \s with 0 or 1 switch a style; the
  // rest (positions, colours of other renderers) is dropped unread.
  void takeOverrideBlock(std::string_view inside) {
    for (size_t k = 0; k < inside.size(); ++k) {
      if (isLeadByteIn(codePage_, static_cast<unsigned char>(inside[k]))) {
        ++k;
        continue;
      }
      if (inside[k] != '\\') continue;
      const std::string_view code = inside.substr(k + 1);
      const auto digitAt = [&](size_t at) {
        return at < code.size() && std::isdigit(static_cast<unsigned char>(code[at]));
      };
      if (code.size() >= 3 && lower(code[0]) == 'a' && lower(code[1]) == 'n' && digitAt(2) &&
          code[2] != '0' && !digitAt(3)) {
        cue_.alignment = code[2] - '0';
        continue;
      }
      if (code.empty() || !digitAt(1)) continue;
      bool* flag = nullptr;
      switch (lower(code[0])) {
        case 'i': flag = &overrideItalic_; break;
        case 'b': flag = &overrideBold_; break;
        case 'u': flag = &overrideUnderline_; break;
        case 's': flag = &overrideStrike_; break;
        default: continue;
      }
      *flag = code[1] != '0';
    }
  }

  TextStyle currentStyle() const {
    TextStyle style = fonts_.empty() ? TextStyle{} : fonts_.back();
    style.italic = italic_ > 0 || overrideItalic_;
    style.bold = bold_ > 0 || overrideBold_;
    style.underline = underline_ > 0 || overrideUnderline_;
    style.strike = strike_ > 0 || overrideStrike_;
    return style;
  }

  void emit(std::string_view bytes) {
    const size_t at = cue_.visible.size();
    cue_.visible.append(bytes);
    if (styleChanged_) {
      style_ = currentStyle();
      styleChanged_ = false;
    }
    if (!cue_.runs.empty() && cue_.runs.back().end == at && cue_.runs.back().style == style_) {
      cue_.runs.back().end = cue_.visible.size();
    } else {
      cue_.runs.push_back({at, cue_.visible.size(), style_});
    }
  }

  unsigned codePage_;
  FormattedCue cue_;
  int italic_ = 0, bold_ = 0, underline_ = 0, strike_ = 0;
  bool overrideItalic_ = false, overrideBold_ = false, overrideUnderline_ = false,
       overrideStrike_ = false;
  std::vector<TextStyle> fonts_;  // the open <font> tags' styles, up to kMaxFontDepth
  size_t fontDepth_ = 0;          // how many <font> tags are open, kept ones or not
  TextStyle style_;               // currentStyle(), worked out again after a tag
  bool styleChanged_ = true;
};

}  // namespace

FormattedCue parseSubtitleTags(std::string_view text, unsigned codePage) {
  return Parser(codePage).run(text);
}

std::string visibleSubtitleText(std::string_view text, unsigned codePage) {
  return parseSubtitleTags(text, codePage).visible;
}

}  // namespace quorvane
