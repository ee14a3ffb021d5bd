#include "players/player_interfaces.h"

#include <string>

namespace quorvane {
namespace {

std::string valuePath(std::string_view name) { return std::string(setting::kKey) + "\\" + std::string(name); }

uint16_t readPort(const SettingsStore& settings, std::string_view name, uint16_t fallback) {
  const std::string text = settings.readText(valuePath(name), "");
  if (text.empty() || text.size() > 5) return fallback;
  uint32_t port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return fallback;
    port = port * 10 + static_cast<uint32_t>(c - '0');
  }
  return port >= 1 && port <= 65535 ? static_cast<uint16_t>(port) : fallback;
}

}  // namespace

std::string_view interfacePlayerName(InterfacePlayer player) {
  switch (player) {
    case InterfacePlayer::Vlc: return "VLC";
    case InterfacePlayer::Mpc: return "MPC-HC";
    case InterfacePlayer::PotPlayer: return "PotPlayer";
    case InterfacePlayer::Mpv: return "mpv";
  }
  return "";
}

InterfaceSettings loadInterfaceSettings(const SettingsStore& settings) {
  InterfaceSettings s;
  s.vlc.port = readPort(settings, "vlcPort", VlcInterface::kDefaultPort);
  s.vlc.password = settings.readText(valuePath("vlcPassword"), "");
  s.mpc.port = readPort(settings, "mpcPort", MpcInterface::kDefaultPort);
  const std::string pipe = settings.readText(valuePath("mpvPipe"), "");
  if (!pipe.empty()) s.mpv.pipe = pipe;
  const std::string pinned = settings.readText(valuePath("player"), "auto");
  for (const InterfacePlayer player : kInterfaceOrder) {
    if (pinned == pinnedPlayerKey(player)) s.pinned = player;
  }
  return s;
}

void storePinnedPlayer(SettingsStore& settings, std::optional<InterfacePlayer> player) {
  settings.writeText(valuePath("player"), player ? pinnedPlayerKey(*player) : "auto");
}

std::optional<size_t> chooseAnsweringPlayer(std::span<const PlayerState> states) {
  for (size_t i = 0; i < states.size(); ++i) {
    if (states[i] == PlayerState::Playing || states[i] == PlayerState::Paused) return i;
  }
  for (size_t i = 0; i < states.size(); ++i) {
    if (states[i] == PlayerState::Unauthorized) return i;
  }
  return std::nullopt;
}

std::string_view pinnedPlayerKey(InterfacePlayer player) {
  switch (player) {
    case InterfacePlayer::Vlc: return "vlc";
    case InterfacePlayer::Mpc: return "mpc";
    case InterfacePlayer::PotPlayer: return "potplayer";
    case InterfacePlayer::Mpv: return "mpv";
  }
  return "auto";
}

std::string pinnedPlayerSilentText(InterfacePlayer player, UiLanguage language) {
  const std::string name(interfacePlayerName(player));
  switch (language) {
    case UiLanguage::SimplifiedChinese: return name + " 没有响应。请确认它正在播放，并已打开它的接口（见使用说明）。";
    case UiLanguage::TraditionalChinese: return name + " 沒有回應。請確認它正在播放，並已開啟它的介面（見使用說明）。";
    case UiLanguage::English: break;
  }
  return name + " does not answer. Check that it plays a film and that its interface is switched on (see the guide).";
}

std::string_view refusedPasswordText(UiLanguage language) {
  switch (language) {
    case UiLanguage::SimplifiedChinese:
      return "VLC 拒绝了密码。请把 VLC 网页界面的密码填入 Quorvane 的播放器设置。";
    case UiLanguage::TraditionalChinese:
      return "VLC 拒絕了密碼。請把 VLC 網頁介面的密碼填入 Quorvane 的播放器設定。";
    case UiLanguage::English:
      break;
  }
  return "VLC refused the password. Enter the password of VLC's web interface in Quorvane's player settings.";
}

}  // namespace quorvane
