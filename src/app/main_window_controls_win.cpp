#include "app/main_window_controls_win.h"

namespace quorvane {
namespace {

constexpr COLORREF kGroupColour = RGB(0, 0, 255);
constexpr COLORREF kLinkColour = RGB(0, 136, 255);
constexpr UINT_PTR kDelayBoxSubclassId = 1;
constexpr UINT_PTR kGroupBoxSubclassId = 2;
// What the delay box's eight characters hold: "-9999999".
constexpr WPARAM kDelayBoxCharacters = 8;

// Typed characters other than digits and "-" never reach the delay box.
LRESULT CALLBACK delayBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR) {
  if (message == WM_CHAR && !delayBoxTakesChar(static_cast<unsigned>(wParam))) return 0;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(box, &delayBoxProc, kDelayBoxSubclassId);
  return DefSubclassProc(box, message, wParam, lParam);
}

// The player group box paints itself: a themed group box ignores the caption colour, and
// this one has its caption in blue.
LRESULT CALLBACK groupBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_ERASEBKGND:
      return TRUE;  // the inside shows the window behind it
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(box, &paint);
      const HGDIOBJ oldFont =
          SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)));
      TEXTMETRICA metrics{};
      GetTextMetricsA(dc, &metrics);
      RECT frame;
      GetClientRect(box, &frame);
      frame.top += metrics.tmHeight / 2 - 1;
      DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
      const UINT dpi = dpiOfWindow(box);
      std::string caption(static_cast<size_t>(GetWindowTextLengthA(box)) + 1, '\0');
      caption.resize(static_cast<size_t>(GetWindowTextA(box, caption.data(), static_cast<int>(caption.size()))));
      if (!caption.empty()) {
        SIZE extent{};
        GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
        const int captionLeft = scaledToDpi(kGroupCaptionInset, dpi);
        const int gap = scaledToDpi(2, dpi);
        RECT label{captionLeft - gap, 0, captionLeft + extent.cx + gap, metrics.tmHeight};
        FillRect(dc, &label, GetSysColorBrush(COLOR_BTNFACE));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kGroupColour);
        TextOutA(dc, captionLeft, 0, caption.c_str(), static_cast<int>(caption.size()));
      }
      SelectObject(dc, oldFont);
      EndPaint(box, &paint);
      return 0;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(box, &groupBoxProc, kGroupBoxSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(box, message, wParam, lParam);
}

}  // namespace

// The width a control's caption may take at `dpi`; 0 for a control without a caption.
int captionRoom(const ControlLayout& c, UINT dpi) {
  const auto scaled = [dpi](int length) { return scaledToDpi(length, dpi); };
  if (std::string_view(c.className) == WC_STATICA) return scaled(c.width);  // labels and links
  if (std::string_view(c.className) != WC_BUTTONA) return 0;
  switch (c.style & BS_TYPEMASK) {
    case BS_GROUPBOX:
      return scaled(c.width - 2 * kGroupCaptionInset);
    case BS_AUTOCHECKBOX:
      // The box is drawn at the system's DPI.
      return scaled(c.width - kCheckTextGap) - GetSystemMetrics(SM_CXMENUCHECK);
    default:
      return scaled(c.width - 2 * kButtonTextMargin);
  }
}

const ControlLayout* layoutOf(int id) {
  for (const ControlLayout& c : kControls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

void createControls(HWND parent, UINT dpi) {
  const auto scaled = [dpi](int length) { return scaledToDpi(length, dpi); };
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
  for (const ControlLayout& c : kControls) {
    CreateWindowExA(c.exStyle, c.className, c.text, c.style, scaled(c.x), scaled(c.y),
                    scaled(c.width), scaled(c.height), parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
  }
  for (const SliderSetup& s : kSliders) {
    const HWND slider = GetDlgItem(parent, s.id);
    SendMessageA(slider, TBM_SETRANGEMIN, FALSE, s.range.minimum);
    SendMessageA(slider, TBM_SETRANGEMAX, TRUE, s.range.maximum);
    SendMessageA(slider, TBM_SETLINESIZE, 0, kSliderLineStep);
    SendMessageA(slider, TBM_SETPAGESIZE, 0, kSliderPageStep);
  }
  const HWND delayBox = GetDlgItem(parent, kIdDelayBox);
  SendMessageA(delayBox, EM_SETLIMITTEXT, kDelayBoxCharacters, 0);
  SetWindowSubclass(delayBox, &delayBoxProc, kDelayBoxSubclassId, 0);
  SetWindowSubclass(GetDlgItem(parent, kIdPlayerGroup), &groupBoxProc, kGroupBoxSubclassId, 0);
}

void placeControls(HWND parent, UINT dpi) {
  const auto scaled = [dpi](int length) { return scaledToDpi(length, dpi); };
  for (const ControlLayout& c : kControls) {
    SetWindowPos(GetDlgItem(parent, c.id), nullptr, scaled(c.x), scaled(c.y), scaled(c.width), scaled(c.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void CaptionFonts::setFace(const LOGFONTA& face, UINT dpi) {
  face_ = face;
  dpi_ = dpi;
  fonts_.clear();
}

HFONT CaptionFonts::font(int height, bool underlined) {
  FontHandle& slot = fonts_[{height, underlined}];
  if (!slot) {
    LOGFONTA face = face_;
    face.lfHeight = -height;
    face.lfWidth = 0;
    face.lfUnderline = underlined ? TRUE : FALSE;
    slot = FontHandle(CreateFontIndirectA(&face));
  }
  return slot.get();
}

int CaptionFonts::fittingHeight(HDC dc, std::string_view text, int room) {
  // A blank cut off at the end shows nothing missing.
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int height = normalHeight();
  for (; height > smallestHeight(); --height) {
    const HGDIOBJ old = SelectObject(dc, font(height));
    SIZE extent{};
    const bool measured =
        GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent) != FALSE;
    SelectObject(dc, old);
    if (measured && extent.cx <= room) break;
  }
  return height;
}

// With DEFAULT_CHARSET the system's font linking finds the glyphs of Chinese captions when the
// message face lacks them. Each caption then gets its height as it is put (fitCaptionFont).
void setCaptionFace(HWND parent, UINT dpi, CaptionFonts& fonts) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTA face{};
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    face = metrics.lfMessageFont;
  } else {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
  }
  face.lfCharSet = DEFAULT_CHARSET;
  fonts.setFace(face, dpi);

  const HFONT normal = fonts.font(fonts.normalHeight());
  for (const ControlLayout& c : kControls) {
    SendMessageA(GetDlgItem(parent, c.id), WM_SETFONT, reinterpret_cast<WPARAM>(normal), FALSE);
  }
}

void fitCaptionFont(HWND control, int id, UINT dpi, CaptionFonts& fonts) {
  const ControlLayout* layout = layoutOf(id);
  const int room = layout ? captionRoom(*layout, dpi) : 0;
  if (room <= 0) return;
  int height = fonts.normalHeight();
  {
    const WindowDc dc(GetDC(control));
    std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    if (dc.get()) height = fonts.fittingHeight(dc.get(), text, room);
  }
  const HFONT font = fonts.font(height);
  if (font && reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)) != font) {
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
}

OwnedWindow attachTips(HWND parent, const UiTextTable& texts) {
  OwnedWindow tooltip(CreateWindowExA(
      WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr));
  if (!tooltip) return tooltip;
  const std::pair<int, UiRow> tips[] = {{kIdFontBox, UiRow::FontTip}, {kIdDelayBox, UiRow::DelayTip}};
  for (const auto& [id, row] : tips) {
    std::string text = texts.row(row);
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_CENTERTIP | TTF_SUBCLASS;
    tool.hwnd = parent;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(parent, id));
    tool.lpszText = text.data();
    SendMessageA(tooltip.get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  // Wide enough that a hint always stays on one line.
  SendMessageA(tooltip.get(), TTM_SETMAXTIPWIDTH, 0, 32767);
  return tooltip;
}

void drawLink(const DRAWITEMSTRUCT& item, const std::string& text, UINT align, bool spent, CaptionFonts& fonts) {
  // The label's font (fitCaptionFont) gives the height; underlined while the link can be clicked.
  LOGFONTA fitted{};
  const auto labelFont = reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0));
  const int height = labelFont && GetObjectA(labelFont, sizeof fitted, &fitted) ? -fitted.lfHeight : fonts.normalHeight();
  RECT box = item.rcItem;
  FillRect(item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, spent ? GetSysColor(COLOR_GRAYTEXT) : kLinkColour);
  const HGDIOBJ old = SelectObject(item.hDC, fonts.font(height, !spent));
  DrawTextA(item.hDC, text.c_str(), static_cast<int>(text.size()), &box,
            align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, old);
}

}  // namespace quorvane
