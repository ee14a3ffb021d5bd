#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "app/settings_store.h"
#include "common/ui_language.h"

namespace quorvane {

// Features that change what the user sees, or when, beyond the program's defined behaviour; off
// by default, so that the program behaves as defined until asked for more. Each is turned on with
// its check item in the main window's system menu, and is stored under the program's key as
// "1" or "0" in a value of its own.
enum class Enhancement : size_t { PreciseTiming, SmoothText, FormattingTags };
inline constexpr size_t kEnhancementCount = 3;

struct EnhancementInfo {
  std::string_view valueName;  // under the program's registry key
  // The menu caption in the interface language: English, GBK, Big5.
  std::string_view english, simplified, traditional;
};

inline constexpr std::array<EnhancementInfo, kEnhancementCount> kEnhancements{{
    {"precise", "Precise timing", "\xBE\xAB\xC8\xB7\xBC\xC6\xCA\xB1", "\xBA\xEB\xBD\x54\xAD\x70\xAE\xC9"},  // 精确计时
    {"smooth", "Smooth text", "\xC6\xBD\xBB\xAC\xCE\xC4\xD7\xD6", "\xA5\xAD\xB7\xC6\xA4\xE5\xA6\x72"},  // 平滑文字
    {"tags", "Formatting tags", "\xB8\xF1\xCA\xBD\xB1\xEA\xC7\xA9", "\xAE\xE6\xA6\xA1\xBC\xD0\xC5\xD2"},  // 格式标签
}};

inline const EnhancementInfo& enhancementInfo(Enhancement which) {
  return kEnhancements[static_cast<size_t>(which)];
}

// Where the choice is stored: "1" on, "0" (or missing) off.
inline std::string enhancementSettingPath(Enhancement which) {
  return std::string(setting::kKey) + "\\" + std::string(enhancementInfo(which).valueName);
}

inline std::string_view enhancementCaption(Enhancement which, UiLanguage language) {
  const EnhancementInfo& info = enhancementInfo(which);
  switch (language) {
    case UiLanguage::SimplifiedChinese: return info.simplified;
    case UiLanguage::TraditionalChinese: return info.traditional;
    case UiLanguage::English: break;
  }
  return info.english;
}

}  // namespace quorvane
