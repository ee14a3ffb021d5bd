#include "app/main_window_model.h"

#include <algorithm>

#include "common/text_number.h"

namespace quorvane {

int32_t clampSliderValue(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, 0, 32767));
}

StartupSettings loadStartupSettings(const SettingsStore& settings, const UiTextTable& uiTexts,
                                    int32_t screenHeight) {
  StartupSettings s;
  s.centred = settings.readText(setting::kCentext, setting::kCentextDefault) == "1";
  s.shadow = settings.readText(setting::kShadow, setting::kShadowDefault) == "1";
  s.processName = settings.readText(setting::kProcess, setting::kProcessDefault);
  s.playerMode = textToByte(settings.readText(setting::kMode, setting::kModeDefault));
  s.fontFace = settings.readText(setting::kFont, uiTexts.row(UiRow::DefaultFont));
  s.left = clampSliderValue(textToInt(settings.readText(setting::kLeft, setting::kLeftDefault)));
  s.top = clampSliderValue(textToInt(settings.readText(setting::kTop, setting::kTopDefault)));
  if (s.top == 93) s.top = clampSliderValue(int64_t{screenHeight} - 110);
  s.width =
      clampSliderValue(textToInt(settings.readText(setting::kWidth, setting::kWidthDefault)));
  s.sizeValue =
      clampSliderValue(textToInt(settings.readText(setting::kSize, setting::kSizeDefault)) / 2);
  return s;
}

std::string_view checkText(bool checked) { return checked ? "1" : "0"; }

bool delayBoxTakesChar(unsigned int ch) {
  return ch < 0x20 || ch == 0x7F || (ch >= '0' && ch <= '9') || ch == '-';
}

}  // namespace quorvane
