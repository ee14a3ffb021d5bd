#include "platform/utf16_text.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, DecodesEveryPieceOnce) { EXPECT_EQ(utf16FromUtf8(GetParam().utf8), GetParam().utf16); }

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8ToUtf16,
    ::testing::Values(Utf8Case{"Empty", "", u""},
                      Utf8Case{"Ascii", "mpvsocket", u"mpvsocket"},
                      Utf8Case{"EachLength", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x8E\xAC", u"\u00E9\u4E2D\U0001F3AC"},
                      Utf8Case{"Limits", "\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\u0080\uFFFF\U0010FFFF"},
                      // Nothing after a bad byte is lost, and the text goes on past it.
                      Utf8Case{"StrayContinuation", "a\x80z", u"a\uFFFDz"},
                      Utf8Case{"LeadAtEnd", "ab\xE4\xB8", u"ab\uFFFD"},
                      Utf8Case{"BrokenByAscii", "\xE4\xB8z", u"\uFFFDz"},
                      Utf8Case{"BrokenByLead", "\xE4\xC3\xA9", u"\uFFFD\u00E9"},
                      Utf8Case{"Overlong", "\xC0\xAF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"Surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"PastUnicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"NotALead", "\xF8\xFF", u"\uFFFD\uFFFD"},
                      Utf8Case{"NulKept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const auto& info) { return std::string(info.param.name); });

struct Utf16Case {
  const char* name;
  std::u16string utf16;
  std::string utf8;
};

class Utf16ToUtf8 : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16ToUtf8, EncodesEveryUnitOnce) { EXPECT_EQ(utf8FromUtf16(GetParam().utf16), GetParam().utf8); }

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf16ToUtf8,
    ::testing::Values(Utf16Case{"Empty", u"", ""},
                      Utf16Case{"EachLength", u"a\u00E9\u4E2D\U0001F3AC", "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x8E\xAC"},
                      Utf16Case{"LoneHigh", std::u16string{u'a', 0xD83C, u'z'}, "a\xEF\xBF\xBDz"},
                      Utf16Case{"LoneLow", std::u16string{0xDF2C, u'z'}, "\xEF\xBF\xBDz"},
                      Utf16Case{"HighAtEnd", std::u16string{u'a', 0xD83C}, "a\xEF\xBF\xBD"},
                      Utf16Case{"SwappedPair", std::u16string{0xDF2C, 0xD83C}, "\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
