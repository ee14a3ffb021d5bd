#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "loading/cue_table.h"

namespace quorvane {

// A WebVTT cue's settings as the cue settings rules read them, defaults where a cue gives none or
// gives one the rules reject. Kept for placing cues in the picture area; `top` follows from them.
struct VttCueSettings {
  enum class Direction : uint8_t { Horizontal, VerticalGrowingLeft, VerticalGrowingRight };
  enum class LineAlign : uint8_t { Start, Center, End };
  enum class PositionAlign : uint8_t { Auto, LineLeft, Center, LineRight };
  enum class TextAlign : uint8_t { Center, Start, End, Left, Right };

  Direction direction = Direction::Horizontal;
  bool lineAuto = true;     // no `line`: the renderer stacks the cue where it fits
  bool snapToLines = true;  // `line` counts lines (negative ones from the bottom), else percent
  LineAlign lineAlign = LineAlign::Start;
  bool positionAuto = true;
  PositionAlign positionAlign = PositionAlign::Auto;
  TextAlign align = TextAlign::Center;
  float line = 0, position = 0, size = 100;  // `size` and `position` in percent

  bool operator==(const VttCueSettings&) const = default;
};

// One event of an ASS/SSA or WebVTT file as its reader found it, before overlapping events are
// cut into cues.
struct SubtitleEvent {
  int32_t startMs = 0, endMs = 0;  // kStoredLeadMs before the times written, like SRT cues
  int32_t layer = 0;               // ASS: lower layers first on screen; WebVTT: 0
  std::string text;                // plain lines joined by CR LF, trimmed like an SRT cue's
  int32_t lineCount = 0;           // lines of text
  std::string tagged;              // its lines keeping the formatting tags the overlay knows
  uint16_t look = 0;               // index into SubtitleEvents::looks
  bool top = false;                // drawn at the top of the screen
  VttCueSettings vtt;              // WebVTT: the cue's settings; ASS: the defaults
};

struct SubtitleEvents {
  std::vector<SubtitleEvent> events;  // in the file's order
  std::vector<TextLook> looks;
};

// Readers share the SRT loader's time shift, so every format is timed alike.
inline int32_t shiftedEventTime(int64_t writtenMs) {
  return static_cast<int32_t>(static_cast<uint32_t>(writtenMs) - static_cast<uint32_t>(kStoredLeadMs));
}

// Calls `line` for each line of CR LF-separated text (the encoding step's output), without its
// line end.
template <typename LineFn>
void forEachLine(std::string_view bytes, LineFn&& line) {
  size_t from = 0;
  while (from < bytes.size()) {
    size_t end = bytes.find("\r\n", from);
    if (end == std::string_view::npos) end = bytes.size();
    line(bytes.substr(from, end - from));
    from = end + 2;
  }
}

// The plain text of an event: spaces, tabs and line ends trimmed at both ends as an SRT cue's.
void finishEventText(SubtitleEvent& event);

}  // namespace quorvane
