#include "loading/vtt_reader.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(ParseVttTime, ReadsWithAndWithoutHours) {
  struct Case { const char* text; std::optional<int64_t> ms; };
  const Case cases[] = {
      {"00:01.000", 1000},    {"01:02:03.456", 3723456}, {"123:00:00.001", 442800001}, {" 00:01.000 ", 1000},
      {"00:01,000", std::nullopt}, {"0:01.000", 1000},   {"00:1.000", std::nullopt},    {"00:60.000", std::nullopt},
      {"00:01.00", std::nullopt},  {"", std::nullopt},   {"1:2:3:4.000", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseVttTime(c.text), c.ms) << '"' << c.text << '"';
}

TEST(ReadVttEvents, SkipsHeaderAndBlocksAndReadsCuesWithOrWithoutIdentifiers) {
  EXPECT_TRUE(looksLikeWebVtt("WEBVTT\r\n"));
  EXPECT_TRUE(looksLikeWebVtt("WEBVTT - title"));
  EXPECT_FALSE(looksLikeWebVtt("WEBVTTX\r\n"));
  EXPECT_FALSE(looksLikeWebVtt("\r\nWEBVTT\r\n"));
  EXPECT_TRUE(readVttEvents("WEBVTT").events.empty());

  const SubtitleEvents read = readVttEvents(
      "WEBVTT Kind: captions\r\nX-Header: 1\r\n\r\n"
      "NOTE a note\r\n00:01.000 --> 00:02.000\r\n\r\n"
      "STYLE\r\n::cue { color: red }\r\n\r\n"
      "REGION\r\nid:r\r\n\r\n"
      "intro\r\n00:01.000 --> 00:02.000 align:start line:0\r\n<v Roger>Hi</v> &amp; <c.loud>bye</c>\r\nline two\r\n\r\n"
      "00:03.000 --> 00:04.000 line:-1\r\n<i>it</i> <b>b</b> <u>u</u> <lang en>x</lang><00:03.500>y&lt;&gt;&nbsp;z\r\n"
      "00:05.000 --> 00:06.000 line:10%\r\nstraight after\r\n\r\n"
      "00:0x.000 --> 00:08.000\r\nbad time\r\n\r\n"
      "00:09.000 --> 00:10.000 line:80%\r\n<i>unclosed\r\n");
  ASSERT_EQ(read.events.size(), 4u);
  EXPECT_EQ(read.events[0].startMs, 500);
  EXPECT_EQ(read.events[0].endMs, 1500);
  EXPECT_EQ(read.events[0].text, "Hi & bye\r\nline two");
  EXPECT_EQ(read.events[0].lineCount, 2);
  EXPECT_TRUE(read.events[0].top);
  EXPECT_EQ(read.events[1].text, "it b u xy<> z");
  EXPECT_EQ(read.events[1].tagged, "<i>it</i> <b>b</b> <u>u</u> xy<> z");
  EXPECT_FALSE(read.events[1].top);
  EXPECT_EQ(read.events[2].text, "straight after");
  EXPECT_TRUE(read.events[2].top);
  EXPECT_EQ(read.events[3].text, "unclosed");
  EXPECT_FALSE(read.events[3].top);
}

}  // namespace
}  // namespace quorvane
