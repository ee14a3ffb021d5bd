#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loading/subtitle_events.h"

namespace quorvane {

// Whether normalised bytes are an ASS/SSA script: the first non-blank line is a section header
// and a [Script Info] or [Events] section is there.
bool looksLikeAss(std::string_view bytes);

// An ASS time "h:mm:ss.cc" in ms as written (not shifted); nothing when it is not one. The
// fraction counts hundredths as written, as the common readers take it: ".5" is 50 ms.
std::optional<int64_t> parseAssTime(std::string_view text);

// The events of an ASS (v4+) or SSA (v4) script in normalised bytes of `codePage` (whose
// double-byte characters are stepped over whole, so a trail byte 0x5C or 0x7B never starts an
// escape or an override block). Field orders come from the sections' Format: lines, or are the
// standard ones of the script's version; Comment: lines, drawings and lines whose times do not
// read are left out.
SubtitleEvents readAssEvents(std::string_view bytes, unsigned codePage);

// An ASS colour as written: 0xAABBGGRR, alpha 0 opaque.
using AssColour = uint32_t;

// One style of a script with everything typesetting needs, values as written (sizes and
// margins in script pixels, scales in percent).
struct AssStyle {
  std::string name, face;
  double size = 18;
  AssColour colours[4] = {0x00FFFFFF, 0x000000FF, 0x00000000, 0x00000000};  // primary, secondary, outline, back
  bool bold = false, italic = false, underline = false, strike = false;
  double scaleX = 100, scaleY = 100, spacing = 0, angle = 0;
  int borderStyle = 1;
  double outline = 2, shadow = 2;
  int alignment = 2;  // numeric keypad
  int marginL = 10, marginR = 10, marginV = 10;
};

// One Dialogue: line as written (times not shifted; text in the script's code page with its
// override blocks and escapes).
struct AssScriptEvent {
  int64_t startMs = 0, endMs = 0;
  int32_t layer = 0;
  size_t style = 0;                            // index into AssScript::styles
  int marginL = 0, marginR = 0, marginV = 0;   // 0: the style's
  std::string text;
};

// A script as a typesetter reads it: the [Script Info] values that place text, every style
// (a "Default" one first when the script has none) and the dialogue lines in file order.
struct AssScript {
  int playResX = 0, playResY = 0;  // as written; 0 when absent
  bool scaledBorderAndShadow = false;
  int wrapStyle = 0;
  std::vector<AssStyle> styles;
  std::vector<AssScriptEvent> events;
};

// The script in normalised bytes; texts stay in its code page, override blocks unread (the
// layout reads them on UTF-16 text).
AssScript readAssScript(std::string_view bytes);

// Whether any event of the script places, moves, turns, fades, clips or sings its text: what
// plain lines at the top or bottom cannot show.
bool hasTypesetting(const AssScript& script);

}  // namespace quorvane
