#include "loading/subtitle_formats.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "loading/overlap_pieces.h"
#include "loading/srt_loader.h"

namespace quorvane {
namespace {

std::string gbk(std::u16string_view text) { return systemCodePages().fromUtf16(kCodePageGbk, text); }
std::string big5(std::u16string_view text) { return systemCodePages().fromUtf16(kCodePageBig5, text); }
std::string utf8(std::u16string_view text) { return systemCodePages().fromUtf16(kCodePageUtf8, text); }
std::string utf16le(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

// Every format through the same encoding step: byte-order marks, UTF-8 without one, the UI
// language's code page, LF or CR LF line ends.
TEST(LoadSubtitles, ProbesTheContentAfterTheEncodingStep) {
  const std::u16string ass = u"[Script Info]\n[Events]\nDialogue: 0,0:00:01.00,0:00:02.00,,,0,0,0,,中文\\N{\\i1}English\n";
  const std::u16string vtt = u"WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\n中文\r\n<i>English</i>\r\n";
  const std::u16string srt = u"1\n00:00:01,000 --> 00:00:02,000\n中文\nEnglish\n";
  const std::u16string placedVtt = u"WEBVTT\r\n\r\n00:01.000 --> 00:02.000 line:0\r\n中文\r\n<i>English</i>\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    UiLanguage language;
    SubtitleFormat format;
    std::string text;
    bool placed = false;  // its cues set their places: kept for smooth text to place them
  };
  const std::string expectedGbk = gbk(u"中文\r\nEnglish");
  const Case cases[] = {
      {"ASS UTF-16", utf16le(ass), UiLanguage::English, SubtitleFormat::Ass, expectedGbk},
      {"ASS UTF-8 with mark", "\xEF\xBB\xBF" + utf8(ass), UiLanguage::TraditionalChinese, SubtitleFormat::Ass, expectedGbk},
      {"ASS GBK on zh-TW", gbk(ass), UiLanguage::TraditionalChinese, SubtitleFormat::Ass, big5(u"中文\r\nEnglish")},
      {"VTT UTF-8 with mark", "\xEF\xBB\xBF" + utf8(vtt), UiLanguage::SimplifiedChinese, SubtitleFormat::WebVtt, expectedGbk},
      {"VTT UTF-8", utf8(vtt), UiLanguage::English, SubtitleFormat::WebVtt, expectedGbk},
      {"VTT placing its cue", utf8(placedVtt), UiLanguage::English, SubtitleFormat::WebVtt, expectedGbk, true},
      {"SRT", utf8(srt), UiLanguage::English, SubtitleFormat::Srt, expectedGbk},
  };
  const TextCodec codec(systemCodePages());
  const std::string path = testing::TempDir() + "quorvane_formats_test.sub";
  for (const Case& c : cases) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(c.bytes.data(), 1, c.bytes.size(), file);
    std::fclose(file);
    SubtitleFormat format = SubtitleFormat::Srt;
    const CueTable table = loadSubtitles(path, c.language, codec, &format);
    EXPECT_EQ(format, c.format) << c.name;
    ASSERT_EQ(table.cueCount, 1) << c.name;
    EXPECT_EQ(table.at(1).startMs, 500) << c.name;
    EXPECT_EQ(table.at(1).endMs, 1500) << c.name;
    EXPECT_EQ(table.at(1).text, c.text) << c.name;
    EXPECT_EQ(table.placedCues != nullptr, c.placed) << c.name;
    if (table.placedCues) {
      EXPECT_EQ(table.placedCues->events.size(), 1u) << c.name;
    }
    EXPECT_EQ(loadCueTable(path, c.language, codec).cues.size(), table.cues.size()) << c.name;
  }
  std::remove(path.c_str());
}

TEST(ParseSubtitles, BadInputGivesATable) {
  const std::string manyAtOnce = [] {
    std::string s = "[Script Info]\r\n[Events]\r\n";
    for (int i = 0; i < 100'000; ++i) s += "Dialogue: 0,0:00:01.00,0:00:02.00,,,0,0,0,,line\r\n";
    return s;
  }();
  const char* inputs[] = {"[Events]\r\nDialogue: 0,-0:00:05.00,-0:00:01.00,,,0,0,0,,negative\r\n",
                          "[Script Info]\r\n\xEF\xBB\xBF[Events]\r\nDialogue: 0,0:00:01.00,0:00:02.00,,,0,0,0,,\xEF\xBB\xBFx\r\n",
                          "WEBVTT\r\n\r\n00:01.000 --> \r\n", "WEBVTT\r\n\r\n-->\r\n-->\r\n"};
  for (const char* input : inputs) {
    const CueTable table = parseSubtitles(input, kCodePageGbk);
    EXPECT_EQ(table.cues.size(), static_cast<size_t>(table.cueCount) + 2) << input;
  }
  const CueTable crowded = parseSubtitles(manyAtOnce, kCodePageGbk);
  ASSERT_EQ(crowded.cueCount, 1);
  EXPECT_EQ(crowded.at(1).blocks.size(), static_cast<size_t>(kMaxPieceLines));
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

// A second file in GBK beside a run in Big5: its lines, styled texts and faces come over in
// Big5, and what Big5 lacks becomes its default character.
TEST(RecodeCueTable, BringsEveryTextIntoTheRunsCodePage) {
  CueTable table = CueTable::fromSorted({{0, 1000, "\xd6\xd0\xce\xc4\r\nok"}, {1000, 2000, "\xc3\xc7"}});
  table.codePage = kCodePageGbk;
  table.blockTexts = {"<i>\xd6\xd0</i>"};
  table.looks = {TextLook{"\xd0\xc2\xbc\x9a\xc3\xf7\xf3\x77"}};  // 新細明體
  EXPECT_FALSE(recodeCueTable(table, kCodePageBig5));
  EXPECT_EQ(table.codePage, kCodePageBig5);
  EXPECT_EQ(table.cues[0].text, "\xa4\xa4\xa4\xe5\r\nok");  // 中文
  EXPECT_EQ(table.cues[1].text, "?");                           // 们: simplified only
  EXPECT_EQ(table.blockTexts[0], "<i>\xa4\xa4</i>");
  EXPECT_EQ(table.looks[0].face, "\xb7\x73\xb2\xd3\xa9\xfa\xc5\xe9");
  EXPECT_EQ(table.cues[2].text, "");  // the end markers stay empty
  table.cues[1].text = "ok";
  EXPECT_TRUE(recodeCueTable(table, kCodePageGbk));
}

}  // namespace
}  // namespace quorvane
