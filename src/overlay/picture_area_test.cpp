#include "overlay/picture_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/fake_tick_source.h"

namespace quorvane {
namespace {

TEST(PictureArea, StoredTextIsARectangleOrAutomatic) {
  struct Case { const char* text; std::optional<PictureArea> area; };
  const Case cases[] = {
      {"0,0,1920,1080", PictureArea{0, 0, 1920, 1080}},
      {"-1920,-40,1280,720", PictureArea{-1920, -40, 1280, 720}},  // a monitor left of the primary
      {"", std::nullopt},
      {"auto", std::nullopt},
      {"10,10,0,100", std::nullopt},     // no width
      {"10,10,100,-5", std::nullopt},    // negative height
      {"10,10,100", std::nullopt},       // three numbers
      {"10,10,100,100,", std::nullopt},  // trailing comma
      {"10, 10,100,100", std::nullopt},  // spaces
      {"10,10,100,100x", std::nullopt},
      {"0,0,100000,100", std::nullopt},  // wider than any desktop
      {"0,0,99999999999,100", std::nullopt},  // beyond int32
      {"-100000,0,100,100", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parsePictureArea(c.text), c.area) << c.text;
  const PictureArea area{-5, 7, 640, 360};
  EXPECT_EQ(parsePictureArea(pictureAreaText(area)), area);
}

// A desktop of windows a test moves, counting the queries the resolver makes.
class FakeWindows final : public PictureWindows {
 public:
  struct Window { uint32_t pid; std::string className; std::optional<PictureArea> client; };
  uintptr_t findWindow(const PictureOwner& owner) const override {
    ++searches;
    for (const auto& [handle, w] : windows) {
      const auto& classes = owner.classes;
      const bool classMatches = classes.empty() || std::find(classes.begin(), classes.end(), w.className) != classes.end();
      if ((owner.pid == 0 || w.pid == owner.pid) && classMatches) return handle;
    }
    return 0;
  }
  std::optional<PictureArea> clientArea(uintptr_t window) const override {
    const auto found = windows.find(window);
    return found == windows.end() ? std::nullopt : found->second.client;
  }
  PictureArea overlayMonitor() const override { return monitor; }

  std::map<uintptr_t, Window> windows;
  PictureArea monitor{0, 0, 1920, 1080};
  mutable int searches = 0;
};

class PictureAreaResolverTest : public ::testing::Test {
 protected:
  FakeWindows windows;
  FakeTicks ticks;
  PictureAreaResolver resolver{windows, ticks};
};

TEST_F(PictureAreaResolverTest, PicksTheUsersRectangleThenThePlayersWindowThenTheMonitor) {
  windows.windows[7] = {1234, "PlayerFrame", PictureArea{100, 50, 800, 450}};
  windows.windows[9] = {55, "mpv", PictureArea{0, 0, 1280, 720}};
  struct Case { const char* what; PictureOwner owner; std::optional<PictureArea> user; PictureArea expected; };
  const Case cases[] = {
      {"memory player's window", {1234, {}}, std::nullopt, {100, 50, 800, 450}},
      {"interface player by class", {0, {"vlc", "mpv"}}, std::nullopt, {0, 0, 1280, 720}},
      {"no such process", {999, {}}, std::nullopt, windows.monitor},
      {"free clock", {}, std::nullopt, windows.monitor},
      {"user's rectangle wins", {1234, {}}, PictureArea{1, 2, 3, 4}, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    resolver.follow(c.owner);
    resolver.setUserArea(c.user);
    EXPECT_EQ(resolver.area(), c.expected) << c.what;
  }
}

TEST_F(PictureAreaResolverTest, FollowsAMovedWindowWithoutSearchingAgain) {
  windows.windows[7] = {1234, "PlayerFrame", PictureArea{100, 50, 800, 450}};
  resolver.follow({1234, {}});
  EXPECT_EQ(resolver.area(), (PictureArea{100, 50, 800, 450}));
  windows.windows[7].client = PictureArea{0, 0, 1920, 1080};  // the player went full screen
  for (int frame = 0; frame < 100; ++frame) EXPECT_EQ(resolver.area(), (PictureArea{0, 0, 1920, 1080}));
  EXPECT_EQ(windows.searches, 1);
}

TEST_F(PictureAreaResolverTest, AWindowThatGoesIsLookedForAgainOnceASecond) {
  windows.windows[7] = {1234, "PlayerFrame", PictureArea{100, 50, 800, 450}};
  resolver.follow({1234, {}});
  resolver.area();
  windows.windows.erase(7);
  for (int frame = 0; frame < 50; ++frame) EXPECT_EQ(resolver.area(), windows.monitor);
  EXPECT_EQ(windows.searches, 1);  // the window went within a second of the search that found it
  ticks.nowMs += PictureAreaResolver::kSearchIntervalMs;
  windows.windows[8] = {1234, "PlayerFrame", PictureArea{10, 10, 640, 360}};  // the player opened a new window
  EXPECT_EQ(resolver.area(), (PictureArea{10, 10, 640, 360}));
  EXPECT_EQ(windows.searches, 2);
}

TEST_F(PictureAreaResolverTest, AMinimisedPlayerLeavesTheMonitor) {
  windows.windows[7] = {1234, "PlayerFrame", std::nullopt};
  resolver.follow({1234, {}});
  EXPECT_EQ(resolver.area(), windows.monitor);
}

}  // namespace
}  // namespace quorvane
