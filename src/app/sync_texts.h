#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/ui_language.h"
#include "run/line_sync.h"

namespace quorvane {

// The texts of the free clock, its bar and the sync keys, which the program's UI text table
// does not have: English, then GBK for Simplified and Big5 for Traditional Chinese.
enum class SyncText {
  DelayNotice,          // printf format with the delay
  DelayAndRateNotice,   // ... with the delay and the rate
  NoLineNotice,
  RateRefusedNotice,    // ... with the refused rate
  SameLineNotice,
  DelayRateSpreadNotice,  // ... with the delay, the rate and the seconds lines may be off by the end
  CutNotice,            // ... with the delay
  PausedNotice,
  DoublePressNotice,
  SyncKeysItem,         // the system menu's check item that switches the sync keys
  PlayerMenu,           // the system menu's submenu of clock sources
  AutomaticItem,
  FreeClockItem,
  Play,
  Pause,
  Back10,
  Back1,
  Forward1,
  Forward10,
  PreviousLine,
  NextLine,
  PlayTip,
  SliderTip,
  EarlyStartItem,       // the bar's choice: start a few seconds before the first line
  BarTitle,
  StatusItem,           // the system menu's item that opens the Status window
  SecondDelayNotice,    // printf format with the second file's own delay
  AddSecondItem,        // the system menu's items of the second subtitle file
  RemoveSecondItem,
  Count
};

std::string_view syncText(SyncText which, UiLanguage language);

// What the overlay shows for about 1.5 s after a sync key: the delay, with the rate when it
// is not 1.
std::string delayNotice(int32_t delayMs, double rate, UiLanguage language);
// After a second-file delay key: that file's own delay over the shared one.
std::string secondDelayNotice(int32_t offsetMs, UiLanguage language);
// After "this line is now": the new delay (and rate), or why nothing changed.
std::string lineSyncNotice(const LineSync::Result& result, UiLanguage language);
// When a second file's characters cannot all be drawn in the first file's code page, in UTF-8
// for a message box.
std::string secondFileLossText(UiLanguage language);
// The message of a picked file that yields no lines, in UTF-8 for a message box: the file's
// name and the format it was read as.
std::string noLinesText(std::string_view fileName, std::string_view formatName, UiLanguage language);

}  // namespace quorvane
