#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/transport_bar_model.h"
#include "common/ui_language.h"
#include "platform/dpi_win.h"
#include "platform/window_handles_win.h"
#include "platform/window_win.h"

namespace quorvane {

inline constexpr char kTransportBarClassName[] = "QuorvaneTransportBar";

// What its clicks do; each runs on the bar's thread, the main window's.
struct TransportBarActions {
  std::function<void()> togglePlay;
  std::function<void(int32_t deltaMs)> seekBy;
  std::function<void(bool next)> toLine;
  std::function<void(int64_t fileMs)> seekTo;
  std::function<void()> toggleEarlyStart;
  std::function<void(const BarPlace& place)> placed;  // dropped after a drag
};

// The free clock's transport bar: a small topmost window that takes clicks but never the
// focus (it cannot be activated, and its buttons are drawn, not controls that would take the
// focus on a click), so the film in front keeps the keyboard. It can be dragged by any point
// that is not a button or the slider, and fades to a thin strip 3 s after the mouse leaves it.
class TransportBar final : public WindowBase<TransportBar> {
 public:
  // Layout at 96 DPI; the bar scales to its monitor's.
  static constexpr int kWidth = 878;
  static constexpr int kHeight = 40;
  static constexpr int kStripHeight = 6;
  static constexpr UINT kFadeAfterMs = 3000;
  static constexpr UINT kRefreshMs = 100;

  // The parts that take clicks, left to right.
  enum Part { PreviousLine, Back10, Back1, PlayPause, Forward1, Forward10, NextLine, Slider, EarlyStart, PartCount, None = PartCount };

  // Null when the window cannot be made. Shown at once, without activation.
  static std::unique_ptr<TransportBar> create(HINSTANCE instance, UiLanguage language,
                                              std::function<TransportBarState()> state, TransportBarActions actions,
                                              const std::optional<BarPlace>& place);
  ~TransportBar();

  void show();
  void hide();
  bool faded() const { return faded_; }
  // A part's box in client pixels, for the end-to-end tests' clicks.
  RECT partBox(Part part) const;
  // The boxes of the clock's text and of the delay's, in client pixels, and the font the texts
  // are drawn in.
  RECT clockBox() const;
  RECT delayBox() const;
  HFONT font() const { return font_.get(); }

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  TransportBar() = default;
  int scaled(int length) const { return MulDiv(length, static_cast<int>(dpi_), 96); }
  Part partAt(POINT client) const;
  void makeFont();
  void onDpiChanged(UINT dpi, const RECT& suggested);
  void paint(HDC dc);
  void click(Part part, POINT client);
  void seekToSlider(int x);
  void setFaded(bool faded);
  void trackLeave();
  void refresh();
  void addTips();
  std::string caption(Part part) const;

  UiLanguage language_ = UiLanguage::English;
  std::function<TransportBarState()> state_;
  TransportBarActions actions_;
  UINT dpi_ = 96;
  FontHandle font_;
  OwnedWindow tips_;
  TransportBarState shown_;      // what the last paint showed
  bool faded_ = false;
  bool tracking_ = false;        // a WM_MOUSELEAVE is asked for
  enum class Drag { None, Window, Slider } drag_ = Drag::None;
  POINT grab_{};                 // where the window drag took hold, in client pixels
};

}  // namespace quorvane
