#pragma once

#include <string_view>

namespace quorvane {

// The language of the user interface, chosen once at start from the system's default language.
// It also decides how a subtitle file without a byte-order mark is read.
enum class UiLanguage { English, SimplifiedChinese, TraditionalChinese };

// One text of the interface in its three languages.
struct UiTexts {
  std::string_view english, simplified, traditional;
  std::string_view in(UiLanguage language) const {
    switch (language) {
      case UiLanguage::SimplifiedChinese: return simplified;
      case UiLanguage::TraditionalChinese: return traditional;
      case UiLanguage::English: break;
    }
    return english;
  }
};

}  // namespace quorvane
