#include "app/transport_bar_win.h"

#include <commctrl.h>

#include <cstdio>

#include "app/sync_texts.h"
#include "platform/dpi_win.h"

namespace quorvane {
namespace {

constexpr UINT_PTR kFadeTimerId = 1;
constexpr UINT_PTR kRefreshTimerId = 2;
constexpr BYTE kFadedOpacity = 150;
constexpr COLORREF kFace = RGB(30, 30, 34);
constexpr COLORREF kButton = RGB(62, 62, 70);
constexpr COLORREF kText = RGB(235, 235, 235);
constexpr COLORREF kAccent = RGB(80, 170, 255);

// Each part's box at 96 DPI: x, width (all 28 high, 6 from the top).
struct PartLayout {
  int x, width;
};
constexpr std::array<PartLayout, TransportBar::PartCount> kParts{{
    {6, 32}, {40, 32}, {74, 32}, {108, 56}, {166, 32}, {200, 32}, {234, 32},  // buttons
    {274, 180},  // slider
    {838, 34},   // early start
}};
constexpr int kPartTop = 6, kPartHeight = 28;
constexpr int kClockLeft = 458, kClockWidth = 134;
constexpr int kDelayLeft = 594, kDelayWidth = 240;

struct MonitorList {
  std::vector<Monitor> monitors;
};

// The monitors' DPI, where the system tells it per monitor (Windows 8.1 on).
UINT monitorDpi(HMONITOR monitor) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto getDpi = [] {
    const HMODULE shcore = LoadLibraryA("shcore.dll");
    return shcore ? reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                  : nullptr;
  }();
  UINT x = 0, y = 0;
  if (getDpi && getDpi(monitor, 0, &x, &y) == S_OK && y > 0) return y;
  return systemDpi();
}

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFOEXA info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(monitor, &info)) return TRUE;
  Monitor m;
  m.name = info.szDevice;
  m.work = {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
  m.dpi = monitorDpi(monitor);
  m.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
  reinterpret_cast<MonitorList*>(list)->monitors.push_back(std::move(m));
  return TRUE;
}

std::vector<Monitor> currentMonitors() {
  MonitorList list;
  EnumDisplayMonitors(nullptr, nullptr, &addMonitor, reinterpret_cast<LPARAM>(&list));
  return list.monitors;
}

// Whether two states draw the same, the slider's thumb (or the strip's bar) being `length`
// pixels long: a thumb that has not moved by a pixel needs no paint.
bool sameView(const TransportBarState& a, const TransportBarState& b, int length) {
  const auto pixel = [length](const TransportBarState& s) {
    return static_cast<int>(sliderFraction(s.positionMs, s.spanMs) * length);
  };
  return a.positionMs / 1000 == b.positionMs / 1000 && a.spanMs == b.spanMs && a.playing == b.playing &&
         a.delayMs == b.delayMs && a.rate == b.rate && a.earlyStart == b.earlyStart && pixel(a) == pixel(b);
}

}  // namespace

std::unique_ptr<TransportBar> TransportBar::create(HINSTANCE instance, UiLanguage language,
                                                   std::function<TransportBarState()> state,
                                                   TransportBarActions actions, const std::optional<BarPlace>& place) {
  if (!registerClass(instance, kTransportBarClassName)) return nullptr;

  std::unique_ptr<TransportBar> bar(new TransportBar);
  bar->language_ = language;
  bar->state_ = std::move(state);
  bar->actions_ = std::move(actions);
  const Box box = placeBar(place, currentMonitors(), kWidth, kHeight);
  const std::string title(syncText(SyncText::BarTitle, language));
  const DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_LAYERED;
  if (!CreateWindowExA(exStyle, kTransportBarClassName, title.c_str(), WS_POPUP, box.left, box.top, box.width(),
                       box.height(), nullptr, nullptr, instance, bar.get())) {
    return nullptr;
  }
  bar->dpi_ = dpiOfWindow(bar->hwnd());
  // The box was scaled for the monitor it lands on; the window's own DPI has the last word.
  SetWindowPos(bar->hwnd(), nullptr, 0, 0, bar->scaled(kWidth), bar->scaled(kHeight),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  bar->makeFont();
  SetLayeredWindowAttributes(bar->hwnd(), 0, 255, LWA_ALPHA);
  bar->addTips();
  bar->show();
  return bar;
}

void TransportBar::makeFont() {
  LOGFONTA face{};
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) face = metrics.lfMessageFont;
  face.lfHeight = -scaled(13);
  face.lfCharSet = DEFAULT_CHARSET;
  font_ = FontHandle(CreateFontIndirectA(&face));
}

// Dragged onto a monitor of another scale: the bar takes that monitor's DPI, where Windows
// suggests, at its own size.
void TransportBar::onDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi ? dpi : kDesignDpi;
  makeFont();
  SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, scaled(kWidth), scaled(faded_ ? kStripHeight : kHeight),
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (int i = 0; i < PartCount; ++i) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd();
    tool.uId = static_cast<UINT_PTR>(i + 1);
    tool.rect = partBox(static_cast<Part>(i));
    SendMessageA(tips_.get(), TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  InvalidateRect(hwnd(), nullptr, FALSE);
}

TransportBar::~TransportBar() {
  tips_.reset();
  destroyWindow();
}

void TransportBar::show() {
  setFaded(false);
  SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  SetTimer(hwnd(), kRefreshTimerId, kRefreshMs, nullptr);
  // Until the mouse first comes, it counts as away: the bar fades in a while.
  SetTimer(hwnd(), kFadeTimerId, kFadeAfterMs, nullptr);
}

void TransportBar::hide() {
  KillTimer(hwnd(), kRefreshTimerId);
  KillTimer(hwnd(), kFadeTimerId);
  ShowWindow(hwnd(), SW_HIDE);
}

RECT TransportBar::partBox(Part part) const {
  const PartLayout& p = kParts[static_cast<size_t>(part)];
  return {scaled(p.x), scaled(kPartTop), scaled(p.x + p.width), scaled(kPartTop + kPartHeight)};
}

RECT TransportBar::clockBox() const {
  return {scaled(kClockLeft), 0, scaled(kClockLeft + kClockWidth), scaled(kHeight)};
}

RECT TransportBar::delayBox() const {
  return {scaled(kDelayLeft), 0, scaled(kDelayLeft + kDelayWidth), scaled(kHeight)};
}

TransportBar::Part TransportBar::partAt(POINT client) const {
  if (faded_) return None;
  for (int i = 0; i < PartCount; ++i) {
    const RECT box = partBox(static_cast<Part>(i));
    if (PtInRect(&box, client)) return static_cast<Part>(i);
  }
  return None;
}

std::string TransportBar::caption(Part part) const {
  switch (part) {
    case PreviousLine: return "|<";
    case Back10: return "<<";
    case Back1: return "<";
    case PlayPause: return std::string(syncText(shown_.playing ? SyncText::Pause : SyncText::Play, language_));
    case Forward1: return ">";
    case Forward10: return ">>";
    case NextLine: return ">|";
    case EarlyStart: return "-5s";
    default: return {};
  }
}

void TransportBar::addTips() {
  tips_ = OwnedWindow(CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                      reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE)), nullptr));
  if (!tips_) return;
  constexpr SyncText kTips[PartCount] = {SyncText::PreviousLine, SyncText::Back10,   SyncText::Back1,
                                         SyncText::PlayTip,      SyncText::Forward1, SyncText::Forward10,
                                         SyncText::NextLine,     SyncText::SliderTip, SyncText::EarlyStartItem};
  for (int i = 0; i < PartCount; ++i) {
    std::string text(syncText(kTips[i], language_));
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = static_cast<UINT_PTR>(i + 1);
    tool.rect = partBox(static_cast<Part>(i));
    tool.lpszText = text.data();
    SendMessageA(tips_.get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

LRESULT TransportBar::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;  // a click acts, the film keeps the focus
    case WM_LBUTTONDOWN: {
      if (faded_) {
        setFaded(false);
        return 0;
      }
      const Part part = partAt(at);
      if (part == Slider) {
        drag_ = Drag::Slider;
        SetCapture(hwnd());
        seekToSlider(at.x);
      } else if (part == None) {
        drag_ = Drag::Window;
        grab_ = at;
        SetCapture(hwnd());
      } else {
        click(part, at);
      }
      return 0;
    }
    case WM_MOUSEMOVE:
      trackLeave();
      KillTimer(hwnd(), kFadeTimerId);
      if (faded_) setFaded(false);
      if (drag_ == Drag::Slider) seekToSlider(at.x);
      if (drag_ == Drag::Window) {
        POINT screen = at;
        ClientToScreen(hwnd(), &screen);
        SetWindowPos(hwnd(), nullptr, screen.x - grab_.x, screen.y - grab_.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (drag_ == Drag::Window) {
        drag_ = Drag::None;
        RECT r;
        GetWindowRect(hwnd(), &r);
        const Landing landing = landBar({r.left, r.top, r.right, r.bottom}, currentMonitors());
        SetWindowPos(hwnd(), nullptr, landing.box.left, landing.box.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (actions_.placed) actions_.placed(landing.place);
      }
      drag_ = Drag::None;
      if (message == WM_LBUTTONUP && GetCapture() == hwnd()) ReleaseCapture();
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      if (drag_ == Drag::None) SetTimer(hwnd(), kFadeTimerId, kFadeAfterMs, nullptr);
      return 0;
    case WM_TIMER:
      if (wParam == kFadeTimerId) {
        KillTimer(hwnd(), kFadeTimerId);
        setFaded(true);
      } else if (wParam == kRefreshTimerId) {
        refresh();
      }
      return 0;
    case WM_DPICHANGED:
      onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
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

void TransportBar::trackLeave() {
  if (tracking_) return;
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd(), 0};
  tracking_ = TrackMouseEvent(&track) != FALSE;
}

void TransportBar::click(Part part, POINT) {
  switch (part) {
    case PreviousLine: if (actions_.toLine) actions_.toLine(false); break;
    case NextLine: if (actions_.toLine) actions_.toLine(true); break;
    case Back10: if (actions_.seekBy) actions_.seekBy(-10'000); break;
    case Back1: if (actions_.seekBy) actions_.seekBy(-1'000); break;
    case Forward1: if (actions_.seekBy) actions_.seekBy(+1'000); break;
    case Forward10: if (actions_.seekBy) actions_.seekBy(+10'000); break;
    case PlayPause: if (actions_.togglePlay) actions_.togglePlay(); break;
    case EarlyStart: if (actions_.toggleEarlyStart) actions_.toggleEarlyStart(); break;
    default: break;
  }
  refresh();
}

void TransportBar::seekToSlider(int x) {
  const RECT box = partBox(Slider);
  const double fraction = static_cast<double>(x - box.left) / std::max<LONG>(1, box.right - box.left);
  if (actions_.seekTo) actions_.seekTo(sliderPositionMs(fraction, state_ ? state_().spanMs : 0));
  refresh();
}

// Faded: a thin strip at the bar's top edge, half see-through, that a touch of the mouse
// brings back whole.
void TransportBar::setFaded(bool faded) {
  if (faded == faded_ && IsWindowVisible(hwnd())) return;
  faded_ = faded;
  SetWindowPos(hwnd(), nullptr, 0, 0, scaled(kWidth), scaled(faded ? kStripHeight : kHeight),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetLayeredWindowAttributes(hwnd(), 0, faded ? kFadedOpacity : 255, LWA_ALPHA);
  InvalidateRect(hwnd(), nullptr, FALSE);
}

// Repaints only when what the bar shows has changed: the clock's seconds, the slider's place,
// play or pause, the delay.
void TransportBar::refresh() {
  if (!state_) return;
  const TransportBarState now = state_();
  const RECT slider = partBox(Slider);
  if (sameView(now, shown_, faded_ ? scaled(kWidth) : slider.right - slider.left)) return;
  shown_ = now;
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void TransportBar::paint(HDC target) {
  RECT client;
  GetClientRect(hwnd(), &client);
  const MemoryDc dc(CreateCompatibleDC(target));
  const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(target, client.right, client.bottom));
  if (!dc || !bitmap) return;
  const HGDIOBJ oldBitmap = SelectObject(dc.get(), bitmap.get());
  const BrushHandle face(CreateSolidBrush(kFace)), button(CreateSolidBrush(kButton)), accent(CreateSolidBrush(kAccent));
  FillRect(dc.get(), &client, face.get());
  const double fraction = sliderFraction(shown_.positionMs, shown_.spanMs);
  if (faded_) {
    RECT done = client;
    done.right = static_cast<LONG>(client.right * fraction);
    FillRect(dc.get(), &done, accent.get());
  } else {
    const HGDIOBJ oldFont = SelectObject(dc.get(), font_.get());
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), kText);
    const auto text = [&](const std::string& s, RECT box, UINT align) {
      DrawTextA(dc.get(), s.c_str(), static_cast<int>(s.size()), &box, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    };
    for (int i = 0; i < PartCount; ++i) {
      const auto part = static_cast<Part>(i);
      if (part == Slider) continue;
      const RECT box = partBox(part);
      FillRect(dc.get(), &box, part == EarlyStart && shown_.earlyStart ? accent.get() : button.get());
      text(caption(part), box, DT_CENTER);
    }
    const RECT slider = partBox(Slider);
    const int mid = (slider.top + slider.bottom) / 2;
    RECT track{slider.left, mid - scaled(2), slider.right, mid + scaled(2)};
    FillRect(dc.get(), &track, button.get());
    track.right = slider.left + static_cast<LONG>((slider.right - slider.left) * fraction);
    FillRect(dc.get(), &track, accent.get());
    RECT thumb{track.right - scaled(4), slider.top + scaled(4), track.right + scaled(4), slider.bottom - scaled(4)};
    FillRect(dc.get(), &thumb, GetSysColorBrush(COLOR_WINDOW));
    text(clockText(shown_.positionMs) + " / " + clockText(shown_.spanMs), clockBox(), DT_CENTER);
    text(delayNotice(shown_.delayMs, shown_.rate, language_), delayBox(), DT_CENTER);
    SelectObject(dc.get(), oldFont);
  }
  BitBlt(target, 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
  SelectObject(dc.get(), oldBitmap);
}

}  // namespace quorvane
