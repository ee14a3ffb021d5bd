#include "overlay/overlay_window_win.h"

#include <algorithm>
#include <climits>

#include "loading/subtitle_tags.h"
#include "platform/code_pages.h"
#include "platform/dpi_win.h"

namespace quorvane {
namespace {

// In 96-DPI units, like every length the overlay is given; it draws at its monitor's DPI.
constexpr int kOverlayWidth = 2560;
constexpr int kOverlayHeight = 540;  // also the label's height
// Every pixel of this grey lets the video show through, also inside the text.
constexpr COLORREF kKeyColour = RGB(128, 128, 128);
constexpr COLORREF kTextColour = RGB(255, 255, 255);
constexpr COLORREF kShadowColour = RGB(0, 0, 0);
// Far beyond the font-size slider's largest (72), where the hotkeys may still go; larger only
// costs the font engine time for glyphs taller than the label.
constexpr int32_t kMaxFontPoints = 1000;

// Disabled and click-through: no mouse or keyboard input. Not activatable: a cue must never
// pull the focus away from a full-screen player. A tool window without owner stays out of the
// taskbar.
constexpr DWORD kOverlayStyle = WS_POPUP | WS_DISABLED;
constexpr DWORD kOverlayExStyle =
    WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE;
constexpr UINT kMoveOnly = SWP_NOZORDER | SWP_NOACTIVATE;
constexpr UINT_PTR kAnimationTimer = 1;

// The font is asked for the script of the texts' code page. The texts themselves are drawn
// as UTF-16 converted from that code page, so Big5 and GBK both show right on any system.
BYTE charSetFor(unsigned codePage) {
  switch (codePage) {
    case kCodePageGbk:
      return GB2312_CHARSET;
    case kCodePageBig5:
      return CHINESEBIG5_CHARSET;
    default:
      return DEFAULT_CHARSET;
  }
}

void fillClient(HWND hwnd, HDC dc, HBRUSH brush) {
  RECT client{};
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, brush);
}

}  // namespace

void paintSubtitleLabel(HDC dc, const RECT& labelRect, std::wstring_view text, HFONT font,
                        bool centred, bool shadow, int shadowOffset) {
  if (text.empty() || IsRectEmpty(&labelRect)) return;
  const int saved = SaveDC(dc);
  // The shadow's rectangle reaches further down than the label: nothing shows below it.
  IntersectClipRect(dc, labelRect.left, labelRect.top, labelRect.right, labelRect.bottom);
  SetBkMode(dc, TRANSPARENT);
  if (font) SelectObject(dc, font);
  const UINT format = DT_TOP | DT_NOPREFIX | DT_WORDBREAK | (centred ? DT_CENTER : DT_LEFT);
  const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
  const auto draw = [&](RECT box, COLORREF colour) {
    SetTextColor(dc, colour);
    DrawTextW(dc, text.data(), length, &box, format);
  };
  if (shadow) {
    RECT shadowRect = labelRect;
    OffsetRect(&shadowRect, shadowOffset, shadowOffset);
    draw(shadowRect, kShadowColour);
  }
  draw(labelRect, kTextColour);
  RestoreDC(dc, saved);
}

bool SubtitleLabel::registerClass(HINSTANCE instance) {
  WNDCLASSEXW label{};
  label.cbSize = sizeof label;
  label.lpfnWndProc = &SubtitleLabel::windowProc;
  label.hInstance = instance;
  label.lpszClassName = kSubtitleLabelClassName;
  return RegisterClassExW(&label) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool SubtitleLabel::create(HWND parent, HINSTANCE instance, SIZE size, HBRUSH background) {
  background_ = background;
  return CreateWindowExW(0, kSubtitleLabelClassName, L"", WS_CHILD | WS_VISIBLE | WS_DISABLED, 0,
                         0, size.cx, size.cy, parent, nullptr, instance, this) != nullptr;
}

void SubtitleLabel::setText(std::wstring_view text) {
  SetWindowTextW(hwnd(), std::wstring(text).c_str());
  repaint();
}

void SubtitleLabel::setSize(SIZE size) {
  SetWindowPos(hwnd(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | kMoveOnly);
  repaint();
}

void SubtitleLabel::setFont(FontHandle font) {
  font_ = std::move(font);
  repaint();
}

void SubtitleLabel::setCentred(bool centred) {
  centred_ = centred;
  repaint();
}

void SubtitleLabel::setShadow(bool shadow, int offset) {
  shadow_ = shadow;
  shadowOffset_ = offset;
  repaint();
}

// At once and in key grey first, so the old glyphs are gone before the next cue is drawn.
void SubtitleLabel::repaint() {
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

std::wstring SubtitleLabel::text() const {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd())) + 1, L'\0');
  const int length = GetWindowTextW(hwnd(), text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(length));
  return text;
}

void SubtitleLabel::paint(HDC dc) {
  RECT client{};
  GetClientRect(hwnd(), &client);
  paintSubtitleLabel(dc, client, text(), font_.get(), centred_, shadow_, shadowOffset_);
}

LRESULT SubtitleLabel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      // The window's own key grey: the label looks transparent, and repainting the label
      // alone still wipes the old text.
      fillClient(hwnd(), reinterpret_cast<HDC>(wParam), background_);
      return TRUE;
    case WM_PAINT:
      return paintMessage([this](HDC dc) { paint(dc); });
    case WM_PRINTCLIENT: {
      const auto dc = reinterpret_cast<HDC>(wParam);
      if (lParam & PRF_ERASEBKGND) fillClient(hwnd(), dc, background_);
      paint(dc);
      return 0;
    }
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_.get());
    default:
      return defaultProc(message, wParam, lParam);
  }
}

std::unique_ptr<OverlayWindow> OverlayWindow::create(HINSTANCE instance,
                                                     const OverlaySetup& setup) {
  WNDCLASSEXA overlayClass{};
  overlayClass.cbSize = sizeof overlayClass;
  overlayClass.lpfnWndProc = &OverlayWindow::windowProc;
  overlayClass.hInstance = instance;
  overlayClass.lpszClassName = kOverlayClassName;  // no class brush: each overlay owns its own
  const bool registered =
      RegisterClassExA(&overlayClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  if (!registered || !SubtitleLabel::registerClass(instance)) return nullptr;
  std::unique_ptr<OverlayWindow> overlay(new OverlayWindow(setup));
  overlay->keyBrush_ = BrushHandle(CreateSolidBrush(kKeyColour));
  if (!overlay->keyBrush_) return nullptr;
  // Hidden until the key is in place and the label is ready; then shown without activation.
  // Placed first at the system's DPI, then again at its own monitor's.
  overlay->dpi_ = systemDpi();
  overlay->window_ = OwnedWindow(CreateWindowExA(
      kOverlayExStyle, kOverlayClassName, "", kOverlayStyle, overlay->scaled(setup.left),
      overlay->scaled(setup.top), overlay->scaled(kOverlayWidth), overlay->scaled(kOverlayHeight),
      nullptr, nullptr, instance, overlay.get()));
  if (!overlay->window_) return nullptr;
  SetLayeredWindowAttributes(overlay->hwnd(), kKeyColour, 0, LWA_COLORKEY);
  SubtitleLabel& label = overlay->label_;
  if (!label.create(overlay->hwnd(), instance, overlay->labelSize(), overlay->keyBrush_.get())) {
    return nullptr;
  }
  label.setCentred(setup.centred);
  overlay->useDpi(dpiOfWindow(overlay->hwnd()));
  if (setup.smoothText) overlay->useSmoothText(true);
  ShowWindow(overlay->hwnd(), SW_SHOWNOACTIVATE);
  return overlay;
}

OverlayWindow::~OverlayWindow() {
  // Messages sent while the window goes must not reach an object that is half destroyed.
  if (window_) SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
  window_.reset();
}

LRESULT OverlayWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEACTIVATE:  // a click that still reaches the window does not activate it
      return MA_NOACTIVATE;
    case WM_ERASEBKGND:
      fillClient(hwnd(), reinterpret_cast<HDC>(wParam), keyBrush_.get());
      return TRUE;
    case WM_DPICHANGED:  // moved to a monitor of another DPI, or its DPI changed
      useDpi(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kAnimationTimer) drawTypeset();
      return 0;
    default:
      return defaultProc(message, wParam, lParam);
  }
}

void OverlayWindow::place() {
  if (typesetting()) return;  // each typeset frame places the window over its ink
  const int32_t y = atScreenTop_ || spansScreen_ ? screenTop() : scaled(top_);
  // Every move is a round trip to the window system (under Wine, to the X server), and each
  // cue's start sets the place again: where nothing changes, nothing is sent.
  RECT frame{};
  if (GetWindowRect(hwnd(), &frame) && frame.left == scaled(left_) && frame.top == y) return;
  SetWindowPos(hwnd(), nullptr, scaled(left_), y, 0, 0, SWP_NOSIZE | kMoveOnly);
}

int32_t OverlayWindow::screenTop() const {
  MONITORINFO monitor{sizeof monitor, {}, {}, 0};
  GetMonitorInfoA(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  return monitor.rcMonitor.top;
}

SIZE OverlayWindow::labelSize() const {
  return {scaled(labelWidth_), scaled(kOverlayHeight)};
}

PictureArea OverlayWindow::pictureArea() const {
  if (pictureArea_) {
    const PictureArea area = pictureArea_();
    if (area.width > 0 && area.height > 0) return area;
  }
  MONITORINFO monitor{sizeof monitor, {}, {}, 0};
  GetMonitorInfoA(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& r = monitor.rcMonitor;
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void OverlayWindow::sizeWindow() {
  SetWindowPos(hwnd(), nullptr, 0, 0, scaled(kOverlayWidth), scaled(kOverlayHeight), SWP_NOMOVE | kMoveOnly);
}

int OverlayWindow::fontPixels() const {
  return MulDiv(std::clamp(fontPoints_, 0, kMaxFontPoints), static_cast<int>(dpi_), 72);
}

// Every length again at `dpi`: the window's size and place, the label, the font, the shadow.
void OverlayWindow::useDpi(UINT dpi) {
  dpi_ = dpi ? dpi : kDesignDpi;
  if (!smooth_) sizeWindow();
  place();
  label_.setSize(labelSize());
  label_.setFont(makeFont());
  label_.setShadow(shadow_, scaled(kShadowOffset));
  if (smooth_) showText();
}

void OverlayWindow::setLeft(int32_t x) {
  left_ = x;
  place();
}

void OverlayWindow::setTop(int32_t y) {
  top_ = y;
  place();
  if (spansScreen_) showText();  // the bottom lines move within the image
}

// Hidden (F8), an animated script is not repainted; shown again, its frame is drawn at once.
void OverlayWindow::setVisible(bool visible) {
  ShowWindow(hwnd(), visible ? SW_SHOWNOACTIVATE : SW_HIDE);
  if (visible) {
    drawTypeset();
    return;
  }
  if (typesetWindows_) typesetWindows_->hide();
  if (animating_) {
    KillTimer(hwnd(), kAnimationTimer);
    animating_ = false;
  }
}

void OverlayWindow::setText(std::string_view ansiText) {
  cueText_ = ansiText;
  blocks_ = styles_ ? styles_->blocksOf(ansiText) : nullptr;
  showText();
}

void OverlayWindow::showText() {
  FormattedCue cue;
  if (formattingTags_) {
    cue = parseSubtitleTags(cueText_, codePage_);
  } else {
    cue.visible = cueText_;
    if (!cue.visible.empty()) cue.runs.push_back({0, cue.visible.size(), {}});
  }
  const std::u16string text = systemCodePages().toUtf16(codePage_, cue.visible);
  // The label keeps the text also while it is not drawn: WM_GETTEXT reads it in both modes.
  label_.setText({reinterpret_cast<const wchar_t*>(text.data()), text.size()});
  // A styled cue goes to the top when all of its blocks ask for it; with some at the bottom too,
  // its top blocks come first in the bottom place.
  const auto isTop = [](const CueBlock& b) { return b.top; };
  const bool anyTop = blocks_ && std::any_of(blocks_->begin(), blocks_->end(), isTop);
  const bool allTop = blocks_ && std::all_of(blocks_->begin(), blocks_->end(), isTop);
  const bool atScreenTop = smooth_ && (blocks_ ? allTop : cue.atTop());
  const bool spansScreen = smooth_ && anyTop && !allTop && scaled(top_) > screenTop();
  if (typesetting()) {
    drawTypeset();
    return;
  }
  if (atScreenTop != atScreenTop_ || spansScreen != spansScreen_) {
    atScreenTop_ = atScreenTop;
    spansScreen_ = spansScreen;
    place();
  }
  if (smooth_) drawSmooth(cue);
}

void OverlayWindow::setTypeset(const AssScript* script, const TypesetClock* clock) {
  typeset_ = script && clock ? script : nullptr;
  typesetTexts_ = typeset_ ? wideAssTexts(*typeset_, codePage_) : AssWideTexts{};
  placedCues_.reset();
  useTypesetClock(typeset_ ? clock : nullptr);
}

void OverlayWindow::setPlacedCues(const SubtitleEvents* events, const TypesetClock* clock) {
  placedCues_ = events && clock ? std::make_unique<VttCueFrames>(*events, codePage_) : nullptr;
  typeset_ = nullptr;
  typesetTexts_ = {};
  useTypesetClock(placedCues_ ? clock : nullptr);
}

void OverlayWindow::useTypesetClock(const TypesetClock* clock) {
  typesetClock_ = clock;
  // The window's image is another's now: the next frame is sent whole.
  typesetWindows_.reset();
  typesetRenderer_.reset();
  place();
  showText();
}

VttLook OverlayWindow::placedCueLook() const {
  VttLook look;
  look.face = systemCodePages().toUtf16(GetACP(), fontFace_);
  look.shadowOffset = shadow_ ? scaled(kShadowOffset) : 0;
  return look;
}

void OverlayWindow::drawTypeset() {
  if (!typesetting() || !IsWindowVisible(hwnd())) return;
  if (!typesetRenderer_) {
    typesetRenderer_ = std::make_unique<AssRenderer>();
    typesetWindows_ = std::make_unique<InkWindows>(hwnd());
  }
  const PictureArea area = pictureArea();
  const int64_t now = typesetClock_->scriptTimeMs();
  AssTextMeasure& measure = typesetRenderer_->measure();
  const std::vector<AssPlacedEvent> frame = typeset_ ? layOutAssFrame(*typeset_, typesetTexts_, area, now, measure)
                                                     : placedCues_->frame(area, now, placedCueLook(), measure);
  const bool animated = std::any_of(frame.begin(), frame.end(), [](const AssPlacedEvent& e) { return e.animated; });
  if (animated != animating_) {
    animating_ = animated;
    if (animated) {
      // One repaint per refresh of the monitor (60 Hz where it does not say).
      DEVMODEA mode{};
      mode.dmSize = sizeof mode;
      const DWORD hertz = EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1
                              ? mode.dmDisplayFrequency
                              : 60;
      SetTimer(hwnd(), kAnimationTimer, std::max<UINT>(1, 1000 / hertz), nullptr);
    } else {
      KillTimer(hwnd(), kAnimationTimer);
    }
  }
  if (!typesetRenderer_->render(frame, area.width, area.height)) return;
  typesetWindows_->show(*typesetRenderer_, {area.left, area.top});
}

void OverlayWindow::setFormattingTags(bool on) {
  formattingTags_ = on;
  showText();
}

void OverlayWindow::setSmoothText(bool on) {
  if (on == static_cast<bool>(smooth_)) return;
  useSmoothText(on);
  showText();
}

// A layered window takes either a colour key or whole images (UpdateLayeredWindow), not both:
// the layered style is taken off and put back to forget the one before.
void OverlayWindow::useSmoothText(bool on) {
  const LONG exStyle = GetWindowLongA(hwnd(), GWL_EXSTYLE);
  SetWindowLongA(hwnd(), GWL_EXSTYLE, exStyle & ~WS_EX_LAYERED);
  SetWindowLongA(hwnd(), GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
  if (on) {
    smooth_ = std::make_unique<SmoothTextRenderer>();
    ShowWindow(label_.hwnd(), SW_HIDE);  // the image is all that shows
    return;
  }
  smooth_.reset();
  typesetWindows_.reset();
  typesetRenderer_.reset();
  if (animating_) KillTimer(hwnd(), kAnimationTimer);
  animating_ = false;
  sizeWindow();
  place();
  SetLayeredWindowAttributes(hwnd(), kKeyColour, 0, LWA_COLORKEY);
  ShowWindow(label_.hwnd(), SW_SHOWNA);
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The image is as wide as the label and as high as the overlay, so its memory is bounded by
// the window's size whatever the cue.
void OverlayWindow::drawSmooth(const FormattedCue& cue) {
  SmoothTextLook look;
  look.width = scaled(std::min(labelWidth_, kOverlayWidth));
  look.height = scaled(kOverlayHeight);
  // Top lines at the screen's top, the others where the window usually stands.
  const int32_t lowerTop = spansScreen_ ? scaled(top_) - screenTop() : 0;
  look.height += lowerTop;
  const std::u16string face = systemCodePages().toUtf16(GetACP(), fontFace_);
  look.face.assign(face.begin(), face.end());
  look.pointsToPixels = static_cast<int>(dpi_);
  look.fontPixels = fontPixels();
  look.charSet = charSetFor(codePage_);
  look.centred = centred_;
  look.shadow = shadow_;
  look.shadowOffset = scaled(kShadowOffset);
  bool drawn;
  if (spansScreen_) {
    drawn = smooth_->render(styledRuns(*blocks_, styles_->table(), codePage_, fontPoints_, BlockPlace::Top), look,
                            styledRuns(*blocks_, styles_->table(), codePage_, fontPoints_, BlockPlace::Bottom),
                            lowerTop);
  } else {
    drawn = smooth_->render(
        blocks_ ? styledRuns(*blocks_, styles_->table(), codePage_, fontPoints_) : wideRuns(cue, codePage_), look);
  }
  if (!drawn) return;
  POINT source{0, 0};
  // The full height, not just the rows with text: a window resized on every cue costs more
  // under Wine than the rows it would save.
  SIZE size{smooth_->width(), smooth_->height()};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(hwnd(), nullptr, nullptr, &size, smooth_->dc(), &source, 0, &blend, ULW_ALPHA);
}

// A narrower label uncovers the window's own grey; the move repaints that part.
void OverlayWindow::setLabelWidth(int32_t pixels) {
  labelWidth_ = std::max(pixels, 0);
  label_.setSize(labelSize());
  if (smooth_) showText();
}

void OverlayWindow::setFontFace(std::string_view face) {
  fontFace_ = face;
  label_.setFont(makeFont());
  if (smooth_) showText();
}

void OverlayWindow::setFontSize(int32_t points) {
  fontPoints_ = points;
  label_.setFont(makeFont());
  if (smooth_) showText();
}

void OverlayWindow::setCentred(bool centred) {
  centred_ = centred;
  label_.setCentred(centred);
  if (smooth_) showText();
}

void OverlayWindow::setShadow(bool shadow) {
  shadow_ = shadow;
  label_.setShadow(shadow, scaled(kShadowOffset));
  if (smooth_) showText();
}

// Back above a player that made itself topmost since, without moving, showing or activating.
// Like a move, this is a round trip to the window system on every cue's start; when no visible
// window stands above the overlay, there is nothing to do.
void OverlayWindow::assertTopmost() {
  if (typesetWindows_) typesetWindows_->assertTopmost();
  HWND above = GetWindow(hwnd(), GW_HWNDPREV);
  while (above && !IsWindowVisible(above)) above = GetWindow(above, GW_HWNDPREV);
  if (!above && (GetWindowLongA(hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST)) return;
  SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

std::vector<HWND> OverlayWindow::typesetWindows() const {
  return typesetWindows_ ? typesetWindows_->shownWindows() : std::vector<HWND>{};
}

// Without anti-aliasing: a blended edge pixel would be neither white nor the key and would
// show as a grey fringe over the video.
FontHandle OverlayWindow::makeFont() const {
  LOGFONTW font{};
  const std::u16string face = systemCodePages().toUtf16(GetACP(), fontFace_);
  std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), font.lfFaceName);
  font.lfHeight = -fontPixels();
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = charSetFor(codePage_);
  font.lfQuality = NONANTIALIASED_QUALITY;
  return FontHandle(CreateFontIndirectW(&font));
}

}  // namespace quorvane
