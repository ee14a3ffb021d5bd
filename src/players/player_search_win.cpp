#include "players/player_search_win.h"

#include <windows.h>

#include <vector>

#include "players/potplayer_feed.h"

namespace quorvane {
namespace {

constexpr ULONGLONG kSearchMs = 1000;

std::unique_ptr<InterfacePlayerFeed> makeFeed(InterfacePlayer player, const InterfaceSettings& s) {
  switch (player) {
    case InterfacePlayer::Vlc: return makeVlcFeed(s.vlc);
    case InterfacePlayer::Mpc: return makeMpcFeed(s.mpc);
    case InterfacePlayer::PotPlayer: return makePotPlayerFeed();
    case InterfacePlayer::Mpv: return makeMpvFeed(s.mpv);
  }
  return nullptr;
}

}  // namespace

std::optional<FoundInterfacePlayer> findInterfacePlayer(const InterfaceSettings& settings, const std::function<void()>& pump) {
  std::vector<InterfacePlayer> order(kInterfaceOrder.begin(), kInterfaceOrder.end());
  if (settings.pinned) order = {*settings.pinned};
  std::vector<std::unique_ptr<InterfacePlayerFeed>> feeds;
  for (const InterfacePlayer player : order) feeds.push_back(makeFeed(player, settings));

  std::vector<PlayerState> states(order.size(), PlayerState::NoAnswer);
  const ULONGLONG deadline = GetTickCount64() + kSearchMs;
  for (;;) {
    bool allAnswered = true;
    for (size_t i = 0; i < feeds.size(); ++i) {
      const PlayerReport report = feeds[i] ? feeds[i]->latest() : PlayerReport{.sequence = 1};  // null: cannot be asked
      states[i] = report.state;
      allAnswered = allAnswered && report.sequence > 0;
    }
    if (allAnswered || GetTickCount64() >= deadline) break;
    // A film at the head of the order needs no wait for the others.
    if (states[0] == PlayerState::Playing || states[0] == PlayerState::Paused) break;
    if (pump) pump();
    Sleep(10);
  }
  const std::optional<size_t> chosen = chooseAnsweringPlayer(states);
  if (!chosen) return std::nullopt;
  return FoundInterfacePlayer{order[*chosen], states[*chosen], std::make_unique<InterfacePlayerClock>(std::move(feeds[*chosen]))};
}

}  // namespace quorvane
