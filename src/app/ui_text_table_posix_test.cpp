#include <iconv.h>

#include <gtest/gtest.h>

#include "app/ui_text_table.h"

namespace quorvane {
namespace {

// The Simplified rows are only used as they are; the conversion is never asked for.
class UnusedCodePages : public CodePages {
 public:
  std::u16string toUtf16(unsigned, std::string_view) const override { return {}; }
  std::string fromUtf16(unsigned, std::u16string_view) const override { return {}; }
};

// GBK bytes to UTF-8; nothing when they are not valid GBK.
std::optional<std::string> gbkToUtf8(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "CP936");
  std::string out(gbk.size() * 3 + 1, '\0');
  char* in = const_cast<char*>(gbk.data());
  size_t inLeft = gbk.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

TEST(UiTextTable, RowsAreValidTextInTheirCodePage) {
  const UnusedCodePages pages;
  const TextCodec codec(pages);
  const UiTextTable simplified = UiTextTable::build(UiLanguage::SimplifiedChinese, codec);
  const UiTextTable english = UiTextTable::build(UiLanguage::English, codec);
  for (int i = 0; i < static_cast<int>(kUiRowCount); ++i) {
    const auto row = static_cast<UiRow>(i);
    const bool unused = i == 25 || i == 26;
    EXPECT_EQ(simplified.row(row).empty(), unused) << i;
    EXPECT_EQ(english.row(row).empty(), unused) << i;
    EXPECT_TRUE(gbkToUtf8(simplified.row(row))) << i;
    for (const char c : english.row(row)) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << i;
  }
  EXPECT_EQ(gbkToUtf8(simplified.row(UiRow::DefaultFont)), "黑体");
  EXPECT_EQ(gbkToUtf8(simplified.row(UiRow::WindowTitle)), "Quorvanev1.5 (仅支持PD15)");
  EXPECT_EQ(gbkToUtf8(simplified.row(UiRow::TrimHint)),
            "无论何时，当您想撤销精简操作，只需点击本按钮2次");
  EXPECT_EQ(english.row(UiRow::DefaultFont), "Bold");
}

}  // namespace
}  // namespace quorvane
