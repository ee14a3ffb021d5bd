#include "overlay/ass_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/code_pages.h"

namespace quorvane {
namespace {

// Every character half the cell height wide; the ascent four fifths of it.
class FixedAdvance : public AssTextMeasure {
 public:
  double width(const AssFont& font, std::u16string_view text) override {
    return static_cast<double>(text.size()) * (font.size * font.scaleX / 2 + font.spacing);
  }
  double ascentShare(const AssFont&) override { return 0.8; }
};

// A 640x360 script on a 1280x720 picture: two picture pixels per script pixel. The style's text
// is 20 script pixels high, so 40 picture pixels high and 20 wide per character; margins 10.
AssScript testScript() {
  return readAssScript(
      "[Script Info]\r\nPlayResX: 640\r\nPlayResY: 360\r\nScaledBorderAndShadow: yes\r\n\r\n"
      "[V4+ Styles]\r\n"
      "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
      "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
      "MarginR, MarginV, Encoding\r\n"
      "Style: Default,Sans,20,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,10,10,10,1\r\n"
      "Style: Red,Sans,20,&H000000FF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,10,10,20,1\r\n"
      "\r\n[Events]\r\n");
}

constexpr PictureArea kArea{0, 0, 1280, 720};

AssPlacedEvent layOut(const std::string& text, int64_t timeMs, int marginL = 0, AssScript script = testScript()) {
  AssScriptEvent event;
  event.startMs = 0;
  event.endMs = 1000;
  event.marginL = marginL;
  event.text = text;
  script.events.push_back(event);
  FixedAdvance measure;
  return layOutAssEvent(script, wideAssTexts(script, kCodePageUtf8), 0, kArea, timeMs, measure);
}

void expectBox(const AssPlacedEvent& e, double left, double top, double right, double bottom) {
  EXPECT_NEAR(e.box.left, left, 0.01);
  EXPECT_NEAR(e.box.top, top, 0.01);
  EXPECT_NEAR(e.box.right, right, 0.01);
  EXPECT_NEAR(e.box.bottom, bottom, 0.01);
}

TEST(AssLayout, PlacesStylesAndOverrideTagsAsLibassDoes) {
  struct Case {
    const char* text;
    int64_t timeMs;
    std::function<void(const AssPlacedEvent&)> check;
    int marginL = 0;
  };
  const std::string wrapped = "aaaaaaaaa aaaaaaaaa aaaaaaaaa aaaaaaaaa aaaaaaaaa aaaaaaaaa aaaaaaaaa aaaaaaaaa";
  const Case cases[] = {
      // Alignment: the style's bottom centre, \an, legacy \a, and the first one winning.
      {"abcd", 0, [](auto& e) { expectBox(e, 600, 660, 680, 700); }},
      {"{\\an7}abcd", 0, [](auto& e) { expectBox(e, 20, 20, 100, 60); }},
      {"{\\an5}abcd", 0, [](auto& e) { expectBox(e, 600, 340, 680, 380); }},
      {"{\\an3\\an7}abcd", 0, [](auto& e) { expectBox(e, 1180, 660, 1260, 700); }},
      {"{\\a6}abcd", 0, [](auto& e) { expectBox(e, 600, 20, 680, 60); }},
      {"{\\an1}abcd", 0, [](auto& e) { expectBox(e, 200, 660, 280, 700); }, 100},  // the event's MarginL
      // \pos and \move (both forms; reversed times move over the same span).
      {"{\\pos(100,50)}abcd", 0, [](auto& e) { expectBox(e, 160, 60, 240, 100); EXPECT_TRUE(e.placedByScript); }},
      {"{\\pos(100,50)\\move(0,0,9,9)}ab", 0, [](auto& e) { expectBox(e, 180, 60, 220, 100); }},
      {"{\\move(0,0,100,100)}abcd", 500, [](auto& e) { expectBox(e, 60, 60, 140, 100); EXPECT_TRUE(e.animated); }},
      {"{\\move(0,0,100,100,800,200)}abcd", 500, [](auto& e) { expectBox(e, 60, 60, 140, 100); }},
      {"{\\move(0,0,100,100,800,200)}abcd", 900, [](auto& e) { expectBox(e, 160, 160, 240, 200); }},
      // Sizes, scales and spacing; \fs0 and negative scales are sensible.
      {"{\\fs40}ab", 0, [](auto& e) { expectBox(e, 600, 620, 680, 700); }},
      {"{\\fs0}abcd", 0, [](auto& e) { expectBox(e, 600, 660, 680, 700); }},
      {"{\\fscx200\\fscy50}ab", 0, [](auto& e) { expectBox(e, 600, 680, 680, 700); }},
      {"{\\fscx-100}abcd", 0, [](auto& e) { expectBox(e, 640, 660, 640, 700); }},
      {"{\\fsp5}ab", 0, [](auto& e) { expectBox(e, 610, 660, 670, 700); }},
      {"{\\t(0,1000,\\fs40)}ab", 500, [](auto& e) { expectBox(e, 610, 640, 670, 700); EXPECT_TRUE(e.animated); }},
      // Lines: \N, \h, and WrapStyle 1, 0 (evened, the upper wider) and \q2 (no wrapping).
      {"ab\\Ncdef", 0, [](auto& e) { expectBox(e, 600, 620, 680, 700); ASSERT_EQ(e.runs.size(), 2u); EXPECT_NEAR(e.runs[0].x, 620, 0.01); EXPECT_NEAR(e.runs[1].baseline, 692, 0.01); }},
      {"a\\hb", 0, [](auto& e) { ASSERT_EQ(e.runs.size(), 1u); EXPECT_EQ(e.runs[0].text, u"a\u00A0b"); }},
      // Colours and alphas, inline changes and \r.
      {"{\\1c&H0000FF&}a{\\c&HFF0000&}b{\\r}c", 0, [](auto& e) {
         ASSERT_EQ(e.runs.size(), 3u);
         EXPECT_EQ(e.runs[0].fill.rgb, 0xFF0000u);
         EXPECT_EQ(e.runs[1].fill.rgb, 0x0000FFu);
         EXPECT_EQ(e.runs[2].fill.rgb, 0xFFFFFFu);
       }},
      {"{\\rRed}a", 0, [](auto& e) { EXPECT_EQ(e.runs[0].fill.rgb, 0xFF0000u); EXPECT_EQ(e.box.bottom, 680); }},
      {"{\\alpha&H80&\\3a&HFF&}a", 0, [](auto& e) {
         EXPECT_EQ(e.runs[0].fill.opacity, 127);
         EXPECT_EQ(e.runs[0].border.opacity, 0);
         EXPECT_EQ(e.runs[0].shadow.opacity, 127);
       }},
      // Outline, shadow and blur scale with the script (ScaledBorderAndShadow: yes).
      {"{\\bord4\\yshad3\\blur2}a", 0, [](auto& e) {
         EXPECT_NEAR(e.runs[0].borderX, 8, 0.01);
         EXPECT_NEAR(e.runs[0].shadowX, 2, 0.01);
         EXPECT_NEAR(e.runs[0].shadowY, 6, 0.01);
         EXPECT_NEAR(e.runs[0].blur, 4, 0.01);
       }},
      // Fades: \fad at its ends and middle, \fade with its seven values (in steps of 5 of 255).
      {"{\\fad(200,200)}a", 100, [](auto& e) { EXPECT_EQ(e.runs[0].fill.opacity, 125); EXPECT_TRUE(e.animated); }},
      {"{\\fad(200,200)}a", 500, [](auto& e) { EXPECT_EQ(e.runs[0].fill.opacity, 255); }},
      {"{\\fad(200,200)}a", 950, [](auto& e) { EXPECT_EQ(e.runs[0].fill.opacity, 65); }},
      {"{\\fade(255,0,128,0,200,800,1000)}a", 900, [](auto& e) { EXPECT_EQ(e.runs[0].fill.opacity, 190); }},
      // Karaoke: \k switches at the syllable's start, \kf fills across it, \ko hides the outline.
      {"{\\k50}ab{\\k50}cd", 250, [](auto& e) {
         ASSERT_EQ(e.runs.size(), 2u);
         EXPECT_EQ(e.runs[0].sung, 1);
         EXPECT_EQ(e.runs[1].sung, 0);
       }},
      {"{\\k50}a{\\k0}b", 250, [](auto& e) { ASSERT_EQ(e.runs.size(), 1u); EXPECT_EQ(e.runs[0].sung, 1); }},  // no time: joins the syllable before
      {"{\\kf50}ab", 250, [](auto& e) { EXPECT_NEAR(e.runs[0].sung, 0.5, 1e-9); }},
      {"{\\k50}a{\\ko50}b", 100, [](auto& e) { EXPECT_TRUE(e.runs[0].borderShown); EXPECT_FALSE(e.runs[1].borderShown); }},
      // Rotation around the anchor or \org; rectangle clips with their corners in any order.
      {"{\\frz30}a", 0, [](auto& e) { EXPECT_EQ(e.angle, 30); EXPECT_EQ(e.orgX, 640); EXPECT_EQ(e.orgY, 700); }},
      {"{\\org(10,20)\\frz45}a", 0, [](auto& e) { EXPECT_EQ(e.orgX, 20); EXPECT_EQ(e.orgY, 40); }},
      {"{\\clip(10,10,100,100)}a", 0, [](auto& e) {
         EXPECT_TRUE(e.clipped);
         EXPECT_FALSE(e.inverseClip);
         EXPECT_EQ(e.clip.left, 20);
         EXPECT_EQ(e.clip.bottom, 200);
       }},
      {"{\\clip(100,100,10,10)}a", 0, [](auto& e) { EXPECT_LE(e.clip.width(), 0); }},  // backwards: empty
      {"{\\iclip(1,2,3,4)}a", 0, [](auto& e) { EXPECT_TRUE(e.inverseClip); }},
      {"{\\clip(m 0 0 l 10 10)}a", 0, [](auto& e) { EXPECT_FALSE(e.clipped); }},  // drawn clips: not supported
      // Drawings are left out; text after \p0 shows.
      {"{\\p1}m 0 0 l 100 0 100 100{\\p0}ab", 0, [](auto& e) { expectBox(e, 620, 660, 660, 700); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    c.check(layOut(c.text, c.timeMs, c.marginL));
  }
  // 8 words of 9 letters: 1580 pixels, 1240 room.
  const struct {
    const char* tags;
    double width, height;
  } wraps[] = {{"{\\q1}", 1180, 80}, {"{\\q0}", 780, 80}, {"{\\q3}", 780, 80}, {"{\\q2}", 1580, 40}};
  for (const auto& w : wraps) {
    SCOPED_TRACE(w.tags);
    const AssPlacedEvent e = layOut(w.tags + wrapped, 0);
    EXPECT_NEAR(e.box.width(), w.width, 0.01);
    EXPECT_NEAR(e.box.height(), w.height, 0.01);
  }
}

TEST(AssLayout, MapsAbsentOrAbsurdResolutionsAsLibassDoes) {
  const struct {
    int x, y;
    double playResX, playResY;
  } cases[] = {{0, 0, 384, 288}, {-5, -5, 384, 288}, {640, 0, 640, 480}, {1280, 0, 1280, 1024},
               {0, 1024, 1280, 1024}, {0, 360, 480, 360}, {100000, 100000, 100000, 100000}, {200000, 0, 384, 288}};
  for (const auto& c : cases) {
    AssScript script;
    script.playResX = c.x;
    script.playResY = c.y;
    const AssFrameGeometry g = assFrameGeometry(script, kArea);
    EXPECT_EQ(g.playResX, c.playResX) << c.x << 'x' << c.y;
    EXPECT_EQ(g.playResY, c.playResY) << c.x << 'x' << c.y;
  }
  // Text too small to see at a huge resolution is not drawn; nothing breaks.
  AssScript tiny = testScript();
  tiny.playResX = tiny.playResY = 100000;
  EXPECT_TRUE(layOut("abc", 0, 0, tiny).runs.empty());
}

TEST(AssLayout, BadInputStaysCheap) {
  std::string nested = "{";
  for (int i = 0; i < 20000; ++i) nested += "\\t(";
  nested += "\\fs40";
  for (int i = 0; i < 20000; ++i) nested += ")";
  nested += "}ab";
  EXPECT_NEAR(layOut(nested, 500).box.height(), 40, 0.01);  // nested \t is ignored
  std::string many(100000, 'x');
  EXPECT_LE(layOut(many, 0).runs.size(), 4096u);
  EXPECT_NO_FATAL_FAILURE(layOut("{\\pos(1e308,-1e308)\\fs1e300\\fscx1e9\\bord-5\\fad(-5,1e12)}a{\\t(", 0));
}

TEST(AssLayout, StacksUnplacedLinesOfOneLayerInsteadOfOverlapping) {
  AssScript script = testScript();
  for (const auto& [layer, text] : std::initializer_list<std::pair<int, const char*>>{
           {0, "first"}, {0, "second"}, {0, "{\\pos(320,350)}placed"}, {1, "other layer"}, {0, "{\\an8}top"},
           {0, "{\\an8}top two"}}) {
    AssScriptEvent event;
    event.endMs = 1000;
    event.layer = layer;
    event.text = text;
    script.events.push_back(event);
  }
  FixedAdvance measure;
  const std::vector<AssPlacedEvent> frame = layOutAssFrame(script, wideAssTexts(script, kCodePageUtf8), kArea, 500, measure);
  ASSERT_EQ(frame.size(), 6u);
  EXPECT_EQ(frame[0].box.bottom, 700);
  EXPECT_EQ(frame[1].box.bottom, 660);   // above the first
  EXPECT_EQ(frame[2].box.bottom, 700);   // \pos: where the script puts it
  EXPECT_EQ(frame[3].box.top, 20);
  EXPECT_EQ(frame[4].box.top, 60);       // top lines stack downwards
  EXPECT_EQ(frame[5].layer, 1);          // the layers are drawn in order
  EXPECT_EQ(frame[5].box.bottom, 700);   // its own layer has room
}

// Events in no order of time, some long and some empty, over several blocks of the index: each
// frame holds exactly the events on screen, by layer and then in file order.
TEST(AssLayout, AFrameFindsItsEventsThroughTheTimeIndex) {
  AssScript script = testScript();
  uint32_t seed = 7;
  const auto next = [&seed](uint32_t range) { return (seed = seed * 1103515245u + 12345u) / 65536 % range; };
  for (int i = 0; i < 300; ++i) {
    AssScriptEvent event;
    event.startMs = next(20'000);
    event.endMs = event.startMs + (i % 50 == 49 ? 15'000 : i % 7 == 0 ? 0 : next(1'500));
    event.layer = static_cast<int32_t>(next(3));
    event.text = "{\\pos(100,100)}" + std::to_string(i);
    script.events.push_back(event);
  }
  const AssWideTexts texts = wideAssTexts(script, kCodePageUtf8);
  FixedAdvance measure;
  for (int64_t at = -100; at < 22'000; at += 97) {
    std::vector<std::pair<int32_t, size_t>> expected;  // layer, file position
    for (size_t i = 0; i < script.events.size(); ++i) {
      const AssScriptEvent& e = script.events[i];
      if (e.startMs <= at && at < e.endMs) expected.emplace_back(e.layer, i);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::u16string> wanted, got;
    for (const auto& [layer, i] : expected) {
      const std::string number = std::to_string(i);
      wanted.emplace_back(number.begin(), number.end());
    }
    for (const AssPlacedEvent& e : layOutAssFrame(script, texts, kArea, at, measure)) got.push_back(e.runs.at(0).text);
    EXPECT_EQ(got, wanted) << "at " << at;
  }
}

}  // namespace
}  // namespace quorvane
