#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "loading/subtitle_events.h"
#include "platform/code_pages.h"

namespace quorvane {

// Whether normalised bytes are a WebVTT file: the first line is "WEBVTT", alone or followed
// by a space or tab.
bool looksLikeWebVtt(std::string_view bytes);

// A WebVTT timestamp "hh:mm:ss.ttt" or "mm:ss.ttt" in ms as written, read by the timestamp
// rules: minutes and seconds two digits each and under 60, three digits of ms, hours one digit
// or more (more than 2^31 ms read as 2^31 - 1). Nothing when the text is not exactly one.
std::optional<int64_t> parseVttTime(std::string_view text);

// The cues of a WebVTT file in normalised bytes in `codePage`, by the WebVTT file parsing
// rules: the header ends at the first empty line or line holding "-->"; blocks end at empty
// lines only; a block's first line, or its second after an identifier, is its timing line, and
// a later line holding "-->" starts the next block; a timing line that does not read drops its
// cue. NOTE, STYLE and REGION blocks hold no timing line and give nothing. Cue settings are read
// into SubtitleEvent::vtt. In the text, every tag is taken out (<i> <b> <u> stay in the smooth
// text), and character references and NUL bytes (read as U+FFFD) become their characters in
// `codePage`; one the code page lacks becomes its default character, except that a no-break
// space becomes a space and the zero-width marks U+200B..U+200F are left out.
SubtitleEvents readVttEvents(std::string_view bytes, unsigned codePage,
                             const CodePages& codePages = systemCodePages());

// Whether any cue of a WebVTT file sets where or how wide it shows (line, position, size, align
// or vertical): smooth text places such a file's cues in the picture; others keep the plain
// drawing.
bool placesCues(const SubtitleEvents& events);

}  // namespace quorvane
