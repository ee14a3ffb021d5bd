#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/links.h"
#include "overlay/hotkey_poller.h"
#include "overlay/hotkey_poll_thread_win.h"
#include "overlay/overlay_window_win.h"
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
  // The file-open dialog: the full path of the picked file, or nothing when cancelled.
  std::function<std::optional<std::string>(HWND owner, const std::string& initialFolder,
                                           const std::string& filter)>
      pickFile;
  // The subtitle overlay of a new run; null when it cannot be created.
  std::function<std::unique_ptr<Overlay>(const OverlaySetup& setup)> createOverlay;
  KeyState* keys = nullptr;  // the keyboard the hotkeys poll

  static MainWindowServices system();
};

// The program's only normal window: every settings control, the start, help and trim buttons
// and the three link labels.
class MainWindow : public WindowBase<MainWindow> {
 public:
  // The 50 ms timer of the subtitle scheduler, on this window: its ticks also come while a
  // message box or the file dialog runs its own message loop.
  static constexpr UINT_PTR kSchedulerTimerId = 1;
  static constexpr UINT kSchedulerIntervalMs = 50;
  // A hotkey's firing, handed to this window's thread: wParam is the hotkey's id.
  static constexpr UINT kHotkeyMessage = WM_APP + 1;

  explicit MainWindow(AppState& app, MainWindowServices services = MainWindowServices::system());

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
  void onTimer(UINT_PTR id);
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

  void onStartClicked();
  void selectAndStart();
  void endRun(DWORD settleMs);
  void onSchedulerTick();
  OverlaySetup overlaySetup(unsigned codePage) const;
  void recomputeMetrics();
  void onSliderChanged(Slider slider);
  void registerHotkeys();
  void nudgeSlider(Slider slider, int32_t step);
  void toggleSubtitles();

  void onEscape();
  void onHelpClicked();
  void onLinkClicked(Link link);
  void onUpdateLinkClicked() { onLinkClicked(UpdateLink); }
  void onToolLinkClicked() { onLinkClicked(ToolLink); }
  void onForumLinkClicked() { onLinkClicked(ForumLink); }
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
  bool pressing_ = false;          // a Select and Start press is under way
  bool schedulerTicking_ = false;  // the run's timer runs (the show/hide hotkey stops it)
  HotkeyPoller hotkeys_;
  std::unique_ptr<HotkeyPollThread> hotkeyPolls_;
};

}  // namespace quorvane
