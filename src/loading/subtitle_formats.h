#pragma once

#include <string>
#include <string_view>

#include "common/ui_language.h"
#include "loading/cue_table.h"
#include "loading/subtitle_events.h"
#include "loading/text_codec.h"
#include "platform/code_pages.h"

namespace quorvane {

enum class SubtitleFormat { Srt, Ass, WebVtt };

// "SRT", "ASS/SSA" or "WebVTT".
const char* subtitleFormatName(SubtitleFormat format);

// The format of normalised bytes, from their content alone: an ASS/SSA script, a WebVTT file,
// or else SRT.
SubtitleFormat probeSubtitleFormat(std::string_view bytes);

// The cue table of normalised bytes in `codePage`, read by the reader of their format. SRT is
// read exactly as it always was; ASS/SSA and WebVTT events are cut into cues that do not
// overlap.
CueTable parseSubtitles(std::string_view bytes, unsigned codePage, SubtitleFormat* format = nullptr);

// The events of an ASS/SSA or WebVTT file before they are cut into cues (none for SRT), for
// checking a reader against another program's reading.
SubtitleEvents parseSubtitleEvents(std::string_view bytes, unsigned codePage, SubtitleFormat* format = nullptr);

// The whole load of any format: read, normalise for the UI language, probe, parse.
CueTable loadSubtitles(const std::string& path, UiLanguage uiLanguage, const TextCodec& codec,
                       SubtitleFormat* format = nullptr);

// `table`'s texts and style faces brought from its code page into `codePage` (both given, not
// 0), so that a second file shows in the code page its run draws: characters the code page
// lacks become its default character. False when some did.
bool recodeCueTable(CueTable& table, unsigned codePage, const CodePages& codePages = systemCodePages());

}  // namespace quorvane
