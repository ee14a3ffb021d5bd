#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "loading/cue_table.h"
#include "overlay/overlay.h"

namespace quorvane {

// What one scheduler step reads from the rest of the program, fresh on every tick.
struct SchedulerInputs {
  int32_t positionMs = 0;    // from the run's clock source, delay applied
  int32_t lineHeight = 0;    // pixels per overlay line
  int32_t lineCapacity = 0;  // full-width character cells per line
  int32_t screenHeight = 0;  // taken when the run started
  int32_t left = 0;          // horizontal-position slider: the overlay's left edge
  int32_t baseTop = 0;       // vertical-position slider: the overlay's top when the text fits
  unsigned codePage = 936;   // of the cue texts: decides which bytes start a double-byte character
  bool formattingTags = false;  // the overlay hides tags, so only the visible text takes lines
};

// The lines of a cue's text, split at CR LF. The scan steps over the double-byte characters of
// `codePage` (GBK and Big5 lead bytes 0x81..0xFE; none in a single-byte code page such as
// 1252) so that a trail byte never starts a line end and an accented letter never swallows
// one. An empty text has no lines and a final CR LF adds no empty last line.
std::vector<std::string_view> splitCueLines(std::string_view text, unsigned codePage);

// How many overlay lines a text takes when a line holds `lineCapacity` full-width cells and a
// single-byte character fills half a cell: each line counts max(1, ceil(cells / capacity)).
// A capacity below 1 counts as 1.
int32_t countOverlayLines(std::string_view text, int32_t lineCapacity, unsigned codePage);

// How many overlay lines a cue's text takes with the run's font, width and tag switch.
int32_t cueLineCount(std::string_view text, const SchedulerInputs& in);

// Decides on every tick which cue the overlay shows. It keeps a current index and moves it
// incrementally: one cue per tick during play, a linear search past the current cue after a
// jump forward, and a restart from the first cue after a jump backward.
class CueScheduler {
 public:
  // A new run (a freshly loaded table): start again from the first cue, nothing shown yet.
  void beginRun() {
    currentIndex_ = 1;
    shownIndex_ = 0;
  }

  void step(const CueTable& table, const SchedulerInputs& in, Overlay& overlay);

  // Clears the text if a cue is shown, as a gap between cues does; the cue is shown again if
  // the position comes back into it.
  void clearShown(const SchedulerInputs& in, Overlay& overlay) {
    if (textShown_) clear(in, overlay);
  }

  int32_t currentIndex() const { return currentIndex_; }
  int32_t shownIndex() const { return shownIndex_; }
  bool textShown() const { return textShown_; }
  int32_t lineCount() const { return lineCount_; }

 private:
  void show(const CueTable& table, int32_t index, const SchedulerInputs& in, Overlay& overlay);
  void clear(const SchedulerInputs& in, Overlay& overlay);

  int32_t currentIndex_ = 1;
  int32_t shownIndex_ = 0;
  bool textShown_ = false;  // kept across runs: a new run's first gap clears the text once
  int32_t lineCount_ = 0;
};

}  // namespace quorvane
