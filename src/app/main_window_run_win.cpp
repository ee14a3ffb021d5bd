#include "app/main_window_win.h"

#include <algorithm>

#include "app/control_ids.h"
#include "app/directory_exists.h"
#include "players/player_search_win.h"
#include "app/sync_settings.h"
#include "app/sync_texts.h"
#include "app/run_control.h"
#include "loading/subtitle_formats.h"
#include "platform/modal_pump_win.h"
#include "platform/wide_text_win.h"
#include "memory_player/learn_modules.h"
#include "memory_player/learnt_profiles.h"
#include "memory_player/player_locator.h"

// The main window's side of the subtitle run: the press that starts one, the keys that reach
// the run's control and what the control shows through this window.

namespace quorvane {
namespace {

// The picked file's name, without its folder, in UTF-8: the dialog gives the path in the
// system's code page.
std::string utf8FileName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return utf8FromWide(wideFromCodePage(name, CP_ACP));
}

}  // namespace

void MainWindow::onStartClicked() {
  // A press dispatches messages while it searches, in its dialog and in its pause: a second
  // press meanwhile is ignored.
  if (pressing_) return;
  pressing_ = true;
  selectAndStart();
  pressing_ = false;
}

// Finds the clock to follow, lets the user pick a subtitle file, loads it and starts a run in
// place of the one that may be running. The running run keeps its clock until a file is
// picked: the searches and the dialog dispatch messages, so its ticks and the hotkeys go on
// meanwhile. Each step that dispatches messages may see this window closed; the press then ends.
void MainWindow::selectAndStart() {
  ClockSearches searches;
  searches.memoryPlayer = [this](std::string_view typedName) {
    return locatePlayer(*app_.processes, typedName, [] { pumpPendingMessages(); });
  };
  searches.interfacePlayer = [](const InterfaceSettings& settings) {
    return findInterfacePlayer(settings, [] { pumpPendingMessages(); });
  };
  searches.learntProfiles = [] { return loadProfiles(readProfileFolder(profileFolder())); };
  searches.learntPlayer = [this](std::span<const learn::Profile> profiles) {
    return findLearntPlayer(*app_.processes, profiles, learn::listModules);
  };
  std::optional<ClockPlan> plan = app_.control.findClock(searches, controlText(kIdProcessBox), app_.playerMode);
  if (!hwnd() || !plan) return;

  const std::string folder = app_.settings.readText(setting::kDirectory, programFolder());
  const std::optional<std::string> path = services_.pickFile(hwnd(), folder, app_.fileDialogFilter);
  if (!hwnd() || !path) return;
  app_.lastPickedFile = *path;
  SubtitleFormat format = SubtitleFormat::Srt;
  CueTable table = loadSubtitles(*path, app_.uiLanguage, app_.textCodec, &format);
  if (!app_.control.acceptFile(table, utf8FileName(*path), subtitleFormatName(format))) return;

  if (app_.run.running()) {
    app_.run.end(kSettleBetweenRunsMs);
    if (!hwnd()) return;
  }
  // A file an English system keeps as it is is shown in the system's code page.
  const unsigned codePage = table.codePage != 0 ? table.codePage : GetACP();
  std::unique_ptr<Overlay> overlay = services_.createOverlay(overlaySetup(codePage));
  if (!overlay) return;
  recomputeMetrics();
  app_.run.setInputs(runInputs());
  app_.control.start(std::move(*plan), std::move(table), codePage, std::move(overlay),
                     app_.enhanced(Enhancement::PreciseTiming));
  runFile_ = *path;
  // A remembered second file that no longer gives lines is said and forgotten.
  const std::optional<std::string> second = app_.control.rememberedSecond(*path);
  if (second && !showSecond(*second)) app_.control.removeSecond();
}

// Without a run there is nothing to show the second file with: the press only beeps.
void MainWindow::addSecondFile() {
  if (pressing_) return;
  if (!app_.run.running()) {
    MessageBeep(MB_ICONWARNING);
    return;
  }
  pressing_ = true;
  const std::string folder = app_.settings.readText(setting::kDirectory, programFolder());
  const std::optional<std::string> path = services_.pickFile(hwnd(), folder, app_.fileDialogFilter);
  pressing_ = false;
  if (!hwnd() || !path || !app_.run.running()) return;
  showSecond(*path);
}

// The overlay draws in the first file's code page; the second may come in another (a UTF-8
// file is read as GBK, a Big5 or Western file keeps its own), so its texts are brought over.
bool MainWindow::showSecond(const std::string& path) {
  SubtitleFormat format = SubtitleFormat::Srt;
  CueTable table = loadSubtitles(path, app_.uiLanguage, app_.textCodec, &format);
  if (!app_.control.acceptFile(table, utf8FileName(path), subtitleFormatName(format))) return false;
  const auto drawn = [](unsigned codePage) { return codePage != 0 ? codePage : GetACP(); };
  table.codePage = drawn(table.codePage);
  const bool kept = recodeCueTable(table, drawn(app_.run.table().codePage));
  if (!app_.control.addSecond(std::move(table), path, runFile_)) return false;
  if (!kept) sayUtf8(secondFileLossText(app_.uiLanguage));
  return true;
}

void MainWindow::sayNoPlayer() { showMessage(UiRow::PlayerMissing); }

void MainWindow::sayUtf8(std::string_view text) { services_.showWarning(hwnd(), text); }

// The title names the player that tells its time, or the learnt player, while the run follows one.
void MainWindow::showFollowed(std::string_view playerName) {
  std::string title = app_.uiTexts.row(UiRow::WindowTitle);
  if (!playerName.empty()) title += " - " + std::string(playerName);
  SetWindowTextA(hwnd(), title.c_str());
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
  RunControl& control = app_.control;
  setup.pictureArea = [&control] { return control.pictureArea(); };
  return setup;
}

void MainWindow::showDelay(int32_t delayMs) {
  showingDelay_ = true;
  SetWindowTextA(control(kIdDelayBox), std::to_string(delayMs).c_str());
  showingDelay_ = false;
}

// The sync keys and the free clock's keys, after the program's first five. Polled like them,
// with the same exact-modifier rule, and not swallowed: the program in front gets the key too.
// Registered always; the run's control ignores them while the system menu's item has them off.
void MainWindow::registerSyncKeys() {
  constexpr int32_t kAlt = kAltDown, kAltShift = kAltDown | kShiftDown;
  constexpr int32_t kComma = VK_OEM_COMMA, kPeriod = VK_OEM_PERIOD, kSlash = VK_OEM_2, kSemicolon = VK_OEM_1;
  const auto key = [this](SyncKey which, int32_t keyCode, int32_t modifiers) {
    hotkeys_.registerHotkey([this, which] { app_.control.keyPressed(which); }, keyCode, modifiers);
  };
  key(SyncKey::DelayBack, kComma, kAlt);
  key(SyncKey::DelayOn, kPeriod, kAlt);
  key(SyncKey::DelayBackSecond, kComma, kAltShift);
  key(SyncKey::DelayOnSecond, kPeriod, kAltShift);
  key(SyncKey::ResetSync, kSlash, kAlt);
  key(SyncKey::LineIsNow, kSemicolon, kAlt);
  key(SyncKey::PlayPause, VK_RETURN, kAltShift);
  key(SyncKey::BackSecond, VK_LEFT, kAltShift);
  key(SyncKey::OnSecond, VK_RIGHT, kAltShift);
  key(SyncKey::PreviousLine, VK_UP, kAltShift);
  key(SyncKey::NextLine, VK_DOWN, kAltShift);
  // The second subtitle file's own delay: the delay keys with Ctrl.
  constexpr int32_t kCtrlAlt = kAlt | kCtrlDown, kCtrlAltShift = kAltShift | kCtrlDown;
  key(SyncKey::SecondDelayBack, kComma, kCtrlAlt);
  key(SyncKey::SecondDelayOn, kPeriod, kCtrlAlt);
  key(SyncKey::SecondDelayBackSecond, kComma, kCtrlAltShift);
  key(SyncKey::SecondDelayOnSecond, kPeriod, kCtrlAltShift);
  // Alt+': the window menu's "Add a second subtitle file...".
  hotkeys_.registerHotkey([this] { addSecondFile(); }, VK_OEM_7, kAlt);
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

// The bar of a free-clock run, where it was left; hidden with any other run.
void MainWindow::showTransportBar(bool shown) {
  if (!shown) {
    if (bar_) bar_->hide();
    return;
  }
  if (bar_) {
    bar_->show();
    return;
  }
  RunControl& control = app_.control;
  TransportBarActions actions;
  actions.togglePlay = [&control] { control.togglePlay(); };
  actions.seekBy = [&control](int32_t deltaMs) { control.seekBy(deltaMs); };
  actions.toLine = [&control](bool next) { control.toLine(next); };
  actions.seekTo = [&control](int64_t fileMs) { control.seekTo(fileMs); };
  actions.toggleEarlyStart = [&control] { control.toggleEarlyStart(); };
  actions.placed = [this](const BarPlace& place) { app_.settings.writeText(setting::kBarPlace, barPlaceText(place)); };
  bar_ = TransportBar::create(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE)), app_.uiLanguage,
                              [&control] { return control.transportBarState(); }, std::move(actions),
                              parseBarPlace(app_.settings.readText(setting::kBarPlace, "")));
}

void MainWindow::showStatus() {
  if (!status_) {
    status_ = StatusWindow::create(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE)), hwnd(),
                                   app_.uiLanguage, [this] { return gatherStatus(app_); });
  }
  if (status_) status_->show();
}

void MainWindow::showLearnWizard() {
  if (!learn_) {
    learn_ = LearnWizard::create(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd(), GWLP_HINSTANCE)), hwnd(),
                                 app_.uiLanguage);
  }
  if (learn_) learn_->show();
}

}  // namespace quorvane
