#include "loading/subtitle_tags.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

constexpr unsigned kGbk = 936, kBig5 = 950, kLatin = 1252;

struct VisibleCase {
  const char* name;
  std::string text;
  unsigned codePage;
  std::string visible;
  int alignment;
};

class VisibleText : public testing::TestWithParam<VisibleCase> {};

TEST_P(VisibleText, TakesOutTagsAndKeepsEverythingElse) {
  const VisibleCase& c = GetParam();
  const FormattedCue cue = parseSubtitleTags(c.text, c.codePage);
  EXPECT_EQ(cue.visible, c.visible);
  EXPECT_EQ(cue.alignment, c.alignment);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VisibleText,
    testing::Values(
        VisibleCase{"Plain", "Hello\r\nworld", kLatin, "Hello\r\nworld", 0},
        VisibleCase{"Italic", "<i>Yes</i>", kLatin, "Yes", 0},
        VisibleCase{"EveryTagAnyCase", "<B>a</B><u>b</u><S>c</s><I>d</i>", kLatin, "abcd", 0},
        VisibleCase{"FontWithAttributes", "<font color=\"#FF0000\" face='Arial' size=40>red</font>!",
                    kLatin, "red!", 0},
        VisibleCase{"Heart", "I <3 you", kLatin, "I <3 you", 0},
        VisibleCase{"LessThan", "< 5 min > 2 min", kLatin, "< 5 min > 2 min", 0},
        VisibleCase{"UnknownTagStays", "<html>x</html> <br/>", kLatin, "<html>x</html> <br/>", 0},
        VisibleCase{"TagLikeWordStays", "<is> <fonts> <i x>", kLatin, "<is> <fonts> <i x>", 0},
        VisibleCase{"Unclosed", "<i>never closed", kLatin, "never closed", 0},
        VisibleCase{"UnterminatedBracket", "a <i b", kLatin, "a <i b", 0},
        VisibleCase{"StrayClosing", "</i>x</font>", kLatin, "x", 0},
        VisibleCase{"Soup", "<<i>>", kLatin, "<>", 0},
        VisibleCase{"EmptyColour", "<font color=>x</font>", kLatin, "x", 0},
        VisibleCase{"TagDoesNotSpanLines", "<i\r\n>x", kLatin, "<i\r\n>x", 0},
        VisibleCase{"TopPlacement", "{\\an8}On top", kLatin, "On top", 8},
        VisibleCase{"LastPlacementWins", "{\\an8}a{\\an2}b", kLatin, "ab", 2},
        VisibleCase{"OverrideStylesGo", "{\\i1}a{\\i0} {\\bord2\\shad1}b", kLatin, "a b", 0},
        VisibleCase{"BracesWithoutBackslashStay", "{laughs} {}", kLatin, "{laughs} {}", 0},
        VisibleCase{"UnclosedBlockStays", "{\\an8 x", kLatin, "{\\an8 x", 0},
        VisibleCase{"NoPlacementZero", "{\\an0}x", kLatin, "x", 0},
        // 0xA1 0x7B is one GBK character whose trail byte is '{'.
        VisibleCase{"GbkTrailBrace", "\xA1{\\an8}", kGbk, "\xA1{\\an8}", 0},
        VisibleCase{"SameBytesInLatin", "\xA1{\\an8}", kLatin, "\xA1", 8},
        // 0xA4 0x7B is one Big5 character whose trail byte is '{'.
        VisibleCase{"Big5TrailBrace", "\xA4{\\i1}x", kBig5, "\xA4{\\i1}x", 0},
        // 0xA5 0x5C (Big5) ends in a backslash that must not start an override code.
        VisibleCase{"Big5TrailBackslash", "{\\i1\xA5\\an8}x", kBig5, "x", 0},
        VisibleCase{"GbkFace", "<font face=\"\xBA\xDA\xCC\xE5\">\xCA\xC7</font>", kGbk, "\xCA\xC7", 0},
        VisibleCase{"GbkTrailCloseBrace", "{\\an8\x81}}x", kGbk, "x", 8},
        VisibleCase{"LeadByteAtEnd", "<i>\xB0", kGbk, "\xB0", 0}),
    [](const testing::TestParamInfo<VisibleCase>& info) { return std::string(info.param.name); });

TEST(SubtitleTags, NestedTagsGiveRunsThatEndWhereTheTagsClose) {
  const FormattedCue cue = parseSubtitleTags("a<i>b<b>c</b>d</i>e", kLatin);
  ASSERT_EQ(cue.visible, "abcde");
  ASSERT_EQ(cue.runs.size(), 5u);
  const bool italic[] = {false, true, true, true, false};
  const bool bold[] = {false, false, true, false, false};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(cue.runs[k].begin, k);
    EXPECT_EQ(cue.runs[k].end, k + 1);
    EXPECT_EQ(cue.runs[k].style.italic, italic[k]) << k;
    EXPECT_EQ(cue.runs[k].style.bold, bold[k]) << k;
  }
}

TEST(SubtitleTags, FontTagsNestAndTheOuterColourComesBack) {
  const FormattedCue cue = parseSubtitleTags(
      "<font color=#00ff00>g<font color=red face=\"Arial\" size=30>r</font>g</font>w", kLatin);
  ASSERT_EQ(cue.visible, "grgw");
  ASSERT_EQ(cue.runs.size(), 4u);
  EXPECT_TRUE(cue.runs[0].style.hasColour);
  EXPECT_EQ(cue.runs[0].style.colour, 0x00FF00u);
  EXPECT_EQ(cue.runs[1].style.colour, 0xFF0000u);
  EXPECT_EQ(cue.runs[1].style.face, "Arial");
  EXPECT_EQ(cue.runs[1].style.size, 30);
  EXPECT_EQ(cue.runs[2].style.colour, 0x00FF00u);
  EXPECT_EQ(cue.runs[2].style.face, "");
  EXPECT_FALSE(cue.runs[3].style.hasColour);
}

TEST(SubtitleTags, BadAttributeValuesChangeNothing) {
  for (const char* tag : {"<font color=>", "<font color=#12345>", "<font color=\"nocolour\">",
                          "<font size=0>", "<font size=12x>", "<font face=\"\">", "<font =>"}) {
    const FormattedCue cue = parseSubtitleTags(std::string(tag) + "x", kLatin);
    EXPECT_EQ(cue.visible, "x") << tag;
    ASSERT_EQ(cue.runs.size(), 1u) << tag;
    EXPECT_EQ(cue.runs[0].style, TextStyle{}) << tag;
  }
}

TEST(SubtitleTags, OverrideBlocksSwitchStyles) {
  const FormattedCue cue = parseSubtitleTags("{\\i1\\b1}a{\\i0}b{\\b0\\u1\\s1}c", kLatin);
  ASSERT_EQ(cue.visible, "abc");
  ASSERT_EQ(cue.runs.size(), 3u);
  EXPECT_TRUE(cue.runs[0].style.italic && cue.runs[0].style.bold);
  EXPECT_TRUE(!cue.runs[1].style.italic && cue.runs[1].style.bold);
  EXPECT_TRUE(cue.runs[2].style.underline && cue.runs[2].style.strike && !cue.runs[2].style.bold);
}

TEST(SubtitleTags, RunsCoverTheVisibleTextWithoutGaps) {
  for (const char* text : {"", "<i></i>", "a<i>b</i><b></b>c", "<u>x\r\ny</u>", "{\\an8}<s>z"}) {
    const FormattedCue cue = parseSubtitleTags(text, kLatin);
    size_t at = 0;
    for (const StyledRun& run : cue.runs) {
      EXPECT_EQ(run.begin, at) << text;
      EXPECT_LT(run.begin, run.end) << text;
      at = run.end;
    }
    EXPECT_EQ(at, cue.visible.size()) << text;
  }
}

TEST(SubtitleTags, TagSoupAtScaleStaysBoundedAndComplete) {
  std::string nested;
  for (int k = 0; k < 10000; ++k) nested += "<i><font color=red>";
  nested += "x";
  for (int k = 0; k < 10000; ++k) nested += "</font></i>";
  nested += "y";
  const FormattedCue cue = parseSubtitleTags(nested, kLatin);
  ASSERT_EQ(cue.visible, "xy");
  ASSERT_EQ(cue.runs.size(), 2u);
  EXPECT_TRUE(cue.runs[0].style.italic && cue.runs[0].style.hasColour);
  EXPECT_EQ(cue.runs[1].style, TextStyle{});

  // Two million brackets that never close: all stay as text.
  const std::string brackets(2'000'000, '<');
  EXPECT_EQ(parseSubtitleTags(brackets, kGbk).visible, brackets);
  std::string blocks;
  for (int k = 0; k < 200'000; ++k) blocks += "{\\<i";
  EXPECT_EQ(parseSubtitleTags(blocks, kLatin).visible, blocks);
}

}  // namespace
}  // namespace quorvane
