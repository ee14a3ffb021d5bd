#include "overlay/notice_window_win.h"

#include "platform/dpi_win.h"

namespace quorvane {
namespace {

constexpr UINT_PTR kHideTimerId = 1;
constexpr int kPadding = 8;      // around the text, at 96 DPI
constexpr int kTextHeight = 20;  // character height, at 96 DPI
constexpr BYTE kOpacity = 215;
constexpr COLORREF kBackground = RGB(24, 24, 24);
constexpr COLORREF kForeground = RGB(255, 230, 120);

}  // namespace

std::unique_ptr<NoticeWindow> NoticeWindow::create(HINSTANCE instance) {
  if (!registerClass(instance, kNoticeClassName)) return nullptr;
  std::unique_ptr<NoticeWindow> notice(new NoticeWindow);
  const DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT | WS_EX_LAYERED;
  if (!CreateWindowExA(exStyle, kNoticeClassName, "", WS_POPUP | WS_DISABLED, 0, 0, 10, 10, nullptr, nullptr,
                       instance, notice.get())) {
    return nullptr;
  }
  SetLayeredWindowAttributes(notice->hwnd(), 0, kOpacity, LWA_ALPHA);
  return notice;
}

NoticeWindow::~NoticeWindow() {
  destroyWindow();
}

void NoticeWindow::show(const std::string& ansiText, POINT anchor) {
  text_ = ansiText;
  SetWindowTextA(hwnd(), text_.c_str());
  const UINT dpi = dpiOfWindow(hwnd());
  LOGFONTA face{};
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) face = metrics.lfMessageFont;
  face.lfHeight = -scaledToDpi(kTextHeight, dpi);
  face.lfWeight = FW_BOLD;
  face.lfCharSet = DEFAULT_CHARSET;
  font_ = FontHandle(CreateFontIndirectA(&face));

  SIZE extent{scaledToDpi(200, dpi), scaledToDpi(kTextHeight, dpi)};
  if (const HDC dc = GetDC(hwnd())) {
    const HGDIOBJ old = SelectObject(dc, font_.get());
    GetTextExtentPoint32A(dc, text_.c_str(), static_cast<int>(text_.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(hwnd(), dc);
  }
  const int pad = scaledToDpi(kPadding, dpi);
  const int width = extent.cx + 2 * pad, height = extent.cy + 2 * pad;
  const int top = anchor.y - height >= 0 ? anchor.y - height : anchor.y;
  SetWindowPos(hwnd(), HWND_TOPMOST, anchor.x - width / 2, top, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(hwnd(), nullptr, TRUE);
  SetTimer(hwnd(), kHideTimerId, kShowMs, nullptr);
}

LRESULT NoticeWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_TIMER:
      if (wParam == kHideTimerId) {
        KillTimer(hwnd(), kHideTimerId);
        ShowWindow(hwnd(), SW_HIDE);
      }
      return 0;
    case WM_ERASEBKGND:
      return TRUE;
    case WM_PAINT:
      return paintMessage([this](HDC dc) { paint(dc); });
    case WM_PRINTCLIENT:
      paint(reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      return defaultProc(message, wParam, lParam);
  }
}

void NoticeWindow::paint(HDC dc) {
  RECT box;
  GetClientRect(hwnd(), &box);
  const BrushHandle background(CreateSolidBrush(kBackground));
  FillRect(dc, &box, background.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kForeground);
  const HGDIOBJ old = SelectObject(dc, font_.get());
  DrawTextA(dc, text_.c_str(), static_cast<int>(text_.size()), &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
}

}  // namespace quorvane
