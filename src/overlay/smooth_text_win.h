#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "loading/cue_table.h"
#include "loading/subtitle_tags.h"
#include "platform/window_handles_win.h"

namespace quorvane {

// A stretch of a cue in UTF-16 with its style (face in the system's ANSI code page).
struct WideRun {
  std::wstring text;
  TextStyle style;
  uint32_t outline = 0x000000;  // 0xRRGGBB of the ring around its glyphs
};

// The cue's runs in UTF-16: the visible text cut at its style changes.
std::vector<WideRun> wideRuns(const FormattedCue& cue, unsigned codePage);

// Which of a styled cue's blocks: all (top ones first), or those of one place only.
enum class BlockPlace { Any, Top, Bottom };

// The runs of a styled cue (ASS/SSA, WebVTT): each block on lines of its own, top blocks first,
// its formatting tags drawn over its look: face, bold, italic, colour, and a size that is the
// look's share of `fontPoints`.
std::vector<WideRun> styledRuns(const std::vector<CueBlock>& blocks, const CueTable& table, unsigned codePage,
                                int32_t fontPoints, BlockPlace place = BlockPlace::Any);

// Where and how the text is laid out: the label's geometry and the overlay's font.
struct SmoothTextLook {
  int32_t width = 0, height = 0;  // the image; the label's width and the overlay's height
  std::wstring face;
  int32_t fontPixels = 48;        // the font's character height
  int32_t pointsToPixels = 96;    // pixels per inch, for <font size=...> in points
  BYTE charSet = DEFAULT_CHARSET;
  bool centred = true, shadow = false;
  int32_t shadowOffset = 2;       // right and down, in pixels
};

// Draws subtitle text as a premultiplied 32-bit BGRA image for a per-pixel-alpha window:
// anti-aliased glyphs in their colour (white unless a tag says otherwise) over an outline
// (outlineRadius) in their run's outline colour, a black shadow shadowOffset pixels right and down when asked, and alpha 0
// everywhere else. Lines wrap at word boundaries (or between Chinese characters) within the
// width and break at CR LF: the lines break where the plain label's do, so that turning smooth
// text on moves no word to another line.
// One bitmap and its buffers are kept and reused, so memory stays at the image's size whatever
// the text's length; lines below the image are not laid out.
class SmoothTextRenderer {
 public:
  SmoothTextRenderer();
  ~SmoothTextRenderer();
  SmoothTextRenderer(const SmoothTextRenderer&) = delete;
  SmoothTextRenderer& operator=(const SmoothTextRenderer&) = delete;

  // False when the image cannot be made (a width or height below 1 gives an empty image).
  // `lowerRuns`, when given, are laid out from row `lowerTop` down, and `runs` above it: the top
  // and the bottom lines of one cue in one image.
  bool render(const std::vector<WideRun>& runs, const SmoothTextLook& look,
              const std::vector<WideRun>& lowerRuns = {}, int32_t lowerTop = 0);

  HDC dc() const { return dc_.get(); }  // the image is selected into it
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  uint32_t pixel(int32_t x, int32_t y) const { return pixels_[y * width_ + x]; }
  // A sixteenth of the font's height, 2 pixels at least; at most 8, which the largest font the
  // sliders give (72 points at 96 DPI) does not reach, so that absurd sizes stay cheap.
  static int32_t outlineRadius(int32_t fontPixels) { return std::clamp(fontPixels / 16, 2, 8); }

 private:
  bool ensureImage(int32_t width, int32_t height);

  MemoryDc dc_;
  GdiObject<HBITMAP> bitmap_;
  HGDIOBJ oldBitmap_ = nullptr;
  uint32_t* pixels_ = nullptr;
  int32_t width_ = 0, height_ = 0;
  std::vector<uint8_t> coverage_, outline_;
  std::vector<uint8_t> ringSource_, ringColour_[3];  // blue, green, red: rings of several colours
};

}  // namespace quorvane
