#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/status_view.h"
#include "common/ui_language.h"
#include "platform/window_handles_win.h"
#include "platform/window_win.h"

namespace quorvane {

inline constexpr wchar_t kStatusWindowClassName[] = L"QuorvaneStatus";

// The run's facts as the Status window shows them: the run's control's, with the overlay's
// place on the screen.
StatusFacts gatherStatus(const AppState& app);

// The window menu's "Status": a small window, above the film, that shows which clock the run
// follows and whether it answers, where it is, the delay and rate, the lines around the
// position, the overlay's place and whether F8 hid it, read anew a few times a second while it
// is shown. Closing it only hides it.
class StatusWindow final : public WindowBase<StatusWindow, true> {
 public:
  static constexpr UINT kRefreshMs = 250;

  // Null when the window cannot be made. Hidden until show().
  static std::unique_ptr<StatusWindow> create(HINSTANCE instance, HWND owner, UiLanguage language,
                                              std::function<StatusFacts()> facts);
  ~StatusWindow();

  // Shown beside its owner, in front, read at once.
  void show();

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  StatusWindow() = default;
  int scaled(int length) const { return MulDiv(length, static_cast<int>(dpi_), 96); }
  void makeRows();
  void refresh();

  UiLanguage language_ = UiLanguage::English;
  std::function<StatusFacts()> facts_;
  UINT dpi_ = 96;
  FontHandle font_;
  std::vector<HWND> labels_, values_;  // children: they go with the window
  std::vector<StatusRow> shown_;
};

}  // namespace quorvane
