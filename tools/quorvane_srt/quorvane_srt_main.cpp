// quorvane-srt: loads a subtitle file (SRT, ASS/SSA or WebVTT) exactly as Quorvane does for a UI
// language, says on stderr which format it found, and prints the cue table, for people (UTF-8)
// or, with --tsv, byte for byte with escapes. --events prints an ASS/SSA or WebVTT file's events
// before overlapping ones are cut into cues: start, end, layer and plain text, in file order;
// --settings adds a WebVTT cue's settings as a fifth column.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "loading/srt_loader.h"
#include "loading/subtitle_formats.h"

namespace {

using namespace quorvane;

int usage() {
  std::fputs("usage: quorvane-srt [--lang zh-CN|zh-TW|en] [--tsv] [--events [--settings]] FILE\n", stderr);
  return 2;
}

std::string escaped(const std::string& bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') out += "\\\\";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (b < 0x20 || b > 0x7E) out += {'\\', 'x', hex[b >> 4], hex[b & 15]};
    else out.push_back(c);
  }
  return out;
}

// Stored times as an SRT clock, sign first when negative.
std::string clock(int32_t ms) {
  const int64_t v = ms;
  const uint64_t a = static_cast<uint64_t>(v < 0 ? -v : v);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s%02llu:%02llu:%02llu,%03llu", v < 0 ? "-" : "",
                static_cast<unsigned long long>(a / 3600000), static_cast<unsigned long long>(a / 60000 % 60),
                static_cast<unsigned long long>(a / 1000 % 60), static_cast<unsigned long long>(a % 1000));
  return buffer;
}

// The text in UTF-8, read in the code page the overlay would draw it in, with LF line ends.
std::string forPeople(const std::string& text, unsigned displayCodePage) {
  const CodePages& codePages = systemCodePages();
  std::string utf8 = codePages.fromUtf16(kCodePageUtf8, codePages.toUtf16(displayCodePage, text));
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    out.push_back(utf8[i]);
    if (utf8[i] == '\n') out += "    ";
  }
  return out;
}

// A WebVTT cue's settings as "name=value" words: vertical, line (or "auto"), snap (1 when the
// line counts lines), lineAlign, position (or "auto"), positionAlign, size, align.
std::string settingsText(const VttCueSettings& s) {
  static const char* const directions[] = {"horizontal", "rl", "lr"};
  static const char* const lineAligns[] = {"start", "center", "end"};
  static const char* const positionAligns[] = {"auto", "line-left", "center", "line-right"};
  static const char* const aligns[] = {"center", "start", "end", "left", "right"};
  const auto number = [](bool isAuto, float value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return isAuto ? std::string("auto") : std::string(buffer);
  };
  return std::string("vertical=") + directions[static_cast<int>(s.direction)] + " line=" + number(s.lineAuto, s.line) +
         " snap=" + (s.snapToLines ? "1" : "0") + " lineAlign=" + lineAligns[static_cast<int>(s.lineAlign)] +
         " position=" + number(s.positionAuto, s.position) +
         " positionAlign=" + positionAligns[static_cast<int>(s.positionAlign)] + " size=" + number(false, s.size) +
         " align=" + aligns[static_cast<int>(s.align)];
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as the native build: no LF to CR LF translation.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  UiLanguage language = UiLanguage::English;
  bool tsv = false, events = false, settings = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--tsv") {
      tsv = true;
    } else if (arg == "--events") {
      events = true;
    } else if (arg == "--settings") {
      settings = true;
    } else if (arg == "--lang" && i + 1 < argc) {
      const std::string lang = argv[++i];
      if (lang == "zh-CN") language = UiLanguage::SimplifiedChinese;
      else if (lang == "zh-TW") language = UiLanguage::TraditionalChinese;
      else if (lang == "en") language = UiLanguage::English;
      else return usage();
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage();
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      return usage();
    }
  }
  if (path == nullptr || (settings && !events)) return usage();

  // The loader counts an unreadable file as empty, as the program must; the tool says so.
  if (std::FILE* probe = std::fopen(path, "rb")) {
    std::fclose(probe);
  } else {
    std::fprintf(stderr, "quorvane-srt: cannot open %s: %s\n", path, std::strerror(errno));
    return 2;
  }

  const TextCodec codec(systemCodePages());
  unsigned codePage = 0;
  const std::string bytes = normaliseSubtitleBytes(readSubtitleFile(path), language, codec, &codePage);
  SubtitleFormat format = SubtitleFormat::Srt;
  if (events) {
    for (const SubtitleEvent& event : parseSubtitleEvents(bytes, codePage, &format).events) {
      std::printf("%d\t%d\t%d\t%s", static_cast<int>(event.startMs), static_cast<int>(event.endMs),
                  static_cast<int>(event.layer), escaped(event.text).c_str());
      if (settings) std::printf("\t%s", settingsText(event.vtt).c_str());
      std::printf("\n");
    }
    std::fprintf(stderr, "quorvane-srt: %s: %s\n", path, subtitleFormatName(format));
    return 0;
  }
  CueTable table = parseSubtitles(bytes, codePage, &format);
  table.codePage = codePage;
  std::fprintf(stderr, "quorvane-srt: %s: %s\n", path, subtitleFormatName(format));
  if (tsv) {
    for (size_t i = 0; i < table.cues.size(); ++i) {
      const Cue& cue = table.cues[i];
      std::printf("%zu\t%d\t%d\t%s\n", i + 1, static_cast<int>(cue.startMs), static_cast<int>(cue.endMs),
                  escaped(cue.text).c_str());
    }
    return 0;
  }
  // An English system keeps a file's bytes; GBK reads them best, as it also holds ASCII.
  const unsigned displayCodePage = table.codePage != 0 ? table.codePage : kCodePageGbk;
  std::printf("%d cues\n", static_cast<int>(table.cueCount));
  for (int32_t i = 1; i <= table.cueCount; ++i) {
    const Cue& cue = table.at(i);
    std::printf("\n%d  %s --> %s\n    %s\n", static_cast<int>(i), clock(cue.startMs).c_str(),
                clock(cue.endMs).c_str(), forPeople(cue.text, displayCodePage).c_str());
  }
  return 0;
}
