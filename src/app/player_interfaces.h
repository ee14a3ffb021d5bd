#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/settings_store.h"
#include "common/ui_language.h"
#include "sync/mpc_feed.h"
#include "sync/mpv_feed.h"
#include "sync/player_report.h"
#include "sync/reported_clock.h"
#include "sync/vlc_feed.h"

namespace quorvane {

// The players that tell their time through a public interface, in the fixed order in which
// "Automatic" asks them after the search of PowerDVD's memory has found nothing.
enum class InterfacePlayer : uint8_t { Vlc, Mpc, PotPlayer, Mpv };
inline constexpr std::array<InterfacePlayer, 4> kInterfaceOrder = {InterfacePlayer::Vlc, InterfacePlayer::Mpc,
                                                                   InterfacePlayer::PotPlayer, InterfacePlayer::Mpv};

// As the main window's title names it ("Quorvane v1.5 - VLC").
std::string_view interfacePlayerName(InterfacePlayer player);

// Where each player is reached and which one the user pinned, from registry values of their own
// under the program's key: "vlcPort", "vlcPassword" (as VLC keeps its own: plain text),
// "mpcPort", "mpvPipe", and "player" ("auto", "vlc", "mpc", "potplayer" or "mpv"). A value that
// does not read (a port of 0 or past 65535, an unknown name) gives the default.
struct InterfaceSettings {
  VlcInterface vlc;
  MpcInterface mpc;
  MpvInterface mpv;
  std::optional<InterfacePlayer> pinned;  // none: automatic
};
InterfaceSettings loadInterfaceSettings(const SettingsStore& settings);
// Stores the pinned player in "player" ("auto" for none).
void storePinnedPlayer(SettingsStore& settings, std::optional<InterfacePlayer> player);

// A player that answered the search, with the clock that follows it.
struct FollowedPlayer {
  InterfacePlayer player = InterfacePlayer::Vlc;
  PlayerState state = PlayerState::NoAnswer;  // Unauthorized: found, but it refused the password
  std::unique_ptr<ReportedClock> clock;
};

// Which of the players asked at once (states in kInterfaceOrder's order) the run follows: the
// first that plays or holds a film. Failing that, the first that refused the password, so that
// the user can be told why; otherwise none.
std::optional<size_t> chooseAnsweringPlayer(std::span<const PlayerState> states);

// Said once per "Select and Start" when VLC refused the password.
std::string_view refusedPasswordText(UiLanguage language);

// The "player" value that pins it: "vlc", "mpc", "potplayer", "mpv".
std::string_view pinnedPlayerKey(InterfacePlayer player);

// Said when the pinned player does not answer.
std::string pinnedPlayerSilentText(InterfacePlayer player, UiLanguage language);

}  // namespace quorvane
