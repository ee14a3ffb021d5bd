#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ui_language.h"
#include "loading/text_codec.h"

namespace quorvane {

inline constexpr size_t kUiRowCount = 30;

// The rows of the UI text table that the program uses, by their index.
enum class UiRow : uint8_t {
  PlayerGroup = 0,
  ModeLabel = 1,
  UniversalMode = 2,  // no control shows it
  StartButton = 3,
  FontLabel = 4,
  DefaultFont = 5,
  DelayLabel = 6,
  FontTip = 7,
  DelayTip = 8,
  CentreCheck = 9,
  ShadowCheck = 10,
  SizeCaption = 11,
  LeftCaption = 12,
  WidthCaption = 13,
  TopCaption = 14,
  FileFilter = 15,
  PlayerMissing = 16,
  MessageTitle = 17,
  WindowTitle = 18,
  UpdateLink = 19,
  HelpText = 20,
  HelpButton = 21,
  ToolLink = 22,
  ForumLink = 23,
  ProcessLabel = 24,
  TrimCaption = 27,
  RestoreCaption = 28,
  TrimHint = 29,
};

// The language of a system default language id (GetSystemDefaultLangID).
UiLanguage languageFromLangId(uint16_t langId);

// Every text the program shows, as ANSI bytes: GBK, Big5 or ASCII. Built once at start.
class UiTextTable {
 public:
  UiTextTable() = default;  // 30 empty rows
  // The Traditional rows are the Simplified ones converted by the codec.
  static UiTextTable build(UiLanguage language, const TextCodec& codec);

  const std::string& row(UiRow index) const;

 private:
  std::array<std::string, kUiRowCount> rows_;
};

// A slider caption: its prefix row followed by the value in decimal.
std::string captionWithNumber(std::string_view prefix, int32_t value);

}  // namespace quorvane
