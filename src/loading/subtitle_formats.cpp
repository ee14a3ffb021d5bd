#include "loading/subtitle_formats.h"

#include <array>

#include "loading/ass_reader.h"
#include "loading/overlap_pieces.h"
#include "loading/srt_loader.h"
#include "loading/vtt_reader.h"

namespace quorvane {
namespace {

// One reader per format: a probe of the content and either events (cut into cues afterwards)
// or, for SRT, the cue table itself.
struct SubtitleReader {
  SubtitleFormat format;
  const char* name;
  bool (*probe)(std::string_view bytes);
  SubtitleEvents (*events)(std::string_view bytes, unsigned codePage);
};

// Probed in this order; SRT, which takes anything, comes last.
const std::array<SubtitleReader, 3> kReaders{{
    {SubtitleFormat::Ass, "ASS/SSA", looksLikeAss, readAssEvents},
    {SubtitleFormat::WebVtt, "WebVTT", looksLikeWebVtt,
     [](std::string_view bytes, unsigned codePage) { return readVttEvents(bytes, codePage); }},
    {SubtitleFormat::Srt, "SRT", [](std::string_view) { return true; }, nullptr},
}};

const SubtitleReader& readerFor(std::string_view bytes) {
  for (const SubtitleReader& reader : kReaders) {
    if (reader.probe(bytes)) return reader;
  }
  return kReaders.back();
}

}  // namespace

const char* subtitleFormatName(SubtitleFormat format) {
  for (const SubtitleReader& reader : kReaders) {
    if (reader.format == format) return reader.name;
  }
  return "SRT";
}

SubtitleFormat probeSubtitleFormat(std::string_view bytes) { return readerFor(bytes).format; }

CueTable parseSubtitles(std::string_view bytes, unsigned codePage, SubtitleFormat* format) {
  const SubtitleReader& reader = readerFor(bytes);
  if (format) *format = reader.format;
  return reader.events ? cutOverlaps(reader.events(bytes, codePage)) : parseCueTable(bytes);
}

SubtitleEvents parseSubtitleEvents(std::string_view bytes, unsigned codePage, SubtitleFormat* format) {
  const SubtitleReader& reader = readerFor(bytes);
  if (format) *format = reader.format;
  return reader.events ? reader.events(bytes, codePage) : SubtitleEvents{};
}

CueTable loadSubtitles(const std::string& path, UiLanguage uiLanguage, const TextCodec& codec,
                       SubtitleFormat* format) {
  unsigned codePage = 0;
  std::string bytes = normaliseSubtitleBytes(readSubtitleFile(path), uiLanguage, codec, &codePage);
  const SubtitleReader& reader = readerFor(bytes);
  if (format) *format = reader.format;
  CueTable table;
  if (reader.events) {
    SubtitleEvents events = reader.events(bytes, codePage);
    std::shared_ptr<AssScript> script;
    if (reader.format == SubtitleFormat::Ass) {
      script = std::make_shared<AssScript>(readAssScript(bytes));
      if (!hasTypesetting(*script)) script.reset();
    }
    std::shared_ptr<SubtitleEvents> placed;
    if (reader.format == SubtitleFormat::WebVtt && placesCues(events)) placed = std::make_shared<SubtitleEvents>(events);
    std::string().swap(bytes);  // the events hold what is needed: memory for the cues
    table = cutOverlaps(std::move(events));
    table.typeset = std::move(script);
    table.placedCues = std::move(placed);
  } else {
    table = parseCueTable(bytes);
  }
  table.codePage = codePage;
  return table;
}

bool recodeCueTable(CueTable& table, unsigned codePage, const CodePages& codePages) {
  if (table.codePage == codePage) return true;
  bool kept = true;
  const auto recode = [&](std::string& text) {
    if (text.empty()) return;
    const std::u16string wide = codePages.toUtf16(table.codePage, text);
    text = codePages.fromUtf16(codePage, wide);
    kept = kept && codePages.toUtf16(codePage, text) == wide;
  };
  for (Cue& cue : table.cues) recode(cue.text);
  for (std::string& text : table.blockTexts) recode(text);
  for (TextLook& look : table.looks) recode(look.face);
  table.codePage = codePage;
  return kept;
}

}  // namespace quorvane
