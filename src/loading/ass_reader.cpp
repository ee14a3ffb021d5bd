#include "loading/ass_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "common/lead_bytes.h"

namespace quorvane {
namespace {

// ASCII only: section and field names are ASCII, and a GBK byte must never change.
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view trimmedSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Decimal digits at the front, at most 9 of them counted (larger values are garbage anyway).
bool readDigits(std::string_view& text, int64_t& value) {
  size_t n = 0;
  value = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9') {
    if (n < 9) value = value * 10 + (text[n] - '0');
    ++n;
  }
  text.remove_prefix(n);
  return n > 0;
}

int64_t leadingInt(std::string_view text) {
  text = trimmedSpaces(text);
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  int64_t value = 0;
  readDigits(text, value);
  return negative ? -value : value;
}

// "&HAABBGGRR", "&HBBGGRR" (ASS) or a decimal BGR number (SSA) as written: 0xAABBGGRR.
uint32_t parseAssColourAsWritten(std::string_view text) {
  text = trimmedSpaces(text);
  uint32_t bgr = 0;
  if (startsWithNoCase(text, "&h") || startsWithNoCase(text, "0x")) {
    for (char c : text.substr(2)) {
      const char l = lower(c);
      const int digit = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
      if (digit < 0) break;
      bgr = bgr << 4 | static_cast<uint32_t>(digit);
    }
  } else {
    bgr = static_cast<uint32_t>(leadingInt(text));
  }
  return bgr;
}

// The same as 0xRRGGBB; alpha is dropped.
uint32_t parseAssColour(std::string_view text) {
  const uint32_t bgr = parseAssColourAsWritten(text);
  return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
}

// SSA's alignment (1-3 bottom, +4 top, +8 middle) as the numeric-keypad one of ASS.
int keypadFromSsa(int64_t ssa) {
  const int column = static_cast<int>((ssa - 1) % 4) + 1;
  if (ssa >= 9) return column + 3;
  if (ssa >= 5) return column + 6;
  return column;
}

enum class Section { Other, ScriptInfo, Styles, Events };

// The standard field orders, used when a section has no Format: line.
constexpr std::array<std::string_view, 23> kV4PlusStyle{
    "name",    "fontname",  "fontsize", "primarycolour", "secondarycolour", "outlinecolour",
    "backcolour", "bold",   "italic",   "underline",     "strikeout",       "scalex",
    "scaley",  "spacing",   "angle",    "borderstyle",   "outline",         "shadow",
    "alignment", "marginl", "marginr",  "marginv",       "encoding"};
constexpr std::array<std::string_view, 18> kV4Style{
    "name",   "fontname", "fontsize",  "primarycolour", "secondarycolour", "tertiarycolour",
    "backcolour", "bold", "italic",    "borderstyle",   "outline",         "shadow",
    "alignment", "marginl", "marginr", "marginv",       "alphalevel",      "encoding"};
constexpr std::array<std::string_view, 10> kV4PlusEvent{
    "layer", "start", "end", "style", "name", "marginl", "marginr", "marginv", "effect", "text"};
constexpr std::array<std::string_view, 10> kV4Event{
    "marked", "start", "end", "style", "name", "marginl", "marginr", "marginv", "effect", "text"};

// The field order of one section: where each field we use stands, -1 when absent.
struct FieldOrder {
  std::vector<std::string> names;

  void set(std::string_view formatValue) {
    names.clear();
    size_t from = 0;
    for (;;) {
      const size_t comma = formatValue.find(',', from);
      std::string name(trimmedSpaces(formatValue.substr(from, comma - from)));
      for (char& c : name) c = lower(c);
      names.push_back(std::move(name));
      if (comma == std::string_view::npos) break;
      from = comma + 1;
    }
  }
  template <size_t N>
  void setStandard(const std::array<std::string_view, N>& standard) {
    names.assign(standard.begin(), standard.end());
  }
  int indexOf(std::string_view name) const {
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return static_cast<int>(i);
    }
    return -1;
  }
};

// A line's values split at commas into exactly the format's count; the last (Text) keeps its
// commas. False when the line has fewer fields.
bool splitFields(std::string_view value, size_t count, std::vector<std::string_view>& fields) {
  fields.clear();
  if (count == 0) return false;
  size_t from = 0;
  for (size_t i = 0; i + 1 < count; ++i) {
    const size_t comma = value.find(',', from);
    if (comma == std::string_view::npos) return false;
    fields.push_back(value.substr(from, comma - from));
    from = comma + 1;
  }
  fields.push_back(value.substr(from));
  return true;
}

struct Style {
  TextLook look;
  int64_t size = 0;
  int alignment = 2;  // numeric keypad
};

// Reads the codes of one override block that matter here: drawing mode (\p) and position
// (\an, SSA's \a).
void readOverrides(std::string_view block, bool& drawing, int& alignment) {
  for (size_t i = block.find('\\'); i != std::string_view::npos; i = block.find('\\', i + 1)) {
    std::string_view code = block.substr(i + 1);
    int64_t value = 0;
    if (code.size() >= 2 && code[0] == 'p' && code[1] >= '0' && code[1] <= '9') {
      code.remove_prefix(1);
      readDigits(code, value);
      drawing = value > 0;
    } else if (code.size() >= 3 && code[0] == 'a' && code[1] == 'n' && code[2] >= '1' && code[2] <= '9') {
      alignment = code[2] - '0';
    } else if (code.size() >= 2 && code[0] == 'a' && code[1] >= '1' && code[1] <= '9') {
      code.remove_prefix(1);
      readDigits(code, value);
      if (value >= 1 && value <= 11) alignment = keypadFromSsa(value);
    }
  }
}

// An event's Text field, stepping over the double-byte characters whose lead bytes `lead` marks
// (an override block closes at the first '}' after its '{'): plain text (escapes applied, override blocks and drawings out) and
// the text for smooth drawing (override blocks kept, drawings out).
void convertText(std::string_view text, const bool (&lead)[256], SubtitleEvent& event, int& alignment) {
  std::string& plain = event.text;
  std::string& tagged = event.tagged;
  plain.reserve(text.size());
  tagged.reserve(text.size());
  bool drawing = false;
  const auto emit = [&](std::string_view part) {
    if (drawing) return;
    plain.append(part);
    tagged.append(part);
  };
  size_t i = 0;
  while (i < text.size()) {
    // The plain stretch up to the next brace or backslash, double-byte characters whole.
    size_t j = i;
    while (j < text.size() && text[j] != '{' && text[j] != '\\') j += lead[static_cast<unsigned char>(text[j])] ? 2 : 1;
    j = std::min(j, text.size());
    emit(text.substr(i, j - i));
    i = j;
    if (i == text.size()) break;
    if (text[i] == '{') {
      size_t close = std::string_view::npos;
      for (size_t k = i + 1; k < text.size(); k += lead[static_cast<unsigned char>(text[k])] ? 2 : 1) {
        if (text[k] == '}') {
          close = k;
          break;
        }
      }
      if (close == std::string_view::npos) {  // an unclosed brace is text
        emit(text.substr(i, 1));
        ++i;
        continue;
      }
      const bool wasDrawing = drawing;
      const std::string_view block = text.substr(i + 1, close - i - 1);
      readOverrides(block, drawing, alignment);
      // Override codes go to the tag parser; a block that switches drawing on or off is about
      // the drawing alone, and one without codes ("{=7}") is a comment.
      if (drawing == wasDrawing && !drawing && !block.empty() && block.front() == '\\') {
        tagged.append(text.substr(i, close + 1 - i));
      }
      i = close + 1;
    } else if (i + 1 < text.size() && (text[i + 1] == 'N' || text[i + 1] == 'n' || text[i + 1] == 'h')) {
      emit(text[i + 1] == 'h' ? " " : "\r\n");
      i += 2;
    } else {
      emit(text.substr(i, 1));
      ++i;
    }
  }
}

// The main style, whose size is the user's font size: "Default" when events use it, else the
// style most events use (the earlier one on a tie).
size_t mainStyle(const std::vector<Style>& styles, const std::vector<std::string>& names,
                 const std::vector<uint32_t>& uses) {
  size_t best = 0;
  for (size_t i = 0; i < styles.size(); ++i) {
    if (uses[i] > 0 && equalsNoCase(names[i], "Default")) return i;
    if (uses[i] > uses[best]) best = i;
  }
  return best;
}

}  // namespace

bool looksLikeAss(std::string_view bytes) {
  bool first = true;
  for (size_t from = 0; from < bytes.size();) {
    size_t end = bytes.find("\r\n", from);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = trimmedSpaces(bytes.substr(from, end - from));
    from = end + 2;
    if (line.empty()) continue;
    // An SRT file settles it on its first line; a script starts with a section header.
    if (first && line.front() != '[') return false;
    first = false;
    if (equalsNoCase(line, "[Script Info]") || equalsNoCase(line, "[Events]")) return true;
  }
  return false;
}

std::optional<int64_t> parseAssTime(std::string_view text) {
  text = trimmedSpaces(text);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  int64_t h = 0, m = 0, s = 0, cs = 0;
  if (!readDigits(text, h) || text.empty() || text.front() != ':') return std::nullopt;
  text.remove_prefix(1);
  if (!readDigits(text, m) || text.empty() || text.front() != ':') return std::nullopt;
  text.remove_prefix(1);
  if (!readDigits(text, s)) return std::nullopt;
  if (!text.empty() && text.front() == '.') {
    text.remove_prefix(1);
    readDigits(text, cs);
  }
  if (!text.empty()) return std::nullopt;
  const int64_t ms = h * 3600000 + m * 60000 + s * 1000 + cs * 10;
  return negative ? -ms : ms;
}

namespace {

// A style line's fields by name; empty for a field the section's format lacks.
struct FieldLookup {
  const FieldOrder& order;
  const std::vector<std::string_view>& fields;
  std::string_view operator()(std::string_view name) const {
    const int at = order.indexOf(name);
    return at < 0 ? std::string_view() : trimmedSpaces(fields[static_cast<size_t>(at)]);
  }
};

// Walks a script's sections: `info(key, value)` for each [Script Info] line, `style(field, v4)`
// for each Style: line, `dialogue(fields, order, v4)` for each Dialogue: line whose field count
// matches its format and whose Text is last. Format: lines, or the standard orders of the
// script's version, give the fields.
template <typename InfoFn, typename StyleFn, typename DialogueFn>
void walkScript(std::string_view bytes, InfoFn&& info, StyleFn&& style, DialogueFn&& dialogue) {
  Section section = Section::Other;
  bool v4 = false;  // SSA: its field orders and alignment numbers
  FieldOrder styleOrder, eventOrder;
  bool styleFormatSeen = false, eventFormatSeen = false;
  std::vector<std::string_view> fields;
  forEachLine(bytes, [&](std::string_view line) {
    line = trimmedSpaces(line);
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
      if (equalsNoCase(line, "[Script Info]")) {
        section = Section::ScriptInfo;
      } else if (equalsNoCase(line, "[V4+ Styles]") || equalsNoCase(line, "[V4 Styles]")) {
        section = Section::Styles;
        v4 = equalsNoCase(line, "[V4 Styles]");  // the section's name settles the version
      } else if (equalsNoCase(line, "[Events]")) {
        section = Section::Events;
      } else {
        section = Section::Other;
      }
      return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view key = trimmedSpaces(line.substr(0, colon));
    const std::string_view value = trimmedSpaces(line.substr(colon + 1));
    switch (section) {
      case Section::ScriptInfo:
        if (equalsNoCase(key, "ScriptType")) v4 = equalsNoCase(value, "v4.00");
        info(key, value);
        break;
      case Section::Styles:
        if (equalsNoCase(key, "Format")) {
          styleOrder.set(value);
          styleFormatSeen = true;
        } else if (equalsNoCase(key, "Style")) {
          if (!styleFormatSeen) {
            if (v4) styleOrder.setStandard(kV4Style);
            else styleOrder.setStandard(kV4PlusStyle);
          }
          if (splitFields(value, styleOrder.names.size(), fields)) style(FieldLookup{styleOrder, fields}, v4);
        }
        break;
      case Section::Events:
        if (equalsNoCase(key, "Format")) {
          eventOrder.set(value);
          eventFormatSeen = true;
        } else if (equalsNoCase(key, "Dialogue")) {
          if (!eventFormatSeen) {
            if (v4) eventOrder.setStandard(kV4Event);
            else eventOrder.setStandard(kV4PlusEvent);
          }
          // Text is the last field whatever the order says, so that it keeps its commas.
          const int textAt = eventOrder.indexOf("text");
          if (textAt != static_cast<int>(eventOrder.names.size()) - 1) break;
          if (splitFields(value, eventOrder.names.size(), fields)) dialogue(fields, eventOrder, v4);
        }
        break;
      case Section::Other:
        break;
    }
  });
}

int alignmentOf(std::string_view written, bool v4) {
  const int64_t alignment = leadingInt(written);
  return v4 ? keypadFromSsa(std::clamp<int64_t>(alignment, 1, 11)) : static_cast<int>(std::clamp<int64_t>(alignment, 1, 9));
}

// A style name as events give it: "*Default" means Default.
std::string_view styleNameOf(std::string_view field) {
  std::string_view name = trimmedSpaces(field);
  while (!name.empty() && name.front() == '*') name.remove_prefix(1);
  return name;
}

}  // namespace

SubtitleEvents readAssEvents(std::string_view bytes, unsigned codePage) {
  SubtitleEvents result;
  std::vector<Style> styles;
  std::vector<std::string> styleNames;
  std::unordered_map<std::string, size_t> styleIndex;
  std::vector<size_t> eventStyle;        // per event, index into styles, or npos
  std::vector<int> eventAlignment;       // per event, 0 when its style decides
  constexpr size_t kNoStyle = static_cast<size_t>(-1);
  bool lead[256];
  for (int b = 0; b < 256; ++b) lead[b] = isLeadByteIn(codePage, static_cast<unsigned char>(b));

  walkScript(
      bytes, [](std::string_view, std::string_view) {},
      [&](const FieldLookup& field, bool v4) {
        Style style;
        style.look.face = std::string(field("fontname"));
        style.size = leadingInt(field("fontsize"));
        if (!field("primarycolour").empty()) style.look.colour = parseAssColour(field("primarycolour"));
        const std::string_view outline = field.order.indexOf("outlinecolour") >= 0 ? field("outlinecolour")
                                                                                   : field("tertiarycolour");
        if (!outline.empty()) style.look.outline = parseAssColour(outline);
        style.look.bold = leadingInt(field("bold")) != 0;
        style.look.italic = leadingInt(field("italic")) != 0;
        if (!field("alignment").empty()) style.alignment = alignmentOf(field("alignment"), v4);
        std::string name(field("name"));
        if (styleIndex.emplace(name, styles.size()).second) {
          styles.push_back(std::move(style));
          styleNames.push_back(std::move(name));
        }
      },
      [&](const std::vector<std::string_view>& fields, const FieldOrder& order, bool) {
        const int startAt = order.indexOf("start"), endAt = order.indexOf("end");
        if (startAt < 0 || endAt < 0) return;
        const std::optional<int64_t> start = parseAssTime(fields[static_cast<size_t>(startAt)]);
        const std::optional<int64_t> end = parseAssTime(fields[static_cast<size_t>(endAt)]);
        if (!start || !end) return;
        SubtitleEvent event;
        event.startMs = shiftedEventTime(*start);
        event.endMs = shiftedEventTime(*end);
        const int layerAt = order.indexOf("layer");
        if (layerAt >= 0) {
          event.layer = static_cast<int32_t>(
              std::clamp<int64_t>(leadingInt(fields[static_cast<size_t>(layerAt)]), INT32_MIN, INT32_MAX));
        }
        int alignment = 0;
        convertText(fields.back(), lead, event, alignment);
        finishEventText(event);
        const int styleAt = order.indexOf("style");
        size_t style = kNoStyle;
        if (styleAt >= 0) {
          const auto found = styleIndex.find(std::string(styleNameOf(fields[static_cast<size_t>(styleAt)])));
          if (found != styleIndex.end()) style = found->second;
        }
        result.events.push_back(std::move(event));
        eventStyle.push_back(style);
        eventAlignment.push_back(alignment);
      });

  // Styles: an event of an unknown style takes "Default", or else the plain look.
  std::vector<uint32_t> uses(styles.size(), 0);
  size_t fallback = kNoStyle;
  for (size_t i = 0; i < styles.size(); ++i) {
    if (equalsNoCase(styleNames[i], "Default")) fallback = i;
  }
  for (size_t& style : eventStyle) {
    if (style == kNoStyle) style = fallback;
    if (style != kNoStyle) ++uses[style];
  }
  if (!styles.empty()) {
    const int64_t mainSize = styles[mainStyle(styles, styleNames, uses)].size;
    for (Style& style : styles) {
      if (mainSize > 0 && style.size > 0) {
        style.look.sizePermille = static_cast<int32_t>(std::clamp<int64_t>(style.size * 1000 / mainSize, 100, 4000));
      }
    }
  }
  // looks[0] is the plain look; style i is looks[i + 1]. Past 65,534 styles the plain look.
  result.looks.reserve(styles.size() + 1);
  result.looks.push_back(TextLook{});
  for (Style& style : styles) result.looks.push_back(std::move(style.look));
  for (size_t i = 0; i < result.events.size(); ++i) {
    SubtitleEvent& event = result.events[i];
    const size_t style = eventStyle[i];
    event.look = style != kNoStyle && style + 1 < 0xFFFF ? static_cast<uint16_t>(style + 1) : 0;
    const int alignment = eventAlignment[i] != 0 ? eventAlignment[i] : style != kNoStyle ? styles[style].alignment : 2;
    event.top = alignment >= 7;
  }
  return result;
}

AssScript readAssScript(std::string_view bytes) {
  AssScript script;
  std::unordered_map<std::string, size_t> styleIndex;
  const auto number = [](std::string_view text, double fallback) {
    text = trimmedSpaces(text);
    if (text.empty()) return fallback;
    const std::string copy(text.substr(0, 32));
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() || !std::isfinite(value) ? fallback : value;
  };
  const auto clampedInt = [](std::string_view text) {
    return static_cast<int>(std::clamp<int64_t>(leadingInt(text), -1000000, 1000000));
  };
  walkScript(
      bytes,
      [&](std::string_view key, std::string_view value) {
        if (equalsNoCase(key, "PlayResX")) script.playResX = clampedInt(value);
        else if (equalsNoCase(key, "PlayResY")) script.playResY = clampedInt(value);
        else if (equalsNoCase(key, "WrapStyle")) script.wrapStyle = static_cast<int>(std::clamp<int64_t>(leadingInt(value), 0, 3));
        else if (equalsNoCase(key, "ScaledBorderAndShadow")) script.scaledBorderAndShadow = equalsNoCase(value, "yes") || leadingInt(value) != 0;
      },
      [&](const FieldLookup& field, bool v4) {
        AssStyle style;
        style.name = std::string(field("name"));
        style.face = std::string(field("fontname"));
        style.size = number(field("fontsize"), style.size);
        const std::string_view colourFields[4] = {
            field("primarycolour"), field("secondarycolour"),
            field.order.indexOf("outlinecolour") >= 0 ? field("outlinecolour") : field("tertiarycolour"),
            field("backcolour")};
        for (int i = 0; i < 4; ++i) {
          if (!colourFields[i].empty()) style.colours[i] = parseAssColourAsWritten(colourFields[i]);
        }
        style.bold = leadingInt(field("bold")) != 0;
        style.italic = leadingInt(field("italic")) != 0;
        style.underline = leadingInt(field("underline")) != 0;
        style.strike = leadingInt(field("strikeout")) != 0;
        style.scaleX = number(field("scalex"), style.scaleX);
        style.scaleY = number(field("scaley"), style.scaleY);
        style.spacing = number(field("spacing"), style.spacing);
        style.angle = number(field("angle"), style.angle);
        style.borderStyle = clampedInt(field("borderstyle"));
        style.outline = number(field("outline"), style.outline);
        style.shadow = number(field("shadow"), style.shadow);
        if (!field("alignment").empty()) style.alignment = alignmentOf(field("alignment"), v4);
        style.marginL = clampedInt(field("marginl"));
        style.marginR = clampedInt(field("marginr"));
        style.marginV = clampedInt(field("marginv"));
        if (styleIndex.emplace(style.name, script.styles.size()).second) script.styles.push_back(std::move(style));
      },
      [&](const std::vector<std::string_view>& fields, const FieldOrder& order, bool) {
        const auto field = [&](std::string_view name) {
          const int at = order.indexOf(name);
          return at < 0 ? std::string_view() : fields[static_cast<size_t>(at)];
        };
        const std::optional<int64_t> start = parseAssTime(field("start"));
        const std::optional<int64_t> end = parseAssTime(field("end"));
        if (!start || !end) return;
        AssScriptEvent event;
        event.startMs = *start;
        event.endMs = *end;
        event.layer = static_cast<int32_t>(std::clamp<int64_t>(leadingInt(field("layer")), INT32_MIN, INT32_MAX));
        event.marginL = clampedInt(field("marginl"));
        event.marginR = clampedInt(field("marginr"));
        event.marginV = clampedInt(field("marginv"));
        event.text = std::string(fields.back());
        const auto found = styleIndex.find(std::string(styleNameOf(field("style"))));
        event.style = found != styleIndex.end() ? found->second : static_cast<size_t>(-1);
        script.events.push_back(std::move(event));
      });
  // An event of an unknown style takes "Default", which is made when the script has none.
  size_t fallback = static_cast<size_t>(-1);
  for (size_t i = 0; i < script.styles.size(); ++i) {
    if (equalsNoCase(script.styles[i].name, "Default")) fallback = i;
  }
  for (AssScriptEvent& event : script.events) {
    if (event.style != static_cast<size_t>(-1)) continue;
    if (fallback == static_cast<size_t>(-1)) {
      fallback = script.styles.size();
      script.styles.push_back(AssStyle{});
      script.styles.back().name = "Default";
    }
    event.style = fallback;
  }
  return script;
}

bool hasTypesetting(const AssScript& script) {
  static constexpr std::string_view kTags[] = {"\\pos(", "\\move(", "\\org(", "\\fad", "\\k", "\\K",
                                               "\\clip(", "\\iclip(", "\\t(", "\\fr"};
  for (const AssScriptEvent& event : script.events) {
    for (std::string_view tag : kTags) {
      if (event.text.find(tag) != std::string::npos) return true;
    }
  }
  return false;
}

}  // namespace quorvane
