#include "loading/vtt_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "loading/character_references.h"

namespace quorvane {
namespace {

using namespace std::string_literals;

TEST(ParseVttTime, FollowsTheTimestampRules) {
  struct Case { const char* text; std::optional<int64_t> ms; };
  const Case cases[] = {
      {"00:01.000", 1000},          {"01:02:03.456", 3723456},     {"123:00:00.001", 442800001},
      {"0:01:02.000", 62000},       {"75:00.000", std::nullopt},   {"75:00:00.000", 270000000},
      {"596:31:23.647", 2147483647}, {"9999999999999999:00:00.000", 2147483647},
      {"00:59.999", 59999},         {"59:59:59.999", 215999999},   {" 00:01.000", std::nullopt},
      {"00:01,000", std::nullopt},  {"0:01.000", std::nullopt},    {"00:1.000", std::nullopt},
      {"00:60.000", std::nullopt},  {"00:60:00.000", std::nullopt}, {"00:01.00", std::nullopt},
      {"00:01.0000", std::nullopt}, {"", std::nullopt},            {"1:2:3:4.000", std::nullopt},
      {"00:00:01.000x", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseVttTime(c.text), c.ms) << '"' << c.text << '"';
}

TEST(DecodeCharacterReference, ReadsNamedAndNumericReferencesByTheHtmlRules) {
  struct Case { const char* afterAmpersand; bool found; char32_t first, second; size_t length; };
  const Case cases[] = {
      {"amp;x", true, U'&', 0, 4},        {"ampx", true, U'&', 0, 3},       {"notin;", true, 0x2209, 0, 6},
      {"notit;", true, 0xAC, 0, 3},       {"hellip", false, 0, 0, 0},       {"hellip;", true, 0x2026, 0, 7},
      {"NotEqualTilde;", true, 0x2242, 0x338, 14},                         {"CounterClockwiseContourIntegral;", true, 0x2233, 0, 32},
      {"#65;", true, U'A', 0, 4},         {"#x41b", true, 0x41B, 0, 5},     {"#X1F600", true, 0x1F600, 0, 7},
      {"#0;", true, 0xFFFD, 0, 3},        {"#128", true, 0x20AC, 0, 4},     {"#x81;", true, 0x81, 0, 5},
      {"#xD800;", true, 0xFFFD, 0, 7},    {"#99999999999999999999;", true, 0xFFFD, 0, 22},
      {"#", false, 0, 0, 0},              {"#x;", false, 0, 0, 0},          {"", false, 0, 0, 0},
      {" amp;", false, 0, 0, 0},          {"AMP", true, U'&', 0, 3},        {"Amp;", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    DecodedReference decoded;
    ASSERT_EQ(decodeCharacterReference(c.afterAmpersand, decoded), c.found) << c.afterAmpersand;
    if (!c.found) continue;
    EXPECT_EQ(decoded.first, c.first) << c.afterAmpersand;
    EXPECT_EQ(decoded.second, c.second) << c.afterAmpersand;
    EXPECT_EQ(decoded.length, c.length) << c.afterAmpersand;
  }
}

// The WebVTT file parsing rules, one file each, read in UTF-8 so that references come out whole.
TEST(ReadVttEvents, FollowsTheFileParsingRules) {
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> texts;  // each cue's plain text, in file order
  };
  const Case cases[] = {
      {"header ends at an empty line", "WEBVTT Kind: captions\r\nX: 1\r\n\r\n00:01.000 --> 00:02.000\r\na", {"a"}},
      {"header ends at an arrow line", "WEBVTT\r\nX: 1\r\n00:01.000 --> 00:02.000\r\na\r\n\r\n00:03.000 --> 00:04.000\r\nb", {"a", "b"}},
      {"cue straight after the signature", "WEBVTT\r\n00:01.000 --> 00:02.000\r\na", {"a"}},
      {"line of spaces is text", "WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\na\r\n  \r\nb\r\n\r\n", {"a\r\n  \r\nb"}},
      {"identifier, then an arrow line ends the text",
       "WEBVTT\r\n\r\nid\r\n00:01.000 --> 00:02.000\r\na\r\n00:03.000 --> 00:04.000\r\nb", {"a", "b"}},
      {"second line without arrow: a later arrow line starts a block",
       "WEBVTT\r\n\r\nid\r\nnot timing\r\n00:01.000 --> 00:02.000\r\na", {"a"}},
      {"rejected timing line drops its cue and text up to the next arrow line",
       "WEBVTT\r\n\r\n00:01.000 --> 00:60.000\r\nlost\r\n00:03.000 --> 00:04.000\r\nb", {"b"}},
      {"comment and style blocks give nothing, an arrow in them is a cue",
       "WEBVTT\r\n\r\nNOTE x\r\ny\r\n\r\nSTYLE\r\n::cue {}\r\n\r\nNOTE\r\n00:01.000 --> 00:02.000\r\nc", {"c"}},
      {"form feeds and tabs around the arrow, none needed",
       "WEBVTT\r\n\r\n\f00:01.000\t-->\f00:02.000\f\r\na\r\n\r\n00:03.000-->00:04.000x\r\nb", {"a", "b"}},
      {"NUL and references in the text",
       "WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\na\0b &amp;&ampx &lt;&#x41;&#66 &hellip &hellip; &#0; &notin;&notit;&#x1F600;"s,
       {"a\xEF\xBF\xBD" "b &&x <AB &hellip \xE2\x80\xA6 \xEF\xBF\xBD \xE2\x88\x89\xC2\xACit;\xF0\x9F\x98\x80"}},
      {"tags out, unclosed tag runs to the end", "WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\n<v A &amp; B>x</v> <c.y>z</c><00:01.500>w <i", {"x zw"}},
  };
  for (const Case& c : cases) {
    const SubtitleEvents read = readVttEvents(c.file, kCodePageUtf8);
    std::vector<std::string> texts;
    for (const SubtitleEvent& event : read.events) texts.push_back(event.text);
    EXPECT_EQ(texts, c.texts) << c.name;
  }
}

TEST(ReadVttEvents, WritesReferencesInTheCodePage) {
  const SubtitleEvents read = readVttEvents(
      "WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\nx&nbsp;x&lrm;&zwj;&eacute;&#x4E2D;&#x1F600;&#x0E01;&#10;y", kCodePageGbk);
  ASSERT_EQ(read.events.size(), 1u);
  // GBK lacks the no-break space, the zero-width marks, U+1F600 (two UTF-16 units) and Thai.
  EXPECT_EQ(read.events[0].text, "x x\xA8\xA6\xD6\xD0???\r\ny");
  EXPECT_EQ(read.events[0].lineCount, 2);
}

TEST(ReadVttEvents, ReadsTimesTagsAndSettings) {
  const SubtitleEvents read = readVttEvents(
      "WEBVTT\r\n\r\n"
      "00:01.000 --> 00:02.000 align:start line:0 size:50%\r\n<i.x>it</i> <b>b</b> <u>u</u> <I>c</I>\r\n\r\n"
      "00:03.000 --> 00:04.000 line:-1,end position:10%,line-left vertical:rl bogus line: size:101%\r\nb\r\n\r\n"
      "00:05.000 --> 00:06.000 line:10.5% align:middle position:5%,middle line:-0 vertical:x\r\nc\r\n\r\n"
      "00:07.000 --> 00:08.000 line:80% line:1,centre line:-.5 line:1-2 line:- position:.5% size:50.%\r\nd\r\n",
      0);
  ASSERT_EQ(read.events.size(), 4u);
  using S = VttCueSettings;
  const SubtitleEvent& first = read.events[0];
  EXPECT_EQ(first.startMs, 500);
  EXPECT_EQ(first.endMs, 1500);
  EXPECT_EQ(first.text, "it b u c");
  EXPECT_EQ(first.tagged, "<i>it</i> <b>b</b> <u>u</u> c");
  EXPECT_TRUE(first.top);
  EXPECT_EQ(first.vtt.align, S::TextAlign::Start);
  EXPECT_EQ(first.vtt.size, 50.0f);
  EXPECT_TRUE(first.vtt.snapToLines);

  const S& second = read.events[1].vtt;
  EXPECT_FALSE(read.events[1].top);
  EXPECT_EQ(second.line, -1.0f);
  EXPECT_EQ(second.lineAlign, S::LineAlign::End);
  EXPECT_EQ(second.position, 10.0f);
  EXPECT_EQ(second.positionAlign, S::PositionAlign::LineLeft);
  EXPECT_EQ(second.direction, S::Direction::VerticalGrowingLeft);
  EXPECT_EQ(second.size, 100.0f);

  // Later settings of a name win; rejected values leave the earlier ones.
  const S& third = read.events[2].vtt;
  EXPECT_TRUE(read.events[2].top);
  EXPECT_EQ(third.line, 0.0f);
  EXPECT_TRUE(third.snapToLines);
  EXPECT_EQ(third.align, S::TextAlign::Center);
  EXPECT_TRUE(third.positionAuto);
  EXPECT_EQ(third.direction, S::Direction::Horizontal);

  const S& fourth = read.events[3].vtt;
  EXPECT_FALSE(read.events[3].top);
  EXPECT_EQ(fourth.line, 80.0f);
  EXPECT_FALSE(fourth.snapToLines);
  EXPECT_EQ(fourth.lineAlign, S::LineAlign::Start);
  EXPECT_TRUE(fourth.positionAuto);
  EXPECT_EQ(fourth.size, 100.0f);
}

TEST(ReadVttEvents, StaysLinearOnHugeSettingsAndTags) {
  std::string file = "WEBVTT\r\n\r\n00:01.000 --> 00:02.000";
  for (int i = 0; i < 100000; ++i) file += " line:1,start";
  file += "\r\n";
  for (int i = 0; i < 100000; ++i) file += "<c.a><i>&amp";
  file += "x\r\n";
  const SubtitleEvents read = readVttEvents(file, 0);
  ASSERT_EQ(read.events.size(), 1u);
  EXPECT_EQ(read.events[0].text, std::string(100000, '&') + "x");
  EXPECT_EQ(read.events[0].vtt.line, 1.0f);
}

}  // namespace
}  // namespace quorvane
