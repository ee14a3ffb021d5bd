#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "loading/ass_reader.h"
#include "overlay/picture_area.h"

namespace quorvane {

struct AssRect {
  double left = 0, top = 0, right = 0, bottom = 0;
  double width() const { return right - left; }
  double height() const { return bottom - top; }
};

// A colour to draw with: 0xRRGGBB and opacity (255 opaque), fades already applied.
struct AssInk {
  uint32_t rgb = 0;
  uint8_t opacity = 0;
};

// The font a run is measured and drawn in; sizes in picture pixels.
struct AssFont {
  std::u16string face;
  double size = 0;           // the cell height: ascent plus descent
  double scaleX = 1, scaleY = 1;
  double spacing = 0;        // added after each character, in picture pixels
  bool bold = false, italic = false, underline = false, strike = false;
};

// Text measuring, which the layout leaves to the drawing side (GDI on Windows, a fixed advance
// in tests).
class AssTextMeasure {
 public:
  virtual ~AssTextMeasure() = default;
  // The advance of `text` in `font`, scales and spacing included.
  virtual double width(const AssFont& font, std::u16string_view text) = 0;
  // The ascent share of the cell height (0..1) of the font.
  virtual double ascentShare(const AssFont& font) = 0;
};

// A stretch of one line in one style, at its place before the event's rotation.
struct AssRun {
  std::u16string text;
  AssFont font;
  double x = 0, baseline = 0;  // the pen's start, in picture pixels relative to the area
  double width = 0;
  AssInk fill, unsungFill, border, shadow;  // primary, secondary (karaoke), outline, back
  // Karaoke: the share of the run (from its left) already sung, drawn in `fill`; the rest in
  // `unsungFill`. 1 without karaoke.
  double sung = 1;
  bool borderShown = true;      // \ko hides the outline until sung
  double borderX = 0, borderY = 0, shadowX = 0, shadowY = 0;
  double blur = 0;              // a Gaussian's radius in picture pixels (\be counted in)
};

// What one event draws at one moment.
struct AssPlacedEvent {
  int32_t layer = 0;
  std::vector<AssRun> runs;
  AssRect box;                  // the lines' box before rotation
  double angle = 0;             // degrees, counter-clockwise on screen, around (orgX, orgY)
  double orgX = 0, orgY = 0;
  bool clipped = false, inverseClip = false;
  AssRect clip;                 // picture pixels
  bool animated = false;        // looks different at another moment of its time
  bool placedByScript = false;  // \pos or \move: never moved to make room
  int alignment = 2;            // numeric keypad
};

// Where the frame's events are drawn: a script's PlayRes mapped onto the picture area.
struct AssFrameGeometry {
  double scaleX = 1, scaleY = 1;       // picture pixels per script pixel
  double borderScale = 1;              // for outlines, shadows and blur
  double playResX = 384, playResY = 288;
};

AssFrameGeometry assFrameGeometry(const AssScript& script, const PictureArea& area);

// A script made ready to lay out, once: each event's text and each style's face in UTF-16, and
// the events indexed by time.
struct AssWideTexts {
  std::vector<std::u16string> events, faces;
  // The events in order of their start, and for each block of them (a fixed number in that
  // order) the latest end: a frame reads only the blocks that can reach its moment.
  std::vector<uint32_t> byStart;
  std::vector<int64_t> blockEnds;
};

// The texts of `script`, whose bytes are in `codePage`.
AssWideTexts wideAssTexts(const AssScript& script, unsigned codePage);

// The events of `script` on screen at `timeMs` (the script's own times), laid out as libass
// places them: styles and override tags, wrapping, alignment, margins, \pos and \move, \org and
// z rotation, fades, karaoke, rectangle clips, and bottom lines stacked instead of overlapping.
// Drawings (\p) are left out. Positions are relative to the picture area's corner.
std::vector<AssPlacedEvent> layOutAssFrame(const AssScript& script, const AssWideTexts& texts, const PictureArea& area,
                                           int64_t timeMs, AssTextMeasure& measure);

// Event `index` alone, without the stacking of its neighbours.
AssPlacedEvent layOutAssEvent(const AssScript& script, const AssWideTexts& texts, size_t index,
                              const PictureArea& area, int64_t timeMs, AssTextMeasure& measure);

}  // namespace quorvane
