#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/ui_language.h"
#include "memory_player/learn_profile.h"
#include "memory_player/learnt_player_clock.h"

// The learnt players' profiles as the program finds them: one "*.profile" file per player in the
// user's application-data folder (Quorvane\players), written by the learning wizard or copied
// in by an import.
namespace quorvane {

// A file of the folder: its name (UTF-8, no folder) and its text, or that it could not be read.
struct ProfileFile {
  std::string name;
  std::string text;
  bool readable = true;
};

// Larger than any profile by far; a larger file is refused unread.
inline constexpr size_t kMaxProfileBytes = 64 * 1024;

struct RefusedProfile {
  std::string fileName;
  learn::ProfileError error;
};

struct LoadedProfiles {
  std::vector<learn::Profile> profiles;  // in the files' order
  std::vector<RefusedProfile> refused;
};

// The folder the profiles are kept in, UTF-8: %APPDATA%\Quorvane\players; empty when the
// application-data folder is unknown (Windows build only).
std::string profileFolder();
// Every "*.profile" file of `folder`, sorted by name; none when the folder is missing (Windows
// build only).
std::vector<ProfileFile> readProfileFolder(const std::string& folder);

// A file of any folder, as a profile file to check (its name without the folder); unreadable
// when it cannot be read or is larger than any profile (Windows build only).
ProfileFile readProfileFile(const std::string& path);
// Writes `text` as the whole file at `path`, making the players folder when it is missing: to a
// temporary file first, then put in place, so that a crash never leaves half a profile where
// the clock would read it; whether that succeeded (Windows build only).
bool writeProfileFile(const std::string& path, std::string_view text);
// Removes a file; whether it is gone (Windows build only).
bool removeProfileFile(const std::string& path);

// Each file on its own: a broken one is refused with what is wrong in it, the others load.
LoadedProfiles loadProfiles(std::span<const ProfileFile> files);

// The refusal as the user reads it, naming the file, the line and the value.
std::string describeProfileError(const learn::ProfileError& error, std::string_view fileName, UiLanguage language);

// Why a running learnt player is not followed, as the user reads it.
std::string learntRefusalText(const LearntSearch::Refused& refused, UiLanguage language);

// Said when the pinned learnt player does not run (or has no profile any more).
std::string pinnedLearntSilentText(std::string_view executable, UiLanguage language);

// How the title and the Status window name a learnt player: its executable without ".exe".
std::string learntPlayerName(std::string_view executable);

// The file a player's profile is kept in: its executable's name in ASCII lower case and
// ".profile" ("SimPlayer.exe" -> "simplayer.exe.profile"); empty for a name that cannot be a
// file's in the players folder (a path, a reserved character), which a hand-made profile may hold.
std::string profileFileName(std::string_view executable);

}  // namespace quorvane
