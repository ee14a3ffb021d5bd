#include "platform/code_pages.h"

#include <gtest/gtest.h>

#include "platform/code_page_scan.h"

// These run against the converter of the build (iconv natively, Windows under Wine), so the
// same expectations hold both builds to the same results.
namespace quorvane {
namespace {

const CodePages& cp() { return systemCodePages(); }

TEST(CodePages, EmptyInEmptyOut) {
  for (unsigned page : {kCodePageGbk, kCodePageBig5, kCodePageUtf8}) {
    EXPECT_EQ(cp().toUtf16(page, ""), u"");
    EXPECT_EQ(cp().fromUtf16(page, u""), "");
  }
}

TEST(CodePages, ConvertsBothWays) {
  struct Case { unsigned page; std::string bytes; std::u16string text; };
  const Case cases[] = {
      {kCodePageGbk, "\xBA\xDA\xCC\xE5 A", u"黑体 A"},
      {kCodePageBig5, "\xB6\xC2\xC5\xE9", u"黑體"},
      {kCodePageUtf8, "\xE9\xBB\x91\xE9\xAB\x94", u"黑體"},
      {kCodePageUtf8, "\xF0\x9F\x98\x80", u"\U0001F600"},
      {kCodePageGbk, std::string("a\0b\r\n", 5), std::u16string(u"a\0b\r\n", 5)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp().toUtf16(c.page, c.bytes), c.text) << c.page << ' ' << c.bytes;
    EXPECT_EQ(cp().fromUtf16(c.page, c.text), c.bytes) << c.page << ' ' << c.bytes;
  }
}

TEST(CodePages, InvalidBytesDecodeToReplacementCharacter) {
  struct Case { unsigned page; std::string bytes; std::u16string text; };
  const Case cases[] = {
      {kCodePageGbk, "A\x81", u"A\uFFFD"},                    // lead byte cut off at the end
      {kCodePageGbk, "\x81 B\xBA\xDA", u"\uFFFD B黑"},          // a space is no trail byte
      {kCodePageBig5, "\xA2 \xB6\xC2", u"\uFFFD 黑"},
      {kCodePageUtf8, "\xE4\xB8" "A", u"\uFFFD" "A"},         // truncated sequence: one U+FFFD
      {kCodePageUtf8, "\xC0\x80z", u"\uFFFD\uFFFDz"},          // overlong NUL
      {kCodePageUtf8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {kCodePageUtf8, "\xFF\xE9\xBB\x91", u"\uFFFD黑"},
  };
  for (const auto& c : cases) EXPECT_EQ(cp().toUtf16(c.page, c.bytes), c.text) << c.page << ' ' << c.bytes;
}

TEST(CodePages, ManyInvalidBytesInLongTextKeepEveryValidCharacter) {
  std::string bytes;
  std::u16string expected;
  for (int i = 0; i < 20000; ++i) {
    bytes += (i % 997 == 0) ? "\x81 " : "\xBA\xDAx";
    expected += (i % 997 == 0) ? u"\uFFFD " : u"黑x";
  }
  EXPECT_EQ(cp().toUtf16(kCodePageGbk, bytes), expected);
}

TEST(CodePages, UnrepresentableCharacterBecomesDefaultCharacter) {
  struct Case { unsigned page; std::u16string text; std::string bytes; };
  const Case cases[] = {
      {kCodePageGbk, u"a\u0E01b", "a?b"},                 // Thai is not in GBK
      {kCodePageBig5, u"为了", "?\xA4\x46"},              // simplified 为 is not in Big5
      {kCodePageGbk, u"\U0001F600!", "?" "?!"},            // each half of the pair
      {kCodePageGbk, u"\xD800x", "?x"},                   // lone surrogate
      {kCodePageUtf8, u"\xDC00x", "\xEF\xBF\xBDx"},
  };
  for (const auto& c : cases) EXPECT_EQ(cp().fromUtf16(c.page, c.text), c.bytes) << c.page;
}

TEST(CodePageCharLength, FollowsLeadAndTrailRanges) {
  struct Case { unsigned page; std::string bytes; size_t length; };
  const Case cases[] = {
      {kCodePageGbk, "A", 1}, {kCodePageGbk, "\xBA\xDA", 2}, {kCodePageGbk, "\x81\x40", 2},
      {kCodePageGbk, "\x81\x7F", 1}, {kCodePageGbk, "\x80\x40", 1}, {kCodePageGbk, "\xFF\x40", 1},
      {kCodePageBig5, "\xA4\x40", 2}, {kCodePageBig5, "\xA4\x80", 1}, {kCodePageBig5, "\xA4", 1},
      {kCodePageUtf8, "\xE9\xBB\x91", 3}, {kCodePageUtf8, "\xE9\xBB", 2}, {kCodePageUtf8, "\xE0\x80", 1},
      {kCodePageUtf8, "\xF4\x90\x80\x80", 1}, {kCodePageUtf8, "\xF0\x9F\x98\x80", 4},
  };
  for (const auto& c : cases) EXPECT_EQ(codePageCharLength(c.page, c.bytes, 0), c.length) << c.bytes;
}

}  // namespace
}  // namespace quorvane
