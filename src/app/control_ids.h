#pragma once

// The window class and the control ids of the main window. End-to-end tests find the
// controls by these (GetDlgItem on the window of this class); keep them stable.
#define QUORVANE_MAIN_WINDOW_CLASS "QuorvaneMainWindow"

namespace quorvane {

enum ControlId : int {
  kIdPlayerGroup = 1001,  // group box
  kIdModeLabel = 1002,
  kIdProcessLabel = 1003,
  kIdProcessBox = 1004,   // edit
  kIdTrimButton = 1005,
  kIdStartButton = 1006,
  kIdHelpButton = 1007,
  kIdFontLabel = 1008,
  kIdFontBox = 1009,      // edit
  kIdDelayLabel = 1010,
  kIdDelayBox = 1011,     // edit
  kIdCentreCheck = 1012,
  kIdShadowCheck = 1013,
  kIdSizeLabel = 1014,
  kIdWidthLabel = 1015,
  kIdSizeSlider = 1016,   // trackbar
  kIdWidthSlider = 1017,
  kIdLeftLabel = 1018,
  kIdTopLabel = 1019,
  kIdLeftSlider = 1020,
  kIdTopSlider = 1021,
  kIdToolLink = 1022,     // static, SS_NOTIFY
  kIdForumLink = 1023,
  kIdUpdateLink = 1024,
};

}  // namespace quorvane
