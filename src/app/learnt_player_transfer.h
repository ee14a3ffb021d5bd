#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/ui_language.h"
#include "memory_player/learn_profile.h"
#include "memory_player/learnt_profiles.h"

// Exporting a learnt player's profile to a file of the user's choice, and importing one, so that
// one user's profile helps others.
namespace quorvane {

enum class TransferText {
  ExportItem,       // the Player submenu's items
  ImportItem,
  NothingToExport,  // no learnt player, or several and none pinned or followed
  FileFilter,       // the dialogs' filter: description|pattern
  ReplaceQuestion,  // printf: the player's name
  Imported,         // printf: the player's name
  NotWritten,       // printf: the file's name
};
std::string_view transferText(TransferText which, UiLanguage language);

// Which learnt player Export takes: the pinned one, else the one the run follows, else the only
// one there is; none when that leaves a choice (or there is none).
std::optional<std::string> playerToExport(std::string_view pinned, std::string_view followed,
                                          std::span<const std::string> learnt);

// What importing `file` does: refuse it with a message naming it and what is wrong, or copy it
// into the players folder as `fileName`, replacing a profile of that player if `replaces`.
struct ImportPlan {
  std::optional<learn::Profile> profile;  // none: refused
  std::string refusal;                    // UTF-8, when refused
  std::string fileName;
  bool replaces = false;
};
ImportPlan planImport(const ProfileFile& file, std::span<const ProfileFile> folder, UiLanguage language);

// A printf text with one string filled in.
std::string fillText(std::string_view pattern, std::string_view value);

}  // namespace quorvane
