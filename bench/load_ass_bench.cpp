// Loads a ~10 MB bilingual ASS file of 100,000 events (UTF-8; every event paired with one of the
// other language at the same time, a sign over every seventh pair, every 50th pair out of order)
// and prints the peak memory one load adds, as a multiple of the file's size, and the median,
// minimum and maximum time and throughput of several loads.
//   load_ass_bench [--runs N] [--write FILE] [FILE]
// --write only writes the file (for bench/load_ass_bench.sh, which times ffmpeg on the same one);
// with FILE the bench loads that file instead of writing its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "build_architecture.h"
#include "peak_memory.h"

#include "loading/subtitle_formats.h"

using namespace quorvane;

namespace {

std::string assTime(int64_t ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d.%02d", static_cast<int>(ms / 3600000),
                static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000 / 10));
  return buffer;
}

std::string makeAss(int events) {
  std::string ass =
      "\xEF\xBB\xBF[Script Info]\r\nScriptType: v4.00+\r\nPlayResY: 1080\r\n\r\n[V4+ Styles]\r\n"
      "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
      "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
      "MarginR, MarginV, Encoding\r\n"
      "Style: Default,SimHei,60,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,2,10,10,10,1\r\n"
      "Style: Eng,Arial,36,&H0000FFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,2,10,10,10,1\r\n"
      "Style: Sign,Arial,48,&H000000FF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,8,10,10,10,1\r\n"
      "\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";
  ass.reserve(static_cast<size_t>(events) * 104);
  const std::string zh = "\xE6\x88\x91\xE4\xBB\xAC\xE6\x98\x8E\xE5\xA4\xA9\xE5\x86\x8D\xE8\xA7\x81\xEF\xBC\x8C"
                         "\xE5\x9C\xA8\xE8\xBD\xA6\xE7\xAB\x99\xE8\xA7\x81\xE3\x80\x82";  // 我们明天再见，在车站见。
  int written = 0;
  for (int pair = 0; written < events; ++pair) {
    const int slot = pair % 50 == 49 ? pair - 40 : pair;
    const int64_t start = int64_t{slot} * 3000 + 1000;
    const std::string times = assTime(start) + "," + assTime(start + 2500);
    ass += "Dialogue: 0," + times + ",Default,,0,0,0,,{\\fad(100,100)}" + zh + "\\N" + zh + "\r\n";
    if (++written == events) break;
    ass += "Dialogue: 0," + times + ",Eng,,0,0,0,,See you tomorrow at the station, {\\i1}all right{\\i0}?\r\n";
    ++written;
    if (pair % 7 == 0 && written < events) {
      ass += "Dialogue: 1," + assTime(start + 1500) + "," + assTime(start + 4000) + ",Sign,,0,0,0,,{\\an8}STATION\r\n";
      ++written;
    }
  }
  return ass;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  bench::printArchitecture();
  constexpr int kEvents = 100'000;
  int runs = 5;
  std::string path, writeOnly;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--write" && i + 1 < argc) writeOnly = argv[++i];
    else path = arg;
  }
  if (!writeOnly.empty()) return writeFile(writeOnly, makeAss(kEvents)) ? 0 : 1;
  const bool own = path.empty();
  if (own) {
    path = "load_ass_bench.ass";
    if (!writeFile(path, makeAss(kEvents))) return 1;
  }
  const double baseMb = peakMemoryMb();
  const TextCodec codec(systemCodePages());
  std::vector<double> ms;
  double fileMb = 0;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    SubtitleFormat format = SubtitleFormat::Srt;
    const CueTable table = loadSubtitles(path, UiLanguage::SimplifiedChinese, codec, &format);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (run == 0) {
      std::FILE* f = std::fopen(path.c_str(), "rb");
      if (f) {
        std::fseek(f, 0, SEEK_END);
        fileMb = std::ftell(f) / 1048576.0;
        std::fclose(f);
      }
      std::printf("file: %.1f MB, %s, %d cues after cutting overlaps\n", fileMb, subtitleFormatName(format),
                  static_cast<int>(table.cueCount));
      // One load's peak: later loads reuse (and fragment) the heap the first one left.
      const double addedMb = peakMemoryMb() - baseMb;
      std::printf("peak memory added by one load: %.1f MB = %.2f x the file\n", addedMb,
                  fileMb > 0 ? addedMb / fileMb : 0);
    }
  }
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  std::printf("quorvane load: median %.1f ms (%.0f MB/s), min %.1f, max %.1f over %d runs\n", median,
              fileMb / (median / 1000), sorted.front(), sorted.back(), runs);
  if (own) std::remove(path.c_str());
  return 0;
}
