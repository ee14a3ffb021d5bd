// Feeds arbitrary bytes through the subtitle loading path in every UI language: the encoding
// step, the format probe and every format's reader (each also given the bytes whatever the
// probe says), the cue parse, the sort, the cutting of overlapping events and the end markers.
// Every input must give a well-formed table, the SRT parse and the ASS time and field reading
// must agree with their plain models, and the WebVTT reader's events must be well formed. The
// script's override tags go through the typesetting layout at moments of its first events, and the
// WebVTT cues through the placing of cues by their settings: every placed run must have finite
// numbers.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ass_parse_model.h"
#include "loading/ass_reader.h"
#include "loading/overlap_pieces.h"
#include "loading/srt_loader.h"
#include "loading/subtitle_formats.h"
#include "loading/vtt_reader.h"
#include "overlay/ass_layout.h"
#include "overlay/vtt_layout.h"
#include "srt_parse_model.h"

using namespace quorvane;

namespace {

void checkTable(const CueTable& table, bool cutFromEvents) {
  if (table.cueCount < 0 || table.cues.size() != static_cast<size_t>(table.cueCount) + 2) std::abort();
  for (int32_t i = 2; i <= table.cueCount; ++i) {
    if (table.at(i - 1).startMs > table.at(i).startMs) std::abort();
    // Cues cut from events never overlap.
    if (cutFromEvents && table.at(i - 1).endMs > table.at(i).startMs) std::abort();
  }
  for (int32_t i = 1; cutFromEvents && i <= table.cueCount; ++i) {
    const Cue& cue = table.at(i);
    if (cue.startMs >= cue.endMs || cue.blocks.empty()) std::abort();
    for (const CueBlock& block : cue.blocks) {
      if (block.look >= table.looks.size() || block.text >= table.blockTexts.size()) std::abort();
    }
  }
  if (table.at(table.cueCount + 1).startMs != CueTable::kFirstMarkerStart ||
      table.at(table.cueCount + 2).endMs != CueTable::kFirstMarkerStart + 3) {
    std::abort();
  }
}

// The first line of the input as a Dialogue: line of the standard order.
void checkAssDialogue(std::string_view normalised) {
  const std::string_view line = normalised.substr(0, std::min<size_t>(normalised.find("\r\n"), 512));
  const std::string script = "[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                             "Effect, Text\r\nDialogue: " + std::string(line) + "\r\n";
  const SubtitleEvents read = readAssEvents(script, kCodePageGbk);
  const auto fields = model::assFields(line, 10);
  std::optional<int64_t> start, end;
  if (fields) {
    start = model::assTime((*fields)[1]);
    end = model::assTime((*fields)[2]);
  }
  if (read.events.size() != (start && end ? 1u : 0u)) std::abort();
  if (!read.events.empty() && (read.events[0].startMs != static_cast<int32_t>(static_cast<uint32_t>(*start) - 500u) ||
                               read.events[0].endMs != static_cast<int32_t>(static_cast<uint32_t>(*end) - 500u))) {
    std::abort();
  }
  if (parseAssTime(line) != model::assTime(line)) std::abort();
}

// The WebVTT reader's events: no NUL left in the text (it reads as U+FFFD), line ends only as
// CR LF pairs (a reference to LF or CR breaks the line like the text's own), and settings within
// the ranges the cue settings rules allow.
void checkVttEvents(const SubtitleEvents& read) {
  for (const SubtitleEvent& event : read.events) {
    for (const std::string* text : {&event.text, &event.tagged}) {
      if (text->find('\0') != std::string::npos) std::abort();
      for (size_t i = 0; i < text->size(); ++i) {
        if ((*text)[i] == '\r' && (i + 1 >= text->size() || (*text)[i + 1] != '\n')) std::abort();
        if ((*text)[i] == '\n' && (i == 0 || (*text)[i - 1] != '\r')) std::abort();
      }
    }
    const VttCueSettings& s = event.vtt;
    const auto percent = [](float value) { return value >= 0 && value <= 100; };
    if (!percent(s.size) || (!s.positionAuto && !percent(s.position)) ||
        (!s.lineAuto && !s.snapToLines && !percent(s.line)) || !std::isfinite(s.line)) {
      std::abort();
    }
  }
}

// Every character a tenth of the size wide, plus its spacing.
class FixedAdvance : public AssTextMeasure {
 public:
  double width(const AssFont& font, std::u16string_view text) override {
    return static_cast<double>(text.size()) * (font.size * font.scaleX / 10 + font.spacing);
  }
  double ascentShare(const AssFont&) override { return 0.8; }
};

void checkRun(const AssRun& run) {
  if (!std::isfinite(run.x) || !std::isfinite(run.baseline) || !std::isfinite(run.width) ||
      !std::isfinite(run.font.size) || !std::isfinite(run.sung)) {
    std::abort();
  }
}

// The cues on screen at the start and the middle of the first 8.
void checkVttLayout(const SubtitleEvents& read, unsigned codePage) {
  VttCueFrames frames(read, codePage);
  FixedAdvance measure;
  for (size_t i = 0; i < read.events.size() && i < 8; ++i) {
    const SubtitleEvent& event = read.events[i];
    const int64_t start = int64_t{event.startMs} + kStoredLeadMs, end = int64_t{event.endMs} + kStoredLeadMs;
    for (const int64_t at : {start, start + (end - start) / 2}) {
      for (const AssPlacedEvent& placed : frames.frame({0, 0, 640, 360}, at, VttLook{}, measure)) {
        for (const AssRun& run : placed.runs) checkRun(run);
      }
    }
  }
}

void checkAssLayout(std::string_view normalised, unsigned codePage) {
  AssScript script = readAssScript(normalised);
  if (script.events.size() > 8) script.events.resize(8);
  const AssWideTexts texts = wideAssTexts(script, codePage);
  FixedAdvance measure;
  for (const AssScriptEvent& event : script.events) {
    for (const int64_t at : {event.startMs, event.startMs + (event.endMs - event.startMs) / 2}) {
      for (const AssPlacedEvent& placed : layOutAssFrame(script, texts, {0, 0, 640, 360}, at, measure)) {
        if (!std::isfinite(placed.orgX)) std::abort();
        for (const AssRun& run : placed.runs) checkRun(run);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TextCodec codec(systemCodePages());
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (auto language : {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
    unsigned codePage = 0;
    const std::string normalised = normaliseSubtitleBytes(bytes, language, codec, &codePage);
    // After the encoding step every CR and LF belongs to a CR LF pair.
    for (size_t i = 0; i < normalised.size(); ++i) {
      if (normalised[i] == '\r' && (i + 1 >= normalised.size() || normalised[i + 1] != '\n')) std::abort();
      if (normalised[i] == '\n' && (i == 0 || normalised[i - 1] != '\r')) std::abort();
    }
    SubtitleFormat format = SubtitleFormat::Srt;
    checkTable(parseSubtitles(normalised, codePage, &format), format != SubtitleFormat::Srt);
    checkTable(cutOverlaps(readAssEvents(normalised, codePage)), true);
    SubtitleEvents vtt = readVttEvents(normalised, codePage);
    checkVttEvents(vtt);
    checkVttLayout(vtt, codePage);
    checkTable(cutOverlaps(std::move(vtt)), true);
    const CueTable table = parseCueTable(normalised);
    checkTable(table, false);
    // The fast parse must agree with the plain one (time fields read at most 96 bytes long).
    if (normalised.size() <= 4096) {
      checkAssDialogue(normalised);
      checkAssLayout(normalised, codePage);
      const std::vector<Cue> expected = model::parse(normalised, 96);
      if (expected.size() != static_cast<size_t>(table.cueCount)) std::abort();
      for (size_t i = 0; i < expected.size(); ++i) {
        const Cue& cue = table.cues[i];
        if (cue.startMs != expected[i].startMs || cue.endMs != expected[i].endMs || cue.text != expected[i].text) {
          std::abort();
        }
      }
    }
  }
  return 0;
}
