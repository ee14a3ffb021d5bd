#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

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
  // The learnt players, pinned as those are: one every 16 after the interface players, for at
  // most kMaxLearntPlayers of them.
  static constexpr UINT kFirstLearntPlayerCommand = 0x1000;
  static constexpr size_t kMaxLearntPlayers = 64;
  // At the end of the "Player" submenu: a learnt player's profile exported to a file, and one
  // imported.
  static constexpr UINT kExportLearntCommand = 0x1400;
  static constexpr UINT kImportLearntCommand = 0x1410;

  // What a command id asks for.
  struct Command {
    enum class Kind {
      None, Status, Learn, PlayerSettings, Enhancement, SyncKeys, Player, AddSecond, RemoveSecond, ExportLearnt,
      ImportLearnt
    } kind =
        Kind::None;
    Enhancement enhancement = Enhancement::PreciseTiming;
    PlayerChoice player;
  };
  // `learnt`: the learnt players' executables as the submenu lists them.
  static Command decode(WPARAM id, std::span<const std::string> learnt = {});

  explicit SystemMenu(HWND window) : window_(window) {}

  // The items, checked as `enhancements`, `syncKeys` and `player` say; the Player submenu lists
  // `learnt` after the interface players.
  void addItems(UiLanguage language, const std::array<bool, kEnhancementCount>& enhancements, bool syncKeys,
                const PlayerChoice& player, std::span<const std::string> learnt = {});
  void checkEnhancement(Enhancement which, bool on);
  void checkSyncKeys(bool on);
  // The Player submenu's choices are one radio group.
  void checkPlayer(const PlayerChoice& player, std::span<const std::string> learnt = {});
  // A learnt player imported while the program runs, listed after `learnt`'s others (it is their
  // last).
  void addLearntPlayer(std::span<const std::string> learnt);

 private:
  static UINT playerCommand(const PlayerChoice& player, std::span<const std::string> learnt);
  static UINT lastPlayerCommand(std::span<const std::string> learnt);
  HMENU menu() const { return GetSystemMenu(window_, FALSE); }
  HMENU playersMenu() const;

  HWND window_;
};

}  // namespace quorvane
