#include "app/ui_text_table.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(UiLanguage, FollowsTheSystemLanguageId) {
  struct Case { uint16_t langId; UiLanguage language; };
  const Case cases[] = {
      {0x0404, UiLanguage::TraditionalChinese}, {0x0C04, UiLanguage::TraditionalChinese},
      {0x1404, UiLanguage::TraditionalChinese}, {0x7C04, UiLanguage::TraditionalChinese},
      {0x0804, UiLanguage::SimplifiedChinese},  {0x1004, UiLanguage::SimplifiedChinese},
      {0x0004, UiLanguage::English},            {0x0409, UiLanguage::English},
      {0x0411, UiLanguage::English},            {0x0000, UiLanguage::English},
  };
  for (const auto& c : cases) EXPECT_EQ(languageFromLangId(c.langId), c.language) << c.langId;
}

TEST(UiTextTable, SliderCaptionsEndWithTheValue) {
  EXPECT_EQ(captionWithNumber("\xD7\xD6\xCC\xE5\xB4\xF3\xD0\xA1 = ", 36),
            "\xD7\xD6\xCC\xE5\xB4\xF3\xD0\xA1 = 36");
  EXPECT_EQ(captionWithNumber("Top = ", 0), "Top = 0");
  EXPECT_EQ(captionWithNumber("Left = ", 32767), "Left = 32767");
}

TEST(UiTextTable, TraditionalRowsAreTheSimplifiedOnesInBig5) {
  const CodePages& pages = systemCodePages();
  const TextCodec codec(pages);
  const UiTextTable traditional = UiTextTable::build(UiLanguage::TraditionalChinese, codec);
  EXPECT_EQ(traditional.row(UiRow::DefaultFont), "\xB6\xC2\xC5\xE9");  // 黑體
  EXPECT_EQ(pages.toUtf16(kCodePageBig5, traditional.row(UiRow::TrimHint)),
            u"無論何時，當您想撤銷精簡操作，只需點擊本按鈕2次");
  EXPECT_EQ(pages.toUtf16(kCodePageBig5, traditional.row(UiRow::PlayerGroup)), u"播放器選擇");
  for (size_t i = 0; i < kUiRowCount; ++i) {
    // Every character has a Big5 form: nothing fell back to "?".
    const std::string& row = traditional.row(static_cast<UiRow>(i));
    EXPECT_EQ(row.find('?'), std::string::npos) << i;
  }
}

}  // namespace
}  // namespace quorvane
