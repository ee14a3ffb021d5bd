#include "loading/srt_loader.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quorvane {
namespace {

std::string gbk(std::u16string_view text) { return systemCodePages().fromUtf16(kCodePageGbk, text); }
std::string big5(std::u16string_view text) { return systemCodePages().fromUtf16(kCodePageBig5, text); }

struct Expected {
  int32_t startMs, endMs;
  std::string text;
};

void expectCues(const CueTable& table, const std::vector<Expected>& expected, const std::string& label) {
  ASSERT_EQ(table.cueCount, static_cast<int32_t>(expected.size())) << label;
  ASSERT_EQ(table.cues.size(), expected.size() + 2) << label;
  for (size_t i = 0; i < expected.size(); ++i) {
    const Cue& cue = table.at(static_cast<int32_t>(i + 1));
    EXPECT_EQ(cue.startMs, expected[i].startMs) << label << " cue " << i + 1;
    EXPECT_EQ(cue.endMs, expected[i].endMs) << label << " cue " << i + 1;
    EXPECT_EQ(cue.text, expected[i].text) << label << " cue " << i + 1;
  }
  const Cue& first = table.at(table.cueCount + 1);
  const Cue& second = table.at(table.cueCount + 2);
  EXPECT_EQ(first.startMs, 0x7FFFFFF8);
  EXPECT_EQ(first.endMs, 0x7FFFFFF9);
  EXPECT_EQ(second.startMs, 0x7FFFFFFA);
  EXPECT_EQ(second.endMs, 0x7FFFFFFB);
  EXPECT_TRUE(first.text.empty() && second.text.empty());
}

TEST(ParseSrtTime, ReadsLooseFieldsPieceByPieceAndWrapsTo32Bits) {
  struct Case { const char* text; int32_t ms; };
  const Case cases[] = {
      {"00:00:01,000", 1000},   {"01:02:03,456", 3723456}, {"01:02,500", 62500},
      {"00:00:01.500", 1000},   {"00:00:01,5", 1005},      {"00: 00 :01 ,000", 1000},
      {"00:00:01,050", 1050},   {"5", 5000},               {"", 0},
      {"1:2:3:4:5", 3723004},   {"x", 0},                  {"-00:00:01,000", 1000},
      {"00:00:-01,000", -1000}, {"1,2,3", 1003},           {"00:00:01,000 X1:10", 1000},
      {"\xA3\xB0\xA3\xB1:00:00,000", 3600000},              // full-width digits
      {"99999:00:00,000", static_cast<int32_t>(static_cast<uint32_t>(int64_t{99999} * 3600000))},
      // Around the quick path for plain fields: surrounding spaces, empty pieces, long digit runs.
      {" 00:00:02,000 ", 2000},   {"::,", 0},                {"00:00:01,000,", 1000},
      {"123456789:00:00,000", static_cast<int32_t>(static_cast<uint32_t>(int64_t{123456789} * 3600000))},
      {"4294967297:00:00,000", 3600000},                     // the piece itself wraps to 1
  };
  for (const auto& c : cases) EXPECT_EQ(parseSrtTime(c.text), c.ms) << '"' << c.text << '"';
}

TEST(TrimCueText, StripsSpacesTabsAndCrLfPairsOnly) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {" \t\r\n Hello\r\nWorld \r\n\t", "Hello\r\nWorld"},
      {"\nA\r", "\nA\r"},  // lone LF and CR stay
      {"\r\n\r\n", ""},
      {"", ""},
      {"A\r\n\r\nB", "A\r\n\r\nB"},
  };
  for (const auto& c : cases) EXPECT_EQ(trimCueText(c.in), c.out);
}

TEST(ParseCueTable, FindsCuesByTheirArrows) {
  struct Case { const char* label; std::string bytes; std::vector<Expected> cues; };
  const std::vector<Case> cases = {
      {"empty", "", {}},
      {"no arrow", "1\r\nHello\r\n", {}},
      {"one cue", "1\r\n00:00:01,000 --> 00:00:04,000\r\nHello\r\n\r\n", {{500, 3500, "Hello"}}},
      {"two cues, two lines each",
       "1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\nB\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nC\r\nD\r\n",
       {{500, 1500, "A\r\nB"}, {2500, 3500, "C\r\nD"}}},
      {"last text without line end", "1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\nlast",
       {{500, 1500, "A\r\nlast"}}},
      {"time line last in file", "1\r\n00:00:01,000 --> 00:00:02,000", {{500, 1500, ""}}},
      {"cue without text", "1\r\n00:00:01,000 --> 00:00:02,000\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nX\r\n",
       {{500, 1500, ""}, {2500, 3500, "X"}}},
      // No number line: the line before the time line is taken for one, so the previous cue
      // loses its last text line, or keeps its only line.
      {"missing number line",
       "1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\nB\r\n00:00:03,000 --> 00:00:04,000\r\nC\r\n",
       {{500, 1500, "A"}, {2500, 3500, "C"}}},
      {"missing number line, one text line",
       "1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\n00:00:03,000 --> 00:00:04,000\r\nC\r\n",
       {{500, 1500, "A"}, {2500, 3500, "C"}}},
      {"out of order, equal starts keep file order",
       "1\r\n00:00:05,000 --> 00:00:06,000\r\nlate\r\n\r\n2\r\n00:00:01,000 --> 00:00:02,000\r\nfirst\r\n\r\n"
       "3\r\n00:00:05,000 --> 00:00:07,000\r\nlate too\r\n\r\n4\r\n00:00:05,000 --> 00:00:03,000\r\ninverted\r\n",
       {{500, 1500, "first"}, {4500, 5500, "late"}, {4500, 6500, "late too"}, {4500, 2500, "inverted"}}},
  };
  for (const auto& c : cases) expectCues(parseCueTable(c.bytes), c.cues, c.label);
}

// Enough cues sharing each start that a sort which is not stable would reorder them.
TEST(ParseCueTable, CuesWithOneStartKeepTheFileOrderAmongMany) {
  constexpr int kCues = 60;
  std::string bytes;
  for (int i = 0; i < kCues; ++i) {
    bytes += std::to_string(i + 1) + "\r\n00:00:0" + std::to_string(3 - i % 3) + ",000 --> 00:00:09,000\r\ncue " +
             std::to_string(i + 1) + "\r\n\r\n";
  }
  std::vector<Expected> expected;
  for (int start = 1; start <= 3; ++start) {
    for (int i = 0; i < kCues; ++i) {
      if (3 - i % 3 == start) expected.push_back({start * 1000 - 500, 8500, "cue " + std::to_string(i + 1)});
    }
  }
  expectCues(parseCueTable(bytes), expected, "three starts");
}

class NormaliseTest : public ::testing::Test {
 protected:
  std::string normalise(std::string_view bytes, UiLanguage language) {
    return normaliseSubtitleBytes(bytes, language, codec);
  }
  TextCodec codec{systemCodePages()};
};

TEST_F(NormaliseTest, MarkedAndUtf8FilesBecomeGbkInEveryLanguage) {
  const std::string hello = gbk(u"你好\r\n");
  struct Case { const char* label; std::string bytes; };
  const Case cases[] = {
      {"UTF-16LE", std::string("\xFF\xFE`O}Y\r\0\n\0", 10)},
      {"UTF-16LE odd byte", std::string("\xFF\xFE`O}Y\r\0\n\0\x41", 11)},
      {"UTF-16BE", std::string("\xFE\xFFO`Y}\0\r\0\n", 10)},
      {"UTF-8 with mark", "\xEF\xBB\xBF\xE4\xBD\xA0\xE5\xA5\xBD\r\n"},
      {"UTF-8 without mark", "\xE4\xBD\xA0\xE5\xA5\xBD\r\n"},
  };
  for (const auto& c : cases) {
    for (auto language : {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
      EXPECT_EQ(normalise(c.bytes, language), hello) << c.label << ' ' << static_cast<int>(language);
    }
  }
}

TEST_F(NormaliseTest, UnmarkedChineseFollowsTheUiLanguage) {
  // 的 is AA BA in Big5, the pair the probe looks for.
  const std::string big5Text = big5(u"我的時間 OK\r\n");
  const std::string gbkText = gbk(u"我的时间 OK\r\n");
  EXPECT_EQ(normalise(big5Text, UiLanguage::SimplifiedChinese), gbkText);
  EXPECT_EQ(normalise(big5Text, UiLanguage::TraditionalChinese), big5Text);
  EXPECT_EQ(normalise(big5Text, UiLanguage::English), big5Text);
  EXPECT_EQ(normalise(gbkText, UiLanguage::SimplifiedChinese), gbkText);
  EXPECT_EQ(normalise(gbkText, UiLanguage::TraditionalChinese), big5Text);
  EXPECT_EQ(normalise(gbkText, UiLanguage::English), gbkText);
  // The probe never starts a pair in the last three bytes.
  EXPECT_EQ(normalise("ab\xAA\xBA", UiLanguage::TraditionalChinese), codec.gbkToTraditionalBig5("ab\xAA\xBA"));
}

TEST_F(NormaliseTest, ReportsTheCodePageTheTextEndsUpIn) {
  // The overlay draws the text in this code page: a UTF-8 file on a Traditional Chinese system
  // holds GBK, not Big5, and an English system keeps the file's own bytes.
  struct Case { std::string bytes; UiLanguage language; unsigned codePage; };
  const Case cases[] = {
      {"\xEF\xBB\xBF\xE4\xBD\xA0", UiLanguage::TraditionalChinese, kCodePageGbk},
      {"\xE4\xBD\xA0\xE5\xA5\xBD", UiLanguage::TraditionalChinese, kCodePageGbk},
      {gbk(u"你好"), UiLanguage::TraditionalChinese, kCodePageBig5},
      {gbk(u"你好"), UiLanguage::SimplifiedChinese, kCodePageGbk},
      {gbk(u"你好"), UiLanguage::English, 0},
      {"plain", UiLanguage::English, 0},
  };
  for (const auto& c : cases) {
    unsigned codePage = 12345;
    normaliseSubtitleBytes(c.bytes, c.language, codec, &codePage);
    EXPECT_EQ(codePage, c.codePage) << c.bytes << ' ' << static_cast<int>(c.language);
  }
}

TEST_F(NormaliseTest, EveryLineEndBecomesCrLf) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {"a\nb\n", "a\r\nb\r\n"}, {"a\rb\r", "a\r\nb\r\n"}, {"a\r\r\nb", "a\r\nb"},
      {"a\r\nb", "a\r\nb"},     {"a\n\rb", "a\r\n\r\nb"}, {"\r\r\r\n", "\r\n\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalise(c.in, UiLanguage::English), c.out) << c.in;
}

TEST_F(NormaliseTest, LfOnlyFileParsesLikeCrLf) {
  const std::string lf = "1\n00:00:01,000 --> 00:00:02,000\nA\nB\n\n2\n00:00:03,000 --> 00:00:04,000\nC\n";
  expectCues(parseCueTable(normalise(lf, UiLanguage::English)), {{500, 1500, "A\r\nB"}, {2500, 3500, "C"}}, "LF");
}

TEST_F(NormaliseTest, BrokenInputYieldsATable) {
  const std::string cases[] = {
      "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF", "\xFF\xFE\x41", "\xEF\xBB\xBF\xE4\xBD",
      "00:00:01,000 --> 00:00:02,000\n\xE4\xBD", std::string("\0\0-->\0", 6), "-->-->-->", "--",
  };
  for (const auto& bytes : cases) {
    for (auto language : {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
      const CueTable table = parseCueTable(normalise(bytes, language));
      EXPECT_EQ(table.cues.size(), static_cast<size_t>(table.cueCount) + 2);
    }
  }
}

TEST(ParseCueTable, HugeLinesStayLinear) {
  // 150,000 bytes of arrows on one line, then a long second line: every arrow's text is that
  // line; a budget keeps the copies to about the file's size.
  std::string bytes;
  for (int i = 0; i < 50000; ++i) bytes += "-->";
  bytes += "\r\n" + std::string(100'000, 'x') + "\r\n";
  const CueTable table = parseCueTable(bytes);
  EXPECT_EQ(table.cueCount, 50000);
  size_t textBytes = 0;
  for (const auto& cue : table.cues) textBytes += cue.text.size();
  EXPECT_LE(textBytes, bytes.size() + (1u << 20));

  const std::string digits = "1\r\n" + std::string(2'000'000, '7') + " --> 00:00:02,000\r\nA\r\n";
  EXPECT_EQ(parseCueTable(digits).cueCount, 1);
}

TEST(LoadCueTable, ReadsAFileAndCountsAMissingOneAsEmpty) {
  const TextCodec codec(systemCodePages());
  const CueTable missing = loadCueTable("no/such/file.srt", UiLanguage::English, codec);
  expectCues(missing, {}, "missing");

  const std::string path = ::testing::TempDir() + "quorvane_load_test.srt";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::string content = "\xEF\xBB\xBF" "1\n00:00:01,000 --> 00:00:04,000\n\xE4\xBD\xA0\xE5\xA5\xBD\n";
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
  expectCues(loadCueTable(path, UiLanguage::TraditionalChinese, codec), {{500, 3500, gbk(u"你好")}}, "file");
  std::remove(path.c_str());
}

}  // namespace
}  // namespace quorvane
