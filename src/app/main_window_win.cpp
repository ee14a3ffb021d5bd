#include "app/main_window_win.h"

#include <algorithm>

#include <commctrl.h>
#include <shellapi.h>

#include "app/control_ids.h"
#include "app/directory_exists.h"
#include "app/file_filter.h"
#include "app/main_window_model.h"
#include "app/player_settings_dialog_win.h"
#include "common/text_number.h"
#include "app/learnt_player_transfer.h"
#include "memory_player/learnt_profiles.h"
#include "memory_player/process_memory.h"
#include "overlay/overlay_metrics.h"
#include "overlay/picture_area_win.h"
#include "platform/file_dialog_win.h"
#include "platform/modal_pump_win.h"
#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

constexpr int kWindowWidth = 404;   // frame and title bar included
constexpr int kWindowHeight = 338;
constexpr int kLinkIds[] = {kIdUpdateLink, kIdToolLink, kIdForumLink};
constexpr std::string_view kLinkUrls[] = {kUpdatePageUrl, kToolPageUrl, kForumPageUrl};

}  // namespace

MainWindowServices MainWindowServices::system() {
  MainWindowServices services;
  services.systemLangId = [] { return static_cast<uint16_t>(GetSystemDefaultLangID()); };
  services.showMessage = [](const std::string& text, const std::string& title) {
    // No owner and task-modal: every window of the program waits for the answer.
    MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_TASKMODAL);
  };
  services.showWarning = [](HWND owner, std::string_view text) {
    MessageBoxW(owner, wideFromUtf8(text).c_str(), L"Quorvane", MB_OK | MB_ICONWARNING);
  };
  services.shellOpen = [](const char* file, const char* parameters) {
    return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", file, parameters,
                                                    parameters ? "" : nullptr, SW_SHOWNORMAL));
  };
  services.pickFile = pickFileWithDialog;
  services.pickProfileFile = pickFileUtf8;
  services.askYesNo = [](HWND owner, std::string_view text) {
    return MessageBoxW(owner, wideFromUtf8(text).c_str(), L"Quorvane", MB_YESNO | MB_ICONQUESTION) == IDYES;
  };
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
          [this](int32_t id) { hotkeyTarget_.post(kHotkeyMessage, static_cast<WPARAM>(id), 0); }) {
  app_.run.setTimers(this);
  app_.control.setView(this);
}

MainWindow::~MainWindow() {
  app_.run.end(0);  // a run left by a window destroyed elsewhere
  app_.run.setTimers(nullptr);
  app_.control.setView(nullptr);
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

void MainWindow::fitCaption(int id) { fitCaptionFont(control(id), id, dpi_, captionFonts_); }

void MainWindow::setSliderValue(Slider slider, int32_t value) {
  const size_t i = index(slider);
  sliderValues_[i] = clampSliderValue(value);
  // The trackbar itself limits its position to the range; our own copy keeps the value.
  SendMessageA(control(kSliders[i].id), TBM_SETPOS, TRUE, sliderValues_[i]);
}

LRESULT MainWindow::onCreate() {
  createControls(hwnd(), dpi_);
  filling_ = true;
  fillFromSettings();
  filling_ = false;
  hotkeyTarget_.set(hwnd());  // before the first registration starts the hotkey thread
  registerHotkeys();
  registerSyncKeys();
  // The enhancements, then the sync keys' item and the "Player" submenu, checked as stored.
  for (size_t i = 0; i < kEnhancementCount; ++i) {
    app_.enhancements[i] = app_.settings.readText(enhancementSettingPath(static_cast<Enhancement>(i)), "0") == "1";
  }
  app_.control.loadSettings();
  static const SystemPictureWindows pictureWindows;  // lives as long as the control that asks it
  app_.control.usePictureWindows(pictureWindows, systemTickSource());
  for (const learn::Profile& profile : loadProfiles(readProfileFolder(profileFolder())).profiles) {
    app_.learntPlayers.push_back(profile.executable);
  }
  SystemMenu(hwnd()).addItems(app_.uiLanguage, app_.enhancements, app_.control.syncKeys(),
                              app_.control.playerChoice(), app_.learntPlayers);
  tooltip_ = attachTips(hwnd(), app_.uiTexts);
  return 0;
}

bool MainWindow::onSysCommand(WPARAM command) {
  // The system keeps a system command's low four bits for itself.
  constexpr WPARAM kCommandBits = 0xFFF0;
  return onMenuCommand(command & kCommandBits);
}

bool MainWindow::onMenuCommand(WPARAM id) {
  const SystemMenu::Command command = SystemMenu::decode(id, app_.learntPlayers);
  switch (command.kind) {
    case SystemMenu::Command::Kind::None:
      return false;
    case SystemMenu::Command::Kind::Status:
      showStatus();
      return true;
    case SystemMenu::Command::Kind::Learn:
      showLearnWizard();
      return true;
    case SystemMenu::Command::Kind::PlayerSettings:
      runPlayerSettingsDialog(hwnd(), app_.settings, app_.control, app_.uiLanguage);
      return true;
    case SystemMenu::Command::Kind::AddSecond:
      addSecondFile();
      return true;
    case SystemMenu::Command::Kind::RemoveSecond:
      app_.control.removeSecond();
      return true;
    case SystemMenu::Command::Kind::Enhancement:
      setEnhancement(command.enhancement, !app_.enhanced(command.enhancement));
      return true;
    case SystemMenu::Command::Kind::SyncKeys:
      app_.control.setSyncKeys(!app_.control.syncKeys());
      SystemMenu(hwnd()).checkSyncKeys(app_.control.syncKeys());
      return true;
    case SystemMenu::Command::Kind::Player:
      app_.control.choosePlayer(command.player);
      SystemMenu(hwnd()).checkPlayer(command.player, app_.learntPlayers);
      return true;
    case SystemMenu::Command::Kind::ExportLearnt:
      exportLearntPlayer();
      return true;
    case SystemMenu::Command::Kind::ImportLearnt:
      importLearntPlayer();
      return true;
  }
  return false;
}

// The profile of the learnt player chosen (pinned, followed, or the only one) to a file of the
// user's choice.
void MainWindow::exportLearntPlayer() {
  const std::string followed = app_.control.onLearntPlayer() ? app_.learntClock.player().profile.executable : "";
  const std::optional<std::string> player =
      playerToExport(app_.control.playerChoice().learnt, followed, app_.learntPlayers);
  const std::vector<ProfileFile> files = player ? readProfileFolder(profileFolder()) : std::vector<ProfileFile>{};
  const auto file = std::find_if(files.begin(), files.end(), [&](const ProfileFile& each) {
    learn::Profile profile;
    learn::ProfileError error;
    return learn::parseProfile(each.text, profile, error) && equalIgnoringCase(profile.executable, *player);
  });
  if (file == files.end()) {
    services_.showWarning(hwnd(), transferText(TransferText::NothingToExport, app_.uiLanguage));
    return;
  }
  const std::optional<std::string> path = services_.pickProfileFile(
      hwnd(), std::string(transferText(TransferText::FileFilter, app_.uiLanguage)), profileFileName(*player), true);
  if (!hwnd() || !path) return;
  if (!writeProfileFile(*path, file->text)) {
    services_.showWarning(hwnd(), fillText(transferText(TransferText::NotWritten, app_.uiLanguage), *path));
  }
}

// A profile file checked, then copied into the players folder (asking before it replaces one),
// and its player listed in the Player submenu.
void MainWindow::importLearntPlayer() {
  const std::optional<std::string> path = services_.pickProfileFile(
      hwnd(), std::string(transferText(TransferText::FileFilter, app_.uiLanguage)), "", false);
  if (!hwnd() || !path) return;
  const std::string folder = profileFolder();
  const std::vector<ProfileFile> there = readProfileFolder(folder);
  const ProfileFile file = readProfileFile(*path);
  const ImportPlan plan = planImport(file, there, app_.uiLanguage);
  const auto say = [this](std::string_view text) { services_.showWarning(hwnd(), text); };
  if (!plan.profile) return say(plan.refusal);
  const std::string name = learntPlayerName(plan.profile->executable);
  if (plan.replaces &&
      !services_.askYesNo(hwnd(), fillText(transferText(TransferText::ReplaceQuestion, app_.uiLanguage), name))) {
    return;
  }
  if (folder.empty() || !writeProfileFile(folder + "\\" + plan.fileName, file.text)) {
    return say(fillText(transferText(TransferText::NotWritten, app_.uiLanguage), plan.fileName));
  }
  // A profile of the same player under another name would be read first or second: it goes.
  for (const ProfileFile& each : there) {
    learn::Profile profile;
    learn::ProfileError error;
    if (!equalIgnoringCase(each.name, plan.fileName) && learn::parseProfile(each.text, profile, error) &&
        equalIgnoringCase(profile.executable, plan.profile->executable)) {
      removeProfileFile(folder + "\\" + each.name);
    }
  }
  const bool listed = std::any_of(app_.learntPlayers.begin(), app_.learntPlayers.end(), [&](const std::string& e) {
    return equalIgnoringCase(e, plan.profile->executable);
  });
  if (!listed) {
    app_.learntPlayers.push_back(plan.profile->executable);
    SystemMenu(hwnd()).addLearntPlayer(app_.learntPlayers);
  }
  say(fillText(transferText(TransferText::Imported, app_.uiLanguage), name));
}

// Stores the choice, checks the item and applies it at once, during a run too.
void MainWindow::setEnhancement(Enhancement which, bool on) {
  const size_t i = static_cast<size_t>(which);
  app_.enhancements[i] = on;
  app_.settings.writeText(enhancementSettingPath(which), checkText(on));
  SystemMenu(hwnd()).checkEnhancement(which, on);
  switch (which) {
    case Enhancement::PreciseTiming: app_.run.setPrecise(on); break;
    case Enhancement::FormattingTags: app_.run.setFormattingTags(on); break;
    case Enhancement::SmoothText: app_.run.setSmoothText(on); break;
  }
}

// Moved to a monitor of another DPI, or the monitor's DPI changed: the window takes the size
// Windows suggests, and the controls their places, fonts and captions at the new DPI.
void MainWindow::onDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi ? dpi : kDesignDpi;
  SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  placeControls(hwnd(), dpi_);
  setCaptionFace(hwnd(), dpi_, captionFonts_);
  for (const ControlLayout& c : kControls) fitCaption(c.id);
  applyFontBoxFace(controlText(kIdFontBox));
  InvalidateRect(hwnd(), nullptr, TRUE);
}

// The creation handler: the settings and the UI texts go into the controls.
void MainWindow::fillFromSettings() {
  app_.uiLanguage = languageFromLangId(services_.systemLangId());
  app_.control.setLanguage(app_.uiLanguage);
  app_.uiTexts = UiTextTable::build(app_.uiLanguage, app_.textCodec);
  setCaptionFace(hwnd(), dpi_, captionFonts_);
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
  // A submenu of the window menu may report its items as commands rather than system
  // commands: the submenu's choices and the sync keys' item act either way.
  if (code == 0) {
    const SystemMenu::Command::Kind kind = SystemMenu::decode(static_cast<WPARAM>(id), app_.learntPlayers).kind;
    if (kind == SystemMenu::Command::Kind::SyncKeys || kind == SystemMenu::Command::Kind::Player ||
        kind == SystemMenu::Command::Kind::ExportLearnt || kind == SystemMenu::Command::Kind::ImportLearnt) {
      onMenuCommand(static_cast<WPARAM>(id));
    }
  }
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
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Size, +1); }, VK_F1, kAltDown);
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Size, -1); }, VK_F2, kAltDown);
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Top, +1); }, VK_OEM_6, kAltDown);  // Alt+]
  hotkeys_.registerHotkey([this] { nudgeSlider(Slider::Top, -1); }, VK_OEM_4, kAltDown);  // Alt+[
  hotkeys_.registerHotkey([this] { app_.run.toggleShown(); }, VK_F8);
}

// Set from code, a slider keeps the value even beyond its range (the thumb stops at the end).
void MainWindow::nudgeSlider(Slider slider, int32_t step) {
  setSliderValue(slider, sliderValue(slider) + step);
  onSliderChanged(slider);
}

void MainWindow::onTimer(UINT_PTR id) {
  if (id == kSchedulerTimerId) app_.run.tick();
}

bool MainWindow::startTicks() { return SetTimer(hwnd(), kSchedulerTimerId, SubtitleRun::kTickIntervalMs, nullptr) != 0; }

void MainWindow::stopTicks() { KillTimer(hwnd(), kSchedulerTimerId); }

void MainWindow::armMoment(int64_t untilUs, uint32_t token) {
  if (!momentTimer_) momentTimer_ = std::make_unique<MomentTimer>(hwnd(), kPreciseMomentMessage);
  momentTimer_->arm(untilUs, token);
}

void MainWindow::disarmMoment() {
  if (momentTimer_) momentTimer_->disarm();
}

void MainWindow::settle(uint32_t ms) { pumpMessagesFor(ms); }

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
  drawLink(item, controlText(kLinkIds[link]), link == ForumLink ? DT_LEFT : DT_RIGHT, linkSpent_[link],
           captionFonts_);
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

// The window gives the keyboard focus back to the control that had it (at first the start
// button), so that Escape and Tab work as soon as it is active.
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

// The user's edit of the delay box; the box showing the run's delay is none.
void MainWindow::onDelayChanged() {
  if (!showingDelay_) app_.control.delayTyped(textToInt(controlText(kIdDelayBox)));
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

// The closing handler.
void MainWindow::onDestroy() {
  saveLastDirectory();
  app_.settings.writeText(setting::kProcess, controlText(kIdProcessBox));
  // No hotkey acts on a window that is going: no more posts, then the thread stops.
  hotkeyTarget_.clear();
  hotkeyPolls_.reset();
  bar_.reset();
  notice_.reset();
  status_.reset();
  learn_.reset();
  app_.run.end(kSettleAtCloseMs);
  tooltip_.reset();
  PostQuitMessage(0);
}

void MainWindow::saveLastDirectory() {
  const std::string_view folder = folderOfPath(app_.lastPickedFile, app_.isLeadByte);
  if (directoryExists(folder, app_.isLeadByte)) app_.settings.writeText(setting::kDirectory, folder);
}

}  // namespace quorvane
