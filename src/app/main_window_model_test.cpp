#include "app/main_window_model.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/links.h"
#include "platform/fake_registry.h"

namespace quorvane {
namespace {

class StartupSettingsTest : public ::testing::Test {
 protected:
  StartupSettings load(int32_t screenHeight = 1080) {
    return loadStartupSettings(store, uiTexts, screenHeight);
  }
  void set(std::string_view name, std::string_view text) {
    registry.setText(setting::kKey, name, text);
  }

  FakeRegistry registry;
  SettingsStore store{registry};
  UiTextTable uiTexts;  // empty rows: the font default is then ""
};

TEST_F(StartupSettingsTest, AnEmptyRegistryGivesTheDefaults) {
  const StartupSettings s = load();
  EXPECT_TRUE(s.centred);
  EXPECT_FALSE(s.shadow);
  EXPECT_EQ(s.processName, "PowerDVDMovie.exe");
  EXPECT_EQ(s.playerMode, 1);
  EXPECT_EQ(s.left, 240);
  EXPECT_EQ(s.top, 970);  // screen height minus 110
  EXPECT_EQ(s.width, 1440);
  EXPECT_EQ(s.sizeValue, 18);
  // Each setting is looked for in every place it may be stored before the next one is read.
  std::vector<std::string> order = registry.readLog;
  order.erase(std::unique(order.begin(), order.end()), order.end());
  EXPECT_EQ(order, (std::vector<std::string>{"centext", "shadow", "process", "mode", "font", "left",
                                             "top", "width", "size"}));
}

TEST_F(StartupSettingsTest, ChecksOnlyForExactlyOne) {
  struct Case { const char* text; bool checked; };
  const Case cases[] = {{"1", true}, {"0", false}, {"01", false}, {"true", false},
                        {" 1", false}, {"", false}, {"1 ", false}};
  for (const auto& c : cases) {
    set("centext", c.text);
    set("shadow", c.text);
    const StartupSettings s = load();
    EXPECT_EQ(s.centred, c.checked) << '"' << c.text << '"';
    EXPECT_EQ(s.shadow, c.checked) << '"' << c.text << '"';
  }
}

TEST_F(StartupSettingsTest, NumbersAreReadLeniently) {
  struct Case { const char* name; const char* text; int32_t StartupSettings::*field; int32_t value; };
  const Case cases[] = {
      {"size", "37", &StartupSettings::sizeValue, 18},  // odd sizes round down to a step of 2
      {"size", "0", &StartupSettings::sizeValue, 0},
      {"size", "", &StartupSettings::sizeValue, 0},
      {"size", "100000", &StartupSettings::sizeValue, 32767},
      {"left", "-5", &StartupSettings::left, 0},
      {"left", "9999", &StartupSettings::left, 9999},  // beyond the slider's range, kept
      {"left", "\xA3\xB5\xA3\xB0\xA3\xB0", &StartupSettings::left, 500},  // full-width 500
      {"width", "abc", &StartupSettings::width, 0},
      {"top", "93", &StartupSettings::top, 970},
      {"top", "093", &StartupSettings::top, 970},  // reads as 93, the design value
      {"top", "94", &StartupSettings::top, 94},
  };
  for (const auto& c : cases) {
    registry.values.clear();
    set(c.name, c.text);
    EXPECT_EQ(load().*c.field, c.value) << c.name << "=\"" << c.text << '"';
  }
}

TEST_F(StartupSettingsTest, OddValuesStillGiveAWorkingStart) {
  set("mode", "257");
  set("process", std::string(300, 'p'));
  set("font", "");
  registry.setDword(setting::kKey, "left", 500);
  set("size", std::string(64 * 1024, '9'));
  const StartupSettings s = load(/*screenHeight=*/50);
  EXPECT_EQ(s.playerMode, 1);
  EXPECT_EQ(s.processName.size(), 300u);
  EXPECT_EQ(s.fontFace, "");  // a cleared font box stays cleared
  EXPECT_EQ(s.left, 240);     // a number stored as REG_DWORD counts as missing
  EXPECT_EQ(s.top, 0);        // a screen lower than 110 pixels puts the top at 0
  EXPECT_GE(s.sizeValue, 0);
  EXPECT_LE(s.sizeValue, 32767);
}

TEST(DelayBox, TakesDigitsMinusAndControlCharacters) {
  for (unsigned ch = 0; ch < 256; ++ch) {
    const bool expected = ch < 0x20 || ch == 0x7F || (ch >= '0' && ch <= '9') || ch == '-';
    EXPECT_EQ(delayBoxTakesChar(ch), expected) << ch;
  }
  EXPECT_FALSE(delayBoxTakesChar(0xFF11));  // a full-width digit typed through an IME
}

TEST(OpenInBrowser, FallsBackToTheDefaultHandlerOnlyWhenTheBrowserFails) {
  for (const intptr_t browserResult : {intptr_t{2}, intptr_t{32}, intptr_t{33}, intptr_t{42}}) {
    std::vector<std::pair<std::string, std::string>> calls;
    openInBrowser(kForumPageUrl, [&](const char* file, const char* parameters) -> intptr_t {
      calls.emplace_back(file, parameters ? parameters : "<none>");
      return calls.size() == 1 ? browserResult : 42;
    });
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::pair<std::string, std::string>{"iexplore.exe", std::string(kForumPageUrl)}));
    if (browserResult > 32) {
      EXPECT_EQ(calls.size(), 1u);
    } else {
      ASSERT_EQ(calls.size(), 2u);
      EXPECT_EQ(calls[1], (std::pair<std::string, std::string>{std::string(kForumPageUrl), "<none>"}));
    }
  }
}

}  // namespace
}  // namespace quorvane
