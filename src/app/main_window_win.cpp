#include "app/main_window_win.h"

#include <algorithm>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include "app/control_ids.h"
#include "app/directory_exists.h"
#include "app/file_filter.h"
#include "app/main_window_model.h"
#include "app/player_search_win.h"
#include "app/player_settings_dialog_win.h"
#include "app/sync_settings.h"
#include "app/sync_texts.h"
#include "common/text_number.h"
#include "loading/srt_loader.h"
#include "overlay/overlay_metrics.h"
#include "platform/wide_text_win.h"
#include "sync/player_locator.h"

namespace quorvane {
namespace {

constexpr int kWindowWidth = 404;   // frame and title bar included
constexpr int kWindowHeight = 338;
constexpr COLORREF kLinkColour = RGB(0, 136, 255);
constexpr COLORREF kGroupColour = RGB(0, 0, 255);
constexpr UINT_PTR kDelayBoxSubclassId = 1;
constexpr UINT_PTR kGroupBoxSubclassId = 2;

// One control of the main window, in creation order (which is also the tab order).
struct ControlLayout {
  int id;
  const char* className;
  DWORD style;
  DWORD exStyle;
  int x, y, width, height;
  const char* text;  // the design text; captions come from the UI text table
};

// The player group box sits at 8,16; the four controls inside it are placed relative to it.
constexpr int kGroupX = 8;
constexpr int kGroupY = 16;

// One line each, centred in its row so that a caption in a smaller font stays level with its
// neighbours.
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE;
constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kCheck = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kSlider = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_BOTH | TBS_NOTICKS;
// Links draw themselves (onDrawLink): one line, blue, underlined until clicked.
constexpr DWORD kLink = WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_OWNERDRAW;

const ControlLayout kControls[] = {
    {kIdPlayerGroup, WC_BUTTONA, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 8, 16, 176, 112, ""},
    {kIdModeLabel, WC_STATICA, kLabel, 0, kGroupX + 6, kGroupY + 18, 152, 16, ""},
    {kIdProcessLabel, WC_STATICA, kLabel, 0, kGroupX + 6, kGroupY + 44, 40, 16, ""},
    {kIdProcessBox, WC_EDITA, kEdit, WS_EX_CLIENTEDGE, kGroupX + 52, kGroupY + 40, 108, 24, ""},
    {kIdTrimButton, WC_BUTTONA, kButton, 0, kGroupX + 108, kGroupY + 76, 58, 28, ""},
    {kIdStartButton, WC_BUTTONA, kButton, 0, 208, 52, 104, 40, ""},
    {kIdHelpButton, WC_BUTTONA, kButton, 0, 336, 52, 56, 40, ""},
    {kIdFontLabel, WC_STATICA, kLabel, 0, 6, 146, 40, 16, ""},
    {kIdFontBox, WC_EDITA, kEdit | ES_CENTER, WS_EX_CLIENTEDGE, 50, 142, 56, 24, ""},
    {kIdDelayLabel, WC_STATICA, kLabel, 0, 123, 146, 40, 16, ""},
    {kIdDelayBox, WC_EDITA, kEdit | ES_CENTER, WS_EX_CLIENTEDGE, 167, 142, 56, 24, "0"},
    {kIdCentreCheck, WC_BUTTONA, kCheck, 0, 241, 146, 70, 16, ""},
    {kIdShadowCheck, WC_BUTTONA, kCheck, 0, 325, 146, 68, 16, ""},
    {kIdSizeLabel, WC_STATICA, kLabel, 0, 60, 176, 92, 16, ""},
    {kIdWidthLabel, WC_STATICA, kLabel, 0, 248, 176, 120, 16, ""},
    {kIdSizeSlider, TRACKBAR_CLASSA, kSlider, 0, 0, 200, 200, 24, ""},
    {kIdWidthSlider, TRACKBAR_CLASSA, kSlider, 0, 200, 200, 200, 24, ""},
    {kIdLeftLabel, WC_STATICA, kLabel, 0, 62, 232, 106, 16, ""},
    {kIdTopLabel, WC_STATICA, kLabel, 0, 248, 232, 128, 16, ""},
    {kIdLeftSlider, TRACKBAR_CLASSA, kSlider, 0, 0, 252, 200, 24, ""},
    {kIdTopSlider, TRACKBAR_CLASSA, kSlider, 0, 200, 252, 200, 24, ""},
    {kIdToolLink, WC_STATICA, kLink, 0, 0, 288, 122, 16, ""},
    {kIdForumLink, WC_STATICA, kLink, 0, 131, 288, 116, 16, ""},
    {kIdUpdateLink, WC_STATICA, kLink, 0, 256, 288, 134, 16, ""},
};

struct SliderSetup {
  int id;
  SliderRange range;
};
constexpr SliderSetup kSliders[] = {
    {kIdSizeSlider, kSizeSliderRange},
    {kIdWidthSlider, kWidthSliderRange},
    {kIdLeftSlider, kLeftSliderRange},
    {kIdTopSlider, kTopSliderRange},
};

constexpr int kLinkIds[] = {kIdUpdateLink, kIdToolLink, kIdForumLink};
constexpr std::string_view kLinkUrls[] = {kUpdatePageUrl, kToolPageUrl, kForumPageUrl};

// What the controls' own decoration takes of their width: a push button's frame and focus
// rectangle on each side, a check box's box and the gap after it, and the group box's caption
// inset on the left with as much frame kept visible on the right.
constexpr int kButtonTextMargin = 5;
constexpr int kCheckTextGap = 4;
constexpr int kGroupCaptionInset = 8;

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

// Dispatches the messages waiting in this thread's queue; false once the program is quitting.
bool pumpPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

// Waits while still dispatching this thread's messages.
void pumpMessagesFor(DWORD durationMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < durationMs) {
    if (!pumpPendingMessages()) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// The common file-open dialog, in `initialFolder`, showing the files that `filter` ("text|pattern")
// names.
std::optional<std::string> pickFileWithDialog(HWND owner, const std::string& initialFolder,
                                              const std::string& filter) {
  std::string filterPairs = filter;
  for (char& c : filterPairs) {
    if (c == '|') c = '\0';
  }
  filterPairs.append(2, '\0');
  std::string path(32768, '\0');
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filterPairs.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
  // The current folder stays the program's, where relative paths start.
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return std::nullopt;
  path.resize(path.find('\0'));
  return path;
}

}  // namespace

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

MainWindowServices MainWindowServices::system() {
  MainWindowServices services;
  services.systemLangId = [] { return static_cast<uint16_t>(GetSystemDefaultLangID()); };
  services.showMessage = [](const std::string& text, const std::string& title) {
    // No owner and task-modal: every window of the program waits for the answer.
    MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_TASKMODAL);
  };
  services.shellOpen = [](const char* file, const char* parameters) {
    return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", file, parameters,
                                                    parameters ? "" : nullptr, SW_SHOWNORMAL));
  };
  services.pickFile = pickFileWithDialog;
  services.createOverlay = [](const OverlaySetup& setup) -> std::unique_ptr<Overlay> {
    return OverlayWindow::create(GetModuleHandleA(nullptr), setup);
  };
  services.keys = &systemKeyState();
  return services;
}

MainWindow::MainWindow(AppState& app, MainWindowServices services)
    : app_(app),
      services_(std::move(services)),
      hotkeys_(
          services_.keys ? *services_.keys : systemKeyState(),
          [this](int32_t intervalMs) {
            hotkeyPolls_ = std::make_unique<HotkeyPollThread>(hotkeys_, static_cast<UINT>(intervalMs));
          },
          // A firing's effects run as a message of this window, on its thread, so they never
          // interleave with a tick or a control's handler.
          [this](int32_t id) {
            if (hwnd()) PostMessageA(hwnd(), kHotkeyMessage, static_cast<WPARAM>(id), 0);
          }) {
  app_.run.setTimers(this);
}

MainWindow::~MainWindow() {
  app_.run.end(0);  // a run left by a window destroyed elsewhere
  app_.run.setTimers(nullptr);
}

void MainWindow::showMessage(UiRow text) const {
  services_.showMessage(app_.uiTexts.row(text), app_.uiTexts.row(UiRow::MessageTitle));
}

bool MainWindow::create(HINSTANCE instance, int showCommand) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &MainWindow::windowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = QUORVANE_MAIN_WINDOW_CLASS;
  if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  // Centred on the primary screen, at its DPI.
  dpi_ = systemDpi();
  const int width = scaled(kWindowWidth), height = scaled(kWindowHeight);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  if (!CreateWindowExA(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, QUORVANE_MAIN_WINDOW_CLASS,
                       "Quorvanev1.5", style, x, y, width, height, nullptr, nullptr, instance,
                       this)) {
    return false;
  }
  ShowWindow(hwnd(), showCommand);
  UpdateWindow(hwnd());
  return true;
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return onCreate();
    case WM_DESTROY:
      onDestroy();
      return 0;
    case WM_COMMAND:
      onCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_HSCROLL:
      if (lParam) onHScroll(reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      return onCtlColorStatic(reinterpret_cast<HDC>(wParam));
    case WM_DRAWITEM:
      onDrawLink(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SETCURSOR:
      if (onSetCursor(reinterpret_cast<HWND>(wParam))) return TRUE;
      break;
    case WM_LBUTTONDOWN:
      onLButtonDown();
      return 0;
    case WM_ACTIVATE:
      onActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_TIMER:
      onTimer(wParam);
      return 0;
    case kHotkeyMessage:
      hotkeys_.runAction(static_cast<int32_t>(wParam));
      return 0;
    case kPreciseMomentMessage:
      app_.run.moment(static_cast<uint32_t>(wParam));
      return 0;
    case WM_SYSCOMMAND:
      if (onSysCommand(wParam)) return 0;
      break;
    case WM_DPICHANGED:
      onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      break;
  }
  return defaultProc(message, wParam, lParam);
}

std::string MainWindow::controlText(int id) const {
  const HWND window = control(id);
  std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void MainWindow::setControlText(int id, const std::string& text) {
  SetWindowTextA(control(id), text.c_str());
  fitCaption(id);
}

// A caption that does not fit its control at the normal size gets the largest smaller one that
// does; the control keeps its place and size. A link's font only gives the height it is drawn at.
void MainWindow::fitCaption(int id) {
  const ControlLayout* layout = layoutOf(id);
  const int room = layout ? captionRoom(*layout, dpi_) : 0;
  if (room <= 0) return;
  const HWND window = control(id);
  int height = captionFonts_.normalHeight();
  {
    const WindowDc dc(GetDC(window));
    if (dc.get()) height = captionFonts_.fittingHeight(dc.get(), controlText(id), room);
  }
  const HFONT font = captionFonts_.font(height);
  if (font && reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)) != font) {
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
}

void MainWindow::setSliderValue(Slider slider, int32_t value) {
  const size_t i = index(slider);
  sliderValues_[i] = clampSliderValue(value);
  // The trackbar itself limits its position to the range; our own copy keeps the value.
  SendMessageA(control(kSliders[i].id), TBM_SETPOS, TRUE, sliderValues_[i]);
}

LRESULT MainWindow::onCreate() {
  createControls();
  filling_ = true;
  fillFromSettings();
  filling_ = false;
  registerHotkeys();
  registerSyncKeys();
  addEnhancementItems();
  addSyncItems();
  attachTips();
  return 0;
}

// The enhancements are check items at the end of the system menu (the title bar icon's menu),
// checked as stored.
void MainWindow::addEnhancementItems() {
  const HMENU menu = GetSystemMenu(hwnd(), FALSE);
  if (!menu) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kPlayerSettingsCommand, playerSettingsCaption(app_.uiLanguage));
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  for (size_t i = 0; i < kEnhancementCount; ++i) {
    const auto which = static_cast<Enhancement>(i);
    app_.enhancements[i] = app_.settings.readText(enhancementSettingPath(which), "0") == "1";
    const std::string caption(enhancementCaption(which, app_.uiLanguage));
    AppendMenuA(menu, MF_STRING | (app_.enhancements[i] ? MF_CHECKED : MF_UNCHECKED),
                kFirstEnhancementCommand + 16 * i, caption.c_str());
  }
}

bool MainWindow::onSysCommand(WPARAM command) {
  const WPARAM id = command & 0xFFF0;
  if (id == kPlayerSettingsCommand) {
    runPlayerSettingsDialog(hwnd(), app_.settings, app_.uiLanguage);
    return true;
  }
  if (onSyncCommand(id)) return true;
  if (id < kFirstEnhancementCommand || id >= kFirstEnhancementCommand + 16 * kEnhancementCount) return false;
  const size_t i = (id - kFirstEnhancementCommand) / 16;
  setEnhancement(static_cast<Enhancement>(i), !app_.enhancements[i]);
  return true;
}

// Stores the choice, checks the item and applies it at once, during a run too.
void MainWindow::setEnhancement(Enhancement which, bool on) {
  const size_t i = static_cast<size_t>(which);
  app_.enhancements[i] = on;
  app_.settings.writeText(enhancementSettingPath(which), checkText(on));
  CheckMenuItem(GetSystemMenu(hwnd(), FALSE), kFirstEnhancementCommand + 16 * i,
                MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  switch (which) {
    case Enhancement::PreciseTiming: app_.run.setPrecise(on); break;
    case Enhancement::FormattingTags: app_.run.setFormattingTags(on); break;
    case Enhancement::SmoothText: app_.run.setSmoothText(on); break;
  }
}

void MainWindow::createControls() {
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE));
  for (const ControlLayout& c : kControls) {
    CreateWindowExA(c.exStyle, c.className, c.text, c.style, scaled(c.x), scaled(c.y),
                    scaled(c.width), scaled(c.height), hwnd(),
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
  }
  for (const SliderSetup& s : kSliders) {
    const HWND slider = control(s.id);
    SendMessageA(slider, TBM_SETRANGEMIN, FALSE, s.range.minimum);
    SendMessageA(slider, TBM_SETRANGEMAX, TRUE, s.range.maximum);
    SendMessageA(slider, TBM_SETLINESIZE, 0, kSliderLineStep);
    SendMessageA(slider, TBM_SETPAGESIZE, 0, kSliderPageStep);
  }
  SendMessageA(control(kIdDelayBox), EM_SETLIMITTEXT, 8, 0);
  SetWindowSubclass(control(kIdDelayBox), &MainWindow::delayBoxProc, kDelayBoxSubclassId,
                    reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(control(kIdPlayerGroup), &MainWindow::groupBoxProc, kGroupBoxSubclassId, 0);
}

void MainWindow::placeControls() {
  for (const ControlLayout& c : kControls) {
    SetWindowPos(control(c.id), nullptr, scaled(c.x), scaled(c.y), scaled(c.width), scaled(c.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// Moved to a monitor of another DPI, or the monitor's DPI changed: the window takes the size
// Windows suggests, and the controls their places, fonts and captions at the new DPI.
void MainWindow::onDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi ? dpi : kDesignDpi;
  SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  placeControls();
  chooseControlFonts();
  for (const ControlLayout& c : kControls) fitCaption(c.id);
  applyFontBoxFace(controlText(kIdFontBox));
  InvalidateRect(hwnd(), nullptr, TRUE);
}

// The controls get the system's message face; with DEFAULT_CHARSET the system's font linking
// finds the glyphs of Chinese captions when that face lacks them. Each caption then gets its
// height as it is put (fitCaption).
void MainWindow::chooseControlFonts() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTA face{};
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    face = metrics.lfMessageFont;
  } else {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
  }
  face.lfCharSet = DEFAULT_CHARSET;
  captionFonts_.setFace(face, dpi_);

  const HFONT normal = captionFonts_.font(captionFonts_.normalHeight());
  for (const ControlLayout& c : kControls) {
    SendMessageA(control(c.id), WM_SETFONT, reinterpret_cast<WPARAM>(normal), FALSE);
  }
}

// The creation handler: the settings and the UI texts go into the controls.
void MainWindow::fillFromSettings() {
  app_.uiLanguage = languageFromLangId(services_.systemLangId());
  app_.uiTexts = UiTextTable::build(app_.uiLanguage, app_.textCodec);
  chooseControlFonts();
  putCaptions();

  const StartupSettings s =
      loadStartupSettings(app_.settings, app_.uiTexts, designScreenHeight());
  CheckDlgButton(hwnd(), kIdCentreCheck, s.centred ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(hwnd(), kIdShadowCheck, s.shadow ? BST_CHECKED : BST_UNCHECKED);
  setControlText(kIdProcessBox, s.processName);
  app_.playerMode = s.playerMode;
  setControlText(kIdFontBox, s.fontFace);
  applyFontBoxFace(s.fontFace);
  setSliderValue(Slider::Left, s.left);
  setSliderValue(Slider::Top, s.top);
  setSliderValue(Slider::Width, s.width);
  setSliderValue(Slider::Size, s.sizeValue);

  const UiTextTable& t = app_.uiTexts;
  setControlText(kIdWidthLabel, captionWithNumber(t.row(UiRow::WidthCaption), s.width));
  setControlText(kIdLeftLabel, captionWithNumber(t.row(UiRow::LeftCaption), s.left));
  setControlText(kIdTopLabel, captionWithNumber(t.row(UiRow::TopCaption), s.top));
  setControlText(kIdSizeLabel, captionWithNumber(t.row(UiRow::SizeCaption), 2 * s.sizeValue));
}

void MainWindow::putCaptions() {
  const UiTextTable& t = app_.uiTexts;
  const std::pair<int, UiRow> captions[] = {
      {kIdTrimButton, UiRow::TrimCaption},   {kIdPlayerGroup, UiRow::PlayerGroup},
      {kIdModeLabel, UiRow::ModeLabel},      {kIdStartButton, UiRow::StartButton},
      {kIdHelpButton, UiRow::HelpButton},    {kIdFontLabel, UiRow::FontLabel},
      {kIdDelayLabel, UiRow::DelayLabel},    {kIdCentreCheck, UiRow::CentreCheck},
      {kIdShadowCheck, UiRow::ShadowCheck},  {kIdSizeLabel, UiRow::SizeCaption},
      {kIdLeftLabel, UiRow::LeftCaption},    {kIdProcessLabel, UiRow::ProcessLabel},
      {kIdWidthLabel, UiRow::WidthCaption},  {kIdTopLabel, UiRow::TopCaption},
  };
  for (const auto& [id, row] : captions) setControlText(id, t.row(row));
  app_.fileDialogFilter = subtitleFileFilter(t, app_.uiLanguage);
  SetWindowTextA(hwnd(), t.row(UiRow::WindowTitle).c_str());
  setControlText(kIdUpdateLink, t.row(UiRow::UpdateLink));
  setControlText(kIdToolLink, t.row(UiRow::ToolLink));
  setControlText(kIdForumLink, t.row(UiRow::ForumLink));
}

void MainWindow::attachTips() {
  tooltip_ = OwnedWindow(CreateWindowExA(
      WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE)), nullptr));
  if (!tooltip_) return;
  const std::pair<int, UiRow> tips[] = {{kIdFontBox, UiRow::FontTip}, {kIdDelayBox, UiRow::DelayTip}};
  for (const auto& [id, row] : tips) {
    std::string text = app_.uiTexts.row(row);
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_CENTERTIP | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control(id));
    tool.lpszText = text.data();
    SendMessageA(tooltip_.get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  // Wide enough that a hint always stays on one line.
  SendMessageA(tooltip_.get(), TTM_SETMAXTIPWIDTH, 0, 32767);
}

// Each control event and the member that answers it.
struct CommandHandler {
  int id;
  int code;
  void (MainWindow::*handler)();
};

void MainWindow::onCommand(int id, int code) {
  static constexpr CommandHandler kHandlers[] = {
      {IDCANCEL, BN_CLICKED, &MainWindow::onEscape},  // Escape; a dialog manager sends code 0
      {kIdStartButton, BN_CLICKED, &MainWindow::onStartClicked},
      {kIdHelpButton, BN_CLICKED, &MainWindow::onHelpClicked},
      {kIdTrimButton, BN_CLICKED, &MainWindow::onTrimClicked},
      {kIdCentreCheck, BN_CLICKED, &MainWindow::onCentreClicked},
      {kIdShadowCheck, BN_CLICKED, &MainWindow::onShadowClicked},
      {kIdFontBox, EN_CHANGE, &MainWindow::onFontNameChanged},
      {kIdDelayBox, EN_CHANGE, &MainWindow::onDelayChanged},
      {kIdUpdateLink, STN_CLICKED, &MainWindow::onUpdateLinkClicked},
      {kIdToolLink, STN_CLICKED, &MainWindow::onToolLinkClicked},
      {kIdForumLink, STN_CLICKED, &MainWindow::onForumLinkClicked},
  };
  for (const CommandHandler& h : kHandlers) {
    if (h.id == id && h.code == code) (this->*h.handler)();
  }
  // A submenu of the window menu may report its items as commands (Wine does).
  if (code == 0) onSyncCommand(static_cast<WPARAM>(id));
}

void MainWindow::onEscape() { PostMessageA(hwnd(), WM_CLOSE, 0, 0); }

// Every step of a slider, also each one while its thumb is dragged.
void MainWindow::onHScroll(HWND slider) {
  for (size_t i = 0; i < std::size(kSliders); ++i) {
    if (control(kSliders[i].id) != slider) continue;
    const auto position = static_cast<int32_t>(SendMessageA(slider, TBM_GETPOS, 0, 0));
    if (position == sliderValues_[i]) return;
    sliderValues_[i] = position;
    onSliderChanged(static_cast<Slider>(i));
  }
}

// What a change of a geometry slider does: store it, show it in its caption and, during a run,
// apply it to the overlay at once. Size and width also change how many lines a cue takes.
void MainWindow::onSliderChanged(Slider slider) {
  const int32_t value = sliderValue(slider);
  const UiTextTable& t = app_.uiTexts;
  SubtitleRun& run = app_.run;
  switch (slider) {
    case Slider::Size: {
      const int32_t points = 2 * value;  // the slider counts in steps of 2 points
      app_.settings.writeText(setting::kSize, std::to_string(points));
      setControlText(kIdSizeLabel, captionWithNumber(t.row(UiRow::SizeCaption), points));
      run.setFontSize(points);
      recomputeMetrics();
      break;
    }
    case Slider::Width:
      app_.settings.writeText(setting::kWidth, std::to_string(value));
      setControlText(kIdWidthLabel, captionWithNumber(t.row(UiRow::WidthCaption), value));
      run.setLabelWidth(value);
      recomputeMetrics();
      break;
    case Slider::Left:
      app_.settings.writeText(setting::kLeft, std::to_string(value));
      setControlText(kIdLeftLabel, captionWithNumber(t.row(UiRow::LeftCaption), value));
      run.setLeft(value);
      break;
    case Slider::Top:
      app_.settings.writeText(setting::kTop, std::to_string(value));
      setControlText(kIdTopLabel, captionWithNumber(t.row(UiRow::TopCaption), value));
      run.setBaseTop(value);
      break;
  }
}

void MainWindow::recomputeMetrics() {
  app_.run.setMetrics(computeOverlayMetrics(sliderValue(Slider::Size), sliderValue(Slider::Width)));
}

// The five hotkeys; each works whichever program has the keyboard focus.
void MainWindow::registerHotkeys() {
  constexpr int32_t kAlt = 1;
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Size, +1); }, 112, kAlt);  // Alt+F1
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Size, -1); }, 113, kAlt);  // Alt+F2
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Top, +1); }, 221, kAlt);   // Alt+]
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Top, -1); }, 219, kAlt);   // Alt+[
  hotkeys_.registerHotkey([this] { app_.run.toggleShown(); }, 119);              // F8
}

// Set from code, a slider keeps the value even beyond its range (the thumb stops at the end).
void MainWindow::nudgeSlider(Slider slider, int32_t step) {
  setSliderValue(slider, sliderValue(slider) + step);
  onSliderChanged(slider);
}

void MainWindow::onTimer(UINT_PTR id) {
  if (id == kSchedulerTimerId) app_.run.tick();
}

bool MainWindow::startTicks() { return SetTimer(hwnd(), kSchedulerTimerId, kSchedulerIntervalMs, nullptr) != 0; }

void MainWindow::stopTicks() { KillTimer(hwnd(), kSchedulerTimerId); }

void MainWindow::armMoment(int64_t untilUs, uint32_t token) {
  if (!momentTimer_) momentTimer_ = std::make_unique<MomentTimer>(hwnd(), kPreciseMomentMessage);
  momentTimer_->arm(untilUs, token);
}

void MainWindow::disarmMoment() {
  if (momentTimer_) momentTimer_->disarm();
}

void MainWindow::settle(uint32_t ms) { pumpMessagesFor(ms); }

void MainWindow::onStartClicked() {
  // A press dispatches messages while it searches, in its dialog and in its pause: a second
  // press meanwhile is ignored.
  if (pressing_) return;
  pressing_ = true;
  selectAndStart();
  pressing_ = false;
}

// Finds the player, lets the user pick a subtitle file, loads it and starts a run in place of
// the one that may be running. Each step that dispatches messages may see this window closed;
// the press then ends.
void MainWindow::selectAndStart() {
  PlayerLocation player;
  // The free clock needs no player: straight to the file dialog.
  const bool freeClock = app_.freeClockChosen;
  const std::optional<InterfacePlayer> pinned = loadInterfaceSettings(app_.settings).pinned;
  if (app_.playerMode == 1 && !freeClock && !pinned) {
    player = locatePlayer(*app_.processes, controlText(kIdProcessBox), [] { pumpPendingMessages(); });
    if (!hwnd()) return;
    // A running run follows the new search's result at once, found or not.
    app_.playerClock.setPlayer(player);
    followMemoryPlayer();
    if (!player.located() && !followInterfacePlayer()) showMessage(UiRow::PlayerMissing);
  } else if (!freeClock && pinned) {
    // A pinned player only: PowerDVD's memory is not searched.
    followMemoryPlayer();
    if (!followInterfacePlayer()) showUtf8Message(pinnedPlayerSilentText(*pinned, app_.uiLanguage));
    if (!hwnd()) return;
  }
  if (!hwnd()) return;
  const std::string folder = app_.settings.readText(setting::kDirectory, programFolder());
  if (!player.located() && !app_.interfaceClock && !freeClock) return;

  const std::optional<std::string> path = services_.pickFile(hwnd(), folder, app_.fileDialogFilter);
  if (!hwnd() || !path) return;
  app_.lastPickedFile = *path;
  CueTable table = loadCueTable(*path, app_.uiLanguage, app_.textCodec);

  if (app_.run.running()) {
    app_.run.end(100);
    if (!hwnd()) return;
  }
  // A file an English system keeps as it is is shown in the system's code page.
  const unsigned codePage = table.codePage != 0 ? table.codePage : GetACP();
  std::unique_ptr<Overlay> overlay = services_.createOverlay(overlaySetup(codePage));
  if (!overlay) return;
  recomputeMetrics();
  app_.run.setInputs(runInputs());
  ClockSource& clock = freeClock            ? static_cast<ClockSource&>(app_.freeClock)
                       : app_.interfaceClock ? static_cast<ClockSource&>(*app_.interfaceClock)
                                             : app_.playerClock;
  app_.run.setClock(clock);
  app_.run.setPrecise(app_.enhanced(Enhancement::PreciseTiming));
  if (freeClock) startFreeClock(table);
  app_.run.start(std::move(table), codePage, std::move(overlay));
  if (freeClock) {
    showTransportBar();
  } else if (bar_) {
    bar_->hide();
  }
}

void MainWindow::showUtf8Message(std::string_view text) {
  MessageBoxW(hwnd(), wideFromUtf8(text).c_str(), L"Quorvane", MB_OK | MB_ICONWARNING);
}

// "Automatic" after the search of PowerDVD's memory found nothing: a player that tells its time through its
// interface. The run follows it at once; the title names it. A refused password is said once.
bool MainWindow::followInterfacePlayer() {
  std::optional<FollowedPlayer> found =
      findInterfacePlayer(loadInterfaceSettings(app_.settings), [] { pumpPendingMessages(); });
  if (!hwnd() || !found) return false;
  if (found->state == PlayerState::Unauthorized) {
    showUtf8Message(refusedPasswordText(app_.uiLanguage));
    return true;  // found: the "not found" message would mislead
  }
  found->clock->setPrecise(app_.run.precise());
  app_.run.setClock(*found->clock);
  app_.interfaceClock = std::move(found->clock);
  const std::string title = app_.uiTexts.row(UiRow::WindowTitle) + " - " + std::string(interfacePlayerName(found->player));
  SetWindowTextA(hwnd(), title.c_str());
  return true;
}

// "Automatic", or one player that tells its time pinned: stored, checked, and in effect from
// the next "Select and Start".
void MainWindow::pinPlayer(std::optional<InterfacePlayer> player) {
  storePinnedPlayer(app_.settings, player);
  setFreeClockChosen(false);
  checkPlayerItem(player ? kFirstPinnedPlayerCommand + 16 * static_cast<UINT>(*player) : kAutomaticPlayerCommand);
}

// The Player submenu's choices are one radio group.
void MainWindow::checkPlayerItem(UINT id) {
  CheckMenuRadioItem(GetSystemMenu(hwnd(), FALSE), kAutomaticPlayerCommand, kLastPinnedPlayerCommand, id,
                     MF_BYCOMMAND);
}

// The run follows the player's memory, under the window's own title.
void MainWindow::followMemoryPlayer() {
  if (!app_.interfaceClock) return;
  app_.run.setClock(app_.playerClock);
  app_.interfaceClock.reset();
  SetWindowTextA(hwnd(), app_.uiTexts.row(UiRow::WindowTitle).c_str());
}

// What the run takes from the controls as it starts; each control's handler keeps it current.
RunInputs MainWindow::runInputs() const {
  RunInputs in = app_.run.inputs();
  in.left = sliderValue(Slider::Left);
  in.baseTop = sliderValue(Slider::Top);
  in.screenHeight = designScreenHeight();
  in.formattingTags = app_.enhanced(Enhancement::FormattingTags);
  return in;
}

// A new overlay takes the controls' values of this moment.
OverlaySetup MainWindow::overlaySetup(unsigned codePage) const {
  OverlaySetup setup;
  setup.fontFace = controlText(kIdFontBox);
  setup.fontPoints = 2 * sliderValue(Slider::Size);
  setup.top = sliderValue(Slider::Top);
  setup.left = sliderValue(Slider::Left);
  setup.labelWidth = sliderValue(Slider::Width);
  setup.centred = IsDlgButtonChecked(hwnd(), kIdCentreCheck) == BST_CHECKED;
  setup.shadow = IsDlgButtonChecked(hwnd(), kIdShadowCheck) == BST_CHECKED;
  setup.codePage = codePage;
  setup.formattingTags = app_.enhanced(Enhancement::FormattingTags);
  setup.smoothText = app_.enhanced(Enhancement::SmoothText);
  return setup;
}

LRESULT MainWindow::onCtlColorStatic(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  // The window's own face colour: the labels look transparent on it.
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void MainWindow::onDrawLink(const DRAWITEMSTRUCT& item) {
  size_t link = 0;
  while (link < LinkCount && static_cast<int>(item.CtlID) != kLinkIds[link]) ++link;
  if (link == LinkCount) return;
  // The tool and update links hug the right edge of their place, the forum link the left.
  const UINT align = link == ForumLink ? DT_LEFT : DT_RIGHT;
  const std::string text = controlText(kLinkIds[link]);
  // The label's font (fitCaption) gives the height; underlined while the link can be clicked.
  LOGFONTA fitted{};
  const auto labelFont = reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0));
  const int height = labelFont && GetObjectA(labelFont, sizeof fitted, &fitted)
                         ? -fitted.lfHeight
                         : captionFonts_.normalHeight();
  RECT box = item.rcItem;
  FillRect(item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, linkSpent_[link] ? GetSysColor(COLOR_GRAYTEXT) : kLinkColour);
  const HGDIOBJ old = SelectObject(item.hDC, captionFonts_.font(height, !linkSpent_[link]));
  DrawTextA(item.hDC, text.c_str(), static_cast<int>(text.size()), &box,
            align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, old);
}

bool MainWindow::onSetCursor(HWND target) {
  for (size_t i = 0; i < LinkCount; ++i) {
    if (target == control(kLinkIds[i]) && !linkSpent_[i]) {
      SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
      return true;
    }
  }
  return false;
}

// Like a dialog, the window gives the keyboard focus back to the control that had it (at
// first the start button), so that Escape and Tab work as soon as it is active.
void MainWindow::onActivate(bool active) {
  if (!active) {
    const HWND focus = GetFocus();
    if (focus && IsChild(hwnd(), focus)) focusedControl_ = focus;
    return;
  }
  SetFocus(focusedControl_ && IsWindow(focusedControl_) ? focusedControl_ : control(kIdStartButton));
}

// The window can be dragged by any point of its client area.
void MainWindow::onLButtonDown() {
  ReleaseCapture();
  SendMessageA(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void MainWindow::onHelpClicked() { showMessage(UiRow::HelpText); }

void MainWindow::onLinkClicked(Link link) {
  if (linkSpent_[link]) return;
  openInBrowser(kLinkUrls[link], services_.shellOpen);
  // A link works once per run: arrow cursor, no underline, disabled.
  linkSpent_[link] = true;
  const HWND label = control(kLinkIds[link]);
  EnableWindow(label, FALSE);
  InvalidateRect(label, nullptr, TRUE);
}

void MainWindow::onTrimClicked() {
  const UiTextTable& t = app_.uiTexts;
  const TrimAction action =
      controlText(kIdTrimButton) == t.row(UiRow::TrimCaption) ? TrimAction::Trim
                                                               : TrimAction::Restore;
  applyPlayerUiTrim(action, *app_.terminator, *app_.registry);
  if (action == TrimAction::Trim) {
    setControlText(kIdTrimButton, t.row(UiRow::RestoreCaption));
    showMessage(UiRow::TrimHint);
  } else {
    setControlText(kIdTrimButton, t.row(UiRow::TrimCaption));
  }
}

void MainWindow::onFontNameChanged() {
  if (filling_) return;
  const std::string face = controlText(kIdFontBox);
  app_.settings.writeText(setting::kFontWrite, face);
  applyFontBoxFace(face);
  app_.run.setFontFace(face);
}

// The font-name box shows the name in the face it names (the system's font mapping picks a
// face for a name that no font has).
void MainWindow::applyFontBoxFace(const std::string& face) {
  LOGFONTA font{};
  GetObjectA(captionFonts_.font(captionFonts_.normalHeight()), sizeof font, &font);
  lstrcpynA(font.lfFaceName, face.c_str(), LF_FACESIZE);
  font.lfCharSet = DEFAULT_CHARSET;
  FontHandle next(CreateFontIndirectA(&font));
  if (!next) return;
  SendMessageA(control(kIdFontBox), WM_SETFONT, reinterpret_cast<WPARAM>(next.get()), TRUE);
  fontBoxFont_ = std::move(next);  // the old face goes only once the box no longer uses it
}

void MainWindow::onDelayChanged() {
  app_.run.setDelay(textToInt(controlText(kIdDelayBox)));
}

void MainWindow::onCentreClicked() {
  const bool checked = IsDlgButtonChecked(hwnd(), kIdCentreCheck) == BST_CHECKED;
  app_.settings.writeText(setting::kCentext, checkText(checked));
  app_.run.setCentred(checked);
}

void MainWindow::onShadowClicked() {
  const bool checked = IsDlgButtonChecked(hwnd(), kIdShadowCheck) == BST_CHECKED;
  app_.settings.writeText(setting::kShadow, checkText(checked));
  app_.run.setShadow(checked);
}

// Typed characters other than digits and "-" never reach the delay box.
LRESULT CALLBACK MainWindow::delayBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR) {
  if (message == WM_CHAR && !delayBoxTakesChar(static_cast<unsigned>(wParam))) return 0;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(box, &MainWindow::delayBoxProc, kDelayBoxSubclassId);
  return DefSubclassProc(box, message, wParam, lParam);
}

// The player group box paints itself: a themed group box ignores the caption colour, and
// this one has its caption in blue.
LRESULT CALLBACK MainWindow::groupBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
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
      RemoveWindowSubclass(box, &MainWindow::groupBoxProc, kGroupBoxSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(box, message, wParam, lParam);
}

// The closing handler.
void MainWindow::onDestroy() {
  saveLastDirectory();
  app_.settings.writeText(setting::kProcess, controlText(kIdProcessBox));
  hotkeyPolls_.reset();  // no hotkey acts on a window that is going
  bar_.reset();
  notice_.reset();
  app_.run.end(200);
  tooltip_.reset();
  PostQuitMessage(0);
}

void MainWindow::saveLastDirectory() {
  const std::string_view folder = folderOfPath(app_.lastPickedFile, app_.isLeadByte);
  if (directoryExists(folder, app_.isLeadByte)) app_.settings.writeText(setting::kDirectory, folder);
}

// The sync keys and the free clock's keys, after the program's first five. Polled like them,
// with the same exact-modifier rule, and not swallowed: each combination was picked as one the
// program in front does not use (see the user's guide). Registered always; an action does
// nothing while the system menu's item has them off.
void MainWindow::registerSyncKeys() {
  constexpr int32_t kAlt = 1, kAltShift = 1 | 4;
  constexpr int32_t kComma = VK_OEM_COMMA, kPeriod = VK_OEM_PERIOD, kSlash = VK_OEM_2, kSemicolon = VK_OEM_1;
  const auto key = [this](std::function<void()> action, int32_t keyCode, int32_t modifiers) {
    hotkeys_.registerHotkey([this, action] { if (app_.syncKeys) action(); }, keyCode, modifiers);
  };
  key([this] { nudgeDelay(-100); }, kComma, kAlt);
  key([this] { nudgeDelay(+100); }, kPeriod, kAlt);
  key([this] { nudgeDelay(-1000); }, kComma, kAltShift);
  key([this] { nudgeDelay(+1000); }, kPeriod, kAltShift);
  key([this] { resetSync(); }, kSlash, kAlt);
  key([this] { syncLineToNow(); }, kSemicolon, kAlt);
  key([this] { freeClockTogglePlay(); }, VK_RETURN, kAltShift);
  key([this] { freeClockSeekBy(-1000); }, VK_LEFT, kAltShift);
  key([this] { freeClockSeekBy(+1000); }, VK_RIGHT, kAltShift);
  key([this] { freeClockToLine(false); }, VK_UP, kAltShift);
  key([this] { freeClockToLine(true); }, VK_DOWN, kAltShift);
}

// After the enhancements: the sync keys' item (checked unless switched off) and the "Player"
// submenu with its two choices, as stored.
void MainWindow::addSyncItems() {
  const HMENU menu = GetSystemMenu(hwnd(), FALSE);
  if (!menu) return;
  app_.syncKeys = app_.settings.readText(setting::kSyncKeys, "1") != "0";
  app_.freeClockChosen = app_.settings.readText(setting::kFreeClock, "0") == "1";
  const auto caption = [this](SyncText which) { return std::string(syncText(which, app_.uiLanguage)); };
  AppendMenuA(menu, MF_STRING | (app_.syncKeys ? MF_CHECKED : MF_UNCHECKED), kSyncKeysCommand,
              caption(SyncText::SyncKeysItem).c_str());
  const HMENU players = CreatePopupMenu();
  if (!players) return;
  AppendMenuA(players, MF_STRING, kAutomaticPlayerCommand, caption(SyncText::AutomaticItem).c_str());
  AppendMenuA(players, MF_STRING, kFreeClockCommand, caption(SyncText::FreeClockItem).c_str());
  // After the two: one player that tells its time, pinned (its name in every language).
  for (size_t i = 0; i < kInterfaceOrder.size(); ++i) {
    AppendMenuA(players, MF_STRING, kFirstPinnedPlayerCommand + 16 * i,
                std::string(interfacePlayerName(kInterfaceOrder[i])).c_str());
  }
  const std::optional<InterfacePlayer> pinned = loadInterfaceSettings(app_.settings).pinned;
  const UINT chosen = app_.freeClockChosen ? kFreeClockCommand
                      : pinned             ? kFirstPinnedPlayerCommand + 16 * static_cast<UINT>(*pinned)
                                           : kAutomaticPlayerCommand;
  CheckMenuRadioItem(players, kAutomaticPlayerCommand, kLastPinnedPlayerCommand, chosen, MF_BYCOMMAND);
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(players), caption(SyncText::PlayerMenu).c_str());
}

bool MainWindow::onSyncCommand(WPARAM id) {
  switch (id) {
    case kSyncKeysCommand: setSyncKeys(!app_.syncKeys); return true;
    case kAutomaticPlayerCommand: pinPlayer(std::nullopt); return true;
    case kFreeClockCommand:
      setFreeClockChosen(true);
      checkPlayerItem(kFreeClockCommand);
      return true;
    default:
      if (id >= kFirstPinnedPlayerCommand && id < kFirstPinnedPlayerCommand + 16 * kInterfaceOrder.size()) {
        pinPlayer(kInterfaceOrder[(id - kFirstPinnedPlayerCommand) / 16]);
        return true;
      }
      return false;
  }
}

void MainWindow::setSyncKeys(bool on) {
  app_.syncKeys = on;
  app_.settings.writeText(setting::kSyncKeys, checkText(on));
  CheckMenuItem(GetSystemMenu(hwnd(), FALSE), kSyncKeysCommand, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

// Takes effect at the next Select and Start; a running run keeps its clock.
void MainWindow::setFreeClockChosen(bool on) {
  app_.freeClockChosen = on;
  app_.settings.writeText(setting::kFreeClock, checkText(on));
}

// A free-clock run starts paused, at 0 or a few seconds before the first line (the bar's
// choice); seeks stop at the end of the file's last line.
void MainWindow::startFreeClock(const CueTable& table) {
  constexpr int32_t kEarlyLeadMs = 5'000;
  int32_t firstMs = 0, lastMs = 0;
  for (int32_t i = 1; i <= table.cueCount; ++i) lastMs = std::max(lastMs, table.at(i).endMs);
  if (table.cueCount > 0) firstMs = table.at(1).startMs;
  const ClockTiming timing = app_.run.inputs().timing();
  app_.freeClock.setEndMs(std::max<int64_t>(0, timing.rawFor(lastMs)));
  earlyStart_ = app_.settings.readText(setting::kFreeClockEarlyStart, "0") == "1";
  freeSpanMs_ = lastMs;
  app_.freeClock.reset(earlyStart_ ? std::max<int64_t>(0, timing.rawFor(firstMs - kEarlyLeadMs)) : 0);
}

// Alt+, and Alt+. (Shift: a second at a time): the delay box follows, and through it the run.
void MainWindow::nudgeDelay(int32_t stepMs) {
  constexpr int32_t kLimitMs = 9'999'999;  // what the delay box's eight characters hold
  setDelayBox(std::clamp(app_.run.inputs().delayMs + stepMs, -kLimitMs, kLimitMs));
  showNotice(delayNotice(app_.run.inputs().delayMs, app_.run.inputs().rate, app_.uiLanguage));
}

// Alt+/: delay 0, rate 1, and two-point sync starts over.
void MainWindow::resetSync() {
  app_.lineSync.reset();
  app_.run.setRate(1.0);
  setDelayBox(0);
  showNotice(delayNotice(0, 1.0, app_.uiLanguage));
}

// Alt+;: the line shown (or the next) starts now; twice far apart, the rate too.
void MainWindow::syncLineToNow() {
  if (!app_.run.running()) return;
  const ClockReading now = app_.run.reading();
  const std::optional<int32_t> line =
      now.hasPosition ? LineSync::lineToSync(app_.run.table(), app_.run.scheduler(), now.positionMs) : std::nullopt;
  const LineSync::Result result = app_.lineSync.press(now.rawMs, line, app_.run.inputs().timing());
  if (result.outcome == LineSync::Outcome::Offset || result.outcome == LineSync::Outcome::OffsetAndRate) {
    app_.run.setRate(result.timing.rate);
    setDelayBox(result.timing.delayMs);
  }
  showNotice(lineSyncNotice(result, app_.uiLanguage));
}

// As if typed: the box's change handler hands the delay to the run.
void MainWindow::setDelayBox(int32_t delayMs) {
  SetWindowTextA(control(kIdDelayBox), std::to_string(delayMs).c_str());
}

// Above the subtitle line's place, in the middle of its width, so the line itself is not
// disturbed.
void MainWindow::showNotice(const std::string& text) {
  if (!notice_) notice_ = NoticeWindow::create(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE)));
  if (!notice_) return;
  const UINT dpi = systemDpi();
  const int32_t middle = std::max(0, sliderValue(Slider::Left)) + std::max(0, sliderValue(Slider::Width)) / 2;
  const POINT anchor{scaledToDpi(middle, dpi), scaledToDpi(std::max(0, sliderValue(Slider::Top)), dpi)};
  notice_->show(text, anchor);
}

bool MainWindow::onFreeClock() const { return app_.run.running() && &app_.run.clock() == &app_.freeClock; }

// The free clock's keys and the bar's buttons: the overlay follows at once.
void MainWindow::freeClockSeekTo(int64_t fileMs) {
  app_.freeClock.seek(app_.run.inputs().timing().rawFor(fileMs));
  app_.run.tick();
}

void MainWindow::freeClockTogglePlay() {
  if (!onFreeClock()) return;
  app_.freeClock.togglePlay();
  app_.run.tick();
}

void MainWindow::freeClockSeekBy(int32_t deltaMs) {
  if (!onFreeClock()) return;
  app_.freeClock.seekBy(deltaMs);
  app_.run.tick();
}

void MainWindow::freeClockToLine(bool next) {
  if (!onFreeClock()) return;
  const int32_t now = app_.run.positionMs();
  const std::optional<int32_t> start =
      next ? nextLineStart(app_.run.table(), now) : previousLineStart(app_.run.table(), now);
  if (start) freeClockSeekTo(*start);
}

TransportBarState MainWindow::transportBarState() const {
  TransportBarState state;
  state.positionMs = app_.run.positionMs();
  state.spanMs = freeSpanMs_;
  state.playing = app_.freeClock.playing();
  state.delayMs = app_.run.inputs().delayMs;
  state.rate = app_.run.inputs().rate;
  state.earlyStart = earlyStart_;
  return state;
}

// The bar of a free-clock run, where it was left.
void MainWindow::showTransportBar() {
  if (bar_) {
    bar_->show();
    return;
  }
  TransportBarActions actions;
  actions.togglePlay = [this] { freeClockTogglePlay(); };
  actions.seekBy = [this](int32_t deltaMs) { freeClockSeekBy(deltaMs); };
  actions.toLine = [this](bool next) { freeClockToLine(next); };
  actions.seekTo = [this](int64_t fileMs) {
    if (onFreeClock()) freeClockSeekTo(fileMs);
  };
  actions.toggleEarlyStart = [this] {
    earlyStart_ = !earlyStart_;
    app_.settings.writeText(setting::kFreeClockEarlyStart, checkText(earlyStart_));
  };
  actions.placed = [this](const BarPlace& place) { app_.settings.writeText(setting::kBarPlace, barPlaceText(place)); };
  bar_ = TransportBar::create(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE)), app_.uiLanguage,
                              [this] { return transportBarState(); }, std::move(actions),
                              parseBarPlace(app_.settings.readText(setting::kBarPlace, "")));
}

}  // namespace quorvane
