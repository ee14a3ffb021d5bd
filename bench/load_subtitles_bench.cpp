// Loads a generated ~10 MB SRT file of 100,000 cues (every 50th out of order) and prints the time,
// the throughput and the process's peak memory; then the same parse followed by the quadratic
// selection sort the loader once used, on fewer cues, extrapolated to 100,000.
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "build_architecture.h"
#include "peak_memory.h"

#include "loading/srt_loader.h"

using namespace quorvane;

namespace {

std::string clock(int64_t ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d,%03d", static_cast<int>(ms / 3600000),
                static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
  return buffer;
}

// GBK text, CR LF line ends, about 100 bytes per cue.
std::string makeSrt(int cues) {
  const std::string line1 = "\xCE\xD2\xC3\xC7\xC3\xF7\xCC\xEC\xD4\xD9\xBC\xFB, see you tomorrow at the station.";
  const std::string line2 = "\xBA\xC3\xB5\xC4 - all right.";
  std::string srt;
  srt.reserve(static_cast<size_t>(cues) * 110);
  for (int i = 0; i < cues; ++i) {
    const int slot = (i % 50 == 49) ? i - 40 : i;  // every 50th cue belongs earlier
    const int64_t start = int64_t{slot} * 3000 + 1000;
    srt += std::to_string(i + 1) + "\r\n" + clock(start) + " --> " + clock(start + 2500) + "\r\n" + line1 +
           "\r\n" + line2 + "\r\n\r\n";
  }
  return srt;
}

void selectionSort(CueTable& table) {
  const int32_t count = table.cueCount;
  for (int32_t i = 0; i < count; ++i) {
    int32_t m = i;
    for (int32_t j = i + 1; j < count; ++j) {
      if (table.cues[j].startMs < table.cues[m].startMs) m = j;
    }
    if (m > i) std::swap(table.cues[i], table.cues[m]);
  }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  bench::printArchitecture();
  constexpr int kCues = 100'000;
  const std::string path = "load_subtitles_bench.srt";
  const std::string srt = makeSrt(kCues);
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(srt.data(), 1, srt.size(), f);
    std::fclose(f);
  }
  const double fileMb = srt.size() / 1048576.0;
  const double baseMb = peakMemoryMb();
  std::printf("file: %d cues, %.1f MB (GBK, CR LF)\n", kCues, fileMb);

  const TextCodec codec(systemCodePages());
  for (auto [name, language] : {std::pair{"zh-CN", UiLanguage::SimplifiedChinese},
                                std::pair{"zh-TW", UiLanguage::TraditionalChinese}}) {
    const auto start = std::chrono::steady_clock::now();
    const CueTable table = loadCueTable(path, language, codec);
    const double seconds = secondsSince(start);
    std::printf("loadCueTable %s: %d cues in %.1f ms, %.0f MB/s, peak memory %.1f MB (%.1f MB before loading)\n",
                name, static_cast<int>(table.cueCount), seconds * 1000, fileMb / seconds, peakMemoryMb(), baseMb);
  }

  // A selection sort is quadratic: measure it on fewer cues and extrapolate.
  // The parse itself (which already sorts, stably) is timed with it, the extra sort alone is
  // scaled by the square of the cue ratio.
  constexpr int kSortCues = 10'000;
  constexpr int kScale = (kCues / kSortCues) * (kCues / kSortCues);
  const std::string smallSrt = makeSrt(kSortCues);
  const double smallMb = smallSrt.size() / 1048576.0;
  const auto start = std::chrono::steady_clock::now();
  CueTable small = parseCueTable(smallSrt);
  const double parseSeconds = secondsSince(start);
  selectionSort(small);
  const double sortSeconds = secondsSince(start) - parseSeconds;
  const double extrapolated = parseSeconds * (kCues / kSortCues) + sortSeconds * kScale;
  std::printf("with the selection sort, %d cues (%.1f MB): %.1f ms, %.1f MB/s, peak memory %.1f MB\n", kSortCues,
              smallMb, (parseSeconds + sortSeconds) * 1000, smallMb / (parseSeconds + sortSeconds), peakMemoryMb());
  std::printf("with the selection sort, extrapolated to %d cues: %.1f s, %.1f MB/s\n", kCues, extrapolated,
              fileMb / extrapolated);
  std::remove(path.c_str());
  return 0;
}
