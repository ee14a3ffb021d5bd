#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/enhancements.h"
#include "app/run_control.h"
#include "app/settings_store.h"
#include "app/ui_text_table.h"
#include "common/ui_language.h"
#include "loading/text_codec.h"
#include "platform/process_access.h"
#include "platform/registry.h"
#include "platform/tick_source.h"
#include "memory_player/player_ui_trim.h"
#include "memory_player/learnt_player_clock.h"
#include "memory_player/player_memory_clock.h"
#include "memory_player/process_memory.h"
#include "run/subtitle_run.h"

namespace quorvane {

// The state the program shares between its handlers. It lives from before the main window is
// created until after its closing handler has run.
struct AppState {
  AppState(std::unique_ptr<Registry> systemRegistry, const TextCodec& codec,
           std::unique_ptr<ProcessTerminator> processTerminator,
           std::unique_ptr<ProcessAccess> processAccess,
           LeadBytePredicate isLeadByte = isChineseLeadByte,
           const TickSource& ticks = systemTickSource())
      : registry(std::move(systemRegistry)),
        settings(*registry, isLeadByte),
        textCodec(codec),
        terminator(std::move(processTerminator)),
        processes(std::move(processAccess)),
        isLeadByte(isLeadByte),
        playerMemory(*processes, ProcessMemoryReader::Opening::Held),
        playerClock(playerMemory, ticks),
        learntClock(playerMemory, ticks),
        control(run, playerClock, learntClock, settings),
        run(playerClock) {}

  std::unique_ptr<Registry> registry;
  SettingsStore settings;
  const TextCodec& textCodec;
  std::unique_ptr<ProcessTerminator> terminator;
  std::unique_ptr<ProcessAccess> processes;
  LeadBytePredicate isLeadByte;
  ProcessMemoryReader playerMemory;

  UiTextTable uiTexts;
  UiLanguage uiLanguage = UiLanguage::English;
  uint8_t playerMode = 0;  // the "mode" setting; kMemoryPlayerMode searches the memory
  // The file-open dialog's filter: a description and a pattern separated by "|".
  std::string fileDialogFilter;
  // The learnt players the Player submenu lists, by their executables, as their profiles load.
  std::vector<std::string> learntPlayers;
  // The full path of the subtitle file picked last in this run; empty until one is picked.
  std::string lastPickedFile;
  // The player's time record, as the last search found it: the run's clock.
  PlayerMemoryClock playerClock;
  // A learnt player's value, while the run follows one.
  LearntPlayerClock learntClock;
  // Which clock the run follows (and owns the clocks besides this one), its delay and rate,
  // two-point sync and the free clock's transport. Declared before the run, so that the clocks
  // it owns outlive the run's reference to them.
  RunControl control;
  // The subtitle run: its cues, overlay, scheduler and the controls' values it uses.
  SubtitleRun run;
  // Which enhancements the user turned on (the system menu's check items).
  std::array<bool, kEnhancementCount> enhancements{};
  bool enhanced(Enhancement which) const { return enhancements[static_cast<size_t>(which)]; }
};

}  // namespace quorvane
