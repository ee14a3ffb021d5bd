#pragma once

#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "app/control_ids.h"
#include "app/main_window_model.h"
#include "app/ui_text_table.h"
#include "platform/dpi_win.h"
#include "platform/window_handles_win.h"

namespace quorvane {

// The main window's controls as data: their places at 96 DPI, styles and the fonts their
// captions get.

enum class Slider { Size, Width, Left, Top };

// One control of the main window, in creation order (which is also the tab order).
struct ControlLayout {
  int id;
  const char* className;
  DWORD style;
  DWORD exStyle;
  int x, y, width, height;
  const char* text;  // the design text; captions come from the UI text table
};

// The player group box sits at 8,16; the four controls inside it are placed relative to it.
inline constexpr int kGroupX = 8;
inline constexpr int kGroupY = 16;

// One line each, centred in its row so that a caption in a smaller font stays level with its
// neighbours.
inline constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE;
inline constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
inline constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
inline constexpr DWORD kCheck = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
inline constexpr DWORD kSlider = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_BOTH | TBS_NOTICKS;
// Links draw themselves (onDrawLink): one line, blue, underlined until clicked.
inline constexpr DWORD kLink = WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_OWNERDRAW;

inline const ControlLayout kControls[] = {
    {kIdPlayerGroup, WC_BUTTONA, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 8, 16, 176, 112, ""},
    {kIdModeLabel, WC_STATICA, kLabel, 0, kGroupX + 6, kGroupY + 18, 152, 16, ""},
    {kIdProcessLabel, WC_STATICA, kLabel, 0, kGroupX + 6, kGroupY + 44, 40, 16, ""},
    {kIdProcessBox, WC_EDITA, kEdit, WS_EX_CLIENTEDGE, kGroupX + 52, kGroupY + 40, 108, 24, ""},
    {kIdTrimButton, WC_BUTTONA, kButton, 0, kGroupX + 108, kGroupY + 76, 58, 28, ""},
    {kIdStartButton, WC_BUTTONA, kButton, 0, 208, 52, 104, 40, ""},
    {kIdHelpButton, WC_BUTTONA, kButton, 0, 336, 52, 56, 40, ""},
    {kIdFontLabel, WC_STATICA, kLabel, 0, 6, 146, 40, 16, ""},
    {kIdFontBox, WC_EDITA, kEdit | ES_CENTER, WS_EX_CLIENTEDGE, 50, 142, 56, 24, ""},
    {kIdDelayLabel, WC_STATICA, kLabel, 0, 123, 146, 40, 16, ""},
    {kIdDelayBox, WC_EDITA, kEdit | ES_CENTER, WS_EX_CLIENTEDGE, 167, 142, 56, 24, "0"},
    {kIdCentreCheck, WC_BUTTONA, kCheck, 0, 241, 146, 70, 16, ""},
    {kIdShadowCheck, WC_BUTTONA, kCheck, 0, 325, 146, 68, 16, ""},
    {kIdSizeLabel, WC_STATICA, kLabel, 0, 60, 176, 92, 16, ""},
    {kIdWidthLabel, WC_STATICA, kLabel, 0, 248, 176, 120, 16, ""},
    {kIdSizeSlider, TRACKBAR_CLASSA, kSlider, 0, 0, 200, 200, 24, ""},
    {kIdWidthSlider, TRACKBAR_CLASSA, kSlider, 0, 200, 200, 200, 24, ""},
    {kIdLeftLabel, WC_STATICA, kLabel, 0, 62, 232, 106, 16, ""},
    {kIdTopLabel, WC_STATICA, kLabel, 0, 248, 232, 128, 16, ""},
    {kIdLeftSlider, TRACKBAR_CLASSA, kSlider, 0, 0, 252, 200, 24, ""},
    {kIdTopSlider, TRACKBAR_CLASSA, kSlider, 0, 200, 252, 200, 24, ""},
    {kIdToolLink, WC_STATICA, kLink, 0, 0, 288, 122, 16, ""},
    {kIdForumLink, WC_STATICA, kLink, 0, 131, 288, 116, 16, ""},
    {kIdUpdateLink, WC_STATICA, kLink, 0, 256, 288, 134, 16, ""},
};

struct SliderSetup {
  int id;
  SliderRange range;
};
inline constexpr SliderSetup kSliders[] = {
    {kIdSizeSlider, kSizeSliderRange},
    {kIdWidthSlider, kWidthSliderRange},
    {kIdLeftSlider, kLeftSliderRange},
    {kIdTopSlider, kTopSliderRange},
};

// What the controls' own decoration takes of their width: a push button's frame and focus
// rectangle on each side, a check box's box and the gap after it, and the group box's caption
// inset on the left with as much frame kept visible on the right.
inline constexpr int kButtonTextMargin = 5;
inline constexpr int kCheckTextGap = 4;
inline constexpr int kGroupCaptionInset = 8;

// The width a control's caption may take at `dpi`; 0 for a control without a caption.
int captionRoom(const ControlLayout& c, UINT dpi);
// The layout of the control `id`; null for none of the table's.
const ControlLayout* layoutOf(int id);

// Creates every control of the table on `parent` at `dpi`, with the sliders' ranges and steps,
// the delay box's limit and filter, and the group box's own painting.
void createControls(HWND parent, UINT dpi);
// Puts every control at its place for `dpi`.
void placeControls(HWND parent, UINT dpi);

// The controls' face in the pixel heights that their captions need: each height is made once,
// shared by every control that shows it, and deleted with the window object, which outlives its
// controls.
class CaptionFonts {
 public:
  // The layout's 16-pixel rows were made for this character height; smaller ones only where a
  // caption would not fit, down to the smallest that stays legible. At 96 DPI; the heights
  // scale with the window's DPI.
  static constexpr int kNormalHeight = 12;
  static constexpr int kSmallestHeight = 8;

  // The face, and the DPI that its heights are for; the fonts made before are let go.
  void setFace(const LOGFONTA& face, UINT dpi = kDesignDpi);
  int normalHeight() const { return scaledToDpi(kNormalHeight, dpi_); }
  int smallestHeight() const { return scaledToDpi(kSmallestHeight, dpi_); }
  // The face at a character height (pixels), plain or underlined; null when it cannot be made.
  HFONT font(int height, bool underlined = false);
  // The largest height from normalHeight() down to smallestHeight() at which `text`, trailing
  // blanks aside, is at most `room` pixels wide on `dc`; smallestHeight() when none is.
  int fittingHeight(HDC dc, std::string_view text, int room);

 private:
  LOGFONTA face_{};
  UINT dpi_ = kDesignDpi;
  std::map<std::pair<int, bool>, FontHandle> fonts_;
};

// The controls get the system's message face at the normal height, for `dpi`.
void setCaptionFace(HWND parent, UINT dpi, CaptionFonts& fonts);
// A caption that does not fit its control at the normal size gets the largest smaller height
// that does; the control keeps its place and size. A link's font only gives the height it is
// drawn at.
void fitCaptionFont(HWND control, int id, UINT dpi, CaptionFonts& fonts);
// One balloon tooltip for both edit boxes; null when it cannot be made.
OwnedWindow attachTips(HWND parent, const UiTextTable& texts);
// A link label: one line in `align`, blue and underlined until spent, grey after.
void drawLink(const DRAWITEMSTRUCT& item, const std::string& text, UINT align, bool spent, CaptionFonts& fonts);

}  // namespace quorvane
