#include "app/file_filter.h"

#include <string_view>

namespace quorvane {

std::string subtitleFileFilter(const UiTextTable& texts, UiLanguage language) {
  constexpr std::string_view kReadable = "*.srt;*.ass;*.ssa;*.vtt";
  std::string_view subtitles = "All subtitles", allFiles = "All files";
  switch (language) {
    case UiLanguage::SimplifiedChinese:
      subtitles = "\xCB\xF9\xD3\xD0\xD7\xD6\xC4\xBB\xCE\xC4\xBC\xFE";  // 所有字幕文件
      allFiles = "\xCB\xF9\xD3\xD0\xCE\xC4\xBC\xFE";                   // 所有文件
      break;
    case UiLanguage::TraditionalChinese:
      subtitles = "\xA9\xD2\xA6\xB3\xA6\x72\xB9\xF5\xC0\xC9\xAE\xD7";  // 所有字幕檔案
      allFiles = "\xA9\xD2\xA6\xB3\xC0\xC9\xAE\xD7";                   // 所有檔案
      break;
    case UiLanguage::English:
      break;
  }
  std::string filter(subtitles);
  filter.append("(").append(kReadable).append(")|").append(kReadable);
  filter.append("|").append(texts.row(UiRow::FileFilter)).append("|*.srt");
  filter.append("|").append(allFiles).append("(*.*)|*.*");
  return filter;
}

}  // namespace quorvane
