#include "app/main_window_menu_win.h"

#include <algorithm>
#include <string>

#include "app/learn_wizard_model.h"
#include "memory_player/learnt_profiles.h"
#include "memory_player/process_memory.h"
#include "app/learnt_player_transfer.h"
#include "app/player_settings_dialog_win.h"
#include "app/sync_texts.h"
#include "platform/wide_text_win.h"

namespace quorvane {

SystemMenu::Command SystemMenu::decode(WPARAM id, std::span<const std::string> learnt) {
  Command command;
  if (id == kStatusCommand) {
    command.kind = Command::Kind::Status;
  } else if (id == kAddSecondCommand) {
    command.kind = Command::Kind::AddSecond;
  } else if (id == kRemoveSecondCommand) {
    command.kind = Command::Kind::RemoveSecond;
  } else if (id == kLearnCommand || id == kLearnFromPlayersCommand) {
    command.kind = Command::Kind::Learn;
  } else if (id == kPlayerSettingsCommand) {
    command.kind = Command::Kind::PlayerSettings;
  } else if (id >= kFirstEnhancementCommand && id < kFirstEnhancementCommand + 16 * kEnhancementCount) {
    command.kind = Command::Kind::Enhancement;
    command.enhancement = static_cast<Enhancement>((id - kFirstEnhancementCommand) / 16);
  } else if (id == kSyncKeysCommand) {
    command.kind = Command::Kind::SyncKeys;
  } else if (id == kAutomaticPlayerCommand) {
    command.kind = Command::Kind::Player;
  } else if (id == kFreeClockCommand) {
    command.kind = Command::Kind::Player;
    command.player.freeClock = true;
  } else if (id >= kFirstPinnedPlayerCommand && id < kFirstPinnedPlayerCommand + 16 * kInterfaceOrder.size()) {
    command.kind = Command::Kind::Player;
    command.player.pinned = kInterfaceOrder[(id - kFirstPinnedPlayerCommand) / 16];
  } else if (id == kExportLearntCommand) {
    command.kind = Command::Kind::ExportLearnt;
  } else if (id == kImportLearntCommand) {
    command.kind = Command::Kind::ImportLearnt;
  } else if (id >= kFirstLearntPlayerCommand && id < kFirstLearntPlayerCommand + 16 * learnt.size() &&
             (id - kFirstLearntPlayerCommand) % 16 == 0) {
    command.kind = Command::Kind::Player;
    command.player.learnt = learnt[(id - kFirstLearntPlayerCommand) / 16];
  }
  return command;
}

UINT SystemMenu::playerCommand(const PlayerChoice& player, std::span<const std::string> learnt) {
  if (player.freeClock) return kFreeClockCommand;
  if (player.pinned) return kFirstPinnedPlayerCommand + 16 * static_cast<UINT>(*player.pinned);
  for (size_t i = 0; i < learnt.size() && i < kMaxLearntPlayers; ++i) {
    if (equalIgnoringCase(learnt[i], player.learnt)) return kFirstLearntPlayerCommand + 16 * static_cast<UINT>(i);
  }
  return kAutomaticPlayerCommand;
}

// The radio group runs from "Automatic" to the last item of the submenu.
UINT SystemMenu::lastPlayerCommand(std::span<const std::string> learnt) {
  const size_t count = std::min(learnt.size(), kMaxLearntPlayers);
  return count == 0 ? kLastPinnedPlayerCommand : kFirstLearntPlayerCommand + 16 * static_cast<UINT>(count - 1);
}

void SystemMenu::addItems(UiLanguage language, const std::array<bool, kEnhancementCount>& enhancements,
                          bool syncKeys, const PlayerChoice& player, std::span<const std::string> learnt) {
  const HMENU system = menu();
  if (!system) return;
  const auto caption = [language](SyncText which) { return std::string(syncText(which, language)); };
  const std::wstring learn = wideFromUtf8(learnText(LearnText::MenuItem, language));
  AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(system, MF_STRING, kAddSecondCommand, caption(SyncText::AddSecondItem).c_str());
  AppendMenuA(system, MF_STRING, kRemoveSecondCommand, caption(SyncText::RemoveSecondItem).c_str());
  AppendMenuW(system, MF_STRING, kLearnCommand, learn.c_str());
  AppendMenuA(system, MF_STRING, kStatusCommand, caption(SyncText::StatusItem).c_str());
  AppendMenuW(system, MF_STRING, kPlayerSettingsCommand, playerSettingsCaption(language));
  AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
  for (size_t i = 0; i < kEnhancementCount; ++i) {
    const std::string caption(enhancementCaption(static_cast<Enhancement>(i), language));
    AppendMenuA(system, MF_STRING | (enhancements[i] ? MF_CHECKED : MF_UNCHECKED), kFirstEnhancementCommand + 16 * i,
                caption.c_str());
  }

  AppendMenuA(system, MF_STRING | (syncKeys ? MF_CHECKED : MF_UNCHECKED), kSyncKeysCommand,
              caption(SyncText::SyncKeysItem).c_str());
  const HMENU players = CreatePopupMenu();
  if (!players) return;
  AppendMenuA(players, MF_STRING, kAutomaticPlayerCommand, caption(SyncText::AutomaticItem).c_str());
  AppendMenuA(players, MF_STRING, kFreeClockCommand, caption(SyncText::FreeClockItem).c_str());
  // After the two: one player that tells its time, pinned (its name in every language).
  for (size_t i = 0; i < kInterfaceOrder.size(); ++i) {
    AppendMenuA(players, MF_STRING, kFirstPinnedPlayerCommand + 16 * i,
                std::string(interfacePlayerName(kInterfaceOrder[i])).c_str());
  }
  // Then the learnt players, by their executables' names.
  for (size_t i = 0; i < learnt.size() && i < kMaxLearntPlayers; ++i) {
    AppendMenuA(players, MF_STRING, kFirstLearntPlayerCommand + 16 * i, learntPlayerName(learnt[i]).c_str());
  }
  CheckMenuRadioItem(players, kAutomaticPlayerCommand, lastPlayerCommand(learnt), playerCommand(player, learnt),
                     MF_BYCOMMAND);
  AppendMenuA(players, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(players, MF_STRING, kLearnFromPlayersCommand, learn.c_str());
  AppendMenuW(players, MF_STRING, kExportLearntCommand,
              wideFromUtf8(transferText(TransferText::ExportItem, language)).c_str());
  AppendMenuW(players, MF_STRING, kImportLearntCommand,
              wideFromUtf8(transferText(TransferText::ImportItem, language)).c_str());
  AppendMenuA(system, MF_POPUP, reinterpret_cast<UINT_PTR>(players), caption(SyncText::PlayerMenu).c_str());
}

void SystemMenu::checkEnhancement(Enhancement which, bool on) {
  CheckMenuItem(menu(), kFirstEnhancementCommand + 16 * static_cast<UINT>(which),
                MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void SystemMenu::checkSyncKeys(bool on) {
  CheckMenuItem(menu(), kSyncKeysCommand, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

HMENU SystemMenu::playersMenu() const {
  const HMENU system = menu();
  for (int i = 0; system && i < GetMenuItemCount(system); ++i) {
    const HMENU sub = GetSubMenu(system, i);
    if (sub && GetMenuState(sub, kAutomaticPlayerCommand, MF_BYCOMMAND) != static_cast<UINT>(-1)) return sub;
  }
  return nullptr;
}

void SystemMenu::addLearntPlayer(std::span<const std::string> learnt) {
  const HMENU players = playersMenu();
  if (!players || learnt.empty() || learnt.size() > kMaxLearntPlayers) return;
  // Before the separator that leads the export and import items.
  const UINT position = static_cast<UINT>(2 + kInterfaceOrder.size() + learnt.size() - 1);
  InsertMenuA(players, position, MF_BYPOSITION | MF_STRING,
              kFirstLearntPlayerCommand + 16 * (learnt.size() - 1), learntPlayerName(learnt.back()).c_str());
}

void SystemMenu::checkPlayer(const PlayerChoice& player, std::span<const std::string> learnt) {
  CheckMenuRadioItem(menu(), kAutomaticPlayerCommand, lastPlayerCommand(learnt), playerCommand(player, learnt),
                     MF_BYCOMMAND);
}

}  // namespace quorvane
