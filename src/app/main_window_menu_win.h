#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>

#include "app/enhancements.h"
#include "players/player_interfaces.h"
#include "app/run_control.h"
#include "common/ui_language.h"

namespace quorvane {

// The main window's items in its system menu (the title bar icon's menu), after the system's
// own: the second subtitle file's two items, "Learn a player...", the Status window, the player
// settings, the enhancements' check items, the sync keys' check item and the "Player" submenu
// (which ends with "Learn a player..." again).
class SystemMenu {
 public:
  // Each item's command id is a multiple of 16: the system keeps a system command's low four
  // bits for itself.
  static constexpr UINT kPlayerSettingsCommand = 0x0100;
  static constexpr UINT kStatusCommand = 0x0900;
  // The second subtitle file's two items.
  static constexpr UINT kAddSecondCommand = 0x0A00;
  static constexpr UINT kRemoveSecondCommand = 0x0A10;
  // "Learn a player...", in the menu and again at the end of the "Player" submenu.
  static constexpr UINT kLearnCommand = 0x0B00;
  static constexpr UINT kLearnFromPlayersCommand = 0x0B10;
  // The enhancements' items: this id, then one every 16.
  static constexpr UINT kFirstEnhancementCommand = 0x0200;
  // The sync keys' check item and the "Player" submenu's two choices.
  static constexpr UINT kSyncKeysCommand = 0x0800;
  static constexpr UINT kAutomaticPlayerCommand = 0x0810;
  static constexpr UINT kFreeClockCommand = 0x0820;
  // The "Player" submenu's pinned players, one every 16, in kInterfaceOrder's order.
  static constexpr UINT kFirstPinnedPlayerCommand = 0x0830;
  static constexpr UINT kLastPinnedPlayerCommand = kFirstPinnedPlayerCommand + 16 * (kInterfaceOrder.size() - 1);

  // What a command id asks for.
  struct Command {
    enum class Kind { None, Status, Learn, PlayerSettings, Enhancement, SyncKeys, Player, AddSecond, RemoveSecond } kind =
        Kind::None;
    Enhancement enhancement = Enhancement::PreciseTiming;
    PlayerChoice player;
  };
  static Command decode(WPARAM id);

  explicit SystemMenu(HWND window) : window_(window) {}

  // The items, checked as `enhancements`, `syncKeys` and `player` say.
  void addItems(UiLanguage language, const std::array<bool, kEnhancementCount>& enhancements, bool syncKeys,
                const PlayerChoice& player);
  void checkEnhancement(Enhancement which, bool on);
  void checkSyncKeys(bool on);
  // The Player submenu's choices are one radio group.
  void checkPlayer(const PlayerChoice& player);

 private:
  static UINT playerCommand(const PlayerChoice& player);
  HMENU menu() const { return GetSystemMenu(window_, FALSE); }

  HWND window_;
};

}  // namespace quorvane
