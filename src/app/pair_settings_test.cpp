#include "app/pair_settings.h"

#include <gtest/gtest.h>

#include "platform/fake_registry.h"

namespace quorvane {
namespace {

TEST(PairSettings, EachStoredPartOfTheSecondsLookFallsBackOnItsOwn) {
  const SecondLook fallback;
  struct Case { const char* size; const char* colour; const char* place; SecondLook look; };
  const Case cases[] = {
      {"120", "00ff80", "above", {120, 0x00FF80, true}},
      {"5", "00FF80", "below", {fallback.sizePercent, 0x00FF80, false}},  // below the smallest
      {"401", "GGGGGG", "", {fallback.sizePercent, fallback.colour, false}},
      {"-80", "FFF", "Above", {fallback.sizePercent, fallback.colour, false}},
      {"80x", "+0FF80", "above", {fallback.sizePercent, fallback.colour, true}},
  };
  for (const Case& c : cases) {
    FakeRegistry registry;
    SettingsStore settings(registry);
    settings.writeText(setting::kSecondSize, c.size);
    settings.writeText(setting::kSecondColour, c.colour);
    settings.writeText(setting::kSecondPlace, c.place);
    EXPECT_EQ(loadSecondLook(settings), c.look) << c.size << ' ' << c.colour << ' ' << c.place;
  }
}

TEST(PairSettings, AStoredLookReadsBackAsStored) {
  FakeRegistry registry;
  SettingsStore settings(registry);
  const SecondLook look{150, 0x0A0B0C, true};
  storeSecondLook(settings, look);
  EXPECT_EQ(loadSecondLook(settings), look);
}

}  // namespace
}  // namespace quorvane
