#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/settings_store.h"
#include "common/ui_language.h"
#include "app/ui_text_table.h"
#include "loading/text_codec.h"
#include "overlay/overlay.h"
#include "platform/registry.h"
#include "sync/player_ui_trim.h"

namespace quorvane {

// The state the program shares between its handlers. It lives from before the main window is
// created until after its closing handler has run.
struct AppState {
  AppState(std::unique_ptr<Registry> systemRegistry, const TextCodec& codec,
           std::unique_ptr<ProcessTerminator> processTerminator,
           LeadBytePredicate isLeadByte = isChineseLeadByte)
      : registry(std::move(systemRegistry)),
        settings(*registry, isLeadByte),
        textCodec(codec),
        terminator(std::move(processTerminator)),
        isLeadByte(isLeadByte) {}

  std::unique_ptr<Registry> registry;
  SettingsStore settings;
  const TextCodec& textCodec;
  std::unique_ptr<ProcessTerminator> terminator;
  LeadBytePredicate isLeadByte;

  UiTextTable uiTexts;
  UiLanguage uiLanguage = UiLanguage::English;
  uint8_t playerMode = 0;
  bool subtitlesRunning = false;
  int32_t delayMs = 0;
  // The file-open dialog's filter: a description and a pattern separated by "|".
  std::string fileDialogFilter;
  // The full path of the subtitle file picked last in this run; empty until one is picked.
  std::string lastPickedFile;
  // The subtitle overlay; it exists only while subtitles run.
  Overlay* overlay = nullptr;
};

}  // namespace quorvane
