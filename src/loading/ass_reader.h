#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

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

}  // namespace quorvane
