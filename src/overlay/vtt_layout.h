#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "loading/subtitle_events.h"
#include "overlay/ass_layout.h"
#include "overlay/picture_area.h"

namespace quorvane {

// A stretch of a WebVTT cue's text in one style; '\n' breaks the line.
struct VttSpan {
  std::u16string text;
  bool italic = false, bold = false, underline = false;
};

// A WebVTT cue ready to be placed: its times as written in the file, its settings, its text.
struct VttCue {
  int64_t startMs = 0, endMs = 0;
  VttCueSettings settings;
  std::vector<VttSpan> spans;
};

// How placed cues look: the overlay's font, colours and shadow.
struct VttLook {
  std::u16string face;
  uint32_t colour = 0xFFFFFF, outline = 0x000000;  // 0xRRGGBB
  double shadowOffset = 0;                          // right and down, picture pixels; 0 none
};

// Each line of a placed cue is this share of the picture's height high: the WebVTT rules' 5vh.
inline constexpr double kVttLineShare = 0.05;

// The cue of a reader's event: times back to the file's own, the <i> <b> <u> of its tagged text
// as spans in UTF-16.
VttCue vttCueOf(const SubtitleEvent& event, unsigned codePage);

// `shown`, in the rules' cue order, placed in the picture area by the WebVTT rules for processing
// cue settings: size, position and its alignment give the cue box's width and left edge; lines
// wrap in it and are aligned by `align`; `line` places the box by line numbers (from the top,
// negative from the bottom, one line per step) or by a percentage with its line alignment; a
// cue without `line` takes the last line, and each cue moves past the ones placed before it so
// that none overlap. `vertical` is not drawn vertically: such a cue is laid out horizontally with
// its other settings. At most 32 cues (the picture holds 20 lines), 512 characters and 21 lines
// per cue are laid out, and lines outside the picture are left out. Positions are relative to the
// picture area's corner.
// `tops`, when given, holds for each cue of `shown` the top it keeps from the frame before (NaN:
// none): such cues stay there and the others are placed around them, as the rules keep a cue
// that is already displayed; it returns where each cue's box stands.
std::vector<AssPlacedEvent> layOutVttCues(const std::vector<const VttCue*>& shown, const PictureArea& area,
                                          const VttLook& look, AssTextMeasure& measure,
                                          std::vector<double>* tops = nullptr);

// A file's cues, converted once, and the frame that shows at a moment. A cue keeps its place
// from one frame to the next while it shows and the picture area and the look stay the same.
class VttCueFrames {
 public:
  VttCueFrames(const SubtitleEvents& events, unsigned codePage);
  // The cues on screen at `timeMs` (the file's own times), laid out.
  std::vector<AssPlacedEvent> frame(const PictureArea& area, int64_t timeMs, const VttLook& look,
                                    AssTextMeasure& measure);

 private:
  std::vector<VttCue> cues_;  // in the rules' order: by start, the longer first, then the file's
  int64_t longestMs_ = 0;
  // The last frame's cues and the tops of their boxes, with what they were laid out for.
  std::vector<std::pair<const VttCue*, double>> shown_;
  PictureArea shownArea_{};
  std::u16string shownFace_;
};

}  // namespace quorvane
