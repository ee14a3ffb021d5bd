#include "memory_player/player_ui_trim.h"

#include <array>

namespace quorvane {

namespace {

constexpr std::string_view kCustomizeKey = "Software\\CyberLink\\PowerDVD15\\UISettings\\customize";

// The player's panels and buttons that trimming switches off, in the order they are written.
constexpr std::array<std::string_view, 10> kCustomizeValues = {
    "showTVLib",          "showMovieLib",       "showMoovieLive",       "enableMusicLibrary",
    "enablePhotoLibrary", "enableVideoLibrary", "showHelpBtn",          "enableComputerModule",
    "enablePlaylistModule", "showSwitchCinemaMode",
};

// The player may run as either executable; a restart in progress can leave more than one
// process of a name, so each name is ended up to three times.
constexpr std::array<std::string_view, 2> kPlayerNames = {"PowerDVD.exe", "PowerDVDMovie.exe"};
constexpr int kTerminateRounds = 3;

}  // namespace

void applyPlayerUiTrim(TrimAction action, ProcessTerminator& terminator, Registry& registry) {
  // The player reads its customisation when it starts, so it is ended first: its next start
  // shows the new layout.
  for (int round = 0; round < kTerminateRounds; ++round) {
    for (std::string_view name : kPlayerNames) terminator.terminateByName(name);
  }
  const uint32_t value = action == TrimAction::Trim ? 0 : 1;
  for (std::string_view name : kCustomizeValues) {
    registry.writeDword(RegistryRoot::CurrentUser, kCustomizeKey, name, value);
  }
}

}  // namespace quorvane
