#include "overlay/ass_renderer_win.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "overlay/ink_windows_win.h"
#include "platform/code_pages.h"

namespace quorvane {
namespace {

// One pixel per script pixel; no outline or shadow unless a case asks for one.
AssScript scriptWith(const std::string& text) {
  AssScript script = readAssScript(
      "[Script Info]\r\nPlayResX: 320\r\nPlayResY: 180\r\nScaledBorderAndShadow: yes\r\n\r\n[V4+ Styles]\r\n"
      "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
      "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
      "MarginR, MarginV, Encoding\r\n"
      "Style: Default,Arial,40,&H00FFFFFF,&H00FF0000,&H000000FF,&H00000000,0,0,0,0,100,100,0,0,1,0,0,5,0,0,0,1\r\n"
      "\r\n[Events]\r\nDialogue: 0,0:00:00.00,0:00:01.00,Default,,0,0,0,,");
  script.events[0].text = text;
  return script;
}

// The image's ink: its box, its most opaque pixel, and the colours at the left and right ends
// of the text's middle row.
struct Ink {
  RECT box{INT_MAX, INT_MAX, -1, -1};
  uint32_t maxAlpha = 0;
  uint32_t leftColour = 0, rightColour = 0;
};

Ink inkOf(const AssRenderer& r) {
  Ink ink;
  for (int y = 0; y < r.height(); ++y) {
    for (int x = 0; x < r.width(); ++x) {
      const uint32_t p = r.pixels()[y * r.width() + x];
      if ((p >> 24) == 0) continue;
      ink.box = {std::min<LONG>(ink.box.left, x), std::min<LONG>(ink.box.top, y), std::max<LONG>(ink.box.right, x + 1),
                 std::max<LONG>(ink.box.bottom, y + 1)};
      ink.maxAlpha = std::max(ink.maxAlpha, p >> 24);
    }
  }
  // The opaque pixels of the middle row, from each side: the fill's colour there.
  const int y = (ink.box.top + ink.box.bottom) / 2;
  for (int x = 0; x < r.width() && ink.box.right > 0; ++x) {
    const uint32_t p = r.pixels()[y * r.width() + x];
    if ((p >> 24) == 255) {
      if (!ink.leftColour) ink.leftColour = p & 0xFFFFFF;
      ink.rightColour = p & 0xFFFFFF;
    }
  }
  return ink;
}

TEST(AssRenderer, DrawsWhatTheLayoutPlaces) {
  struct Case {
    const char* text;
    int64_t timeMs;
    std::function<void(const Ink&)> check;
  };
  const Case cases[] = {
      {"X", 500, [](const Ink& i) {
         EXPECT_GT(i.box.right, i.box.left);
         EXPECT_NEAR((i.box.left + i.box.right) / 2.0, 160, 3);  // \an5 in the middle
         EXPECT_NEAR((i.box.top + i.box.bottom) / 2.0, 90, 8);
         EXPECT_EQ(i.maxAlpha, 255u);
         EXPECT_EQ(i.leftColour, 0xFFFFFFu);
       }},
      {"{\\1c&H00FF00&}X", 500, [](const Ink& i) { EXPECT_EQ(i.leftColour, 0x00FF00u); }},
      {"{\\fad(400,0)}X", 200, [](const Ink& i) { EXPECT_NEAR(i.maxAlpha, 128, 3); }},
      {"{\\alpha&HFF&}X", 500, [](const Ink& i) { EXPECT_EQ(i.box.right, -1); }},
      {"{\\clip(0,0,160,180)}XXXX", 500, [](const Ink& i) { EXPECT_LE(i.box.right, 160); EXPECT_GT(i.box.right, 140); }},
      {"{\\iclip(0,0,160,180)}XXXX", 500, [](const Ink& i) { EXPECT_GE(i.box.left, 160); EXPECT_LT(i.box.left, 180); }},
      {"{\\clip(160,180,0,0)}XXXX", 500, [](const Ink& i) { EXPECT_EQ(i.box.right, -1); }},
      {"{\\kf100}XXXX", 500, [](const Ink& i) {  // half sung: primary on the left, secondary on the right
         EXPECT_EQ(i.leftColour, 0xFFFFFFu);
         EXPECT_EQ(i.rightColour, 0x0000FFu);
       }},
      {"{\\bord3}X", 500, [](const Ink& i) { EXPECT_EQ(i.leftColour, 0xFF0000u); }},  // the outline's red first
      {"{\\pos(20,170)\\an1\\frz90}XXXX", 500, [](const Ink& i) {  // turned upright about its corner
         EXPECT_GT(i.box.bottom - i.box.top, i.box.right - i.box.left);
         EXPECT_NEAR(i.box.bottom, 170, 4);
       }},
      {"{\\fs0\\fscx-100\\bord500\\blur500\\shad-999\\pos(-99999,99999)}X", 500, [](const Ink&) {}},
  };
  AssRenderer renderer;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const AssScript script = scriptWith(c.text);
    const auto frame =
        layOutAssFrame(script, wideAssTexts(script, kCodePageUtf8), {0, 0, 320, 180}, c.timeMs, renderer.measure());
    ASSERT_TRUE(renderer.render(frame, 320, 180));
    c.check(inkOf(renderer));
  }
}

// A renderer that kept the last frame's masks draws each frame as a new renderer would, whatever
// changed since: one thing that shapes the masks, or only the paint.
TEST(AssRenderer, FramesAfterOthersMatchFreshOnes) {
  const char* const sequence[] = {
      "{\\bord2\\shad2}Sign", "{\\bord2\\shad2}Sign", "{\\bord2\\shad2\\1c&H00FF00&}Sign",
      "{\\bord2\\shad2}Sigh", "{\\bord3\\shad2}Sign", "{\\bord2\\shad2\\blur2}Sign",
      "{\\bord2\\shad2\\frz10}Sign", "{\\bord2\\shad2\\fs30}Sign", "{\\bord2\\shad2\\fscx120}Sign",
      "{\\bord2\\shad2\\i1}Sign", "{\\bord2\\shad2\\pos(100,60)}Sign", "{\\bord2\\shad2\\pos(101,60)}Sign",
      "{\\bord2\\shad2\\fnCourier New}Sign", "{\\bord2\\shad2}Sign\\NSign",
  };
  const auto draw = [](AssRenderer& renderer, const char* text) {
    const AssScript script = scriptWith(text);
    const auto frame =
        layOutAssFrame(script, wideAssTexts(script, kCodePageUtf8), {0, 0, 320, 180}, 500, renderer.measure());
    EXPECT_TRUE(renderer.render(frame, 320, 180));
    return std::vector<uint32_t>(renderer.pixels(), renderer.pixels() + 320 * 180);
  };
  AssRenderer kept;
  for (const char* text : sequence) {
    SCOPED_TRACE(text);
    AssRenderer fresh;
    EXPECT_TRUE(draw(kept, text) == draw(fresh, text));
  }
}

// A renderer that drew the frame before redraws only the events that changed, came or went, and
// what lies under and over them there; each frame is still the one a new renderer draws. Each
// frame's events are separated by '|'; A and B overlap in the middle, C stands apart.
TEST(AssRenderer, FramesOfSeveralEventsAfterOthersMatchFreshOnes) {
  const char* const sequence[] = {
      "{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)}C",
      "{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)}C",           // nothing changes
      "{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2\\1c&H00FF00&}BBBB|{\\pos(60,170)}C",  // the upper one's colour
      "{\\pos(150,60)\\bord2\\shad3\\1a&H80&}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)}C",  // the lower one's opacity
      "{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(171,70)\\bord2}BBBB|{\\pos(60,170)}C",           // the upper one moves
      "{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(60,170)}C",                                  // one goes
      "{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)}C",           // and comes back
      "{\\pos(170,70)\\bord2}BBBB|{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(60,170)}C",           // the two swap places
      "{\\pos(60,170)}C|{\\pos(170,70)\\bord2}BBBB",                                           // C first, A gone
      "{\\pos(60,170)\\kf100}CCC|{\\pos(170,70)\\bord2\\clip(0,0,170,180)}BBBB",                  // sung, clipped
      "{\\pos(60,170)}C|{\\pos(60,170)}C|{\\pos(60,170)\\alpha&H80&}C",                          // the same event twice
      "{\\pos(60,170)}C|{\\pos(60,170)\\alpha&H80&}C",
      "",
      "{\\pos(150,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)}C",
      "{\\pos(150.2,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)}C",  // less than a pixel
      "{\\pos(150.6,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)\\shad0.3}C",
      "{\\pos(150.6,60)\\bord2\\shad3}AAAA|{\\pos(170,70)\\bord2}BBBB|{\\pos(60,170)}C",
  };
  const auto draw = [](AssRenderer& renderer, const std::string& texts) {
    AssScript script = scriptWith("");
    const AssScriptEvent model = script.events[0];
    script.events.clear();
    for (size_t start = 0; !texts.empty() && start <= texts.size();) {
      const size_t end = std::min(texts.find('|', start), texts.size());
      script.events.push_back(model);
      script.events.back().text = texts.substr(start, end - start);
      start = end + 1;
    }
    const auto frame =
        layOutAssFrame(script, wideAssTexts(script, kCodePageUtf8), {0, 0, 320, 180}, 500, renderer.measure());
    EXPECT_TRUE(renderer.render(frame, 320, 180));
    return std::vector<uint32_t>(renderer.pixels(), renderer.pixels() + 320 * 180);
  };
  AssRenderer kept;
  for (size_t i = 0; i < std::size(sequence); ++i) {
    SCOPED_TRACE(sequence[i]);
    AssRenderer fresh;
    EXPECT_TRUE(draw(kept, sequence[i]) == draw(fresh, sequence[i]));
    if (i == 1) {
      EXPECT_TRUE(kept.changed().empty()) << "a frame like the last one changes nothing";
    }
  }
}

TEST(JoinRects, JoinsWhatOverlapsOrStandsNearAndKeepsToTheMost) {
  struct Case {
    const char* what;
    std::vector<RECT> rects;
    int gap;
    size_t most;
    std::vector<RECT> joined;
  };
  const Case cases[] = {
      {"none", {}, 0, 8, {}},
      {"empties dropped", {{5, 5, 5, 9}, {0, 0, 10, 10}, {3, 3, 2, 2}}, 0, 8, {{0, 0, 10, 10}}},
      {"apart stay apart", {{0, 0, 10, 10}, {20, 0, 30, 10}}, 0, 8, {{0, 0, 10, 10}, {20, 0, 30, 10}}},
      {"touching edges stay apart", {{0, 0, 10, 10}, {10, 0, 20, 10}}, 0, 8, {{0, 0, 10, 10}, {10, 0, 20, 10}}},
      {"overlapping join", {{0, 0, 10, 10}, {5, 5, 15, 15}}, 0, 8, {{0, 0, 15, 15}}},
      {"less than the gap apart join", {{0, 0, 10, 10}, {20, 0, 30, 10}}, 11, 8, {{0, 0, 30, 10}}},
      {"the gap apart stay apart", {{0, 0, 10, 10}, {20, 0, 30, 10}}, 10, 8, {{0, 0, 10, 10}, {20, 0, 30, 10}}},
      {"a join that reaches a third", {{0, 0, 10, 10}, {30, 0, 40, 10}, {8, 0, 32, 4}}, 0, 8, {{0, 0, 40, 10}}},
      {"too many: the cheapest pair joins", {{0, 0, 10, 10}, {12, 0, 22, 10}, {500, 500, 510, 510}}, 0, 2,
       {{0, 0, 22, 10}, {500, 500, 510, 510}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<RECT> joined = joinRects(c.rects, c.gap, c.most);
    ASSERT_EQ(joined.size(), c.joined.size());
    for (size_t i = 0; i < joined.size(); ++i) EXPECT_TRUE(EqualRect(&joined[i], &c.joined[i])) << i;
  }
  std::vector<RECT> many;  // past what is worth joining pair by pair: one box
  for (LONG i = 0; i < 1000; ++i) many.push_back({i * 20, 0, i * 20 + 10, 10});
  const std::vector<RECT> one = joinRects(many, 0, 8);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].right, 999 * 20 + 10);
}

TEST(TakeInkBox, KeepsTheBoxAtTheCornerAndTellsWhatChanged) {
  constexpr int32_t kWidth = 8, kHeight = 6;
  // An image with a 3x2 mark whose corner is at (x, y); `odd` changes one of its pixels.
  const auto image = [](LONG x, LONG y, bool odd = false) {
    std::vector<uint32_t> pixels(kWidth * kHeight, 0);
    for (LONG r = 0; r < 2; ++r) {
      for (LONG c = 0; c < 3; ++c) pixels[(y + r) * kWidth + x + c] = 0xff000000u + static_cast<uint32_t>(r * 3 + c + 1);
    }
    if (odd) pixels[(y + 1) * kWidth + x + 2] = 0x80808080u;
    return pixels;
  };
  struct Case {
    const char* what;
    std::vector<uint32_t> before;
    RECT beforeBox;
    std::vector<uint32_t> after;
    RECT afterBox;
    RECT changed;  // in the held image
  };
  const Case cases[] = {
      {"the same: nothing", image(2, 2), {2, 2, 5, 4}, image(2, 2), {2, 2, 5, 4}, {}},
      {"moved, the same pixels: nothing to send but the move", image(2, 2), {2, 2, 5, 4}, image(4, 3), {4, 3, 7, 5}, {}},
      {"one pixel", image(2, 2), {2, 2, 5, 4}, image(2, 2, true), {2, 2, 5, 4}, {2, 1, 3, 2}},
      {"a smaller box clears what it left", image(2, 2), {1, 1, 6, 5}, image(2, 2), {2, 2, 5, 4}, {0, 0, 4, 3}},
      {"a larger box", image(2, 2), {2, 2, 5, 4}, image(2, 2), {1, 2, 5, 4}, {0, 0, 4, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint32_t> held(kWidth * kHeight, 0);
    takeInkBox(held.data(), kWidth, {}, c.before.data(), kWidth, c.beforeBox);
    const RECT changed = takeInkBox(held.data(), kWidth, c.beforeBox, c.after.data(), kWidth, c.afterBox);
    EXPECT_TRUE(EqualRect(&changed, &c.changed) || (IsRectEmpty(&changed) && IsRectEmpty(&c.changed)))
        << changed.left << "," << changed.top << " " << changed.right << "," << changed.bottom;
    for (LONG y = 0; y < kHeight; ++y) {  // the box at the corner, clear around it
      for (LONG x = 0; x < kWidth; ++x) {
        const bool inside = x < c.afterBox.right - c.afterBox.left && y < c.afterBox.bottom - c.afterBox.top;
        const uint32_t want = inside ? c.after[(c.afterBox.top + y) * kWidth + c.afterBox.left + x] : 0;
        ASSERT_EQ(held[y * kWidth + x], want) << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace quorvane
