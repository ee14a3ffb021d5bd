#include "overlay/ass_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/code_pages.h"

namespace quorvane {
namespace {

// Sizes past these are drawn at them: larger ones are garbage, and GDI's cost grows with size.
constexpr double kMaxScalePercent = 1000;
constexpr double kMaxBorder = 100;    // script pixels
constexpr double kMaxBlur = 100;
// A \t inside a \t is ignored, as libass does, so nesting costs nothing.
constexpr int kMaxTransformDepth = 1;
// Characters of one event that are laid out; a longer text cannot show anyway.
constexpr size_t kMaxCharacters = 4096;
// Events per block of the time index: a frame of a million-event file reads a few thousand block
// ends and the blocks around its moment.
constexpr size_t kIndexBlock = 64;

bool isWide(char16_t c) { return c >= 0x2E80 && c < 0xFF61; }  // CJK: a line may break between any two

struct Rgb {
  double r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

Rgb rgbOf(AssColour bgr) {
  return {static_cast<double>(bgr & 0xFF), static_cast<double>(bgr >> 8 & 0xFF), static_cast<double>(bgr >> 16 & 0xFF)};
}

uint32_t packed(const Rgb& c) {
  const auto channel = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
  return channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

// What override tags change for the text after them.
struct TextState {
  std::u16string face;
  double size = 18, scaleX = 100, scaleY = 100, spacing = 0;
  bool bold = false, italic = false, underline = false, strike = false;
  Rgb colour[4];
  double alpha[4] = {0, 0, 0, 0};  // ASS transparency, 0 opaque
  double borderX = 0, borderY = 0, shadowX = 0, shadowY = 0, blur = 0, be = 0;
  enum class Karaoke : uint8_t { None, Switch, Fill, Outline } karaoke = Karaoke::None;
  double karaokeStartMs = 0, karaokeMs = 0;
  bool operator==(const TextState&) const = default;
};

TextState stateOf(const AssStyle& style, const std::u16string& face) {
  TextState s;
  s.face = face;
  s.size = style.size;
  s.scaleX = style.scaleX;
  s.scaleY = style.scaleY;
  s.spacing = style.spacing;
  s.bold = style.bold;
  s.italic = style.italic;
  s.underline = style.underline;
  s.strike = style.strike;
  for (int i = 0; i < 4; ++i) {
    s.colour[i] = rgbOf(style.colours[i]);
    s.alpha[i] = style.colours[i] >> 24;
  }
  s.borderX = s.borderY = style.outline;
  s.shadowX = s.shadowY = style.shadow;
  return s;
}

// What override tags set for the whole event.
struct EventState {
  int alignment = 0;  // 0: not set by a tag
  bool positioned = false, moves = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0, moveFromMs = 0, moveToMs = 0;
  bool hasOrigin = false;
  double orgX = 0, orgY = 0;
  double angle = 0;
  bool fades = false;
  double fadeAlpha[3] = {0, 0, 0}, fadeMs[4] = {0, 0, 0, 0};
  bool clipped = false, inverseClip = false;
  double clip[4] = {0, 0, 0, 0};
  int wrapStyle = -1;
  size_t marginStyle = static_cast<size_t>(-1);  // set by \r
  bool animated = false;
};

// Reads override blocks at one moment of the event.
class TagReader {
 public:
  TagReader(const AssScript& script, const std::vector<std::u16string>& faces, const AssScriptEvent& event,
            double nowMs, EventState& ev)
      : script_(script), faces_(faces), event_(event), nowMs_(nowMs), ev_(ev) {}

  void block(std::u16string_view tags, TextState& s, int depth = 0) {
    size_t i = tags.find(u'\\');
    while (i != std::u16string_view::npos && i < tags.size()) {
      size_t nameEnd = i + 1;
      // The name: letters, or a digit and letters (\1c); the argument follows.
      if (nameEnd < tags.size() && tags[nameEnd] >= u'1' && tags[nameEnd] <= u'4') ++nameEnd;
      while (nameEnd < tags.size() && ((tags[nameEnd] >= u'a' && tags[nameEnd] <= u'z') ||
                                       (tags[nameEnd] >= u'A' && tags[nameEnd] <= u'Z'))) {
        ++nameEnd;
      }
      std::u16string_view word = tags.substr(i + 1, nameEnd - i - 1);
      size_t next;
      std::u16string_view argument;
      bool parenthesised = false;
      // A longest known name that the word starts with; the rest of the word is its argument.
      const std::u16string_view name = knownPrefix(word);
      size_t argFrom = i + 1 + name.size();
      if (argFrom < tags.size() && tags[argFrom] == u'(') {
        parenthesised = true;
        int open = 0;
        size_t close = argFrom;
        for (; close < tags.size(); ++close) {
          if (tags[close] == u'(') ++open;
          if (tags[close] == u')' && --open == 0) break;
        }
        argument = tags.substr(argFrom + 1, std::min(close, tags.size()) - argFrom - 1);
        next = close < tags.size() ? tags.find(u'\\', close) : std::u16string_view::npos;
      } else {
        next = tags.find(u'\\', argFrom);
        argument = tags.substr(argFrom, (next == std::u16string_view::npos ? tags.size() : next) - argFrom);
      }
      apply(name, argument, parenthesised, s, depth);
      i = next;
    }
  }

  TextState styleState(size_t index) const {
    index = std::min(index, script_.styles.size() - 1);
    return stateOf(script_.styles[index], index < faces_.size() ? faces_[index] : std::u16string());
  }

  double interpolation = -1;  // inside \t: the share of the change; outside: -1, values set as given

 private:
  static std::u16string_view knownPrefix(std::u16string_view word) {
    static constexpr std::u16string_view kNames[] = {
        u"xbord", u"ybord", u"xshad", u"yshad", u"bord", u"shad", u"blur", u"be", u"fscx", u"fscy", u"fsp",
        u"fs",    u"fn",    u"frz",   u"frx",   u"fry",  u"fr",   u"fade", u"fad", u"fax",  u"fay",  u"fe",
        u"1c",    u"2c",    u"3c",    u"4c",    u"1a",   u"2a",   u"3a",   u"4a",  u"alpha", u"an",  u"a",
        u"clip",  u"iclip", u"c",     u"pos",   u"move", u"org",  u"pbo",  u"p",   u"kf",   u"ko",   u"kt",
        u"k",     u"K",     u"r",     u"q",     u"t",    u"b",    u"i",    u"u",   u"s"};
    for (std::u16string_view name : kNames) {
      if (word.substr(0, name.size()) == name) return name;
    }
    return word;
  }

  static std::string ascii(std::u16string_view text) {
    std::string out;
    for (char16_t c : text.substr(0, 64)) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }

  static bool number(std::u16string_view text, double& value) {
    const std::string s = ascii(text);
    const char* begin = s.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(v)) return false;
    value = std::clamp(v, -1e7, 1e7);
    return true;
  }

  static std::vector<std::u16string_view> arguments(std::u16string_view text) {
    std::vector<std::u16string_view> parts;
    size_t from = 0;
    for (;;) {
      const size_t comma = text.find(u',', from);
      parts.push_back(text.substr(from, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - from));
      if (comma == std::u16string_view::npos || parts.size() > 8) break;
      from = comma + 1;
    }
    return parts;
  }

  // "&HBBGGRR&" (or plain hex digits) as a colour; the value's last 24 bits.
  static bool colour(std::u16string_view text, Rgb& out) {
    uint32_t v = 0;
    bool any = false;
    for (char16_t c : text) {
      if (c == u'&' || c == u'H' || c == u'h' || c == u' ') continue;
      const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
      if (d < 0) break;
      v = v << 4 | static_cast<uint32_t>(d);
      any = true;
    }
    if (any) out = rgbOf(v);
    return any;
  }

  void set(double& field, double value) const { field = interpolation < 0 ? value : field + (value - field) * interpolation; }
  void set(Rgb& field, const Rgb& value) const {
    set(field.r, value.r);
    set(field.g, value.g);
    set(field.b, value.b);
  }

  void apply(std::u16string_view name, std::u16string_view arg, bool parenthesised, TextState& s, int depth) {
    const bool animating = interpolation >= 0;
    double v = 0;
    const bool has = !parenthesised && number(arg, v);
    const TextState style = styleState(event_.style);
    const auto orStyle = [&](double& field, double styleValue, double low, double high) {
      set(field, has ? std::clamp(v, low, high) : styleValue);
    };
    if (name == u"bord") {
      orStyle(s.borderX, style.borderX, 0, kMaxBorder);
      s.borderY = s.borderX;
    } else if (name == u"xbord") {
      orStyle(s.borderX, style.borderX, 0, kMaxBorder);
    } else if (name == u"ybord") {
      orStyle(s.borderY, style.borderY, 0, kMaxBorder);
    } else if (name == u"shad") {
      orStyle(s.shadowX, style.shadowX, -kMaxBorder, kMaxBorder);
      s.shadowY = s.shadowX;
    } else if (name == u"xshad") {
      orStyle(s.shadowX, style.shadowX, -kMaxBorder, kMaxBorder);
    } else if (name == u"yshad") {
      orStyle(s.shadowY, style.shadowY, -kMaxBorder, kMaxBorder);
    } else if (name == u"blur") {
      orStyle(s.blur, 0, 0, kMaxBlur);
    } else if (name == u"be") {
      orStyle(s.be, 0, 0, kMaxBlur);
    } else if (name == u"fscx") {
      orStyle(s.scaleX, style.scaleX, 0, kMaxScalePercent);
    } else if (name == u"fscy") {
      orStyle(s.scaleY, style.scaleY, 0, kMaxScalePercent);
    } else if (name == u"fsp") {
      orStyle(s.spacing, style.spacing, -1000, 1000);
    } else if (name == u"fs") {
      // \fs0 and negative sizes give the style's size back, as \fs alone does.
      set(s.size, has && v > 0 ? std::min(v, 10000.0) : style.size);
    } else if (name == u"frz" || name == u"fr") {
      set(ev_.angle, has ? std::fmod(v, 360) : 0);
    } else if (name == u"1c" || name == u"c" || name == u"2c" || name == u"3c" || name == u"4c") {
      const int at = name == u"c" ? 0 : name[0] - u'1';
      Rgb c = style.colour[at];
      colour(arg, c);
      set(s.colour[at], c);
    } else if (name == u"1a" || name == u"2a" || name == u"3a" || name == u"4a" || name == u"alpha") {
      Rgb a;
      const bool read = colour(arg, a);
      for (int at = 0; at < 4; ++at) {
        if (name != u"alpha" && at != name[0] - u'1') continue;
        set(s.alpha[at], read ? a.r : style.alpha[at]);
      }
    } else if (animating) {
      return;  // the rest cannot be animated
    } else if (name == u"fn") {
      while (!arg.empty() && arg.front() == u' ') arg.remove_prefix(1);
      s.face = arg.empty() ? style.face : std::u16string(arg);
    } else if (name == u"b") {
      s.bold = has ? v == 1 || v >= 500 : style.bold;
    } else if (name == u"i") {
      s.italic = has ? v != 0 : style.italic;
    } else if (name == u"u") {
      s.underline = has ? v != 0 : style.underline;
    } else if (name == u"s") {
      s.strike = has ? v != 0 : style.strike;
    } else if (name == u"an") {
      if (ev_.alignment == 0 && has && v >= 1 && v <= 9) ev_.alignment = static_cast<int>(v);
    } else if (name == u"a") {
      // SSA's numbering: 1-3 bottom, +4 top, +8 middle.
      if (ev_.alignment == 0 && has && v >= 1 && v <= 11 && static_cast<int>(v) != 4 && static_cast<int>(v) != 8) {
        const int n = static_cast<int>(v);
        ev_.alignment = (n - 1) % 4 + 1 + (n >= 9 ? 3 : n >= 5 ? 6 : 0);
      }
    } else if (name == u"pos" || name == u"move") {
      const auto parts = arguments(arg);
      double n[6] = {0, 0, 0, 0, 0, 0};
      const size_t count = std::min<size_t>(parts.size(), 6);
      for (size_t k = 0; k < count; ++k) {
        if (!number(parts[k], n[k])) return;
      }
      if (ev_.positioned) return;  // the first \pos or \move places the event
      if (name == u"pos" && count == 2) {
        ev_ = positioned(ev_, n[0], n[1], n[0], n[1], 0, 0);
      } else if (name == u"move" && (count == 4 || count == 6)) {
        const double duration = static_cast<double>(event_.endMs - event_.startMs);
        double from = count == 6 ? n[4] : 0, to = count == 6 ? n[5] : duration;
        if (from > to) std::swap(from, to);  // reversed times move the same way, in the same span
        if (from == 0 && to == 0) to = duration;
        ev_ = positioned(ev_, n[0], n[1], n[2], n[3], from, to);
        ev_.moves = n[0] != n[2] || n[1] != n[3];
        ev_.animated = ev_.animated || ev_.moves;
      }
    } else if (name == u"org") {
      const auto parts = arguments(arg);
      double x = 0, y = 0;
      if (!ev_.hasOrigin && parts.size() == 2 && number(parts[0], x) && number(parts[1], y)) {
        ev_.hasOrigin = true;
        ev_.orgX = x;
        ev_.orgY = y;
      }
    } else if (name == u"fad" || name == u"fade") {
      const auto parts = arguments(arg);
      double n[7] = {0, 0, 0, 0, 0, 0, 0};
      for (size_t k = 0; k < parts.size() && k < 7; ++k) {
        if (!number(parts[k], n[k])) return;
      }
      if (ev_.fades) return;
      const double duration = static_cast<double>(event_.endMs - event_.startMs);
      if (parts.size() == 2) {
        ev_.fades = true;
        ev_.fadeAlpha[0] = 255, ev_.fadeAlpha[1] = 0, ev_.fadeAlpha[2] = 255;
        ev_.fadeMs[0] = 0, ev_.fadeMs[1] = std::max(0.0, n[0]);
        ev_.fadeMs[2] = duration - std::max(0.0, n[1]), ev_.fadeMs[3] = duration;
      } else if (parts.size() == 7) {
        ev_.fades = true;
        for (int k = 0; k < 3; ++k) ev_.fadeAlpha[k] = std::clamp(n[k], 0.0, 255.0);
        for (int k = 0; k < 4; ++k) ev_.fadeMs[k] = n[3 + k];
        std::sort(ev_.fadeMs, ev_.fadeMs + 4);
      }
      ev_.animated = ev_.animated || ev_.fades;
    } else if (name == u"clip" || name == u"iclip") {
      const auto parts = arguments(arg);
      double n[4];
      if (parts.size() != 4) return;  // drawn clips are not supported
      for (int k = 0; k < 4; ++k) {
        if (!number(parts[static_cast<size_t>(k)], n[k])) return;
      }
      ev_.clipped = true;
      ev_.inverseClip = name == u"iclip";
      // Corners given backwards make an empty rectangle, as in libass: \clip hides all, \iclip nothing.
      std::copy(n, n + 4, ev_.clip);
    } else if (name == u"k" || name == u"K" || name == u"kf" || name == u"ko") {
      const double ms = has ? std::clamp(v, 0.0, 1e6) * 10 : 0;
      // A syllable of no time joins the one before it, as libass counts them.
      if (ms == 0 && s.karaoke != TextState::Karaoke::None) return;
      s.karaokeStartMs += s.karaokeMs;
      s.karaokeMs = ms;
      s.karaoke = name == u"k" ? TextState::Karaoke::Switch : name == u"ko" ? TextState::Karaoke::Outline : TextState::Karaoke::Fill;
      ev_.animated = true;
    } else if (name == u"r") {
      // Back to the named style, or the event's own; the karaoke clock runs on.
      size_t index = event_.style;
      for (size_t k = 0; k < script_.styles.size() && !arg.empty(); ++k) {
        const std::string& n = script_.styles[k].name;
        if (std::u16string(n.begin(), n.end()) == arg) index = k;
      }
      ev_.marginStyle = index;  // the last style reset to gives the margins, as in libass
      TextState reset = styleState(index);
      reset.karaoke = s.karaoke;
      reset.karaokeStartMs = s.karaokeStartMs;
      reset.karaokeMs = s.karaokeMs;
      s = reset;
    } else if (name == u"q") {
      if (has && v >= 0 && v <= 3) ev_.wrapStyle = static_cast<int>(v);
    } else if (name == u"t" && depth < kMaxTransformDepth) {
      transform(arg, s, depth);
    }
  }

  // \t([t1,t2,][accel,]tags): the tags' values reached by the share of the span that has passed.
  void transform(std::u16string_view arg, TextState& s, int depth) {
    const size_t tagsAt = arg.find(u'\\');
    if (tagsAt == std::u16string_view::npos) return;
    const auto parts = arguments(arg.substr(0, tagsAt));
    double n[3] = {0, 0, 1};
    const size_t count = parts.size() - 1;  // the last part is empty: the tags follow its comma
    for (size_t k = 0; k < count && k < 3; ++k) {
      if (!number(parts[k], n[k])) return;
    }
    const double duration = static_cast<double>(event_.endMs - event_.startMs);
    double from = 0, to = duration, accel = 1;
    if (count == 1) accel = n[0];
    if (count >= 2) from = n[0], to = n[1];
    if (count == 3) accel = n[2];
    double share = 1;
    if (nowMs_ < from) share = 0;
    else if (nowMs_ < to && to > from) share = std::pow((nowMs_ - from) / (to - from), std::clamp(accel, 0.01, 100.0));
    ev_.animated = true;
    const double outer = interpolation;
    interpolation = share;
    block(arg.substr(tagsAt), s, depth + 1);
    interpolation = outer;
  }

  static EventState positioned(EventState ev, double x1, double y1, double x2, double y2, double from, double to) {
    ev.positioned = true;
    ev.x1 = x1, ev.y1 = y1, ev.x2 = x2, ev.y2 = y2, ev.moveFromMs = from, ev.moveToMs = to;
    return ev;
  }

  const AssScript& script_;
  const std::vector<std::u16string>& faces_;
  const AssScriptEvent& event_;
  double nowMs_;
  EventState& ev_;
};

// One character of the event's text with the state it is drawn in.
struct Letter {
  char16_t c;
  uint32_t state;
  bool hardBreak;  // \N (or \n under WrapStyle 2) before it; the letter itself is not drawn
};

struct Word {
  size_t first = 0, end = 0;  // letters, the trailing spaces included
  double width = 0, inkWidth = 0;
  bool hardBreakBefore = false;
};

struct LineSpan {
  size_t firstWord = 0, endWord = 0;
  double width = 0;
};

// Within a fade, in steps of 5 of 255 (2 %, too little to see): a slow fade is drawn and sent a
// few times a second, not at every frame.
double fadeFactor(const EventState& ev, double nowMs) {
  if (!ev.fades) return 0;
  const double* t = ev.fadeMs;
  const double* a = ev.fadeAlpha;
  const auto between = [](double now, double from, double to, double av, double bv) {
    return to > from ? std::round((av + (bv - av) * (now - from) / (to - from)) / 5) * 5 : bv;
  };
  if (nowMs < t[0]) return a[0];
  if (nowMs < t[1]) return between(nowMs, t[0], t[1], a[0], a[1]);
  if (nowMs < t[2]) return a[1];
  if (nowMs < t[3]) return between(nowMs, t[2], t[3], a[1], a[2]);
  return a[2];
}

uint8_t opacityOf(double alpha, double fade) {
  return static_cast<uint8_t>(std::clamp(std::lround((255 - alpha) * (255 - fade) / 255), 0L, 255L));
}

}  // namespace

AssFrameGeometry assFrameGeometry(const AssScript& script, const PictureArea& area) {
  AssFrameGeometry g;
  // Absent or absurd resolutions fall back as libass falls back: 384x288, or one side from the
  // other at 4:3 (1280x1024 being the odd one out).
  double x = script.playResX > 0 && script.playResX <= 100000 ? script.playResX : 0;
  double y = script.playResY > 0 && script.playResY <= 100000 ? script.playResY : 0;
  if (x == 0 && y == 0) x = 384, y = 288;
  else if (y == 0) y = x == 1280 ? 1024 : x * 3 / 4;
  else if (x == 0) x = y == 1024 ? 1280 : y * 4 / 3;
  g.playResX = x;
  g.playResY = y;
  g.scaleX = std::max(area.width, 1) / x;
  g.scaleY = std::max(area.height, 1) / y;
  g.borderScale = script.scaledBorderAndShadow ? g.scaleY : 1;
  return g;
}

AssWideTexts wideAssTexts(const AssScript& script, unsigned codePage) {
  AssWideTexts texts;
  texts.events.reserve(script.events.size());
  for (const AssScriptEvent& event : script.events) texts.events.push_back(systemCodePages().toUtf16(codePage, event.text));
  for (const AssStyle& style : script.styles) texts.faces.push_back(systemCodePages().toUtf16(codePage, style.face));
  const auto& events = script.events;
  texts.byStart.resize(events.size());
  for (size_t i = 0; i < events.size(); ++i) texts.byStart[i] = static_cast<uint32_t>(i);
  std::stable_sort(texts.byStart.begin(), texts.byStart.end(),
                   [&](uint32_t a, uint32_t b) { return events[a].startMs < events[b].startMs; });
  for (size_t i = 0; i < events.size(); ++i) {
    if (i % kIndexBlock == 0) texts.blockEnds.push_back(INT64_MIN);
    texts.blockEnds.back() = std::max(texts.blockEnds.back(), events[texts.byStart[i]].endMs);
  }
  return texts;
}

AssPlacedEvent layOutAssEvent(const AssScript& script, const AssWideTexts& texts, size_t index,
                              const PictureArea& area, int64_t timeMs, AssTextMeasure& measure) {
  AssPlacedEvent placed;
  if (script.styles.empty() || index >= script.events.size() || index >= texts.events.size()) return placed;
  const AssScriptEvent& event = script.events[index];
  const std::u16string_view text = texts.events[index];
  placed.layer = event.layer;
  const AssStyle& style = script.styles[std::min(event.style, script.styles.size() - 1)];
  const AssFrameGeometry g = assFrameGeometry(script, area);
  const double nowMs = static_cast<double>(timeMs - event.startMs);

  // Letters and their states, override blocks read as they come.
  EventState ev;
  ev.angle = style.angle;
  TagReader reader(script, texts.faces, event, nowMs, ev);
  std::vector<TextState> states{reader.styleState(event.style)};
  std::vector<Letter> letters;
  TextState current = states[0];
  bool drawing = false;
  const auto stateIndex = [&]() {
    if (!(states.back() == current)) states.push_back(current);
    return static_cast<uint32_t>(states.size() - 1);
  };
  std::vector<size_t> softBreaks;  // \n: a space, or a break under WrapStyle 2
  for (size_t i = 0; i < text.size() && letters.size() < kMaxCharacters;) {
    const char16_t c = text[i];
    if (c == u'{') {
      const size_t close = text.find(u'}', i);
      if (close != std::u16string_view::npos) {
        const std::u16string_view block = text.substr(i + 1, close - i - 1);
        reader.block(block, current);
        // Drawings (\p1 and up) are not drawn: their commands are not text.
        for (size_t p = block.find(u"\\p"); p != std::u16string_view::npos; p = block.find(u"\\p", p + 2)) {
          if (p + 2 < block.size() && block[p + 2] >= u'0' && block[p + 2] <= u'9') drawing = block[p + 2] != u'0';
        }
        i = close + 1;
        continue;
      }
    }
    if (c == u'\\' && i + 1 < text.size() && (text[i + 1] == u'N' || text[i + 1] == u'n' || text[i + 1] == u'h')) {
      const char16_t escape = text[i + 1];
      i += 2;
      if (drawing) continue;
      if (escape == u'N') {
        letters.push_back({u'\n', stateIndex(), true});
      } else if (escape == u'n') {
        softBreaks.push_back(letters.size());
        letters.push_back({u' ', stateIndex(), false});
      } else {
        letters.push_back({u'\u00A0', stateIndex(), false});
      }
      continue;
    }
    if (!drawing) letters.push_back({c, stateIndex(), false});
    ++i;
  }
  const int wrapStyle = ev.wrapStyle >= 0 ? ev.wrapStyle : script.wrapStyle;
  if (wrapStyle == 2) {
    for (size_t soft : softBreaks) letters[soft].hardBreak = true;
  }
  placed.animated = ev.animated;
  placed.placedByScript = ev.positioned;

  // Fonts in picture pixels.
  std::vector<AssFont> fonts;
  fonts.reserve(states.size());
  for (const TextState& s : states) {
    AssFont f;
    f.face = s.face;
    f.size = std::min(s.size * g.scaleY, 4.0 * std::max(area.height, 1) + 64);
    f.scaleX = s.scaleX / 100 * (g.scaleX / g.scaleY);
    f.scaleY = s.scaleY / 100;
    f.spacing = s.spacing * g.scaleX;
    f.bold = s.bold, f.italic = s.italic, f.underline = s.underline, f.strike = s.strike;
    fonts.push_back(std::move(f));
  }
  const auto measureLetters = [&](size_t from, size_t to) {
    double w = 0;
    while (from < to) {
      size_t end = from;
      std::u16string piece;
      while (end < to && letters[end].state == letters[from].state) piece.push_back(letters[end++].c);
      w += measure.width(fonts[letters[from].state], piece);
      from = end;
    }
    return w;
  };

  // Words: a line may end after the spaces that close one, or between two CJK characters.
  std::vector<Word> words;
  for (size_t i = 0; i < letters.size();) {
    Word w;
    w.first = i;
    w.hardBreakBefore = letters[i].hardBreak;
    if (letters[i].hardBreak) ++i, w.first = i;
    size_t inkEnd = i;
    if (i < letters.size() && isWide(letters[i].c)) {
      inkEnd = ++i;
    } else {
      while (i < letters.size() && letters[i].c != u' ' && !letters[i].hardBreak && !isWide(letters[i].c)) ++i;
      inkEnd = i;
    }
    while (i < letters.size() && letters[i].c == u' ' && !letters[i].hardBreak) ++i;
    w.end = i;
    w.inkWidth = measureLetters(w.first, inkEnd);
    w.width = w.inkWidth + measureLetters(inkEnd, w.end);
    words.push_back(w);
  }

  // Lines: greedy, then evened out (WrapStyle 0: the upper line the wider; 3: the lower).
  const AssStyle& marginStyle = ev.marginStyle < script.styles.size() ? script.styles[ev.marginStyle] : style;
  const int marginL = event.marginL ? event.marginL : marginStyle.marginL;
  const int marginR = event.marginR ? event.marginR : marginStyle.marginR;
  const int marginV = event.marginV ? event.marginV : marginStyle.marginV;
  const double maxWidth = std::max(0.0, (g.playResX - marginL - marginR) * g.scaleX);
  std::vector<LineSpan> lines;
  std::vector<bool> softBreakAfter;
  for (size_t w = 0; w < words.size(); ++w) {
    const bool wraps = wrapStyle != 2 && !lines.empty() && lines.back().endWord > lines.back().firstWord &&
                       lines.back().width + words[w].inkWidth > maxWidth;
    if (lines.empty() || words[w].hardBreakBefore || wraps) {
      if (!lines.empty()) softBreakAfter.push_back(!words[w].hardBreakBefore);
      lines.push_back({w, w, 0});
    }
    lines.back().endWord = w + 1;
    lines.back().width += words[w].width;
  }
  const auto inkWidth = [&](const LineSpan& line) {
    return line.endWord > line.firstWord ? line.width - words[line.endWord - 1].width + words[line.endWord - 1].inkWidth : 0;
  };
  if (wrapStyle == 0 || wrapStyle == 3) {
    for (size_t l = 0; l + 1 < lines.size(); ++l) {
      if (!softBreakAfter[l]) continue;
      LineSpan& upper = lines[l];
      LineSpan& lower = lines[l + 1];
      // The upper line's last word moves down while the lower stays the narrower (WrapStyle 0),
      // or until the lower is the wider (3).
      while (upper.endWord - upper.firstWord >= 2) {
        const size_t moved = upper.endWord - 1;
        LineSpan u = upper, d = lower;
        --u.endWord, --d.firstWord, u.width -= words[moved].width, d.width += words[moved].width;
        if (inkWidth(d) > maxWidth) break;
        if (wrapStyle == 0 ? inkWidth(d) > inkWidth(u) : inkWidth(upper) <= inkWidth(lower)) break;
        upper = u, lower = d;
      }
    }
  }

  // The box, then each line in it.
  const int alignment = ev.alignment ? ev.alignment : style.alignment;
  placed.alignment = alignment;
  const int column = (alignment - 1) % 3;      // 0 left, 1 centre, 2 right
  const int row = (alignment - 1) / 3;         // 0 bottom, 1 middle, 2 top
  struct LineBox {
    double width = 0, height = 0, ascent = 0;
  };
  std::vector<LineBox> boxes(lines.size());
  double boxWidth = 0, boxHeight = 0;
  for (size_t l = 0; l < lines.size(); ++l) {
    LineBox& b = boxes[l];
    b.width = inkWidth(lines[l]);
    for (size_t w = lines[l].firstWord; w < lines[l].endWord; ++w) {
      for (size_t k = words[w].first; k < words[w].end; ++k) {
        const AssFont& f = fonts[letters[k].state];
        b.height = std::max(b.height, f.size * f.scaleY);
        b.ascent = std::max(b.ascent, f.size * f.scaleY * measure.ascentShare(f));
      }
    }
    if (b.height == 0) {  // an empty line: the height of the state it starts in
      const AssFont& f = fonts[words.empty() ? 0 : letters[std::min(words[lines[l].firstWord].first, letters.size() - 1)].state];
      b.height = f.size * f.scaleY;
      b.ascent = b.height * measure.ascentShare(f);
    }
    boxWidth = std::max(boxWidth, b.width);
    boxHeight += b.height;
  }
  double anchorX, anchorY;
  if (ev.positioned) {
    double share = 1;
    if (nowMs <= ev.moveFromMs) share = 0;
    else if (nowMs < ev.moveToMs) share = (nowMs - ev.moveFromMs) / (ev.moveToMs - ev.moveFromMs);
    anchorX = (ev.x1 + (ev.x2 - ev.x1) * share) * g.scaleX;
    anchorY = (ev.y1 + (ev.y2 - ev.y1) * share) * g.scaleY;
  } else {
    anchorX = (column == 0 ? marginL : column == 2 ? g.playResX - marginR : (marginL + g.playResX - marginR) / 2) * g.scaleX;
    anchorY = (row == 0 ? g.playResY - marginV : row == 2 ? marginV : g.playResY / 2) * g.scaleY;
  }
  AssRect& box = placed.box;
  box.left = anchorX - boxWidth * column / 2;
  box.top = anchorY - boxHeight * (2 - row) / 2;
  box.right = box.left + boxWidth;
  box.bottom = box.top + boxHeight;
  placed.orgX = ev.hasOrigin ? ev.orgX * g.scaleX : anchorX;
  placed.orgY = ev.hasOrigin ? ev.orgY * g.scaleY : anchorY;
  placed.angle = ev.angle;
  if (ev.clipped) {
    placed.clipped = true;
    placed.inverseClip = ev.inverseClip;
    placed.clip = {ev.clip[0] * g.scaleX, ev.clip[1] * g.scaleY, ev.clip[2] * g.scaleX, ev.clip[3] * g.scaleY};
  }

  const double fade = fadeFactor(ev, nowMs);
  const double borderScaleX = g.borderScale * (script.scaledBorderAndShadow ? g.scaleX / g.scaleY : 1);
  double top = box.top;
  for (size_t l = 0; l < lines.size(); ++l) {
    const LineSpan& line = lines[l];
    double x = box.left + (boxWidth - boxes[l].width) * column / 2;
    const double baseline = top + boxes[l].ascent;
    top += boxes[l].height;
    if (line.endWord == line.firstWord) continue;
    size_t from = words[line.firstWord].first;
    size_t to = words[line.endWord - 1].end;
    while (to > from && letters[to - 1].c == u' ') --to;  // trailing blanks are not drawn
    while (from < to) {
      size_t end = from;
      AssRun run;
      const uint32_t si = letters[from].state;
      while (end < to && letters[end].state == si) run.text.push_back(letters[end++].c);
      const TextState& s = states[si];
      run.font = fonts[si];
      run.x = x;
      run.baseline = baseline;
      run.width = measure.width(run.font, run.text);
      x += run.width;
      run.fill = {packed(s.colour[0]), opacityOf(s.alpha[0], fade)};
      run.unsungFill = {packed(s.colour[1]), opacityOf(s.alpha[1], fade)};
      run.border = {packed(s.colour[2]), opacityOf(s.alpha[2], fade)};
      run.shadow = {packed(s.colour[3]), opacityOf(s.alpha[3], fade)};
      run.borderX = s.borderX * borderScaleX;
      run.borderY = s.borderY * g.borderScale;
      run.shadowX = s.shadowX * borderScaleX;
      run.shadowY = s.shadowY * g.borderScale;
      run.blur = (s.blur + std::sqrt(s.be)) * g.borderScale;
      if (s.karaoke != TextState::Karaoke::None) {
        const double sungMs = nowMs - s.karaokeStartMs;
        if (s.karaoke == TextState::Karaoke::Fill) run.sung = s.karaokeMs > 0 ? std::clamp(sungMs / s.karaokeMs, 0.0, 1.0) : (sungMs >= 0 ? 1 : 0);
        else run.sung = sungMs >= 0 ? 1 : 0;
        run.borderShown = s.karaoke != TextState::Karaoke::Outline || run.sung > 0;
      }
      if (!run.text.empty() && run.font.size * run.font.scaleY >= 0.5) placed.runs.push_back(std::move(run));
      from = end;
    }
  }
  return placed;
}

std::vector<AssPlacedEvent> layOutAssFrame(const AssScript& script, const AssWideTexts& texts, const PictureArea& area,
                                           int64_t timeMs, AssTextMeasure& measure) {
  // Through the time index: the events started by now, in the blocks that last past now.
  const auto& events = script.events;
  const auto& order = texts.byStart;
  const size_t started = static_cast<size_t>(
      std::upper_bound(order.begin(), order.end(), timeMs, [&](int64_t t, uint32_t i) { return t < events[i].startMs; }) -
      order.begin());
  std::vector<size_t> showing;
  for (size_t block = 0; block * kIndexBlock < started; ++block) {
    if (texts.blockEnds[block] <= timeMs) continue;
    for (size_t k = block * kIndexBlock; k < std::min(started, (block + 1) * kIndexBlock); ++k) {
      const uint32_t i = order[k];
      if (timeMs < events[i].endMs && i < texts.events.size()) showing.push_back(i);
    }
  }
  std::sort(showing.begin(), showing.end());  // file order within a layer
  std::stable_sort(showing.begin(), showing.end(),
                   [&](size_t a, size_t b) { return script.events[a].layer < script.events[b].layer; });
  std::vector<AssPlacedEvent> frame;
  std::vector<size_t> stackable;  // placed events that later ones of their layer keep clear of
  for (size_t i : showing) {
    AssPlacedEvent placed = layOutAssEvent(script, texts, i, area, timeMs, measure);
    // Lines the script did not place move up (down for top lines) past the earlier lines of
    // their layer that they would cover, as libass stacks them.
    if (!placed.placedByScript && !placed.runs.empty()) {
      const bool down = placed.alignment >= 7;
      for (size_t round = 0; round <= stackable.size(); ++round) {
        bool moved = false;
        for (size_t other : stackable) {
          const AssRect& o = frame[other].box;
          AssRect& b = placed.box;
          if (frame[other].layer != placed.layer || b.right <= o.left || o.right <= b.left || b.bottom <= o.top ||
              o.bottom <= b.top) {
            continue;
          }
          const double shift = down ? o.bottom - b.top : o.top - b.bottom;
          b.top += shift, b.bottom += shift, placed.orgY += shift;
          for (AssRun& run : placed.runs) run.baseline += shift;
          moved = true;
        }
        if (!moved) break;
      }
      stackable.push_back(frame.size());
    }
    frame.push_back(std::move(placed));
  }
  return frame;
}

}  // namespace quorvane
