#include "overlay/vtt_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "loading/subtitle_tags.h"
#include "platform/code_pages.h"

namespace quorvane {
namespace {

// Bounds that keep a frame of absurd input short: a cue's characters and lines, and the cues of
// one frame. More lines than the picture holds never show, nor do cues past those that fill it;
// 512 characters fill six to a dozen full lines, far more than any subtitle.
constexpr size_t kMaxCharacters = 512;
constexpr size_t kMaxLines = 21;  // the picture holds 20
constexpr size_t kMaxCues = 32;

bool isWide(char16_t c) { return c >= 0x2E80 && c < 0xFF61; }  // CJK: a line may break between any two

struct Letter {
  char16_t c;
  uint32_t span;
};

// Letters [from, to) of one line; `width` without the blanks that end it.
struct Line {
  size_t from = 0, to = 0;
  double width = 0;
};

// The area a placed cue takes: the cue box's width (or its lines', where they overflow it) by its
// lines' height.
struct Band {
  double left = 0, right = 0, top = 0, bottom = 0;
  bool overlaps(const Band& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};

bool overlapsAny(const Band& band, const std::vector<Band>& placed) {
  return std::any_of(placed.begin(), placed.end(), [&](const Band& p) { return band.overlaps(p); });
}

Band movedTo(Band band, double top) {
  band.bottom = top + (band.bottom - band.top);
  band.top = top;
  return band;
}

double computedPosition(const VttCueSettings& s) {
  if (!s.positionAuto) return s.position;
  if (s.align == VttCueSettings::TextAlign::Left) return 0;
  if (s.align == VttCueSettings::TextAlign::Right) return 100;
  return 50;
}

// Left to right text: start is left, end is right.
VttCueSettings::PositionAlign computedPositionAlign(const VttCueSettings& s) {
  using P = VttCueSettings::PositionAlign;
  using T = VttCueSettings::TextAlign;
  if (s.positionAlign != P::Auto) return s.positionAlign;
  if (s.align == T::Left || s.align == T::Start) return P::LineLeft;
  if (s.align == T::Right || s.align == T::End) return P::LineRight;
  return P::Center;
}

// The lines of `letters` wrapped in `maxWidth`: after the blanks that end a word, or between two
// CJK characters; a word wider than the box stands alone on its line.
std::vector<Line> wrap(const std::vector<Letter>& letters, const std::vector<AssFont>& fonts, double maxWidth,
                       AssTextMeasure& measure) {
  const auto widthOf = [&](size_t from, size_t to) {
    double w = 0;
    while (from < to) {
      size_t end = from;
      std::u16string piece;
      while (end < to && letters[end].span == letters[from].span) piece.push_back(letters[end++].c);
      w += measure.width(fonts[letters[from].span], piece);
      from = end;
    }
    return w;
  };
  std::vector<Line> lines(1);
  double withBlanks = 0;  // the line's width with the blanks after its last word
  for (size_t i = 0; i < letters.size();) {
    const bool full = lines.size() == kMaxLines;
    if (letters[i].c == u'\n') {
      if (full) break;
      lines.push_back({i + 1, i + 1, 0});
      withBlanks = 0;
      ++i;
      continue;
    }
    const size_t first = i;
    if (isWide(letters[i].c)) {
      ++i;
    } else {
      while (i < letters.size() && letters[i].c != u' ' && letters[i].c != u'\n' && !isWide(letters[i].c)) ++i;
    }
    const size_t inkEnd = i;
    while (i < letters.size() && letters[i].c == u' ') ++i;
    const double ink = widthOf(first, inkEnd);
    Line& line = lines.back();
    if (line.to > line.from && withBlanks + ink > maxWidth) {
      if (full) break;
      lines.push_back({first, first, 0});
      withBlanks = 0;
    }
    lines.back().to = i;
    lines.back().width = withBlanks + ink;
    withBlanks += ink + widthOf(inkEnd, i);
  }
  return lines;
}

// One cue laid out at the top of its box: its runs with baselines from 0, and its band.
AssPlacedEvent layOutCue(const VttCue& cue, const PictureArea& area, const VttLook& look, double lineHeight,
                         AssTextMeasure& measure, Band& band) {
  const VttCueSettings& s = cue.settings;
  std::vector<AssFont> fonts;
  std::vector<Letter> letters;
  for (const VttSpan& span : cue.spans) {
    AssFont font;
    font.face = look.face;
    font.size = lineHeight;
    font.italic = span.italic, font.bold = span.bold, font.underline = span.underline;
    fonts.push_back(std::move(font));
    for (const char16_t c : span.text) {
      if (letters.size() == kMaxCharacters) break;
      letters.push_back({c == u'\t' ? u' ' : c, static_cast<uint32_t>(fonts.size() - 1)});
    }
  }

  // The cue box: its width from the size, as far as the position and its alignment leave room.
  const double position = computedPosition(s);
  using P = VttCueSettings::PositionAlign;
  const P positionAlign = computedPositionAlign(s);
  const double maxSize = positionAlign == P::LineLeft    ? 100 - position
                         : positionAlign == P::LineRight ? position
                         : position <= 50                ? position * 2
                                                         : (100 - position) * 2;
  const double size = std::clamp<double>(s.size, 0, maxSize);
  const double left = (positionAlign == P::LineLeft    ? position
                       : positionAlign == P::LineRight ? position - size
                                                       : position - size / 2) /
                      100 * area.width;
  const double width = size / 100 * area.width;

  const std::vector<Line> lines = wrap(letters, fonts, width, measure);
  AssPlacedEvent placed;
  placed.placedByScript = true;
  placed.box = {left, 0, left + width, lines.size() * lineHeight};
  band = {left, left + width, 0, placed.box.bottom};
  using T = VttCueSettings::TextAlign;
  const double column = s.align == T::Center ? 0.5 : s.align == T::End || s.align == T::Right ? 1 : 0;
  // As the outline the overlay's smooth text draws around its lines.
  const double border = std::clamp(lineHeight / 16, 2.0, 8.0);
  for (size_t l = 0; l < lines.size(); ++l) {
    const Line& line = lines[l];
    // A line wider than its box overflows it to the right, as text does past a narrow block, but
    // is kept in the picture: a cue at position 100% with no room left would otherwise not show.
    double x = line.width <= width ? left + (width - line.width) * column
                                   : std::max(0.0, std::min(left, area.width - line.width));
    band.left = std::min(band.left, x);
    band.right = std::max(band.right, x + line.width);
    size_t to = line.to;
    while (to > line.from && letters[to - 1].c == u' ') --to;
    for (size_t from = line.from; from < to;) {
      AssRun run;
      const uint32_t span = letters[from].span;
      while (from < to && letters[from].span == span) run.text.push_back(letters[from++].c);
      run.font = fonts[span];
      run.x = x;
      run.baseline = l * lineHeight + lineHeight * measure.ascentShare(run.font);
      run.width = measure.width(run.font, run.text);
      x += run.width;
      run.fill = run.unsungFill = {look.colour, 255};
      run.border = {look.outline, 255};
      run.shadow = {0x000000, look.shadowOffset > 0 ? uint8_t{255} : uint8_t{0}};
      run.borderX = run.borderY = border;
      run.shadowX = run.shadowY = look.shadowOffset;
      placed.runs.push_back(std::move(run));
    }
  }
  return placed;
}

// Line numbers: the box's first line on the cue's line, then moved a line at a time (up for lines
// counted from the bottom) until it lies in the picture clear of the cues before it; where it
// never does, back the other way from where it started, and else at the place that left the
// least of it outside.
double snappedTop(const VttCueSettings& s, const Band& band, double height, double lineHeight,
                  const std::vector<Band>& placed) {
  // A line beyond the picture's edge lands where one just beyond it would: the same grid, walked
  // the same way. This bounds the walk whatever the number.
  const double limit = std::ceil(height / lineHeight) + 2;
  const double line = std::clamp(std::floor((s.lineAuto ? -1.0 : s.line) + 0.5), -limit, limit);
  double step = lineHeight;
  double top = line * step;
  if (line < 0) {
    top += height;
    step = -step;
  }
  const double boxHeight = band.bottom - band.top;
  const double slack = height * 1e-9;
  const double specified = top;
  double best = top, bestScore = std::numeric_limits<double>::infinity();
  bool switched = false;
  for (int guard = static_cast<int>(4 * limit) + 8; guard > 0; --guard) {
    const Band at = movedTo(band, top);
    const double outside = std::max(0.0, -top) + std::max(0.0, top + boxHeight - height);
    if (outside <= slack && !overlapsAny(at, placed)) return top;
    if (outside < bestScore) best = top, bestScore = outside;
    const bool firstLineOut = step < 0 ? top < -slack : top + lineHeight > height + slack;
    if (firstLineOut) {
      if (switched) break;
      top = specified;
      step = -step;
      switched = true;
      continue;
    }
    top += step;
  }
  return best;
}

// A percentage: the box's line alignment point at that share of the height; where it overlaps or
// leaves the picture, the nearest place (the higher of two as near) where it does neither.
double percentTop(const VttCueSettings& s, const Band& band, double height, const std::vector<Band>& placed) {
  const double boxHeight = band.bottom - band.top;
  double top = s.line / 100 * height;
  if (s.lineAlign == VttCueSettings::LineAlign::Center) top -= boxHeight / 2;
  if (s.lineAlign == VttCueSettings::LineAlign::End) top -= boxHeight;
  const auto fits = [&](double t) { return t >= 0 && t + boxHeight <= height && !overlapsAny(movedTo(band, t), placed); };
  if (fits(top)) return top;
  std::vector<double> candidates{0, height - boxHeight};
  for (const Band& p : placed) candidates.insert(candidates.end(), {p.top - boxHeight, p.bottom});
  double best = top, distance = std::numeric_limits<double>::infinity();
  for (const double c : candidates) {
    const double d = std::abs(c - top);
    if (fits(c) && (d < distance || (d == distance && c < best))) best = c, distance = d;
  }
  return best;
}

}  // namespace

VttCue vttCueOf(const SubtitleEvent& event, unsigned codePage) {
  VttCue cue;
  cue.startMs = int64_t{event.startMs} + kStoredLeadMs;
  cue.endMs = int64_t{event.endMs} + kStoredLeadMs;
  cue.settings = event.vtt;
  const FormattedCue formatted = parseSubtitleTags(event.tagged, codePage);
  for (const StyledRun& run : formatted.runs) {
    VttSpan span;
    span.text = systemCodePages().toUtf16(codePage, std::string_view(formatted.visible).substr(run.begin, run.end - run.begin));
    span.text.erase(std::remove(span.text.begin(), span.text.end(), u'\r'), span.text.end());
    span.italic = run.style.italic, span.bold = run.style.bold, span.underline = run.style.underline;
    cue.spans.push_back(std::move(span));
  }
  return cue;
}

std::vector<AssPlacedEvent> layOutVttCues(const std::vector<const VttCue*>& shown, const PictureArea& area,
                                          const VttLook& look, AssTextMeasure& measure, std::vector<double>* tops) {
  std::vector<AssPlacedEvent> frame;
  const double height = area.height;
  const double lineHeight = height * kVttLineShare;
  const size_t count = std::min(shown.size(), kMaxCues);
  if (tops) tops->resize(count, std::nan(""));
  if (lineHeight < 1 || area.width < 1) return frame;
  std::vector<Band> bands(count), placed;
  for (size_t i = 0; i < count; ++i) {
    frame.push_back(layOutCue(*shown[i], area, look, lineHeight, measure, bands[i]));
    if (tops && !std::isnan((*tops)[i])) placed.push_back(movedTo(bands[i], (*tops)[i]));
  }
  for (size_t i = 0; i < count; ++i) {
    double top = tops ? (*tops)[i] : std::nan("");
    if (std::isnan(top)) {
      const VttCueSettings& s = shown[i]->settings;
      top = s.lineAuto || s.snapToLines ? snappedTop(s, bands[i], height, lineHeight, placed)
                                        : percentTop(s, bands[i], height, placed);
      placed.push_back(movedTo(bands[i], top));
      if (tops) (*tops)[i] = top;
    }
    AssPlacedEvent& cue = frame[i];
    cue.box.top += top;
    cue.box.bottom += top;
    for (AssRun& run : cue.runs) run.baseline += top;
    // Lines that fell outside the picture are not drawn.
    std::erase_if(cue.runs, [&](const AssRun& run) {
      return run.baseline + lineHeight < 0 || run.baseline - lineHeight > height;
    });
  }
  return frame;
}

VttCueFrames::VttCueFrames(const SubtitleEvents& events, unsigned codePage) {
  cues_.reserve(events.events.size());
  for (const SubtitleEvent& event : events.events) {
    cues_.push_back(vttCueOf(event, codePage));
    longestMs_ = std::max(longestMs_, cues_.back().endMs - cues_.back().startMs);
  }
  std::stable_sort(cues_.begin(), cues_.end(), [](const VttCue& a, const VttCue& b) {
    return a.startMs != b.startMs ? a.startMs < b.startMs : a.endMs > b.endMs;
  });
}

std::vector<AssPlacedEvent> VttCueFrames::frame(const PictureArea& area, int64_t timeMs, const VttLook& look,
                                                AssTextMeasure& measure) {
  if (area.width != shownArea_.width || area.height != shownArea_.height || look.face != shownFace_) {
    shown_.clear();
    shownArea_ = area;
    shownFace_ = look.face;
  }
  const auto startsBefore = [](const VttCue& cue, int64_t t) { return cue.startMs < t; };
  auto it = std::lower_bound(cues_.begin(), cues_.end(), timeMs - longestMs_, startsBefore);
  std::vector<const VttCue*> shown;
  std::vector<double> tops;
  for (; it != cues_.end() && it->startMs <= timeMs; ++it) {
    if (timeMs >= it->endMs) continue;
    shown.push_back(&*it);
    const auto kept = std::find_if(shown_.begin(), shown_.end(), [&](const auto& s) { return s.first == &*it; });
    tops.push_back(kept == shown_.end() ? std::nan("") : kept->second);
  }
  std::vector<AssPlacedEvent> frame = layOutVttCues(shown, area, look, measure, &tops);
  shown_.clear();
  for (size_t i = 0; i < tops.size(); ++i) shown_.emplace_back(shown[i], tops[i]);
  return frame;
}

}  // namespace quorvane
