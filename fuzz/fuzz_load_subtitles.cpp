// Feeds arbitrary bytes through the subtitle loading path in every UI language: the encoding
// step, the cue parse, the sort and the end markers. Every input must give a well-formed table.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "loading/srt_loader.h"
#include "srt_parse_model.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TextCodec codec(systemCodePages());
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (auto language : {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
    const std::string normalised = normaliseSubtitleBytes(bytes, language, codec);
    // After the encoding step every CR and LF belongs to a CR LF pair.
    for (size_t i = 0; i < normalised.size(); ++i) {
      if (normalised[i] == '\r' && (i + 1 >= normalised.size() || normalised[i + 1] != '\n')) std::abort();
      if (normalised[i] == '\n' && (i == 0 || normalised[i - 1] != '\r')) std::abort();
    }
    const CueTable table = parseCueTable(normalised);
    if (table.cueCount < 0 || table.cues.size() != static_cast<size_t>(table.cueCount) + 2) std::abort();
    for (int32_t i = 2; i <= table.cueCount; ++i) {
      if (table.at(i - 1).startMs > table.at(i).startMs) std::abort();
    }
    if (table.at(table.cueCount + 1).startMs != CueTable::kFirstMarkerStart ||
        table.at(table.cueCount + 2).endMs != CueTable::kFirstMarkerStart + 3) {
      std::abort();
    }
    // The fast parse must agree with the plain one (time fields read at most 96 bytes long).
    if (normalised.size() <= 4096) {
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
