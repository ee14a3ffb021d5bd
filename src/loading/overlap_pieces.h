#pragma once

#include <cstddef>
#include <cstdint>

#include "loading/cue_table.h"
#include "loading/subtitle_events.h"

namespace quorvane {

// The most lines a cue cut from overlapping events holds (an event longer than this alone
// keeps all of its lines): a sign over two languages needs a few, and a file with thousands of
// events at one moment must not fill the screen or the memory.
inline constexpr int32_t kMaxPieceLines = 12;

// Turns events that may overlap into cues that do not: the timeline is cut at every start and
// end, and each stretch where some events are active becomes a cue holding their lines, lower
// layers first and then in the file's order. Neighbouring stretches that would show the same
// text are one cue. Events that end before they start, or at their start, show nowhere.
// O(n log n) time; the texts stored never exceed the events' own text by more than a bound
// proportional to their count.
CueTable cutOverlaps(SubtitleEvents events);

}  // namespace quorvane
