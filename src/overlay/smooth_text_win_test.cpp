#include "overlay/smooth_text_win.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace quorvane {
namespace {

constexpr wchar_t kFace[] = L"SimHei";  // in every Wine prefix of ours (scripts/wine-env.sh)

uint32_t alphaOf(uint32_t p) { return p >> 24; }
uint32_t redOf(uint32_t p) { return p >> 16 & 0xFF; }
uint32_t greenOf(uint32_t p) { return p >> 8 & 0xFF; }
uint32_t blueOf(uint32_t p) { return p & 0xFF; }

struct Image {
  RECT ink{INT_MAX, INT_MAX, INT_MIN, INT_MIN};  // pixels of alpha above 0
  int opaqueBlack = 0, white = 0, red = 0;
  std::vector<uint32_t> pixels;
};

Image inspect(const SmoothTextRenderer& renderer) {
  Image image;
  for (int y = 0; y < renderer.height(); ++y) {
    for (int x = 0; x < renderer.width(); ++x) {
      const uint32_t p = renderer.pixel(x, y);
      image.pixels.push_back(p);
      if (alphaOf(p) == 0) continue;
      image.ink = {std::min<LONG>(image.ink.left, x), std::min<LONG>(image.ink.top, y),
                   std::max<LONG>(image.ink.right, x + 1), std::max<LONG>(image.ink.bottom, y + 1)};
      image.opaqueBlack += p == 0xFF000000u;
      image.white += p == 0xFFFFFFFFu;
      image.red += alphaOf(p) == 255 && redOf(p) > 200 && greenOf(p) < 60 && blueOf(p) < 60;
    }
  }
  return image;
}

SmoothTextLook lookOf(int width, int height, int fontPixels) {
  SmoothTextLook look;
  look.width = width;
  look.height = height;
  look.face = kFace;
  look.fontPixels = fontPixels;
  return look;
}

Image render(SmoothTextRenderer& renderer, const std::string& cue, const SmoothTextLook& look) {
  EXPECT_TRUE(renderer.render(wideRuns(parseSubtitleTags(cue, 1252), 1252), look));
  return inspect(renderer);
}

TEST(SmoothTextRenderer, WhiteGlyphsInABlackRingAndNothingElse) {
  for (const int fontPixels : {20, 48, 96}) {
    SCOPED_TRACE(fontPixels);
    SmoothTextRenderer renderer;
    const Image image = render(renderer, "Subtitle Wg", lookOf(800, 300, fontPixels));
    const int radius = SmoothTextRenderer::outlineRadius(fontPixels);
    EXPECT_GE(radius, 2);
    EXPECT_GT(image.white, 0);
    EXPECT_GT(image.opaqueBlack, 0);
    for (int y = 0; y < renderer.height(); ++y) {
      for (int x = 0; x < renderer.width(); ++x) {
        const uint32_t p = renderer.pixel(x, y);
        // Premultiplied: no channel above alpha; and never the old key grey.
        ASSERT_LE(std::max({redOf(p), greenOf(p), blueOf(p)}), alphaOf(p)) << x << "," << y;
        ASSERT_NE(p, 0xFF808080u);
        if (p != 0xFFFFFFFFu) continue;
        // Every fully white pixel has ink a radius less one around it: the ring is closed.
        for (const auto& [dx, dy] : {std::pair{radius - 1, 0}, {-(radius - 1), 0}, {0, radius - 1}, {0, -(radius - 1)}}) {
          ASSERT_GE(alphaOf(renderer.pixel(x + dx, y + dy)), 128u) << x << "," << y;
        }
      }
    }
    // Where the ink starts on a row it is the outline, not the glyph.
    for (int y = image.ink.top; y < image.ink.bottom; ++y) {
      for (int x = 0; x < renderer.width(); ++x) {
        const uint32_t p = renderer.pixel(x, y);
        if (alphaOf(p) == 0) continue;
        EXPECT_LT(redOf(p) * 2, alphaOf(p) + 1) << "row " << y;
        break;
      }
    }
    EXPECT_GT(image.ink.left, 0);
    EXPECT_GT(renderer.width() - image.ink.right, 0);
    EXPECT_EQ(alphaOf(renderer.pixel(0, renderer.height() - 1)), 0u);
  }
}

TEST(SmoothTextRenderer, TheShadowReachesTwoPixelsFurtherRightAndDown) {
  SmoothTextRenderer renderer;
  SmoothTextLook plain = lookOf(600, 200, 40);
  plain.centred = false;
  const Image without = render(renderer, "Shadow", plain);
  SmoothTextLook shadowed = plain;
  shadowed.shadow = true;
  const Image with = render(renderer, "Shadow", shadowed);
  EXPECT_EQ(with.ink.left, without.ink.left);
  EXPECT_EQ(with.ink.top, without.ink.top);
  EXPECT_EQ(with.ink.right, without.ink.right + 2);
  EXPECT_EQ(with.ink.bottom, without.ink.bottom + 2);
}

TEST(SmoothTextRenderer, LaysOutLikeTheLabel) {
  SmoothTextRenderer renderer;
  SmoothTextLook look = lookOf(1000, 540, 40);
  const Image centred = render(renderer, "Centre", look);
  EXPECT_NEAR((centred.ink.left + centred.ink.right) / 2, 500, 4);
  look.centred = false;
  const Image left = render(renderer, "Centre", look);
  EXPECT_LT(left.ink.left, 4);
  const Image twoLines = render(renderer, "Centre\r\nCentre", look);
  EXPECT_GT(twoLines.ink.bottom - twoLines.ink.top, 2 * (left.ink.bottom - left.ink.top) - 8);
  look.width = 300;
  const Image wrapped = render(renderer, "words that are too many for one line", look);
  EXPECT_LE(wrapped.ink.right, 300);
  EXPECT_GT(wrapped.ink.bottom - wrapped.ink.top, 3 * (left.ink.bottom - left.ink.top));
  // Chinese text wraps between characters.
  const std::u16string chinese(40, u'\u5B57');
  std::vector<WideRun> runs{{std::wstring(chinese.begin(), chinese.end()), {}}};
  ASSERT_TRUE(renderer.render(runs, look));
  const Image wrappedChinese = inspect(renderer);
  EXPECT_LE(wrappedChinese.ink.right, 300);
  EXPECT_GT(wrappedChinese.ink.bottom - wrappedChinese.ink.top, 3 * (left.ink.bottom - left.ink.top));
}

TEST(SmoothTextRenderer, EachStyleChangesTheImageAndColourShows) {
  SmoothTextRenderer renderer;
  const SmoothTextLook look = lookOf(800, 200, 48);
  const Image plain = render(renderer, "Styled text", look);
  EXPECT_EQ(plain.red, 0);
  for (const char* cue : {"<i>Styled text</i>", "<b>Styled text</b>", "<u>Styled text</u>",
                          "<s>Styled text</s>", "Styled <font size=60>text</font>"}) {
    SCOPED_TRACE(cue);
    EXPECT_NE(render(renderer, cue, look).pixels, plain.pixels);
  }
  EXPECT_GT(render(renderer, "<b>Styled text</b>", look).white, plain.white);
  EXPECT_GT(render(renderer, "<font color=#FF0000>Styled</font> text", look).red, 0);
}

TEST(StyledRuns, TopBlocksFirstEachOnItsOwnLinesInItsLookUnderItsTags) {
  CueTable table;
  table.looks.resize(3);
  table.looks[1].face = "SimHei";
  table.looks[2] = {"Arial", 500, 0xFFFF00, 0x000000, true, false};
  table.blockTexts = {"zh", "{\\i1}small", "sign"};
  const std::vector<CueBlock> blocks{{0, 1, false}, {1, 2, false}, {2, 0, true}};
  const std::vector<WideRun> runs = styledRuns(blocks, table, 936, 36);
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].text, L"sign");
  EXPECT_EQ(runs[1].text, L"\r\n");
  EXPECT_EQ(runs[2].text, L"zh");
  EXPECT_EQ(runs[2].style.face, "SimHei");
  EXPECT_EQ(runs[2].style.size, 0);  // the main style: the user's own size
  EXPECT_EQ(runs[4].text, L"small");
  EXPECT_EQ(runs[4].style.size, 18);
  EXPECT_TRUE(runs[4].style.bold && runs[4].style.italic);
  EXPECT_EQ(runs[4].style.colour, 0xFFFF00u);
}

TEST(SmoothTextRenderer, LowerRunsStartAtTheirRowAndUpperOnesStayAbove) {
  SmoothTextRenderer renderer;
  const SmoothTextLook look = lookOf(400, 600, 40);
  const auto runs = [](const char* text) { return wideRuns(parseSubtitleTags(text, 1252), 1252); };
  ASSERT_TRUE(renderer.render(runs("Top"), look, runs("Bottom"), 400));
  const Image both = inspect(renderer);
  EXPECT_LT(both.ink.top, 10);
  EXPECT_GT(both.ink.bottom, 420);  // "Bottom" is drawn from row 400
  int rowsBetween = 0;  // no ink between the two places
  for (int y = 80; y < 390; ++y) {
    for (int x = 0; x < 400; ++x) rowsBetween += alphaOf(renderer.pixel(x, y)) > 0;
  }
  EXPECT_EQ(rowsBetween, 0);
  // Without room for two places (a lower row outside the image) the lines stack from the top.
  ASSERT_TRUE(renderer.render(runs("Top"), look, runs("Bottom"), 0));
  EXPECT_LT(inspect(renderer).ink.bottom, 200);
}

TEST(SmoothTextRenderer, EachRunsRingTakesItsOutlineColour) {
  SmoothTextRenderer renderer;
  const SmoothTextLook look = lookOf(400, 200, 48);
  std::vector<WideRun> runs = wideRuns(parseSubtitleTags("Red ring", 1252), 1252);
  for (WideRun& run : runs) run.outline = 0xFF0000;
  ASSERT_TRUE(renderer.render(runs, look));
  const Image one = inspect(renderer);
  EXPECT_GT(one.red, 0);
  EXPECT_EQ(one.opaqueBlack, 0);
  // A second line with a black ring: red rings above, black ones below.
  runs.push_back({L"\r\nBlack ring", TextStyle{}, 0x000000});
  ASSERT_TRUE(renderer.render(runs, look));
  const Image two = inspect(renderer);
  const int middle = (two.ink.top + two.ink.bottom) / 2;
  int redAbove = 0, redBelow = 0, blackAbove = 0, blackBelow = 0;
  for (int y = two.ink.top; y < two.ink.bottom; ++y) {
    for (int x = 0; x < renderer.width(); ++x) {
      const uint32_t p = renderer.pixel(x, y);
      const bool red = alphaOf(p) == 255 && redOf(p) > 200 && greenOf(p) < 60 && blueOf(p) < 60;
      const bool black = p == 0xFF000000u;
      (y < middle ? redAbove : redBelow) += red;
      (y < middle ? blackAbove : blackBelow) += black;
    }
  }
  EXPECT_GT(redAbove, 0);
  EXPECT_GT(blackBelow, 0);
  EXPECT_EQ(redBelow, 0);
  EXPECT_EQ(blackAbove, 0);
}

TEST(SmoothTextRenderer, ChineseCuesInEitherCodePageBecomeTheirCharactersAndInk) {
  struct Case {
    unsigned codePage;
    const char* bytes;
    const wchar_t* text;
  };
  // Tags around the characters; the Big5 one (0xA5 0x5C) ends in a backslash.
  const Case cases[] = {
      {936, "<i>\xB5\xE7\xD3\xB0</i>{\\an8}", L"\u7535\u5F71"},
      {950, "<b>\xA5\x5C\xB9\x71</b>", L"\u529F\u96FB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    const std::vector<WideRun> runs = wideRuns(parseSubtitleTags(c.bytes, c.codePage), c.codePage);
    std::wstring text;
    for (const WideRun& run : runs) text += run.text;
    EXPECT_EQ(text, c.text);
    SmoothTextRenderer renderer;
    ASSERT_TRUE(renderer.render(runs, lookOf(400, 100, 40)));
    EXPECT_GT(inspect(renderer).white, 0);
  }
}

TEST(SmoothTextRenderer, BadInputIsDrawnOrIgnoredAndTheImageIsReused) {
  SmoothTextRenderer renderer;
  EXPECT_GT(render(renderer, "old", lookOf(400, 100, 40)).white, 0);
  const Image empty = render(renderer, "", lookOf(400, 100, 40));
  EXPECT_EQ(empty.ink.right, INT_MIN) << "the old text is gone";

  std::string huge(2'000'000, 'x');
  for (size_t k = 100; k < huge.size(); k += 100) huge[k] = ' ';
  const Image full = render(renderer, huge, lookOf(2560, 540, 48));
  EXPECT_EQ(renderer.width(), 2560);
  EXPECT_GT(full.white, 0);

  const Image oneWord = render(renderer, std::string(100'000, 'W'), lookOf(800, 540, 48));
  EXPECT_GT(oneWord.white, 0);

  SmoothTextLook missingFace = lookOf(400, 100, 40);
  missingFace.face = L"No Such Face At All";
  EXPECT_GT(render(renderer, "text", missingFace).white, 0);
  EXPECT_GT(render(renderer, "<font face=\"Nope\" size=9999>big</font>", lookOf(400, 100, 40)).opaqueBlack, 0);
  render(renderer, "zero", lookOf(400, 100, 0));
  render(renderer, "huge", lookOf(400, 540, 1333));
  render(renderer, "none", lookOf(0, 540, 40));
  EXPECT_EQ(renderer.width(), 1);
}

}  // namespace
}  // namespace quorvane
