#pragma once

namespace quorvane {

// The language of the user interface, chosen once at start from the system's default language.
// It also decides how a subtitle file without a byte-order mark is read.
enum class UiLanguage { English, SimplifiedChinese, TraditionalChinese };

}  // namespace quorvane
