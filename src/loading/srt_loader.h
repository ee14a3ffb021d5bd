#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/ui_language.h"
#include "loading/cue_table.h"
#include "loading/text_codec.h"

namespace quorvane {

// Larger files count as unreadable: no subtitle file comes near this, and the table must fit
// a 32-bit process.
inline constexpr size_t kMaxSubtitleFileBytes = 64u << 20;

// The whole file, or nothing when it cannot be opened or read or exceeds the limit above.
std::string readSubtitleFile(const std::string& path);

// Brings a file's bytes into the display code page: GBK for UTF-16 / UTF-8 files (with a mark,
// or valid UTF-8 without one), otherwise GBK or Big5 as the UI language wants. Every line end
// (CR LF, CR CR LF, lone LF, lone CR) comes out as CR LF. `codePage`, when given, receives the
// code page of the result: GBK or Big5, or 0 where an English system keeps the file's bytes.
std::string normaliseSubtitleBytes(std::string_view bytes, UiLanguage uiLanguage, const TextCodec& codec,
                                   unsigned* codePage = nullptr);

// One time field such as "00:01:02,345" in ms.
int32_t parseSrtTime(std::string_view text);

// Strips spaces, tabs and CR LF pairs from both ends.
std::string trimCueText(std::string_view text);

// Finds the cues in normalised bytes, sorts them by start and appends the two end markers.
CueTable parseCueTable(std::string_view bytes);

// The whole load: read, normalise for the UI language, parse. Every format is read here: an
// ASS/SSA or WebVTT file goes to its own reader (loadSubtitles), anything else is SRT.
CueTable loadCueTable(const std::string& path, UiLanguage uiLanguage, const TextCodec& codec);

}  // namespace quorvane
