#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/settings_store.h"
#include "app/ui_text_table.h"

namespace quorvane {

// The four geometry sliders. A value set from code is kept as given within 0..32767, even
// beyond the slider's range (the thumb then sits at the nearer end).
struct SliderRange {
  int32_t minimum;
  int32_t maximum;
};
inline constexpr SliderRange kSizeSliderRange{4, 36};  // half the font size in points
inline constexpr SliderRange kWidthSliderRange{0, 2560};
inline constexpr SliderRange kLeftSliderRange{0, 2560};
inline constexpr SliderRange kTopSliderRange{0, 1440};
inline constexpr int32_t kSliderLineStep = 1;
inline constexpr int32_t kSliderPageStep = 5;

int32_t clampSliderValue(int64_t value);

// What the main window shows at start, read from the settings in the order the window
// fills its controls.
struct StartupSettings {
  bool centred = true;
  bool shadow = false;
  std::string processName;
  uint8_t playerMode = 0;
  std::string fontFace;
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t sizeValue = 0;  // the size slider's value: half the stored point size
};

// `screenHeight` replaces a top of 93 (the design value, so also a missing "top"): the
// subtitles then start 110 pixels above the bottom of the screen.
StartupSettings loadStartupSettings(const SettingsStore& settings, const UiTextTable& uiTexts,
                                    int32_t screenHeight);

// "1" for a checked box, "0" otherwise.
std::string_view checkText(bool checked);

// Typed characters the delay box takes: digits, "-" and every control character (Backspace,
// Ctrl+V, ...), so pasting stays possible.
bool delayBoxTakesChar(unsigned int ch);

}  // namespace quorvane
