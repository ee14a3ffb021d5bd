#include "overlay/ass_renderer_win.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quorvane {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Past this many fonts the cache starts again: tag soup may ask for any number of sizes.
constexpr size_t kMaxFonts = 64;
// Text longer than this in one run is drawn cut: no line can show more.
constexpr size_t kMaxRunLength = 1024;

// A rectangle of the image, [left, right) x [top, bottom).
struct Region {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
};

// Max of `source` over an ellipse of radii (rx, ry) around each pixel: an outline's coverage.
void dilate(const std::vector<uint8_t>& source, std::vector<uint8_t>& target, int width, int height, int rx, int ry) {
  target.assign(source.size(), 0);
  std::vector<int> span(static_cast<size_t>(ry) + 1);
  for (int d = 0; d <= ry; ++d) {
    const double share = ry > 0 ? static_cast<double>(d) / (ry + 0.5) : 0;
    span[static_cast<size_t>(d)] = static_cast<int>(std::floor((rx + 0.5) * std::sqrt(std::max(0.0, 1 - share * share))));
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t at = static_cast<size_t>(y) * width + x;
      const uint8_t c = source[at];
      if (c == 0) continue;
      // Inside a glyph the neighbours' ellipses already cover this one's: only edges stamp.
      if (x > 0 && y > 0 && x + 1 < width && y + 1 < height && source[at - 1] >= c && source[at + 1] >= c &&
          source[at - width] >= c && source[at + width] >= c) {
        target[at] = std::max(target[at], c);
        continue;
      }
      for (int dy = -ry; dy <= ry; ++dy) {
        const int ty = y + dy;
        if (ty < 0 || ty >= height) continue;
        const int w = span[static_cast<size_t>(std::abs(dy))];
        uint8_t* row = target.data() + static_cast<size_t>(ty) * width;
        for (int tx = std::max(0, x - w); tx <= std::min(width - 1, x + w); ++tx) row[tx] = std::max(row[tx], c);
      }
    }
  }
}

// Three box blurs in each direction: close to a Gaussian of deviation `sigma`.
void blur(std::vector<uint8_t>& mask, int width, int height, double sigma) {
  const int radius = static_cast<int>(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2));
  if (radius < 1) return;
  std::vector<uint32_t> line(static_cast<size_t>(std::max(width, height)));
  const auto pass = [&](int count, int length, size_t stride, size_t step, size_t start) {
    for (int n = 0; n < count; ++n) {
      uint8_t* p = mask.data() + start + stride * n;
      for (int i = 0; i < length; ++i) line[static_cast<size_t>(i)] = p[step * i];
      uint32_t sum = 0;
      const int window = 2 * radius + 1;
      for (int i = -radius; i <= radius; ++i) sum += i >= 0 && i < length ? line[static_cast<size_t>(i)] : 0;
      for (int i = 0; i < length; ++i) {
        p[step * i] = static_cast<uint8_t>(sum / window);
        const int out = i - radius, in = i + radius + 1;
        if (out >= 0) sum -= line[static_cast<size_t>(out)];
        if (in < length) sum += line[static_cast<size_t>(in)];
      }
    }
  };
  for (int round = 0; round < 3; ++round) {
    pass(height, width, static_cast<size_t>(width), 1, 0);
    pass(width, height, 1, static_cast<size_t>(width), 0);
  }
}

// Where a run's glyphs go: the font's cell to the picture through the run's scales and the event's
// turn, the pen's start on a whole pixel. A sign that moves slowly then needs new masks only when
// it has moved a pixel.
XFORM runTransform(const AssRun& run, const AssPlacedEvent& event) {
  const double unit = run.font.size / std::max(1.0, std::round(run.font.size));  // the font's integer size to the run's
  const double sx = run.font.scaleX * unit, sy = run.font.scaleY * unit;
  const double a = event.angle * kPi / 180, c = std::cos(a), s = std::sin(a);
  const double ox = event.orgX, oy = event.orgY;
  XFORM xf;
  xf.eM11 = static_cast<FLOAT>(sx * c);
  xf.eM21 = static_cast<FLOAT>(sy * s);
  xf.eM12 = static_cast<FLOAT>(-sx * s);
  xf.eM22 = static_cast<FLOAT>(sy * c);
  xf.eDx = static_cast<FLOAT>(std::round(ox + (run.x - ox) * c + (run.baseline - oy) * s));
  xf.eDy = static_cast<FLOAT>(std::round(oy - (run.x - ox) * s + (run.baseline - oy) * c));
  return xf;
}

template <typename T>
void appendBytes(std::string& key, const T& value) {
  key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Everything a run's masks depend on: its text, font, edges, and where its glyphs go.
std::string maskKey(const AssRun& run, const AssPlacedEvent& event) {
  std::string key;
  const AssFont& f = run.font;
  for (const double v : {f.size, f.scaleX, f.scaleY, f.spacing, run.width, run.borderX, run.borderY, run.blur, event.angle}) {
    appendBytes(key, v);
  }
  appendBytes(key, runTransform(run, event));
  for (const bool v : {f.bold, f.italic, f.underline, f.strike}) appendBytes(key, v);
  appendBytes(key, f.face.size());
  key.append(reinterpret_cast<const char*>(f.face.data()), f.face.size() * sizeof(char16_t));
  key.append(reinterpret_cast<const char*>(run.text.data()), run.text.size() * sizeof(char16_t));
  return key;
}

// Past this many rectangles they are joined into one box: joining costs their square.
constexpr size_t kMostJoined = 64;

int64_t area(const RECT& r) { return int64_t{r.right - r.left} * (r.bottom - r.top); }

// Past this many events a frame is compared with the last one as a whole: matching them costs
// their square.
constexpr size_t kMostMatched = 256;

}  // namespace

GdiAssMeasure::Entry* GdiAssMeasure::entryFor(const AssFont& font) {
  const int32_t size = std::max<int32_t>(1, static_cast<int32_t>(std::lround(font.size)));
  const auto key = std::make_tuple(font.face, size, font.bold, font.italic, font.underline, font.strike);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return &found->second;
  if (fonts_.size() >= kMaxFonts) fonts_.clear();
  LOGFONTW lf{};
  std::copy_n(font.face.begin(), std::min<size_t>(font.face.size(), LF_FACESIZE - 1), lf.lfFaceName);
  lf.lfHeight = size;  // positive: the cell height, ascent plus descent
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic;
  lf.lfUnderline = font.underline;
  lf.lfStrikeOut = font.strike;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfQuality = ANTIALIASED_QUALITY;
  Entry entry{FontHandle(CreateFontIndirectW(&lf)), {}};
  if (!entry.font) return nullptr;
  const HGDIOBJ old = SelectObject(dc_, entry.font.get());
  GetTextMetricsW(dc_, &entry.metrics);
  SelectObject(dc_, old);
  return &fonts_.emplace(key, std::move(entry)).first->second;
}

HFONT GdiAssMeasure::fontFor(const AssFont& font) {
  Entry* entry = entryFor(font);
  return entry ? entry->font.get() : nullptr;
}

double GdiAssMeasure::width(const AssFont& font, std::u16string_view text) {
  Entry* entry = entryFor(font);
  if (!entry || text.empty()) return 0;
  const HGDIOBJ old = SelectObject(dc_, entry->font.get());
  SetTextCharacterExtra(dc_, 0);
  SIZE size{};
  const int length = static_cast<int>(std::min(text.size(), kMaxRunLength));
  GetTextExtentPoint32W(dc_, reinterpret_cast<const wchar_t*>(text.data()), length, &size);
  SelectObject(dc_, old);
  const double unit = font.size / std::max(1.0, std::round(font.size));  // the font's integer size to the run's
  return size.cx * unit * font.scaleX + font.spacing * length;
}

double GdiAssMeasure::ascentShare(const AssFont& font) {
  Entry* entry = entryFor(font);
  if (!entry || entry->metrics.tmHeight <= 0) return 0.8;
  return static_cast<double>(entry->metrics.tmAscent) / entry->metrics.tmHeight;
}

struct AssRenderer::Mask {
  Region region;
  std::vector<uint8_t> glyph, outline;
  double originX = 0, originY = 0, dirX = 1, dirY = 0;  // the run's start on its baseline, its direction
  // Of the region and the coverage: a run moved by less than a pixel often covers the same pixels.
  uint64_t fingerprint = 0;
};

AssRenderer::AssRenderer()
    : dc_(CreateCompatibleDC(nullptr)), scratchDc_(CreateCompatibleDC(nullptr)), measure_(scratchDc_.get()) {
  SetGraphicsMode(scratchDc_.get(), GM_ADVANCED);
  SetBkMode(scratchDc_.get(), TRANSPARENT);
  SetTextAlign(scratchDc_.get(), TA_BASELINE | TA_LEFT);
  SetTextColor(scratchDc_.get(), RGB(255, 255, 255));
}

AssRenderer::~AssRenderer() {
  if (oldBitmap_) SelectObject(dc_.get(), oldBitmap_);
  if (oldScratch_) SelectObject(scratchDc_.get(), oldScratch_);
}

bool AssRenderer::ensureImage(int32_t width, int32_t height) {
  if (width == width_ && height == height_ && pixels_) return true;
  if (oldBitmap_) SelectObject(dc_.get(), oldBitmap_);
  if (oldScratch_) SelectObject(scratchDc_.get(), oldScratch_);
  oldBitmap_ = oldScratch_ = nullptr;
  bitmap_.reset();
  scratchBitmap_.reset();
  pixels_ = scratch_ = nullptr;
  width_ = height_ = 0;
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void* bits = nullptr;
  void* scratchBits = nullptr;
  bitmap_ = GdiObject<HBITMAP>(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  scratchBitmap_ = GdiObject<HBITMAP>(CreateDIBSection(scratchDc_.get(), &info, DIB_RGB_COLORS, &scratchBits, nullptr, 0));
  if (!bitmap_ || !bits || !scratchBitmap_ || !scratchBits) return false;
  oldBitmap_ = SelectObject(dc_.get(), bitmap_.get());
  oldScratch_ = SelectObject(scratchDc_.get(), scratchBitmap_.get());
  pixels_ = static_cast<uint32_t*>(bits);
  scratch_ = static_cast<uint32_t*>(scratchBits);
  std::memset(scratch_, 0, static_cast<size_t>(width) * height * 4);
  width_ = width;
  height_ = height;
  return true;
}

// Draws the run's glyphs white on black through the world transform (its scales, then the
// event's rotation) into the scratch image, and takes their coverage over the region they can
// reach with their outline, shadow and blur.
bool AssRenderer::glyphMask(const AssRun& run, const AssPlacedEvent& event, Mask& mask) {
  const HFONT font = measure_.fontFor(run.font);
  if (!font || run.font.scaleX <= 0 || run.font.scaleY <= 0) return false;
  const double unit = run.font.size / std::max(1.0, std::round(run.font.size));  // the font's integer size to the run's
  const double sx = run.font.scaleX * unit;
  const double a = event.angle * kPi / 180;
  const XFORM xf = runTransform(run, event);
  mask.originX = xf.eDx, mask.originY = xf.eDy, mask.dirX = std::cos(a), mask.dirY = -std::sin(a);

  // The run's reach: its cell with room for italic overhang, turned, plus outline, shadow, blur.
  const double cell = std::round(run.font.size);
  const double width = run.width / std::max(1e-9, sx);
  const double corners[4][2] = {{-cell / 3, -cell}, {width + cell / 3, -cell}, {-cell / 3, cell / 2}, {width + cell / 3, cell / 2}};
  double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
  for (const auto& p : corners) {
    const double x = p[0] * xf.eM11 + p[1] * xf.eM21 + xf.eDx, y = p[0] * xf.eM12 + p[1] * xf.eM22 + xf.eDy;
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  const double pad = std::max(run.borderX, run.borderY) + 3 * run.blur + 2;
  Region& r = mask.region;
  r.left = static_cast<int>(std::clamp(std::floor(minX - pad), 0.0, static_cast<double>(width_)));
  r.top = static_cast<int>(std::clamp(std::floor(minY - pad), 0.0, static_cast<double>(height_)));
  r.right = static_cast<int>(std::clamp(std::ceil(maxX + pad), 0.0, static_cast<double>(width_)));
  r.bottom = static_cast<int>(std::clamp(std::ceil(maxY + pad), 0.0, static_cast<double>(height_)));
  if (r.empty()) return false;

  const HDC dc = scratchDc_.get();
  SetWorldTransform(dc, &xf);
  const HGDIOBJ old = SelectObject(dc, font);
  SetTextCharacterExtra(dc, static_cast<int>(std::lround(run.font.spacing / sx)));
  TextOutW(dc, 0, 0, reinterpret_cast<const wchar_t*>(run.text.data()), static_cast<int>(std::min(run.text.size(), kMaxRunLength)));
  SetTextCharacterExtra(dc, 0);
  SelectObject(dc, old);
  ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
  GdiFlush();
  mask.glyph.resize(static_cast<size_t>(r.width()) * r.height());
  for (int y = r.top; y < r.bottom; ++y) {
    uint32_t* row = scratch_ + static_cast<size_t>(y) * width_;
    uint8_t* out = mask.glyph.data() + static_cast<size_t>(y - r.top) * r.width();
    for (int x = r.left; x < r.right; ++x) {
      const uint32_t p = row[x];
      out[x - r.left] = static_cast<uint8_t>(std::max({p & 0xFF, p >> 8 & 0xFF, p >> 16 & 0xFF}));
      row[x] = 0;  // the scratch image stays black for the next run
    }
  }
  return true;
}

const AssRenderer::Mask& AssRenderer::masksFor(std::string key, const AssRun& run, const AssPlacedEvent& event) {
  const auto drawn = masks_.find(key);
  if (drawn != masks_.end()) return drawn->second;
  const auto kept = lastMasks_.find(key);
  if (kept != lastMasks_.end()) return masks_.emplace(std::move(key), std::move(kept->second)).first->second;
  Mask& m = masks_[std::move(key)];
  if (!glyphMask(run, event, m)) return m;
  const int w = m.region.width(), h = m.region.height();
  if (run.borderX > 0 || run.borderY > 0) {
    dilate(m.glyph, m.outline, w, h, static_cast<int>(std::lround(run.borderX)), static_cast<int>(std::lround(run.borderY)));
  }
  if (run.blur > 0) blur(m.outline.empty() ? m.glyph : m.outline, w, h, run.blur);
  uint64_t hash = 14695981039346656037u;  // FNV-1a
  const auto add = [&hash](const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211u;
  };
  add(reinterpret_cast<const uint8_t*>(&m.region), sizeof m.region);
  add(m.glyph.data(), m.glyph.size());
  const size_t outlineSize = m.outline.size();
  add(reinterpret_cast<const uint8_t*>(&outlineSize), sizeof outlineSize);
  add(m.outline.data(), m.outline.size());
  m.fingerprint = hash;
  return m;
}

// Paints one event clipped to `area`: for each run its shadow, then its outline, then its text, in
// its colours (two, split across the run, for karaoke), through the event's clip.
void AssRenderer::paintEvent(const AssPlacedEvent& event, const std::vector<const Mask*>& masks, const RECT& area) {
  const auto paint = [&](const Mask& m, const std::vector<uint8_t>& coverage, const std::vector<uint8_t>* minus, int dx,
                         int dy, const AssInk& ink, const AssInk& unsung, double sungWidth) {
    const Region& r = m.region;
    for (int y = std::max<int>(area.top, r.top + dy); y < std::min<int>(area.bottom, r.bottom + dy); ++y) {
      for (int x = std::max<int>(area.left, r.left + dx); x < std::min<int>(area.right, r.right + dx); ++x) {
        const size_t at = static_cast<size_t>(y - dy - r.top) * r.width() + (x - dx - r.left);
        int cover = coverage[at];
        if (minus) cover = std::max(0, cover - (*minus)[at]);
        if (cover == 0) continue;
        if (event.clipped) {
          const bool inside = x + 0.5 >= event.clip.left && x + 0.5 < event.clip.right && y + 0.5 >= event.clip.top &&
                              y + 0.5 < event.clip.bottom;
          if (inside == event.inverseClip) continue;
        }
        const AssInk& use =
            sungWidth >= 0 && (x + 0.5 - m.originX) * m.dirX + (y + 0.5 - m.originY) * m.dirY >= sungWidth ? unsung : ink;
        const uint32_t alpha = static_cast<uint32_t>(cover) * use.opacity / 255;
        if (alpha == 0) continue;
        uint32_t& p = pixels_[static_cast<size_t>(y) * width_ + x];
        const uint32_t keep = 255 - alpha;
        const auto mix = [&](int shift, uint32_t channel) {
          return (channel * alpha + (p >> shift & 0xFF) * keep + 127) / 255;
        };
        p = (alpha + (p >> 24) * keep / 255) << 24 | mix(16, use.rgb >> 16 & 0xFF) << 16 | mix(8, use.rgb >> 8 & 0xFF) << 8 |
            mix(0, use.rgb & 0xFF);
      }
    }
  };
  // Shadows, then outlines, then the text, as libass stacks an event's images.
  for (size_t i = 0; i < masks.size(); ++i) {
    const AssRun& run = event.runs[i];
    const Mask& m = *masks[i];
    if (m.glyph.empty() || (run.shadowX == 0 && run.shadowY == 0)) continue;
    paint(m, m.outline.empty() ? m.glyph : m.outline, nullptr, static_cast<int>(std::lround(run.shadowX)),
          static_cast<int>(std::lround(run.shadowY)), run.shadow, run.shadow, -1);
  }
  for (size_t i = 0; i < masks.size(); ++i) {
    const AssRun& run = event.runs[i];
    const Mask& m = *masks[i];
    if (m.glyph.empty() || m.outline.empty() || !run.borderShown) continue;
    // Under a see-through fill the outline does not show: it is cut where the glyph is.
    paint(m, m.outline, run.fill.opacity < 255 ? &m.glyph : nullptr, 0, 0, run.border, run.border, -1);
  }
  for (size_t i = 0; i < masks.size(); ++i) {
    const AssRun& run = event.runs[i];
    const Mask& m = *masks[i];
    if (m.glyph.empty()) continue;
    paint(m, m.glyph, nullptr, 0, 0, run.fill, run.unsungFill, run.sung < 1 ? run.sung * run.width : -1);
  }
}

std::vector<RECT> AssRenderer::eventInk() const {
  std::vector<RECT> ink;
  for (const Drawn& d : drawn_) ink.push_back(d.ink);
  return ink;
}

bool AssRenderer::render(const std::vector<AssPlacedEvent>& frame, int32_t width, int32_t height) {
  const bool sameImage = width == width_ && height == height_ && pixels_;
  if (!dc_ || !scratchDc_ || !ensureImage(std::max(width, 1), std::max(height, 1))) return false;
  if (!sameImage) {  // a new image: nothing drawn on it yet, and masks are cut to the image
    std::memset(pixels_, 0, static_cast<size_t>(width_) * height_ * 4);
    lastMasks_.clear();
    drawn_.clear();
  }
  // Each event's masks, the ink they can reach and everything its look depends on.
  std::vector<std::vector<const Mask*>> masks(frame.size());
  std::vector<Drawn> drawn(frame.size());
  const RECT image{0, 0, width_, height_};
  for (size_t e = 0; e < frame.size(); ++e) {
    const AssPlacedEvent& event = frame[e];
    std::string& look = drawn[e].look;
    for (const AssRun& run : event.runs) {
      const Mask& m = masksFor(maskKey(run, event), run, event);
      masks[e].push_back(&m);
      // What the painting reads: the masks' pixels (not the run's exact place), the colours,
      // the shadow's offset in pixels, and for karaoke where the fill splits.
      appendBytes(look, m.fingerprint);
      for (const AssInk& ink : {run.fill, run.unsungFill, run.border, run.shadow}) {
        appendBytes(look, ink.rgb);
        appendBytes(look, ink.opacity);
      }
      appendBytes(look, run.shadowX != 0 || run.shadowY != 0);
      for (const long v : {std::lround(run.shadowX), std::lround(run.shadowY)}) appendBytes(look, v);
      appendBytes(look, run.borderShown);
      if (run.sung < 1) {
        for (const double v : {run.sung * run.width, m.originX, m.originY, m.dirX, m.dirY}) appendBytes(look, v);
      }
      if (m.glyph.empty()) continue;
      const Region& r = m.region;
      RECT reach{r.left, r.top, r.right, r.bottom};
      UnionRect(&drawn[e].ink, &drawn[e].ink, &reach);
      if (run.shadowX != 0 || run.shadowY != 0) {
        OffsetRect(&reach, static_cast<int>(std::lround(run.shadowX)), static_cast<int>(std::lround(run.shadowY)));
        IntersectRect(&reach, &reach, &image);
        UnionRect(&drawn[e].ink, &drawn[e].ink, &reach);
      }
    }
    appendBytes(look, event.clipped);
    if (event.clipped) {
      appendBytes(look, event.inverseClip);
      for (const double v : {event.clip.left, event.clip.top, event.clip.right, event.clip.bottom}) appendBytes(look, v);
    }
  }

  // Only what changed is drawn again: the ink, old and new, of the events whose look changed, came
  // or went. The events that look as they did, in the same order, keep their pixels.
  std::vector<RECT> dirty;
  if (frame.size() > kMostMatched || drawn_.size() > kMostMatched) {
    for (const Drawn& d : drawn_) dirty.push_back(d.ink);
    for (const Drawn& d : drawn) dirty.push_back(d.ink);
  } else {
    std::vector<bool> kept(drawn_.size(), false);
    size_t next = 0;  // the last frame's events before this are matched or passed over
    for (const Drawn& d : drawn) {
      size_t j = next;
      while (j < drawn_.size() && drawn_[j].look != d.look) ++j;
      if (j < drawn_.size()) {
        kept[j] = true;
        next = j + 1;
      } else {
        dirty.push_back(d.ink);
      }
    }
    for (size_t j = 0; j < drawn_.size(); ++j) {
      if (!kept[j]) dirty.push_back(drawn_[j].ink);
    }
  }
  dirty = joinRects(dirty, 0, SIZE_MAX);  // no pixel is drawn twice
  for (const RECT& area : dirty) {
    for (LONG y = area.top; y < area.bottom; ++y) {
      std::memset(pixels_ + static_cast<size_t>(y) * width_ + area.left, 0, static_cast<size_t>(area.right - area.left) * 4);
    }
    for (size_t e = 0; e < frame.size(); ++e) {
      RECT common;
      if (IntersectRect(&common, &drawn[e].ink, &area)) paintEvent(frame[e], masks[e], common);
    }
  }
  changed_ = std::move(dirty);
  drawn_ = std::move(drawn);
  lastMasks_.swap(masks_);
  masks_.clear();
  return true;
}

std::vector<RECT> joinRects(const std::vector<RECT>& rects, int gap, size_t most) {
  std::vector<RECT> groups;
  for (const RECT& r : rects) {
    if (!IsRectEmpty(&r)) groups.push_back(r);
  }
  if (groups.size() > kMostJoined) {
    RECT all{};
    for (const RECT& r : groups) UnionRect(&all, &all, &r);
    return {all};
  }
  // Join boxes less than `gap` apart until none are.
  for (bool joined = true; joined;) {
    joined = false;
    for (size_t i = 0; i < groups.size() && !joined; ++i) {
      RECT reach = groups[i];
      InflateRect(&reach, gap, gap);
      for (size_t j = i + 1; j < groups.size(); ++j) {
        RECT common;
        if (!IntersectRect(&common, &reach, &groups[j])) continue;
        UnionRect(&groups[i], &groups[i], &groups[j]);
        groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(j));
        joined = true;
        break;
      }
    }
  }
  // Too many: join the pair whose joint box adds the least area.
  while (groups.size() > std::max<size_t>(most, 1)) {
    size_t bestI = 0, bestJ = 1;
    int64_t bestCost = INT64_MAX;
    for (size_t i = 0; i < groups.size(); ++i) {
      for (size_t j = i + 1; j < groups.size(); ++j) {
        RECT both;
        UnionRect(&both, &groups[i], &groups[j]);
        const int64_t cost = area(both) - area(groups[i]) - area(groups[j]);
        if (cost < bestCost) bestCost = cost, bestI = i, bestJ = j;
      }
    }
    UnionRect(&groups[bestI], &groups[bestI], &groups[bestJ]);
    groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(bestJ));
  }
  return groups;
}

}  // namespace quorvane
