#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/transport_bar_model.h"
#include "common/ui_language.h"
#include "loading/cue_table.h"
#include "players/player_interfaces.h"
#include "players/player_report.h"

namespace quorvane {

// What the Status window tells, gathered a few times a second: enough to see why no line shows.
struct StatusFacts {
  enum class Source { NoRun, MemoryPlayer, InterfacePlayer, LearntPlayer, FreeClock };
  Source source = Source::NoRun;
  std::optional<InterfacePlayer> player;  // InterfacePlayer: which one
  std::string learntPlayer;               // LearntPlayer: its name
  uint32_t playerPid = 0;                 // MemoryPlayer, LearntPlayer: the process found; 0 when none was
  bool answers = false;   // the source gives a position now
  bool gone = false;      // the player's process has ended
  PlayerState playerState = PlayerState::NoAnswer;  // InterfacePlayer: its last report's
  int64_t positionMs = 0;  // the source's own position, before delay and rate
  bool playing = false;
  int32_t delayMs = 0;
  double rate = 1.0;
  // UTF-8, each cue's lines joined by " / "; empty when there is none.
  std::string currentLine, nextLine;
  int64_t untilNextMs = 0;  // of the source's time, until the next line shows
  struct OverlayPlace {
    Box rect;             // in screen pixels
    std::string monitor;  // the device name of the monitor it is on; empty when on none
  };
  std::optional<OverlayPlace> overlay;  // none without a run
  bool hidden = false;  // F8 has hidden the subtitles
  // A second subtitle file shown with the run's: its own delay and its lines, as above.
  struct SecondFile {
    int32_t delayMs = 0;
    std::string currentLine, nextLine;
    int64_t untilNextMs = 0;
  };
  std::optional<SecondFile> second;
};

struct StatusRow {
  std::string label, value;  // UTF-8
  bool operator==(const StatusRow&) const = default;
};

// The window's title.
std::string statusTitle(UiLanguage language);
// The window's rows, label and value, in the interface language.
std::vector<StatusRow> statusRows(const StatusFacts& facts, UiLanguage language);

// The cue shown at `positionMs` of the file's time (the last that started by then, while it is
// on), and the first that starts after it; null where there is none.
struct LinesAround {
  const Cue* current = nullptr;
  const Cue* next = nullptr;
};
LinesAround linesAround(const CueTable& table, int32_t positionMs);

}  // namespace quorvane
