#include "loading/overlap_pieces.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

SubtitleEvent event(int32_t startMs, int32_t endMs, std::string text, int32_t layer = 0, bool top = false) {
  SubtitleEvent e;
  e.startMs = startMs;
  e.endMs = endMs;
  e.layer = layer;
  e.text = text;
  e.tagged = "{\\i1}" + text;
  e.top = top;
  finishEventText(e);
  return e;
}

struct Piece {
  int32_t startMs, endMs;
  std::string text;
  bool operator==(const Piece&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Piece& p) {
  return out << p.startMs << ".." << p.endMs << " \"" << p.text << '"';
}

std::vector<Piece> pieces(std::vector<SubtitleEvent> events) {
  const CueTable table = cutOverlaps({std::move(events), {TextLook{}}});
  std::vector<Piece> out;
  for (int32_t i = 1; i <= table.cueCount; ++i) out.push_back({table.at(i).startMs, table.at(i).endMs, table.at(i).text});
  EXPECT_EQ(table.cues.size(), out.size() + 2);  // the end markers
  return out;
}

TEST(CutOverlaps, CutsAtEveryStartAndEndAndOrdersByLayerThenFile) {
  struct Case { const char* name; std::vector<SubtitleEvent> events; std::vector<Piece> expected; };
  const Case cases[] = {
      {"apart, out of order", {event(3000, 4000, "b"), event(1000, 2000, "a")}, {{1000, 2000, "a"}, {3000, 4000, "b"}}},
      {"touching", {event(1000, 2000, "a"), event(2000, 3000, "b")}, {{1000, 2000, "a"}, {2000, 3000, "b"}}},
      {"overlap", {event(1000, 3000, "a"), event(2000, 4000, "b\r\nc")},
       {{1000, 2000, "a"}, {2000, 3000, "a\r\nb\r\nc"}, {3000, 4000, "b\r\nc"}}},
      {"layer before file order", {event(1000, 3000, "dialogue", 1), event(1000, 2000, "sign", 0)},
       {{1000, 2000, "sign\r\ndialogue"}, {2000, 3000, "dialogue"}}},
      {"same text either side merges", {event(1000, 3000, "a"), event(2000, 2000, "empty"), event(3000, 4000, "a")},
       {{1000, 4000, "a"}}},
      {"reversed, empty and negative", {event(5000, 4000, "reversed"), event(1000, 2000, ""), event(-3000, -1000, "neg")},
       {{-3000, -1000, "neg"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(pieces(c.events), c.expected) << c.name;
}

TEST(CutOverlaps, BlocksFollowTheTextsOrder) {
  std::vector<SubtitleEvent> events{event(0, 2000, "bottom"), event(1000, 2000, "top", -1, true)};
  const CueTable table = cutOverlaps({std::move(events), {TextLook{}}});
  ASSERT_EQ(table.cueCount, 2);
  const Cue& both = table.at(2);
  ASSERT_EQ(both.blocks.size(), 2u);
  EXPECT_EQ(table.blockTexts[both.blocks[0].text], "{\\i1}top");
  EXPECT_TRUE(both.blocks[0].top);
  EXPECT_EQ(table.blockTexts[both.blocks[1].text], "{\\i1}bottom");
  EXPECT_FALSE(both.blocks[1].top);
}

TEST(CutOverlaps, ThousandsAtOnceKeepAFewLinesAndBoundedText) {
  std::vector<SubtitleEvent> events{event(0, 3'000'000, std::string(2'000'000, 'x'))};  // a huge line first
  for (int i = 0; i < 100'000; ++i) events.push_back(event(1000, 2000 + i % 7, std::to_string(i)));
  const CueTable table = cutOverlaps({std::move(events), {TextLook{}}});
  size_t stored = 0;
  for (const Cue& cue : table.cues) {
    stored += cue.text.size();
    int lines = 1;
    for (size_t i = cue.text.find("\r\n"); i != std::string::npos; i = cue.text.find("\r\n", i + 2)) ++lines;
    EXPECT_LE(lines, kMaxPieceLines);
  }
  EXPECT_EQ(table.cueCount, 9);  // the huge line, then the stretches at 1000, 2000 ... 2006, then it alone
  EXPECT_LT(stored, 3 * 2'000'000u);
  EXPECT_EQ(table.at(1).text.size(), 2'000'000u);  // alone, it keeps all of its text
  const std::string& crowded = table.at(2).text;
  EXPECT_TRUE(crowded.size() > 4096 && crowded.find_first_not_of('x') == 4096);
  EXPECT_EQ(crowded.substr(4096), "\r\n0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10");
}

}  // namespace
}  // namespace quorvane
