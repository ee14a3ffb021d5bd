#include "app/picture_frame_win.h"

#include <string>

#include "platform/window_handles_win.h"

namespace quorvane {
namespace {

constexpr UINT_PTR kHideTimerId = 1;
constexpr BYTE kOpacity = 120;
constexpr int kBorder = 6;
constexpr COLORREF kFill = RGB(40, 90, 170);
constexpr COLORREF kFrame = RGB(255, 210, 40);

}  // namespace

std::unique_ptr<PictureFrame> PictureFrame::create(HINSTANCE instance) {
  if (!registerClass(instance, kPictureFrameClassName)) return nullptr;
  std::unique_ptr<PictureFrame> frame(new PictureFrame);
  const DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_LAYERED;
  if (!CreateWindowExA(exStyle, kPictureFrameClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance,
                       frame.get())) {
    return nullptr;
  }
  SetLayeredWindowAttributes(frame->hwnd(), 0, kOpacity, LWA_ALPHA);
  return frame;
}

PictureFrame::~PictureFrame() {
  destroyWindow();
}

void PictureFrame::show(const PictureArea& area) {
  area_ = area;
  SetWindowTextA(hwnd(), pictureAreaText(area).c_str());
  SetWindowPos(hwnd(), HWND_TOPMOST, area.left, area.top, area.width, area.height,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(hwnd(), nullptr, TRUE);
  SetTimer(hwnd(), kHideTimerId, kShowMs, nullptr);
}

void PictureFrame::paint(HDC dc) {
  RECT client{};
  GetClientRect(hwnd(), &client);
  const BrushHandle frame(CreateSolidBrush(kFrame));
  const BrushHandle fill(CreateSolidBrush(kFill));
  FillRect(dc, &client, frame.get());
  RECT inner = client;
  InflateRect(&inner, -kBorder, -kBorder);
  FillRect(dc, &inner, fill.get());
  const std::string text = std::to_string(area_.left) + ", " + std::to_string(area_.top) + "   " +
                           std::to_string(area_.width) + " x " + std::to_string(area_.height);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kFrame);
  const HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
}

LRESULT PictureFrame::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_TIMER:
    case WM_LBUTTONDOWN:
      if (message == WM_TIMER && wParam != kHideTimerId) break;
      KillTimer(hwnd(), kHideTimerId);
      ShowWindow(hwnd(), SW_HIDE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(hwnd(), &ps);
      paint(dc);
      EndPaint(hwnd(), &ps);
      return 0;
    }
  }
  return DefWindowProcA(hwnd(), message, wParam, lParam);
}

}  // namespace quorvane
