#include "players/player_interfaces.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/fake_registry.h"

namespace quorvane {
namespace {

TEST(PlayerInterfaces, SettingsThatDoNotReadGiveTheDefaults) {
  FakeRegistry registry;
  const SettingsStore settings(registry);
  registry.setText(setting::kKey, "vlcPort", "8081");
  registry.setText(setting::kKey, "vlcPassword", "pa ss");
  registry.setText(setting::kKey, "mpcPort", "70000");
  registry.setText(setting::kKey, "player", "mpv");
  InterfaceSettings s = loadInterfaceSettings(settings);
  EXPECT_EQ(s.vlc.port, 8081);
  EXPECT_EQ(s.vlc.password, "pa ss");
  EXPECT_EQ(s.mpc.port, MpcInterface::kDefaultPort);
  EXPECT_EQ(s.mpv.pipe, MpvInterface::kDefaultPipe);
  EXPECT_EQ(s.pinned, InterfacePlayer::Mpv);

  for (const char* port : {"0", "-1", "80a", "123456", ""}) {
    registry.setText(setting::kKey, "vlcPort", port);
    EXPECT_EQ(loadInterfaceSettings(settings).vlc.port, VlcInterface::kDefaultPort) << port;
  }
  registry.setText(setting::kKey, "player", "winamp");
  EXPECT_FALSE(loadInterfaceSettings(settings).pinned);
}

TEST(PlayerInterfaces, TheFirstPlayerWithAFilmInTheFixedOrderIsFollowed) {
  using S = PlayerState;
  const struct {
    std::vector<S> states;
    std::optional<size_t> chosen;
  } cases[] = {
      {{S::NoAnswer, S::Playing, S::NoAnswer, S::Paused}, 1},
      {{S::Paused, S::Playing, S::NoAnswer, S::NoAnswer}, 0},
      {{S::NoFilm, S::NoAnswer, S::NoAnswer, S::Playing}, 3},
      {{S::Unauthorized, S::NoAnswer, S::Paused, S::NoAnswer}, 2},
      {{S::Unauthorized, S::NoFilm, S::NoAnswer, S::NoAnswer}, 0},
      {{S::NoFilm, S::NoAnswer, S::NoAnswer, S::NoFilm}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(chooseAnsweringPlayer(c.states), c.chosen);
}

}  // namespace
}  // namespace quorvane
