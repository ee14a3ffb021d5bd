#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/links.h"
#include "platform/window_handles_win.h"
#include "platform/window_win.h"

namespace quorvane {

enum class Slider { Size, Width, Left, Top };

// What the main window asks of the system besides its own controls; tests put fakes here.
struct MainWindowServices {
  std::function<uint16_t()> systemLangId;
  // A message box without owner, task-modal, OK only.
  std::function<void(const std::string& text, const std::string& title)> showMessage;
  ShellOpen shellOpen;

  static MainWindowServices system();
};

// The program's only normal window: every settings control, the start, help and trim buttons
// and the three link labels.
class MainWindow : public WindowBase<MainWindow> {
 public:
  // The 50 ms timer of the subtitle scheduler, on this window.
  static constexpr UINT_PTR kSchedulerTimerId = 1;

  explicit MainWindow(AppState& app, MainWindowServices services = MainWindowServices::system())
      : app_(app), services_(std::move(services)) {}

  // Creates the window and its controls (which runs the creation handler) and shows it.
  bool create(HINSTANCE instance, int showCommand = SW_SHOWNORMAL);

  // A slider's value: as last set by the user or by code. Code may set any value within
  // 0..32767; the thumb shows it limited to the slider's range.
  int32_t sliderValue(Slider slider) const { return sliderValues_[index(slider)]; }
  void setSliderValue(Slider slider, int32_t value);

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  enum Link { UpdateLink, ToolLink, ForumLink, LinkCount };

  static size_t index(Slider slider) { return static_cast<size_t>(slider); }
  HWND control(int id) const { return GetDlgItem(hwnd(), id); }
  std::string controlText(int id) const;
  void setControlText(int id, const std::string& text);

  LRESULT onCreate();
  void onDestroy();
  void onCommand(int id, int code);
  void onHScroll(HWND slider);
  LRESULT onCtlColorStatic(HDC dc);
  void onDrawLink(const DRAWITEMSTRUCT& item);
  bool onSetCursor(HWND target);
  void onLButtonDown();
  void onActivate(bool active);

  void createControls();
  void chooseControlFonts();
  void fillFromSettings();
  void putCaptions();
  void attachTips();

  void onHelpClicked();
  void onLinkClicked(Link link);
  void onTrimClicked();
  void onFontNameChanged();
  void onDelayChanged();
  void onCentreClicked();
  void onShadowClicked();

  void applyFontBoxFace(const std::string& face);
  void saveLastDirectory();
  static LRESULT CALLBACK groupBoxProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK delayBoxProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  void showMessage(UiRow text) const;

  AppState& app_;
  MainWindowServices services_;
  std::array<int32_t, 4> sliderValues_{};
  std::array<bool, LinkCount> linkSpent_{};
  bool filling_ = false;  // controls are being filled at start: their handlers stay quiet
  FontHandle controlFont_;
  FontHandle linkFont_;       // underlined, while a link can be clicked
  FontHandle spentLinkFont_;  // plain, once it was clicked
  FontHandle fontBoxFont_;    // the face the font-name box names
  OwnedWindow tooltip_;       // one balloon tooltip serves both edit boxes
  HWND focusedControl_ = nullptr;
};

}  // namespace quorvane
