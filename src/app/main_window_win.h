#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/app_state.h"
#include "app/player_interfaces.h"
#include "app/links.h"
#include "app/transport_bar_win.h"
#include "overlay/hotkey_poller.h"
#include "overlay/hotkey_poll_thread_win.h"
#include "overlay/notice_window_win.h"
#include "overlay/overlay_window_win.h"
#include "platform/moment_timer_win.h"
#include "platform/dpi_win.h"
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

// The program's only normal window: every settings control, the start, help and trim buttons
// and the three link labels.
class MainWindow : public WindowBase<MainWindow>, private RunTimers {
 public:
  // The 50 ms timer of the subtitle scheduler, on this window: its ticks also come while a
  // message box or the file dialog runs its own message loop.
  static constexpr UINT_PTR kSchedulerTimerId = 1;
  static constexpr UINT kSchedulerIntervalMs = 50;
  // A hotkey's firing, handed to this window's thread: wParam is the hotkey's id.
  static constexpr UINT kHotkeyMessage = WM_APP + 1;
  // Precise timing's moment timer fired (on its own thread): wParam is its arming's token.
  static constexpr UINT kPreciseMomentMessage = WM_APP + 2;
  // The system menu's enhancement items: this id, then one every 16 (the system keeps the low
  // four bits of a system command for itself).
  static constexpr UINT kFirstEnhancementCommand = 0x0200;
  static constexpr UINT kPlayerSettingsCommand = 0x0100;
  // The sync keys' check item and the "Player" submenu's two choices.
  static constexpr UINT kSyncKeysCommand = 0x0800;
  static constexpr UINT kAutomaticPlayerCommand = 0x0810;
  static constexpr UINT kFreeClockCommand = 0x0820;
  // The "Player" submenu's pinned players, one every 16, in kInterfaceOrder's order.
  static constexpr UINT kFirstPinnedPlayerCommand = 0x0830;
  static constexpr UINT kLastPinnedPlayerCommand = kFirstPinnedPlayerCommand + 16 * (kInterfaceOrder.size() - 1);

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

  void createControls();
  int scaled(int length) const { return scaledToDpi(length, dpi_); }
  void placeControls();
  void onDpiChanged(UINT dpi, const RECT& suggested);
  void chooseControlFonts();
  void fillFromSettings();
  void putCaptions();
  void attachTips();

  void onStartClicked();
  void selectAndStart();
  bool followInterfacePlayer();
  void followMemoryPlayer();
  void pinPlayer(std::optional<InterfacePlayer> player);
  void showUtf8Message(std::string_view text);
  OverlaySetup overlaySetup(unsigned codePage) const;
  RunInputs runInputs() const;
  void recomputeMetrics();
  void onSliderChanged(Slider slider);
  void registerHotkeys();
  void nudgeSlider(Slider slider, int32_t step);

  // The sync keys, the free clock's keys and the system menu items beyond the enhancements.
  void registerSyncKeys();
  void addSyncItems();
  bool onSyncCommand(WPARAM id);
  void setSyncKeys(bool on);
  void checkPlayerItem(UINT id);
  void setFreeClockChosen(bool on);
  void startFreeClock(const CueTable& table);
  void nudgeDelay(int32_t stepMs);
  void resetSync();
  void syncLineToNow();
  void setDelayBox(int32_t delayMs);
  void showNotice(const std::string& text);
  bool onFreeClock() const;
  void freeClockSeekTo(int64_t fileMs);
  void freeClockTogglePlay();
  void freeClockSeekBy(int32_t deltaMs);
  void freeClockToLine(bool next);
  void showTransportBar();
  TransportBarState transportBarState() const;

  // The run's timers: the 50 ms timer and the settling pump on this window, the moments from
  // a helper thread posted to it.
  bool startTicks() override;
  void stopTicks() override;
  void armMoment(int64_t untilUs, uint32_t token) override;
  void disarmMoment() override;
  void settle(uint32_t ms) override;
  void addEnhancementItems();
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
  static LRESULT CALLBACK groupBoxProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK delayBoxProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  void showMessage(UiRow text) const;

  AppState& app_;
  MainWindowServices services_;
  std::array<int32_t, 4> sliderValues_{};
  std::array<bool, LinkCount> linkSpent_{};
  bool filling_ = false;  // controls are being filled at start: their handlers stay quiet
  UINT dpi_ = kDesignDpi;  // of the monitor the window is on; the layout is scaled to it
  CaptionFonts captionFonts_;  // links are drawn underlined while they can be clicked
  FontHandle fontBoxFont_;     // the face the font-name box names
  OwnedWindow tooltip_;        // one balloon tooltip serves both edit boxes
  HWND focusedControl_ = nullptr;
  bool pressing_ = false;          // a Select and Start press is under way
  std::unique_ptr<MomentTimer> momentTimer_;  // precise timing's, made at its first use
  HotkeyPoller hotkeys_;
  std::unique_ptr<HotkeyPollThread> hotkeyPolls_;
  std::unique_ptr<NoticeWindow> notice_;  // made at the first sync key
  std::unique_ptr<TransportBar> bar_;     // made at the first free-clock run, shown only with one
  int64_t freeSpanMs_ = 0;                // the bar's slider: to the end of the file's last line
  bool earlyStart_ = false;               // the bar's start choice, as stored
};

}  // namespace quorvane
