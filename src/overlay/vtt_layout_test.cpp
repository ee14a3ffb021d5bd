#include "overlay/vtt_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "loading/vtt_reader.h"
#include "platform/code_pages.h"

namespace quorvane {
namespace {

// Every character half the cell height wide; the ascent four fifths of it.
class FixedAdvance : public AssTextMeasure {
 public:
  double width(const AssFont& font, std::u16string_view text) override {
    return static_cast<double>(text.size()) * font.size / 2;
  }
  double ascentShare(const AssFont&) override { return 0.8; }
};

// A 1000x600 picture: lines 30 high, characters 15 wide.
constexpr PictureArea kArea{0, 0, 1000, 600};

// The frame at 0.5 s of the cues in `body` (a WebVTT file's blocks).
std::vector<AssPlacedEvent> frameOf(const std::string& body) {
  const SubtitleEvents events = readVttEvents("WEBVTT\r\n\r\n" + body, kCodePageUtf8);
  FixedAdvance measure;
  return VttCueFrames(events, kCodePageUtf8).frame(kArea, 500, VttLook{}, measure);
}

std::string cue(const std::string& settings, const std::string& text) {
  return "00:00.000 --> 00:01.000 " + settings + "\r\n" + text + "\r\n\r\n";
}

TEST(VttLayout, PlacesEachCueByItsSettingsInThePicture) {
  std::string tallText = "x";  // 30 words, each on a line of its own in a box 10 wide, 21 laid out
  for (int i = 1; i < 30; ++i) tallText += " x";
  struct Case {
    const char* name;
    std::string body;
    size_t cue;                                 // which cue of the frame is checked
    double left, top, right, bottom;            // its box: the cue box's width, its lines' height
    double firstX;                              // where its first line's ink starts
    size_t lines;
  };
  const Case cases[] = {
      {"no settings: the last line, centred", cue("", "Hello"), 0, 0, 570, 1000, 600, 462.5, 1},
      {"line 0: the top", cue("line:0", "Hello"), 0, 0, 0, 1000, 30, 462.5, 1},
      {"line 2: two lines down", cue("line:2", "Hello"), 0, 0, 60, 1000, 90, 462.5, 1},
      {"line -2: the last but one", cue("line:-2", "Hello"), 0, 0, 540, 1000, 570, 462.5, 1},
      {"line 1.5 rounds to 2", cue("line:1.5", "Hi"), 0, 0, 60, 1000, 90, 485, 1},
      {"two lines at line -1 move up to fit", cue("line:-1", "A\r\nB"), 0, 0, 540, 1000, 600, 492.5, 2},
      {"line 50%: its top at the middle", cue("line:50%", "Hi"), 0, 0, 300, 1000, 330, 485, 1},
      {"line 50%,center", cue("line:50%,center", "Hi"), 0, 0, 285, 1000, 315, 485, 1},
      {"line 100%,end: its bottom at the bottom", cue("line:100%,end", "Hi"), 0, 0, 570, 1000, 600, 485, 1},
      {"line 100% (start) runs out: nearest place inside", cue("line:100%", "Hi"), 0, 0, 570, 1000, 600, 485, 1},
      {"size 50%", cue("size:50%", "Hello"), 0, 250, 570, 750, 600, 462.5, 1},
      {"position 10%,line-left size 30%", cue("position:10%,line-left size:30%", "Hello"), 0, 100, 570, 400, 600,
       212.5, 1},
      {"position 90%,line-right size 20%", cue("position:90%,line-right size:20%", "Hi"), 0, 700, 570, 900, 600,
       785, 1},
      {"position 30% centred: the size shrinks to fit", cue("position:30%", "Hi"), 0, 0, 570, 600, 600, 285, 1},
      {"align left: position 0, text left", cue("align:left", "Hello"), 0, 0, 570, 1000, 600, 0, 1},
      {"align right: position 100, text right", cue("align:right", "Hello"), 0, 0, 570, 1000, 600, 925, 1},
      {"align start: from the middle to the right", cue("align:start", "Hello"), 0, 500, 570, 1000, 600, 500, 1},
      {"align end: from the left to the middle", cue("align:end", "Hello"), 0, 0, 570, 500, 600, 425, 1},
      {"align start with position 20%", cue("align:start position:20%", "Hi"), 0, 200, 570, 1000, 600, 200, 1},
      {"all together", cue("line:1 position:75% size:40% align:end", "Hi"), 0, 350, 30, 750, 60, 720, 1},
      {"words wrap in the box", cue("size:20%", "Hello big world"), 0, 400, 540, 600, 600, 432.5, 2},
      {"Chinese wraps between characters", cue("size:10%", "一二三四五六七八"), 0, 450, 540, 550, 600, 455, 2},
      {"tags keep their lines", cue("line:0", "<i>Hi</i> <b>there</b>"), 0, 0, 0, 1000, 30, 440, 1},
      {"vertical is laid out horizontally", cue("vertical:rl line:0", "Hi"), 0, 0, 0, 1000, 30, 485, 1},
      // Bad values: a sane place, in the picture where it fits.
      {"position 0% size 100%: no room, kept in", cue("position:0% size:100%", "Hello"), 0, 0, 570, 75, 600, 0, 1},
      {"position 100% size 100%: kept in", cue("position:100% size:100%", "Hello"), 0, 925, 570, 1000, 600, 925, 1},
      {"no room wraps each word", cue("position:0%", "Hello big world"), 0, 0, 510, 75, 600, 0, 3},
      {"line -1000 ends at the top", cue("line:-1000", "Hi"), 0, 0, 0, 1000, 30, 485, 1},
      {"line 1000 ends at the bottom", cue("line:1000", "Hi"), 0, 0, 570, 1000, 600, 485, 1},
      {"line 1e30 ends at the bottom", cue("line:1000000000000000000000000000000", "Hi"), 0, 0, 570, 1000, 600, 485,
       1},
      {"taller than the picture: its top at the top", cue("size:1%", tallText), 0, 495, 0, 510, 630, 495, 21},
      // Several cues: the later ones move past the earlier ones.
      {"two bottom cues stack", cue("", "First") + cue("", "Second"), 1, 0, 540, 1000, 570, 455, 1},
      {"a two-line cue under another", cue("", "A\r\nB") + cue("", "C"), 1, 0, 510, 1000, 540, 492.5, 1},
      {"side by side cues do not move", cue("position:25% size:40%", "L") + cue("position:75% size:40%", "R"), 1,
       550, 570, 950, 600, 742.5, 1},
      {"two at line 0: the second below", cue("line:0", "A") + cue("line:0", "B"), 1, 0, 30, 1000, 60, 492.5, 1},
      {"a bottom cue moves over a cue at line -1", cue("line:-1", "A") + cue("", "B"), 1, 0, 540, 1000, 570, 492.5,
       1},
      {"percent over percent: the nearest free place", cue("line:50%", "A") + cue("line:52%", "B"), 1, 0, 330, 1000,
       360, 492.5, 1},
      {"percent at the bottom over a bottom cue", cue("", "A") + cue("line:100%,end", "B"), 1, 0, 540, 1000, 570,
       492.5, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<AssPlacedEvent> frame = frameOf(c.body);
    ASSERT_GT(frame.size(), c.cue);
    const AssPlacedEvent& e = frame[c.cue];
    double left = e.box.left, right = e.box.right;
    for (const AssRun& run : e.runs) {
      left = std::min(left, run.x);
      right = std::max(right, run.x + run.width);
    }
    EXPECT_NEAR(left, c.left, 0.01);
    EXPECT_NEAR(e.box.top, c.top, 0.01);
    EXPECT_NEAR(right, c.right, 0.01);
    EXPECT_NEAR(e.box.bottom, c.bottom, 0.01);
    ASSERT_FALSE(e.runs.empty());
    EXPECT_NEAR(e.runs.front().x, c.firstX, 0.01);
    EXPECT_NEAR(e.runs.front().baseline, c.top + 24, 0.01);
    EXPECT_EQ(e.box.height(), 30.0 * static_cast<double>(c.lines));
  }
}

TEST(VttLayout, RunsCarryTheTagsAndTheOverlaysLook) {
  const SubtitleEvents events = readVttEvents("WEBVTT\r\n\r\n" + cue("line:0", "<i>Hi</i> <u>you</u>"), kCodePageUtf8);
  FixedAdvance measure;
  VttLook look;
  look.face = u"Sans";
  look.shadowOffset = 2;
  const std::vector<AssPlacedEvent> frame = VttCueFrames(events, kCodePageUtf8).frame(kArea, 500, look, measure);
  ASSERT_EQ(frame.size(), 1u);
  const std::vector<AssRun>& runs = frame[0].runs;
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].text, u"Hi");
  EXPECT_TRUE(runs[0].font.italic);
  EXPECT_EQ(runs[1].text, u" ");
  EXPECT_EQ(runs[2].text, u"you");
  EXPECT_TRUE(runs[2].font.underline);
  EXPECT_FALSE(runs[2].font.italic);
  for (const AssRun& run : runs) {
    EXPECT_EQ(run.font.face, u"Sans");
    EXPECT_EQ(run.font.size, 30);
    EXPECT_EQ(run.fill.rgb, 0xFFFFFFu);
    EXPECT_EQ(run.border.rgb, 0u);
    EXPECT_EQ(run.border.opacity, 255);
    EXPECT_EQ(run.shadow.opacity, 255);
    EXPECT_EQ(run.shadowX, 2);
  }
}

TEST(VttLayout, ShowsTheCuesOfTheMomentInTheRulesOrder) {
  // The second starts first; the third is as early but longer, so it goes before the first.
  const SubtitleEvents events = readVttEvents(
      "WEBVTT\r\n\r\n00:02.000 --> 00:05.000\r\nlate\r\n\r\n00:01.000 --> 00:03.000\r\nearly\r\n\r\n"
      "00:01.000 --> 00:09.000\r\nlong\r\n\r\n00:20.000 --> 00:21.000 line:0\r\nafter\r\n",
      kCodePageUtf8);
  ASSERT_TRUE(placesCues(events));
  VttCueFrames frames(events, kCodePageUtf8);
  FixedAdvance measure;
  const auto texts = [&](int64_t timeMs) {
    std::u16string out;
    for (const AssPlacedEvent& e : frames.frame(kArea, timeMs, VttLook{}, measure)) out += e.runs.at(0).text + u"|";
    return out;
  };
  EXPECT_EQ(texts(999), u"");
  EXPECT_EQ(texts(1000), u"long|early|");
  EXPECT_EQ(texts(2500), u"long|early|late|");
  EXPECT_EQ(texts(3000), u"long|late|");
  EXPECT_EQ(texts(8999), u"long|");
  EXPECT_EQ(texts(20500), u"after|");
  EXPECT_EQ(texts(21000), u"");
}

// As the rules keep a displayed cue's boxes: a cue stays where it stands while it shows, and new
// cues are placed around it; another picture size places afresh.
TEST(VttLayout, AShownCueKeepsItsPlaceFromFrameToFrame) {
  const SubtitleEvents events = readVttEvents(
      "WEBVTT\r\n\r\n00:01.000 --> 00:03.000\r\nfirst\r\n\r\n00:02.000 --> 00:06.000\r\nsecond\r\n\r\n"
      "00:04.000 --> 00:05.000\r\nthird\r\n\r\n00:04.500 --> 00:05.000\r\nfourth\r\n",
      kCodePageUtf8);
  VttCueFrames frames(events, kCodePageUtf8);
  FixedAdvance measure;
  const auto tops = [&](int64_t timeMs, const PictureArea& area = kArea) {
    std::vector<double> out;
    for (const AssPlacedEvent& e : frames.frame(area, timeMs, VttLook{}, measure)) out.push_back(e.box.top);
    return out;
  };
  EXPECT_EQ(tops(1500), (std::vector<double>{570}));
  EXPECT_EQ(tops(2500), (std::vector<double>{570, 540}));
  EXPECT_EQ(tops(3500), (std::vector<double>{540})) << "the second stays up after the first ends";
  EXPECT_EQ(tops(4200), (std::vector<double>{540, 570})) << "the third takes the free last line";
  EXPECT_EQ(tops(4700), (std::vector<double>{540, 570, 510}));
  EXPECT_EQ(tops(5500, {0, 0, 1000, 300}), (std::vector<double>{285})) << "another picture: placed afresh";
}

TEST(VttLayout, AbsurdInputGivesFinitePlacesAndABoundedFrame) {
  std::string many;
  for (int i = 0; i < 500; ++i) many += cue(i % 2 ? "line:-1000" : "", "cue " + std::to_string(i));
  std::string settings;
  for (int i = 0; i < 100000; ++i) settings += i % 3 ? "position:100% " : "size:0% ";
  FixedAdvance measure;
  for (const std::string& body : {many, cue(settings, "Hello big world"), cue("", std::string(100000, 'w'))}) {
    VttCueFrames frames(readVttEvents("WEBVTT\r\n\r\n" + body, kCodePageUtf8), kCodePageUtf8);
    for (const PictureArea& area : {kArea, PictureArea{0, 0, 1, 1}, PictureArea{0, 0, 16384, 16384}}) {
      const std::vector<AssPlacedEvent> frame = frames.frame(area, 500, VttLook{}, measure);
      EXPECT_LE(frame.size(), 32u);
      for (const AssPlacedEvent& e : frame) {
        EXPECT_TRUE(std::isfinite(e.box.top) && std::isfinite(e.box.left) && std::isfinite(e.box.right));
        for (const AssRun& run : e.runs) {
          EXPECT_LE(run.text.size(), 512u);
          EXPECT_TRUE(std::isfinite(run.x) && std::isfinite(run.baseline));
        }
      }
    }
  }
}

}  // namespace
}  // namespace quorvane
