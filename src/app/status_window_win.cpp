#include "app/status_window_win.h"

#include <algorithm>

#include "overlay/overlay_window_win.h"
#include "platform/dpi_win.h"
#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

// Layout at 96 DPI: a column of labels, a column of values, one row per fact.
constexpr int kMargin = 10;
constexpr int kLabelWidth = 120;
constexpr int kValueWidth = 440;
constexpr int kRowHeight = 20;
constexpr UINT_PTR kRefreshTimerId = 1;

// Where the overlay is on the screen, and on which monitor.
std::optional<StatusFacts::OverlayPlace> overlayPlace(const Overlay* overlay) {
  const auto* window = dynamic_cast<const OverlayWindow*>(overlay);
  if (!window || !window->hwnd()) return std::nullopt;
  RECT r{};
  GetWindowRect(window->hwnd(), &r);
  StatusFacts::OverlayPlace place{{r.left, r.top, r.right, r.bottom}, {}};
  // An overlay without text may have no height: its corner says where it is.
  const RECT probe{r.left, r.top, std::max(r.right, r.left + 1), std::max(r.bottom, r.top + 1)};
  if (const HMONITOR monitor = MonitorFromRect(&probe, MONITOR_DEFAULTTONULL)) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) place.monitor = utf8FromWide(info.szDevice);
  }
  return place;
}

}  // namespace

StatusFacts gatherStatus(const AppState& app) {
  StatusFacts facts = app.control.status([](std::string_view text, unsigned codePage) {
    return utf8FromWide(wideFromCodePage(text, codePage != 0 ? codePage : CP_ACP));
  });
  if (app.run.running()) facts.overlay = overlayPlace(app.run.overlay());
  return facts;
}

std::unique_ptr<StatusWindow> StatusWindow::create(HINSTANCE instance, HWND owner, UiLanguage language,
                                                   std::function<StatusFacts()> facts) {
  if (!registerClass(instance, kStatusWindowClassName, GetSysColorBrush(COLOR_BTNFACE))) return nullptr;

  std::unique_ptr<StatusWindow> window(new StatusWindow);
  window->language_ = language;
  window->facts_ = std::move(facts);
  const std::wstring title = wideFromUtf8(statusTitle(language));
  // Topmost and without a taskbar button: it stays over a film played full screen.
  if (!CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kStatusWindowClassName, title.c_str(),
                       WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, owner, nullptr, instance, window.get())) {
    return nullptr;
  }
  window->dpi_ = dpiOfWindow(window->hwnd());
  window->makeRows();
  return window;
}

StatusWindow::~StatusWindow() {
  destroyWindow();
}

void StatusWindow::makeRows() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW face{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) face = metrics.lfMessageFont;
  face.lfHeight = -scaled(12);
  face.lfCharSet = DEFAULT_CHARSET;
  font_ = FontHandle(CreateFontIndirectW(&face));
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd(), GWLP_HINSTANCE));
  const auto child = [&](int x, int y, int width, DWORD style) {
    const HWND control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | style, scaled(x),
                                         scaled(y), scaled(width), scaled(kRowHeight), hwnd(), nullptr, instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
  };
  const size_t count = statusRows({}, language_).size();
  for (size_t i = 0; i < count; ++i) {
    const int y = kMargin + static_cast<int>(i) * kRowHeight;
    labels_.push_back(child(kMargin, y, kLabelWidth, SS_LEFT));
    values_.push_back(child(kMargin + kLabelWidth, y, kValueWidth, SS_LEFT | SS_ENDELLIPSIS));
  }
  RECT frame{0, 0, scaled(2 * kMargin + kLabelWidth + kValueWidth), scaled(2 * kMargin + static_cast<int>(count) * kRowHeight)};
  AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOOLWINDOW);
  SetWindowPos(hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void StatusWindow::show() {
  // Beside the owner, on its monitor's work area.
  RECT owner{}, own{};
  GetWindowRect(GetWindow(hwnd(), GW_OWNER), &owner);
  GetWindowRect(hwnd(), &own);
  const int width = own.right - own.left, height = own.bottom - own.top;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromRect(&owner, MONITOR_DEFAULTTONEAREST), &info);
  const RECT& work = info.rcWork;
  int x = owner.right + scaled(8);
  if (x + width > work.right) x = owner.left - scaled(8) - width;
  x = std::clamp<int>(x, work.left, std::max<int>(work.left, work.right - width));
  const int y = std::clamp<int>(owner.top, work.top, std::max<int>(work.top, work.bottom - height));
  SetWindowPos(hwnd(), HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  shown_.clear();
  refresh();
  SetTimer(hwnd(), kRefreshTimerId, kRefreshMs, nullptr);
}

// Sets only the texts that changed, so that the window does not flicker.
void StatusWindow::refresh() {
  if (!facts_) return;
  const std::vector<StatusRow> rows = statusRows(facts_(), language_);
  for (size_t i = 0; i < rows.size() && i < values_.size(); ++i) {
    if (i < shown_.size() && shown_[i] == rows[i]) continue;
    SetWindowTextW(labels_[i], wideFromUtf8(rows[i].label).c_str());
    SetWindowTextW(values_[i], wideFromUtf8(rows[i].value).c_str());
  }
  shown_ = rows;
}

LRESULT StatusWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kRefreshTimerId) refresh();
      return 0;
    case WM_CLOSE:
      KillTimer(hwnd(), kRefreshTimerId);
      ShowWindow(hwnd(), SW_HIDE);
      return 0;
    default:
      return defaultProc(message, wParam, lParam);
  }
}

}  // namespace quorvane
