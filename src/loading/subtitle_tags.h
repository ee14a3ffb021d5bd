#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// How a stretch of a cue's visible text is drawn.
struct TextStyle {
  bool italic = false, bold = false, underline = false, strike = false;
  bool hasColour = false;
  uint32_t colour = 0;  // 0xRRGGBB
  std::string face;     // ANSI bytes as written in the tag; empty: the overlay's own face
  int32_t size = 0;     // as written in <font size=...>; 0: the overlay's own size

  bool operator==(const TextStyle& other) const;
  bool operator!=(const TextStyle& other) const { return !(*this == other); }
};

// A stretch [begin, end) of FormattedCue::visible in one style.
struct StyledRun {
  size_t begin = 0, end = 0;
  TextStyle style;
};

// A cue's text with its formatting tags taken out.
struct FormattedCue {
  std::string visible;           // the text as it shows, in the cue's own code page
  std::vector<StyledRun> runs;   // cover `visible` from start to end, neighbours differ
  int alignment = 0;             // the last {\anN} (1..9, numeric-keypad layout); 0 none
  bool atTop() const { return alignment >= 7; }
};

// Takes the SRT tags <i> <b> <u> <s> <font ...> with their closing tags, and override blocks
// in braces that start with a backslash ({\an8}, {\i1}), out of `text`. Anything else in
// angle or curly brackets stays as written ("<3", "< 5 min", "{laughs}"). Double-byte
// characters of `codePage` are stepped over whole, so a GBK or Big5 trail byte that looks
// like a bracket never opens a tag. The work is linear in the text's length whatever it holds;
// unclosed tags run to the end of the cue and stray closing tags are dropped.
FormattedCue parseSubtitleTags(std::string_view text, unsigned codePage);

// Just the visible text of parseSubtitleTags.
std::string visibleSubtitleText(std::string_view text, unsigned codePage);

}  // namespace quorvane
