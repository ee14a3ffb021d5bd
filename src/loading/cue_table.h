#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// One subtitle: times in ms, 500 ms before the times written in the file; text in the display
// code page with lines joined by CR LF.
struct Cue {
  int32_t startMs = 0;
  int32_t endMs = 0;
  std::string text;
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
