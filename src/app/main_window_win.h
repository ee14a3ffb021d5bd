#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/app_state.h"
#include "app/main_window_controls_win.h"
#include "app/main_window_menu_win.h"
#include "app/run_control.h"
#include "players/player_interfaces.h"
#include "app/links.h"
#include "app/learn_wizard_win.h"
#include "app/status_window_win.h"
#include "app/transport_bar_win.h"
#include "input/hotkey_poller.h"
#include "input/hotkey_poll_thread_win.h"
#include "overlay/notice_window_win.h"
#include "overlay/overlay_window_win.h"
#include "platform/moment_timer_win.h"
#include "platform/dpi_win.h"
#include "platform/message_target_win.h"
#include "platform/window_handles_win.h"
#include "platform/window_win.h"

namespace quorvane {

// What the main window asks of the system besides its own controls; tests put fakes here.
struct MainWindowServices {
  std::function<uint16_t()> systemLangId;
  // A message box without owner, task-modal, OK only.
  std::function<void(const std::string& text, const std::string& title)> showMessage;
  // A warning in UTF-8 over `owner`, OK only.
  std::function<void(HWND owner, std::string_view text)> showWarning;
  ShellOpen shellOpen;
  // The file-open dialog: the full path of the picked file, or nothing when cancelled.
  std::function<std::optional<std::string>(HWND owner, const std::string& initialFolder,
                                           const std::string& filter)>
      pickFile;
  // The file dialogs of a learnt player's export (save) and import (open), in UTF-8.
  std::function<std::optional<std::string>(HWND owner, const std::string& filter, const std::string& suggestedName,
                                           bool save)>
      pickProfileFile;
  // A question in UTF-8 over `owner`: whether the user answered Yes.
  std::function<bool(HWND owner, std::string_view text)> askYesNo;
  // The subtitle overlay of a new run; null when it cannot be created.
  std::function<std::unique_ptr<Overlay>(const OverlaySetup& setup)> createOverlay;
  KeyState* keys = nullptr;  // the keyboard the hotkeys poll

  static MainWindowServices system();
};

// The program's only normal window: every settings control, the start, help and trim buttons
// and the three link labels.
class MainWindow : public WindowBase<MainWindow>, private RunTimers, private RunView {
 public:
  // The timer of the subtitle scheduler, on this window, at the run's tick interval: its ticks
  // also come while a message box or the file dialog runs its own message loop.
  static constexpr UINT_PTR kSchedulerTimerId = 1;
  // A hotkey's firing, handed to this window's thread: wParam is the hotkey's id.
  static constexpr UINT kHotkeyMessage = WM_APP + 1;
  // Precise timing's moment timer fired (on its own thread): wParam is its arming's token.
  static constexpr UINT kPreciseMomentMessage = WM_APP + 2;

  explicit MainWindow(AppState& app, MainWindowServices services = MainWindowServices::system());
  ~MainWindow() override;

  // Creates the window and its controls (which runs the creation handler) and shows it.
  bool create(HINSTANCE instance, int showCommand = SW_SHOWNORMAL);

  // A slider's value: as last set by the user or by code. Code may set any value within
  // 0..32767; the thumb shows it limited to the slider's range.
  int32_t sliderValue(Slider slider) const { return sliderValues_[index(slider)]; }
  void setSliderValue(Slider slider, int32_t value);

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  enum Link { UpdateLink, ToolLink, ForumLink, LinkCount };
  // The hotkeys' modifier mask (HotkeyPoller::registerHotkey).
  static constexpr int32_t kAltDown = 1;
  static constexpr int32_t kCtrlDown = 2;
  static constexpr int32_t kShiftDown = 4;

  static size_t index(Slider slider) { return static_cast<size_t>(slider); }
  HWND control(int id) const { return GetDlgItem(hwnd(), id); }
  std::string controlText(int id) const;
  // Also fits the font of a captioned control to its new text.
  void setControlText(int id, const std::string& text);
  void fitCaption(int id);

  LRESULT onCreate();
  void onDestroy();
  void onCommand(int id, int code);
  void onHScroll(HWND slider);
  void onTimer(UINT_PTR id);
  bool onSysCommand(WPARAM command);
  LRESULT onCtlColorStatic(HDC dc);
  void onDrawLink(const DRAWITEMSTRUCT& item);
  bool onSetCursor(HWND target);
  void onLButtonDown();
  void onActivate(bool active);

  int scaled(int length) const { return scaledToDpi(length, dpi_); }
  void onDpiChanged(UINT dpi, const RECT& suggested);
  void fillFromSettings();
  void putCaptions();

  void onStartClicked();
  void selectAndStart();
  // "Add a second subtitle file...": picked in the file dialog and shown with the running run's.
  void addSecondFile();
  // Shows the file at `path` with the run's; a file without lines is refused with a message.
  bool showSecond(const std::string& path);
  OverlaySetup overlaySetup(unsigned codePage) const;
  RunInputs runInputs() const;
  void recomputeMetrics();
  void onSliderChanged(Slider slider);
  void registerHotkeys();
  void nudgeSlider(Slider slider, int32_t step);

  // The sync keys and the free clock's keys, and the system menu's items.
  void registerSyncKeys();
  bool onMenuCommand(WPARAM id);

  // What the run's control shows through this window.
  void showDelay(int32_t delayMs) override;
  void showNotice(const std::string& text) override;
  void showFollowed(std::string_view playerName) override;
  void showTransportBar(bool shown) override;
  // The window menu's Status window, made at its first use.
  void showStatus();
  // The window menu's "Learn a player...", made at its first use.
  void showLearnWizard();
  void sayNoPlayer() override;
  void sayUtf8(std::string_view text) override;
  bool closed() const override { return hwnd() == nullptr; }

  // The run's timers: the tick timer and the settling pump on this window, the moments from
  // a helper thread posted to it.
  bool startTicks() override;
  void stopTicks() override;
  void armMoment(int64_t untilUs, uint32_t token) override;
  void disarmMoment() override;
  void settle(uint32_t ms) override;
  void exportLearntPlayer();
  void importLearntPlayer();
  void setEnhancement(Enhancement which, bool on);

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

  void showMessage(UiRow text) const;

  // How long the run's timer messages already queued may still come before its overlay goes:
  // when Select and Start replaces a run, and as the window closes.
  static constexpr uint32_t kSettleBetweenRunsMs = 100;
  static constexpr uint32_t kSettleAtCloseMs = 200;

  AppState& app_;
  MainWindowServices services_;
  std::array<int32_t, 4> sliderValues_{};
  std::array<bool, LinkCount> linkSpent_{};
  bool filling_ = false;  // controls are being filled at start: their handlers stay quiet
  bool showingDelay_ = false;  // the delay box shows the run's delay: no edit of the user's
  UINT dpi_ = kDesignDpi;  // of the monitor the window is on; the layout is scaled to it
  CaptionFonts captionFonts_;  // links are drawn underlined while they can be clicked
  FontHandle fontBoxFont_;     // the face the font-name box names
  OwnedWindow tooltip_;        // one balloon tooltip serves both edit boxes
  HWND focusedControl_ = nullptr;
  bool pressing_ = false;          // a Select and Start press is under way
  std::string runFile_;            // the running run's subtitle file
  std::unique_ptr<MomentTimer> momentTimer_;  // precise timing's, made at its first use
  // Where the hotkey thread posts its firings: set before that thread starts, cleared before
  // it is stopped as the window goes.
  MessageTarget hotkeyTarget_;
  HotkeyPoller hotkeys_;
  std::unique_ptr<HotkeyPollThread> hotkeyPolls_;
  std::unique_ptr<NoticeWindow> notice_;  // made at the first sync key
  std::unique_ptr<TransportBar> bar_;     // made at the first free-clock run, shown only with one
  std::unique_ptr<StatusWindow> status_;
  std::unique_ptr<LearnWizard> learn_;
};

}  // namespace quorvane
