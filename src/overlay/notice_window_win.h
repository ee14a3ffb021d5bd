#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/window_handles_win.h"
#include "platform/window_win.h"

namespace quorvane {

inline constexpr char kNoticeClassName[] = "QuorvaneNotice";

// A short notice over the film, beside the subtitle line rather than in it: the delay or rate
// a sync key has just set. Topmost, click-through, never activated (like the overlay it must
// not take the focus from a full-screen player), and gone by itself after kShowMs.
class NoticeWindow final : public WindowBase<NoticeWindow> {
 public:
  static constexpr UINT kShowMs = 1500;

  // Null when the window cannot be made.
  static std::unique_ptr<NoticeWindow> create(HINSTANCE instance);
  ~NoticeWindow();

  // Shows `ansiText` (the system code page) with the middle of its bottom edge at `anchor`
  // (screen pixels), or below it where there is no room above; a notice already shown is
  // replaced.
  void show(const std::string& ansiText, POINT anchor);
  std::string text() const { return text_; }

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  NoticeWindow() = default;
  void paint(HDC dc);

  std::string text_;
  FontHandle font_;
};

}  // namespace quorvane
