// quorvane-render [--font FILE] [--face NAME] SCRIPT WIDTH HEIGHT OUT TIME_MS [TIME_MS...]
//
// Lays out and draws the frames of an ASS script or a WebVTT file (UTF-8) at the given moments on
// a WIDTH x HEIGHT picture area, over black, as the smooth overlay draws them; WebVTT cues are
// placed by their settings in the overlay's look, in the font NAME (DejaVu Sans by default). OUT
// ending in ".bmp" takes the first moment as a 24-bit bitmap; any other OUT gets every moment as
// raw RGB24 frames, one after the other. --font adds a font file for this process only (the same
// file the reference renderer is given).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "loading/ass_reader.h"
#include "loading/vtt_reader.h"
#include "overlay/ass_renderer_win.h"
#include "overlay/vtt_layout.h"
#include "platform/code_pages.h"

namespace {

using namespace quorvane;

// The script with its line ends made CR LF, as the readers take it.
std::string normalised(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  size_t from = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (size_t i = from; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') continue;
    if (bytes[i] == '\n') out += "\r\n";
    else out.push_back(bytes[i]);
  }
  return out;
}

bool writeRgb(std::FILE* out, const AssRenderer& renderer, bool bottomUp, size_t rowPadding) {
  std::vector<unsigned char> row(static_cast<size_t>(renderer.width()) * 3 + rowPadding, 0);
  for (int n = 0; n < renderer.height(); ++n) {
    const int y = bottomUp ? renderer.height() - 1 - n : n;
    const uint32_t* p = renderer.pixels() + static_cast<size_t>(y) * renderer.width();
    for (int x = 0; x < renderer.width(); ++x) {
      // Premultiplied over black is the colour itself; a bitmap's order is blue, green, red.
      const unsigned char r = p[x] >> 16 & 0xFF, g = p[x] >> 8 & 0xFF, b = p[x] & 0xFF;
      row[3 * x] = bottomUp ? b : r;
      row[3 * x + 1] = g;
      row[3 * x + 2] = bottomUp ? r : b;
    }
    if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) return false;
  }
  return true;
}

bool writeBmp(std::FILE* out, const AssRenderer& renderer) {
  const size_t padding = (4 - renderer.width() * 3 % 4) % 4;
  const uint32_t imageSize = static_cast<uint32_t>((renderer.width() * 3 + padding) * renderer.height());
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), renderer.width(), renderer.height(), 1, 24, BI_RGB, imageSize, 0, 0, 0, 0};
  return std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
         writeRgb(out, renderer, true, padding);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  VttLook look;
  look.face = u"DejaVu Sans";
  while (args.size() >= 2 && (args[0] == "--font" || args[0] == "--face")) {
    const std::u16string value = systemCodePages().toUtf16(GetACP(), args[1]);
    if (args[0] == "--face") {
      look.face = value;
    } else if (AddFontResourceExW(reinterpret_cast<const wchar_t*>(value.c_str()), FR_PRIVATE, nullptr) == 0) {
      std::fprintf(stderr, "quorvane-render: cannot add the font %s\n", args[1].c_str());
      return 2;
    }
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() < 5) {
    std::fprintf(stderr,
                 "usage: quorvane-render [--font FILE] [--face NAME] SCRIPT WIDTH HEIGHT OUT TIME_MS [TIME_MS...]\n");
    return 2;
  }
  std::ifstream in(args[0], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "quorvane-render: cannot read %s\n", args[0].c_str());
    return 2;
  }
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string text = normalised(bytes.str());
  const bool webVtt = looksLikeWebVtt(text);
  const AssScript script = webVtt ? AssScript{} : readAssScript(text);
  const AssWideTexts texts = wideAssTexts(script, kCodePageUtf8);
  VttCueFrames cues(webVtt ? readVttEvents(text, kCodePageUtf8) : SubtitleEvents{}, kCodePageUtf8);

  const PictureArea area{0, 0, std::atoi(args[1].c_str()), std::atoi(args[2].c_str())};
  if (area.width < 1 || area.height < 1 || area.width > 16384 || area.height > 16384) {
    std::fprintf(stderr, "quorvane-render: a picture of %s x %s cannot be drawn\n", args[1].c_str(), args[2].c_str());
    return 2;
  }
  const std::string& outPath = args[3];
  const bool bmp = outPath.size() > 4 && outPath.compare(outPath.size() - 4, 4, ".bmp") == 0;
  std::FILE* out = std::fopen(outPath.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "quorvane-render: cannot write %s\n", outPath.c_str());
    return 2;
  }
  AssRenderer renderer;
  bool ok = true;
  for (size_t i = 4; i < args.size() && ok; ++i) {
    const int64_t timeMs = std::atoll(args[i].c_str());
    const std::vector<AssPlacedEvent> frame = webVtt ? cues.frame(area, timeMs, look, renderer.measure())
                                                     : layOutAssFrame(script, texts, area, timeMs, renderer.measure());
    ok = renderer.render(frame, area.width, area.height) && (bmp ? writeBmp(out, renderer) : writeRgb(out, renderer, false, 0));
    if (bmp) break;
  }
  ok = std::fclose(out) == 0 && ok;
  if (!ok) std::fprintf(stderr, "quorvane-render: drawing or writing failed\n");
  return ok ? 0 : 1;
}
