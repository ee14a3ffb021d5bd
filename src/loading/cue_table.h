#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

struct AssScript;
struct SubtitleEvents;

// How smooth text draws the lines of one style of an ASS/SSA file (or of a WebVTT file).
struct TextLook {
  std::string face;             // in the display code page; empty: the overlay's own font
  int32_t sizePermille = 1000;  // of the user's font size: this style's size over the main style's
  uint32_t colour = 0xFFFFFF;   // 0xRRGGBB
  uint32_t outline = 0x000000;
  bool bold = false, italic = false;
};

// One event's share of a cue read from an ASS/SSA or WebVTT file, in the order it shows.
struct CueBlock {
  uint32_t text = 0;   // index into CueTable::blockTexts
  uint16_t look = 0;   // index into CueTable::looks
  bool top = false;    // drawn at the top of the screen ({\an8}, alignment 7-9, VTT line:0)
};

// Every cue is stored, and so shown and cleared, this long before the times written in its
// file: a line already up as its speech begins gives the eye time to find it, and the clock's
// own lateness (a player that tells whole seconds, read on the run's tick) never shows as a late
// line. A delay of 500 gives the file's own times; code that needs them adds the lead back.
inline constexpr int32_t kStoredLeadMs = 500;

// One subtitle: times in ms, kStoredLeadMs before the times written in the file; text in the
// display code page with lines joined by CR LF.
struct Cue {
  int32_t startMs = 0;
  int32_t endMs = 0;
  std::string text;
  std::vector<CueBlock> blocks{};  // empty for SRT cues; text is these blocks' plain lines
};

// The loaded subtitles, sorted by start, followed by two end markers that the scheduler reads
// past the last real cue. Indexes are 1-based, as the scheduler counts them.
struct CueTable {
  static constexpr int32_t kFirstMarkerStart = 0x7FFFFFF8;

  std::vector<Cue> cues;  // cueCount real cues, then the two end markers
  int32_t cueCount = 0;
  // The code page of the texts (GBK or Big5), so that they are drawn as they were produced: a
  // UTF-8 file read on a Traditional Chinese system holds GBK. 0: the system's ANSI code page.
  unsigned codePage = 0;
  std::vector<TextLook> looks;  // the styles that CueBlock::look points at; empty for SRT
  // Each event's lines joined by CR LF with the formatting tags the overlay knows, once for all
  // the cues it shows in.
  std::vector<std::string> blockTexts;
  // An ASS/SSA script that places, moves, fades or sings its lines: smooth text typesets it
  // over the picture. Null for other files.
  std::shared_ptr<const AssScript> typeset;
  // A WebVTT file's events when its cues set their own places: smooth text places them in the
  // picture by their settings. Null for other files.
  std::shared_ptr<const SubtitleEvents> placedCues;

  const Cue& at(int32_t index) const { return cues[static_cast<size_t>(index - 1)]; }

  // A table of cues already sorted by start, followed by its two end markers.
  static CueTable fromSorted(std::vector<Cue> sorted) {
    CueTable table;
    table.cueCount = static_cast<int32_t>(sorted.size());
    table.cues = std::move(sorted);
    table.cues.push_back({kFirstMarkerStart, kFirstMarkerStart + 1, {}});
    table.cues.push_back({kFirstMarkerStart + 2, kFirstMarkerStart + 3, {}});
    return table;
  }
};

}  // namespace quorvane
