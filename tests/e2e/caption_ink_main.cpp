// caption_ink: how whole texts look in a named face, for the end-to-end tests to compare with
// the captions on the screen.
//
//   caption_ink --face NAME TEXT... [--underline TEXT...]
//
// Each TEXT (those after --underline underlined, as a link draws them) is drawn black on white in
// the face NAME, which the test states as the one it expects the captions in, with
// DEFAULT_CHARSET, so that font linking supplies Chinese glyphs that the face lacks, at every
// character height from 6 to 24 pixels (16 at 96 DPI, 24 at 144). Prints a JSON list, one entry
// per text:
//   {"text":..., "underline":bool, "renders":[{"height":H, "width":W, "rows":["0f8..",...]}]}
// where rows is the ink's bounding box, one hex digit per pixel giving its darkness (0 paper,
// f full ink). Run it with the same LANG as the program: font linking follows the locale.
// Exit code 0, or 2 on bad arguments.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/window_handles_win.h"

namespace {

using namespace quorvane;

constexpr int kSmallestHeight = 6;
constexpr int kLargestHeight = 24;
constexpr int kPad = 4;

std::string toUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string jsonString(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : toUtf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// One text at one height: its ink box as rows of darkness digits.
std::string renderJson(const LOGFONTW& face, const std::wstring& text) {
  const FontHandle font(CreateFontIndirectW(&face));
  const MemoryDc memory(CreateCompatibleDC(nullptr));
  if (!font || !memory) return "null";
  const HDC dc = memory.get();
  const HGDIOBJ oldFont = SelectObject(dc, font.get());
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  // Room around the text for overhangs on either side.
  const int width = extent.cx + 2 * kPad + metrics.tmMaxCharWidth;
  const int height = metrics.tmHeight + 2 * kPad;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const GdiObject<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) {
    SelectObject(dc, oldFont);
    return "null";
  }
  const HGDIOBJ oldBitmap = SelectObject(dc, bitmap.get());
  RECT all{0, 0, width, height};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  TextOutW(dc, kPad + metrics.tmMaxCharWidth / 2, kPad, text.c_str(),
           static_cast<int>(text.size()));
  GdiFlush();

  const auto* pixels = static_cast<const DWORD*>(bits);
  auto darkness = [&](int x, int y) {
    const DWORD p = pixels[y * width + x];
    const int lightest = std::max({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF});
    return (255 - lightest) * 15 / 255;
  };
  int left = width, right = -1, top = height, bottom = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (darkness(x, y) == 0) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  std::string out = "{\"height\":" + std::to_string(-face.lfHeight) + ",\"width\":" +
                    std::to_string(right < 0 ? 0 : right - left + 1) + ",\"rows\":[";
  for (int y = top; y <= bottom; ++y) {
    out += y == top ? "\"" : ",\"";
    for (int x = left; x <= right; ++x) out += "0123456789abcdef"[darkness(x, y)];
    out += "\"";
  }
  SelectObject(dc, oldBitmap);
  SelectObject(dc, oldFont);
  return out + "]}";
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4 || std::wstring(argv[1]) != L"--face" || wcslen(argv[2]) >= LF_FACESIZE) {
    std::fputs("usage: caption_ink --face NAME TEXT... [--underline TEXT...]\n", stderr);
    return 2;
  }
  LOGFONTW face{};
  wcscpy(face.lfFaceName, argv[2]);
  face.lfCharSet = DEFAULT_CHARSET;
  face.lfWeight = FW_NORMAL;

  std::string out = "[";
  bool underline = false;
  for (int i = 3; i < argc; ++i) {
    const std::wstring text = argv[i];
    if (text == L"--underline") {
      underline = true;
      continue;
    }
    face.lfUnderline = underline ? TRUE : FALSE;
    if (out.size() > 1) out += ",\n";
    out += "{\"text\":" + jsonString(text) + ",\"underline\":" + (underline ? "true" : "false") +
           ",\"renders\":[";
    for (int height = kSmallestHeight; height <= kLargestHeight; ++height) {
      face.lfHeight = -height;
      if (height > kSmallestHeight) out += ",";
      out += renderJson(face, text);
    }
    out += "]}";
  }
  out += "]\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
