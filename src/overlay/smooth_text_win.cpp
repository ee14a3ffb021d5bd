#include "overlay/smooth_text_win.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "platform/code_pages.h"

namespace quorvane {
namespace {

// A word longer than this is measured and drawn in pieces: one line cannot hold more anyway,
// and a single GDI call on a huge string costs time for glyphs that are cut off.
constexpr size_t kMaxPieceLength = 256;
// Tag soup may name many faces and sizes; past this many fonts the overlay's own is used.
constexpr size_t kMaxFonts = 32;
constexpr int32_t kMaxTagPoints = 200;

bool isWideCharacter(wchar_t c) { return c >= 0x2E80 && c < 0xFF61; }  // CJK and full-width forms

// A piece of a line that is measured and drawn in one call: a word with its trailing blanks,
// one Chinese character, or a stretch of a long word.
struct Piece {
  const wchar_t* text;
  int length;
  size_t font;
  COLORREF colour;
  bool breakBefore;   // a line may end before it
  bool newLine;       // a CR LF (or LF) comes before it
  int width = 0;      // with the trailing blanks
  int inkWidth = 0;   // without them: what must fit
  COLORREF outline = RGB(0, 0, 0);
};

class FontCache {
 public:
  FontCache(HDC dc, const SmoothTextLook& look) : dc_(dc), look_(look) {}

  size_t fontFor(const TextStyle& style) {
    std::wstring face = look_.face;
    if (!style.face.empty()) face = wideFace(style.face);
    int32_t pixels = look_.fontPixels;
    if (style.size > 0) {
      pixels = MulDiv(std::min(style.size, kMaxTagPoints), look_.pointsToPixels, 72);
    }
    const auto key = std::make_tuple(style.italic, style.bold, style.underline, style.strike, face, pixels);
    const auto found = index_.find(key);
    if (found != index_.end()) return found->second;
    if (fonts_.size() >= kMaxFonts) return 0;
    LOGFONTW font{};
    std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), font.lfFaceName);
    font.lfHeight = -pixels;
    font.lfWeight = style.bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = style.italic;
    font.lfUnderline = style.underline;
    font.lfStrikeOut = style.strike;
    font.lfCharSet = look_.charSet;
    font.lfQuality = ANTIALIASED_QUALITY;  // grey levels, not the colour fringes of ClearType
    Entry entry{FontHandle(CreateFontIndirectW(&font)), {}};
    if (!entry.font) return 0;
    const HGDIOBJ old = SelectObject(dc_, entry.font.get());
    GetTextMetricsW(dc_, &entry.metrics);
    SelectObject(dc_, old);
    fonts_.push_back(std::move(entry));
    index_.emplace(key, fonts_.size() - 1);
    return fonts_.size() - 1;
  }

  bool empty() const { return fonts_.empty(); }
  HFONT font(size_t i) const { return fonts_[i].font.get(); }
  const TEXTMETRICW& metrics(size_t i) const { return fonts_[i].metrics; }

 private:
  static std::wstring wideFace(const std::string& ansi) {
    const std::u16string face = systemCodePages().toUtf16(GetACP(), ansi);
    return {face.begin(), face.end()};
  }
  struct Entry {
    FontHandle font;
    TEXTMETRICW metrics;
  };
  HDC dc_;
  const SmoothTextLook& look_;
  std::vector<Entry> fonts_;
  std::map<std::tuple<bool, bool, bool, bool, std::wstring, int32_t>, size_t> index_;
};

struct Line {
  size_t first = 0, end = 0;  // pieces
  int width = 0, ascent = 0, height = 0;
};

// Cuts the runs into pieces, measuring each, until the lines would pass the image's bottom.
class Layout {
 public:
  // Lines are laid out while they start above `height` pixels.
  Layout(HDC dc, FontCache& fonts, const SmoothTextLook& look, int height)
      : dc_(dc), fonts_(fonts), look_(look), height_(height) {}

  void build(const std::vector<WideRun>& runs) {
    bool afterBlank = true, pendingNewLine = false;
    for (const WideRun& run : runs) {
      const size_t font = fonts_.fontFor(run.style);
      const COLORREF colour =
          run.style.hasColour
              ? RGB(run.style.colour >> 16 & 0xFF, run.style.colour >> 8 & 0xFF, run.style.colour & 0xFF)
              : RGB(255, 255, 255);
      const COLORREF outline = RGB(run.outline >> 16 & 0xFF, run.outline >> 8 & 0xFF, run.outline & 0xFF);
      const std::wstring& text = run.text;
      size_t i = 0;
      while (i < text.size()) {
        if (full()) return;
        if (text[i] == L'\r' || text[i] == L'\n') {
          i += text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n' ? 2 : 1;
          if (pendingNewLine) {  // an empty line
            Piece empty{L"", 0, font, colour, true, true};
            empty.outline = outline;
            add(empty);
          }
          pendingNewLine = true;
          afterBlank = true;
          continue;
        }
        size_t end = i;
        if (isWideCharacter(text[i])) {
          ++end;
        } else {
          while (end < text.size() && end - i < kMaxPieceLength && text[end] != L' ' &&
                 text[end] != L'\r' && text[end] != L'\n' && !isWideCharacter(text[end])) {
            ++end;
          }
        }
        const size_t inkEnd = end;
        while (end < text.size() && end - i < kMaxPieceLength && text[end] == L' ') ++end;
        Piece piece{text.data() + i, static_cast<int>(end - i), font, colour,
                    afterBlank || isWideCharacter(text[i]), pendingNewLine};
        piece.outline = outline;
        measure(piece, static_cast<int>(inkEnd - i));
        add(piece);
        pendingNewLine = false;
        afterBlank = end > inkEnd || isWideCharacter(text[end - 1]);
        i = end;
      }
    }
    finishLine();
  }

  const std::vector<Piece>& pieces() const { return pieces_; }
  const std::vector<Line>& lines() const { return lines_; }

 private:
  bool full() const { return top_ >= height_; }

  void measure(Piece& piece, int inkLength) {
    const HGDIOBJ old = SelectObject(dc_, fonts_.font(piece.font));
    SIZE size{};
    GetTextExtentPoint32W(dc_, piece.text, piece.length, &size);
    piece.width = size.cx;
    GetTextExtentPoint32W(dc_, piece.text, inkLength, &size);
    piece.inkWidth = size.cx;
    SelectObject(dc_, old);
  }

  void add(const Piece& piece) {
    const bool wraps = piece.breakBefore && line_.end > line_.first &&
                       line_.width + piece.inkWidth > look_.width;
    if (piece.newLine || wraps) {
      finishLine();
      if (full()) return;
    }
    pieces_.push_back(piece);
    line_.end = pieces_.size();
    line_.width += piece.width;
    const TEXTMETRICW& m = fonts_.metrics(piece.font);
    line_.ascent = std::max<int>(line_.ascent, m.tmAscent);
    descent_ = std::max<int>(descent_, m.tmDescent);
  }

  void finishLine() {
    if (line_.end == line_.first && line_.ascent == 0) {
      // An empty line takes the overlay's own font's height.
      const TEXTMETRICW& m = fonts_.metrics(0);
      line_.ascent = m.tmAscent;
      descent_ = m.tmDescent;
    }
    // Trailing blanks do not count for centring.
    if (line_.end > line_.first) {
      const Piece& last = pieces_[line_.end - 1];
      line_.width -= last.width - last.inkWidth;
    }
    line_.height = line_.ascent + descent_;
    top_ += line_.height;
    lines_.push_back(line_);
    line_ = Line{pieces_.size(), pieces_.size()};
    descent_ = 0;
  }

  HDC dc_;
  FontCache& fonts_;
  const SmoothTextLook& look_;
  int height_;
  std::vector<Piece> pieces_;
  std::vector<Line> lines_;
  Line line_;
  int descent_ = 0;
  int top_ = 0;
};

// Max of `source` over a disc of `radius` around each pixel of the box: the outline's alpha.
void dilate(const std::vector<uint8_t>& source, std::vector<uint8_t>& target, int width, int height,
            const RECT& ink, int radius) {
  std::vector<int> span(static_cast<size_t>(radius) + 1);
  for (int d = 0; d <= radius; ++d) {
    int w = 0;
    while ((w + 1) * (w + 1) + d * d <= radius * radius) ++w;
    span[static_cast<size_t>(d)] = w;
  }
  for (int y = ink.top; y < ink.bottom; ++y) {
    for (int x = ink.left; x < ink.right; ++x) {
      const size_t at = static_cast<size_t>(y) * width + x;
      const uint8_t c = source[at];
      if (c == 0) continue;
      // Inside a glyph the neighbours' discs already cover this one's: only edges stamp.
      if (x > 0 && y > 0 && x + 1 < width && y + 1 < height && source[at - 1] >= c &&
          source[at + 1] >= c && source[at - width] >= c && source[at + width] >= c) {
        continue;
      }
      for (int dy = -radius; dy <= radius; ++dy) {
        const int ty = y + dy;
        if (ty < 0 || ty >= height) continue;
        const int w = span[static_cast<size_t>(std::abs(dy))];
        uint8_t* row = target.data() + static_cast<size_t>(ty) * width;
        for (int tx = std::max(0, x - w); tx <= std::min(width - 1, x + w); ++tx) {
          if (row[tx] < c) row[tx] = c;
        }
      }
    }
  }
}

}  // namespace

std::vector<WideRun> wideRuns(const FormattedCue& cue, unsigned codePage) {
  std::vector<WideRun> runs;
  runs.reserve(cue.runs.size());
  for (const StyledRun& run : cue.runs) {
    const std::u16string text =
        systemCodePages().toUtf16(codePage, std::string_view(cue.visible).substr(run.begin, run.end - run.begin));
    runs.push_back({std::wstring(text.begin(), text.end()), run.style});
  }
  return runs;
}

std::vector<WideRun> styledRuns(const std::vector<CueBlock>& blocks, const CueTable& table, unsigned codePage,
                                int32_t fontPoints, BlockPlace place) {
  const std::vector<TextLook>& looks = table.looks;
  std::vector<WideRun> runs;
  for (const bool top : {true, false}) {
    if (place != BlockPlace::Any && top != (place == BlockPlace::Top)) continue;
    for (const CueBlock& block : blocks) {
      if (block.top != top) continue;
      const TextLook plain;
      const TextLook& look = block.look < looks.size() ? looks[block.look] : plain;
      if (!runs.empty()) runs.push_back({L"\r\n", TextStyle{}});
      if (block.text >= table.blockTexts.size()) continue;
      for (WideRun& run : wideRuns(parseSubtitleTags(table.blockTexts[block.text], codePage), codePage)) {
        TextStyle& style = run.style;
        style.bold = style.bold || look.bold;
        style.italic = style.italic || look.italic;
        if (!style.hasColour) {
          style.hasColour = true;
          style.colour = look.colour;
        }
        if (style.face.empty()) style.face = look.face;
        run.outline = look.outline;
        if (style.size == 0 && look.sizePermille != 1000) {
          style.size = std::max(1, static_cast<int32_t>(int64_t{fontPoints} * look.sizePermille / 1000));
        }
        runs.push_back(std::move(run));
      }
    }
  }
  return runs;
}

SmoothTextRenderer::SmoothTextRenderer() : dc_(CreateCompatibleDC(nullptr)) {}

SmoothTextRenderer::~SmoothTextRenderer() {
  if (oldBitmap_) SelectObject(dc_.get(), oldBitmap_);
}

bool SmoothTextRenderer::ensureImage(int32_t width, int32_t height) {
  if (width == width_ && height == height_ && pixels_) return true;
  if (oldBitmap_) SelectObject(dc_.get(), oldBitmap_);
  oldBitmap_ = nullptr;
  bitmap_.reset();
  pixels_ = nullptr;
  width_ = height_ = 0;
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void* bits = nullptr;
  bitmap_ = GdiObject<HBITMAP>(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || !bits) return false;
  oldBitmap_ = SelectObject(dc_.get(), bitmap_.get());
  pixels_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
  const size_t area = static_cast<size_t>(width) * height;
  coverage_.assign(area, 0);
  outline_.assign(area, 0);
  return true;
}

bool SmoothTextRenderer::render(const std::vector<WideRun>& runs, const SmoothTextLook& look,
                                const std::vector<WideRun>& lowerRuns, int32_t lowerTop) {
  if (!dc_ || !ensureImage(std::max(look.width, 1), std::max(look.height, 1))) return false;
  const size_t area = static_cast<size_t>(width_) * height_;
  std::memset(pixels_, 0, area * 4);
  if (look.width < 1 || look.height < 1 || (runs.empty() && lowerRuns.empty())) return true;

  FontCache fonts(dc_.get(), look);
  fonts.fontFor(TextStyle{});  // font 0: the overlay's own, the fallback
  if (fonts.empty()) return true;
  const bool twoPlaces = !lowerRuns.empty() && lowerTop > 0 && lowerTop < look.height;
  std::vector<WideRun> joined;  // with no room for two places, one under the other
  if (!twoPlaces && !lowerRuns.empty()) {
    joined = runs;
    if (!joined.empty()) joined.push_back({L"\r\n", TextStyle{}});
    joined.insert(joined.end(), lowerRuns.begin(), lowerRuns.end());
  }
  Layout upper(dc_.get(), fonts, look, twoPlaces ? lowerTop : look.height);
  upper.build(joined.empty() ? runs : joined);
  Layout lower(dc_.get(), fonts, look, twoPlaces ? look.height - lowerTop : 0);
  if (twoPlaces) lower.build(lowerRuns);
  const std::pair<const Layout*, int> places[] = {{&upper, 0}, {&lower, lowerTop}};

  SetBkMode(dc_.get(), TRANSPARENT);
  SetTextAlign(dc_.get(), TA_BASELINE | TA_LEFT);
  bool coloured = false;
  enum class Ink { White, Colour, Outline };
  const auto drawText = [&](Ink paint) {
    for (const auto& [layout, from] : places) {
      int top = from;
      for (const Line& line : layout->lines()) {
        int x = look.centred ? (look.width - line.width) / 2 : 0;
        for (size_t p = line.first; p < line.end; ++p) {
          const Piece& piece = layout->pieces()[p];
          SelectObject(dc_.get(), fonts.font(piece.font));
          SetTextColor(dc_.get(), paint == Ink::Colour    ? piece.colour
                                  : paint == Ink::Outline ? piece.outline
                                                          : RGB(255, 255, 255));
          coloured = coloured || piece.colour != RGB(255, 255, 255);
          TextOutW(dc_.get(), x, top + line.ascent, piece.text, piece.length);
          x += piece.width;
        }
        top += line.height;
      }
    }
    SelectObject(dc_.get(), GetStockObject(SYSTEM_FONT));
    GdiFlush();
  };
  // Coverage: the glyphs in white on black, one channel.
  drawText(Ink::White);
  RECT ink{width_, height_, 0, 0};
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const uint8_t c = static_cast<uint8_t>(std::max({pixels_[y * width_ + x] & 0xFF,
                                                       pixels_[y * width_ + x] >> 8 & 0xFF,
                                                       pixels_[y * width_ + x] >> 16 & 0xFF}));
      coverage_[static_cast<size_t>(y) * width_ + x] = c;
      if (c) ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y),
                    std::max<LONG>(ink.right, x + 1), std::max<LONG>(ink.bottom, y + 1)};
    }
  }
  if (IsRectEmpty(&ink)) {
    std::memset(pixels_, 0, area * 4);
    return true;
  }
  // The rings' colour: one for all, or, where lines differ, each glyph's own spread over its
  // ring (the glyphs drawn in their outline colours, each channel dilated like the coverage).
  const Piece* first = !upper.pieces().empty()   ? &upper.pieces().front()
                       : !lower.pieces().empty() ? &lower.pieces().front()
                                                 : nullptr;
  const COLORREF ring = first ? first->outline : RGB(0, 0, 0);
  bool ringsDiffer = false;
  for (const Layout* layout : {&upper, &lower}) {
    for (const Piece& piece : layout->pieces()) ringsDiffer = ringsDiffer || piece.outline != ring;
  }
  const int radius = outlineRadius(look.fontPixels);
  if (ringsDiffer) {
    std::memset(pixels_, 0, area * 4);
    drawText(Ink::Outline);
    ringSource_.resize(area);
    for (int channel = 0; channel < 3; ++channel) {
      for (size_t at = 0; at < area; ++at) ringSource_[at] = static_cast<uint8_t>(pixels_[at] >> (8 * channel) & 0xFF);
      ringColour_[channel].assign(area, 0);
      dilate(ringSource_, ringColour_[channel], width_, height_, ink, radius);
    }
    coloured = true;  // the glyphs are drawn again below
  }
  // Colours: drawn again in them on black, which is their premultiplied value.
  if (coloured) {
    std::memset(pixels_, 0, area * 4);
    drawText(Ink::Colour);
  }
  const int reach = radius + (look.shadow ? look.shadowOffset : 0);
  const RECT box{std::max<LONG>(0, ink.left - reach), std::max<LONG>(0, ink.top - reach),
                 std::min<LONG>(width_, ink.right + reach), std::min<LONG>(height_, ink.bottom + reach)};
  for (int y = box.top; y < box.bottom; ++y) {
    std::memset(outline_.data() + static_cast<size_t>(y) * width_ + box.left, 0,
                static_cast<size_t>(box.right - box.left));
  }
  dilate(coverage_, outline_, width_, height_, ink, radius);

  for (int y = box.top; y < box.bottom; ++y) {
    for (int x = box.left; x < box.right; ++x) {
      const size_t at = static_cast<size_t>(y) * width_ + x;
      const uint32_t glyph = pixels_[at];
      const uint32_t a = coverage_[at];
      uint32_t alpha = std::max<uint32_t>(outline_[at], a);  // the glyph over its ring
      const uint32_t rim = alpha - a;  // the ring's share of the pixel
      if (look.shadow && x >= look.shadowOffset && y >= look.shadowOffset) {
        const uint32_t s = outline_[at - look.shadowOffset - static_cast<size_t>(look.shadowOffset) * width_];
        alpha = alpha + s * (255 - alpha) / 255;
      }
      // COLORREF is 0x00BBGGRR; the image is 0xAARRGGBB.
      const uint32_t ringR = ringsDiffer ? ringColour_[2][at] : GetRValue(ring),
                     ringG = ringsDiffer ? ringColour_[1][at] : GetGValue(ring),
                     ringB = ringsDiffer ? ringColour_[0][at] : GetBValue(ring);
      const uint32_t b = std::min((glyph & 0xFF) + ringB * rim / 255, alpha),
                     g = std::min((glyph >> 8 & 0xFF) + ringG * rim / 255, alpha),
                     r = std::min((glyph >> 16 & 0xFF) + ringR * rim / 255, alpha);
      pixels_[at] = alpha << 24 | r << 16 | g << 8 | b;
    }
  }
  return true;
}

}  // namespace quorvane
