#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "loading/subtitle_events.h"

namespace quorvane {

// Whether normalised bytes are a WebVTT file: the first line is "WEBVTT", alone or followed
// by a space or tab.
bool looksLikeWebVtt(std::string_view bytes);

// A WebVTT time "hh:mm:ss.ttt" or "mm:ss.ttt" in ms as written; nothing when it is not one.
std::optional<int64_t> parseVttTime(std::string_view text);

// The cues of a WebVTT file in normalised bytes. The header and NOTE, STYLE and REGION blocks
// are skipped; cue settings other than `line` are ignored; the tags <i> <b> <u> stay in the
// smooth text, every other tag (<c.x>, <v Name>, <lang>, timestamps) is taken out, and the
// entities &amp; &lt; &gt; &nbsp; are decoded.
SubtitleEvents readVttEvents(std::string_view bytes);

}  // namespace quorvane
