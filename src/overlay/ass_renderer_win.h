#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "overlay/ass_layout.h"
#include "platform/window_handles_win.h"

namespace quorvane {

// Measures ASS runs with GDI fonts whose cell height is the run's size, as the common renderers
// size them.
class GdiAssMeasure : public AssTextMeasure {
 public:
  explicit GdiAssMeasure(HDC dc) : dc_(dc) {}
  double width(const AssFont& font, std::u16string_view text) override;
  double ascentShare(const AssFont& font) override;
  // The font of `font` at its unscaled size (scales are drawn by the world transform); null
  // when it cannot be made.
  HFONT fontFor(const AssFont& font);

 private:
  struct Entry {
    FontHandle font;
    TEXTMETRICW metrics{};
  };
  Entry* entryFor(const AssFont& font);

  HDC dc_;
  std::map<std::tuple<std::u16string, int32_t, bool, bool, bool, bool>, Entry> fonts_;
};

// Draws laid-out ASS events into a premultiplied 32-bit BGRA image of the picture area's size
// for a per-pixel-alpha window: for each event its shadows, then its outlines, then its text,
// each run in its own colours, with karaoke fill, fades, z rotation, blur and rectangle clips.
// The image and its scratch buffers are kept and reused from frame to frame, and so are the runs'
// coverage masks (glyphs, outline, blur) while a run keeps its text, font, place and edges: a
// fade or karaoke then costs only the painting. Masks unused in a frame are dropped. Only the
// events whose look changed since the last frame (or that came or went) are drawn again, with
// whatever lies under or over them there; an event that stays as it was costs nothing.
class AssRenderer {
 public:
  AssRenderer();
  ~AssRenderer();
  AssRenderer(const AssRenderer&) = delete;
  AssRenderer& operator=(const AssRenderer&) = delete;

  AssTextMeasure& measure() { return measure_; }
  // False when the image cannot be made.
  bool render(const std::vector<AssPlacedEvent>& frame, int32_t width, int32_t height);

  HDC dc() const { return dc_.get(); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  const uint32_t* pixels() const { return pixels_; }
  // What the last render changed, as rectangles that do not overlap: the ink, old and new, of the
  // events that came, went or changed their look, which were drawn again; none when nothing did.
  const std::vector<RECT>& changed() const { return changed_; }
  // The ink each event of the last frame can reach: everything outside is clear.
  std::vector<RECT> eventInk() const;

 private:
  struct Mask;
  bool ensureImage(int32_t width, int32_t height);
  bool glyphMask(const AssRun& run, const AssPlacedEvent& event, Mask& mask);
  // The run's masks (`key`: everything they depend on), from the last frame when it drew the same
  // run in the same place.
  const Mask& masksFor(std::string key, const AssRun& run, const AssPlacedEvent& event);
  void paintEvent(const AssPlacedEvent& event, const std::vector<const Mask*>& masks, const RECT& area);

  MemoryDc dc_, scratchDc_;
  GdiObject<HBITMAP> bitmap_, scratchBitmap_;
  HGDIOBJ oldBitmap_ = nullptr, oldScratch_ = nullptr;
  uint32_t* pixels_ = nullptr;
  uint32_t* scratch_ = nullptr;
  int32_t width_ = 0, height_ = 0;
  // An event as the last frame drew it: everything its pixels depend on, and where they can be.
  struct Drawn {
    std::string look;
    RECT ink{0, 0, 0, 0};
  };
  std::vector<Drawn> drawn_;
  std::vector<RECT> changed_;
  GdiAssMeasure measure_;
  // Keyed by everything a mask depends on; the last frame's and this frame's.
  std::map<std::string, Mask> lastMasks_, masks_;
};

// The boxes that `rects` fall into: non-empty ones less than `gap` pixels apart joined (with 0,
// those that overlap), and the pairs that add the least area joined further until at most `most`
// are left.
std::vector<RECT> joinRects(const std::vector<RECT>& rects, int gap, size_t most);

}  // namespace quorvane
