#include "app/file_filter.h"

#include <gtest/gtest.h>

#include "platform/code_pages.h"

namespace quorvane {
namespace {

TEST(SubtitleFileFilter, EveryReadableTypeFirstThenSrtThenAllFiles) {
  const TextCodec codec(systemCodePages());
  struct Case { UiLanguage language; std::string readable, all; };
  const Case cases[] = {
      {UiLanguage::English, "All subtitles", "All files"},
      {UiLanguage::SimplifiedChinese, "\xCB\xF9\xD3\xD0\xD7\xD6\xC4\xBB\xCE\xC4\xBC\xFE", "\xCB\xF9\xD3\xD0\xCE\xC4\xBC\xFE"},
      {UiLanguage::TraditionalChinese, "\xA9\xD2\xA6\xB3\xA6\x72\xB9\xF5\xC0\xC9\xAE\xD7", "\xA9\xD2\xA6\xB3\xC0\xC9\xAE\xD7"},
  };
  for (const Case& c : cases) {
    const UiTextTable texts = UiTextTable::build(c.language, codec);
    EXPECT_EQ(subtitleFileFilter(texts, c.language),
              c.readable + "(*.srt;*.ass;*.ssa;*.vtt)|*.srt;*.ass;*.ssa;*.vtt|" + texts.row(UiRow::FileFilter) +
                  "|*.srt|" + c.all + "(*.*)|*.*");
  }
}

}  // namespace
}  // namespace quorvane
