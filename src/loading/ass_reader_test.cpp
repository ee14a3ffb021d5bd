#include "loading/ass_reader.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

constexpr std::string_view kV4PlusStyles =
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\r\n"
    "Style: Default,SimHei,60,&H00FFFFFF,&H000000FF,&H00102030,&H00000000,0,0,0,0,100,100,0,0,1,2,0,2,10,10,10,1\r\n"
    "Style: Eng,Arial,30,&H0000FFFF,&H000000FF,&H00000000,&H00000000,-1,1,0,0,100,100,0,0,1,2,0,2,10,10,10,1\r\n"
    "Style: Sign,Arial,90,&H000000FF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,8,10,10,10,1\r\n";

std::string script(std::string_view events, std::string_view styles = kV4PlusStyles) {
  return "[Script Info]\r\nScriptType: v4.00+\r\n\r\n" + std::string(styles) + "\r\n[Events]\r\n" + std::string(events);
}

TEST(ParseAssTime, ReadsHoursMinutesSecondsAndHundredths) {
  struct Case { const char* text; std::optional<int64_t> ms; };
  const Case cases[] = {
      {"0:00:01.00", 1000}, {"1:02:03.45", 3723450}, {" 0:00:01.5 ", 1050}, {"0:00:01", 1000},
      {"10:00:00.00", 36000000}, {"-0:00:01.00", -1000}, {"0:01.00", std::nullopt}, {"", std::nullopt},
      {"a:00:01.00", std::nullopt}, {"0:00:01.00x", std::nullopt}, {"99999999999:00:00.00", 999999999LL * 3600000},
  };
  for (const Case& c : cases) EXPECT_EQ(parseAssTime(c.text), c.ms) << '"' << c.text << '"';
}

TEST(LooksLikeAss, NeedsASectionHeaderFirstAndScriptInfoOrEvents) {
  EXPECT_TRUE(looksLikeAss("\r\n[Script Info]\r\nTitle: x\r\n"));
  EXPECT_TRUE(looksLikeAss("[script info]"));
  EXPECT_TRUE(looksLikeAss("[V4+ Styles]\r\n\r\n[Events]\r\n"));
  EXPECT_FALSE(looksLikeAss("1\r\n00:00:01,000 --> 00:00:02,000\r\n[Events]\r\n"));
  EXPECT_FALSE(looksLikeAss("[Fonts]\r\n"));
  EXPECT_FALSE(looksLikeAss(""));
}

TEST(ReadAssEvents, TakesFieldsInTheFormatLinesOrderAndTextWithItsCommas) {
  const SubtitleEvents read = readAssEvents(
      script("Format: Start, Text\r\n"  // not the standard order, and Text may be any last field
             "Dialogue: 0:00:05.00,late\r\n"
             "Format: Text, End, Start\r\n"  // Text not last: such lines cannot be read
             "Dialogue: x,0:00:02.00,0:00:01.00\r\n"
             "Format: End, Layer, Style, Start, Text\r\n"
             "Dialogue: 0:00:04.00,2,Eng,0:00:01.00, one, two ,three \r\n"
             "Comment: 0:00:04.00,0,Eng,0:00:01.00,comment\r\n"
             "Dialogue: 0:00:04.00,0,Eng\r\n"                      // fewer fields than the format
             "Dialogue: 0:00:0x.00,0,Eng,0:00:01.00,bad time\r\n"),
      936);
  ASSERT_EQ(read.events.size(), 1u);  // "late" has no End field
  EXPECT_EQ(read.events[0].startMs, 500);
  EXPECT_EQ(read.events[0].endMs, 3500);
  EXPECT_EQ(read.events[0].layer, 2);
  EXPECT_EQ(read.events[0].text, "one, two ,three");
}

TEST(ReadAssEvents, StandardFieldOrderOfTheScriptsVersionWithoutFormatLines) {
  const std::string ssa =
      "[Script Info]\r\nScriptType: v4.00\r\n\r\n[V4 Styles]\r\n"
      "Style: Top,Arial,20,255,65535,16711680,0,-1,0,1,2,0,6,10,10,10,0,134\r\n\r\n[Events]\r\n"
      "Dialogue: Marked=0,0:00:01.00,0:00:02.00,Top,,0000,0000,0000,,ssa, text\r\n";
  const SubtitleEvents v4 = readAssEvents(ssa, 936);
  ASSERT_EQ(v4.events.size(), 1u);
  EXPECT_EQ(v4.events[0].text, "ssa, text");
  EXPECT_TRUE(v4.events[0].top);  // SSA alignment 6: top centre
  const TextLook& look = v4.looks[v4.events[0].look];
  EXPECT_EQ(look.colour, 0xFF0000u);    // decimal BGR 255 is red
  EXPECT_EQ(look.outline, 0x0000FFu);   // the tertiary colour outlines in SSA
  EXPECT_TRUE(look.bold);

  const SubtitleEvents v4Plus =
      readAssEvents("[Script Info]\r\n[Events]\r\nDialogue: 3,0:00:01.00,0:00:02.00,X,,0,0,0,,a,b\r\n", 936);
  ASSERT_EQ(v4Plus.events.size(), 1u);
  EXPECT_EQ(v4Plus.events[0].layer, 3);
  EXPECT_EQ(v4Plus.events[0].text, "a,b");
  EXPECT_EQ(v4Plus.events[0].look, 0);  // unknown style, no Default: the plain look
}

TEST(ReadAssEvents, TextEscapesOverridesAndDrawings) {
  struct Case { std::string text, plain, tagged; bool top; };
  const Case cases[] = {
      {"one\\Ntwo\\nthree\\hfour", "one\r\ntwo\r\nthree four", "one\r\ntwo\r\nthree four", false},
      {"{\\i1}it{\\i0} {\\c&H0000FF&}red", "it red", "{\\i1}it{\\i0} {\\c&H0000FF&}red", false},
      {"{\\an8}top", "top", "{\\an8}top", true},
      {"{\\an8}{\\an2}bottom", "bottom", "{\\an8}{\\an2}bottom", false},
      {"sign{\\p1}m 0 0 l 10 10{\\p0} after", "sign after", "sign after", false},
      {"{\\pos(10,10)\\p2}m 0 0 l 1 1", "", "", false},
      {"open { brace", "open { brace", "open { brace", false},
      {"{=7}comment{ block }s out", "comments out", "comments out", false},
      {"back\\slash", "back\\slash", "back\\slash", false},
      // GBK characters whose trail bytes are '{' (81 7B) and '\' (81 5C) are characters.
      {"\x81\x7B" "a}\x81\\N", "\x81\x7B" "a}\x81\\N", "\x81\x7B" "a}\x81\\N", false},
      {"  padded \\N ", "padded", "padded", false},
  };
  for (const Case& c : cases) {
    const SubtitleEvents read = readAssEvents(script("Format: Layer, Start, End, Style, Text\r\n"
                                                     "Dialogue: 0,0:00:01.00,0:00:02.00,Default," + c.text + "\r\n"),
                                              936);
    ASSERT_EQ(read.events.size(), 1u) << c.text;
    EXPECT_EQ(read.events[0].text, c.plain) << c.text;
    EXPECT_EQ(read.events[0].tagged, c.tagged) << c.text;
    EXPECT_EQ(read.events[0].top, c.top) << c.text;
  }
}

TEST(ReadAssEvents, StylesGiveLooksWithSizesRelativeToTheMainStyle) {
  const SubtitleEvents read = readAssEvents(script("Format: Layer, Start, End, Style, Text\r\n"
                                                   "Dialogue: 0,0:00:01.00,0:00:02.00,Default,zh\r\n"
                                                   "Dialogue: 0,0:00:01.00,0:00:02.00,*Eng,en\r\n"
                                                   "Dialogue: 0,0:00:01.00,0:00:02.00,Sign,sign\r\n"
                                                   "Dialogue: 0,0:00:01.00,0:00:02.00,Nobody,unknown\r\n"),
                                            936);
  ASSERT_EQ(read.events.size(), 4u);
  const TextLook& zh = read.looks[read.events[0].look];
  const TextLook& en = read.looks[read.events[1].look];
  const TextLook& sign = read.looks[read.events[2].look];
  EXPECT_EQ(zh.face, "SimHei");
  EXPECT_EQ(zh.sizePermille, 1000);
  EXPECT_EQ(zh.outline, 0x302010u);
  EXPECT_FALSE(zh.bold || zh.italic);
  EXPECT_EQ(en.face, "Arial");
  EXPECT_EQ(en.sizePermille, 500);
  EXPECT_EQ(en.colour, 0xFFFF00u);
  EXPECT_TRUE(en.bold && en.italic);
  EXPECT_EQ(sign.sizePermille, 1500);
  EXPECT_TRUE(read.events[2].top);  // alignment 8
  EXPECT_FALSE(read.events[0].top);
  EXPECT_EQ(read.events[3].look, read.events[0].look);  // unknown style: Default
}

TEST(ReadAssEvents, BadInputStillGivesEvents) {
  EXPECT_TRUE(readAssEvents("[Events]\r\nFormat:\r\nDialogue:\r\nDialogue: ,,,\r\n", 936).events.empty());
  const std::string longLine(2'000'000, 'x');
  const SubtitleEvents read = readAssEvents("[Events]\r\nDialogue: 0,0:00:01.00,0:00:02.00,,,0,0,0,,{" + longLine + "\r\n", 936);
  ASSERT_EQ(read.events.size(), 1u);
  EXPECT_EQ(read.events[0].text.size(), longLine.size() + 1);  // the unterminated '{' is text
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

TEST(ReadAssScript, KeepsWhatTypesettingNeeds) {
  const AssScript read = readAssScript(
      "[Script Info]\r\nPlayResX: 1920\r\nPlayResY: 1080\r\nWrapStyle: 9\r\nScaledBorderAndShadow: yes\r\n\r\n" +
      std::string(kV4PlusStyles) +
      "\r\n[Events]\r\n"
      "Dialogue: 1,0:00:01.00,0:00:02.50,Sign,,0,20,0,,{\\pos(10,10)}a,b\\Nc\r\n"
      "Dialogue: 0,0:00:01.00,0:00:02.00,Nobody,,0,0,0,,x\r\n");
  EXPECT_EQ(read.playResX, 1920);
  EXPECT_EQ(read.playResY, 1080);
  EXPECT_EQ(read.wrapStyle, 3);  // clamped
  EXPECT_TRUE(read.scaledBorderAndShadow);
  ASSERT_EQ(read.styles.size(), 3u);
  const AssStyle& eng = read.styles[1];
  EXPECT_EQ(eng.colours[0], 0x0000FFFFu);
  EXPECT_TRUE(eng.bold);
  EXPECT_EQ(eng.size, 30);
  ASSERT_EQ(read.events.size(), 2u);
  EXPECT_EQ(read.events[0].text, "{\\pos(10,10)}a,b\\Nc");  // as written
  EXPECT_EQ(read.events[0].endMs, 2500);
  EXPECT_EQ(read.events[0].marginR, 20);
  EXPECT_EQ(read.events[0].style, 2u);
  EXPECT_EQ(read.events[1].style, 0u);  // unknown: Default

  // No styles at all: a Default one is made for the events.
  const AssScript bare = readAssScript("[Events]\r\nDialogue: 0,0:00:01.00,0:00:02.00,X,,0,0,0,,x\r\n");
  ASSERT_EQ(bare.styles.size(), 1u);
  EXPECT_EQ(bare.styles[0].name, "Default");
  EXPECT_EQ(bare.events[0].style, 0u);
}

}  // namespace
}  // namespace quorvane
