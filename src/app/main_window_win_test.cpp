#include "app/main_window_win.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/file_filter.h"
#include "app/learn_wizard_model.h"
#include "app/sync_texts.h"
#include "platform/fake_key_state.h"
#include "platform/fake_registry.h"
#include "platform/wide_text_win.h"
#include "memory_player/fake_player_processes.h"
#include "memory_player/learnt_profiles.h"
#include "memory_player/fake_process_terminator.h"

namespace quorvane {
namespace {

// An overlay that writes what is done to it, its creation and its end into the test's log.
class LoggedOverlay final : public NullOverlay {
 public:
  LoggedOverlay(std::vector<std::string>& log, const OverlaySetup& setup) : log_(log) {
    log_.push_back("create " + setup.fontFace + " " + std::to_string(setup.fontPoints) + "pt at " +
                   std::to_string(setup.left) + "," + std::to_string(setup.top) + " width " +
                   std::to_string(setup.labelWidth) + (setup.centred ? " centred" : "") +
                   (setup.shadow ? " shadow" : "") + (setup.formattingTags ? " tags" : "") +
                   (setup.smoothText ? " smooth" : ""));
  }
  void setFormattingTags(bool on) override { log_.push_back(on ? "tags on" : "tags off"); }
  void setSmoothText(bool on) override { log_.push_back(on ? "smooth on" : "smooth off"); }
  ~LoggedOverlay() override { log_.push_back("destroy"); }
  void setTop(int32_t y) override { log_.push_back("top " + std::to_string(y)); }
  void setVisible(bool visible) override { log_.push_back(visible ? "show" : "hide"); }
  void setFontSize(int32_t points) override { log_.push_back("size " + std::to_string(points)); }
  void setLabelWidth(int32_t pixels) override { log_.push_back("width " + std::to_string(pixels)); }

 private:
  std::vector<std::string>& log_;
};

// The real main window, on a fake registry, with the system's message boxes and shell
// replaced by recorders.
class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
  }
  void TearDown() override {
    if (window && window->hwnd()) DestroyWindow(window->hwnd());
  }

  void open(uint16_t langId = 0x0409) {
    auto fakeRegistry = std::make_unique<FakeRegistry>();
    registry = fakeRegistry.get();
    for (const auto& [name, text] : stored) registry->setText(setting::kKey, name, text);
    auto fakeTerminator = std::make_unique<RecordingTerminator>();
    terminator = fakeTerminator.get();
    auto fakeProcesses = std::make_unique<FakeProcesses>();
    processes = fakeProcesses.get();
    app = std::make_unique<AppState>(std::move(fakeRegistry), codec, std::move(fakeTerminator),
                                     std::move(fakeProcesses));
    MainWindowServices services;
    services.systemLangId = [langId] { return langId; };
    services.showMessage = [this](const std::string& text, const std::string& title) {
      messages.push_back(title + "|" + text);
    };
    services.showWarning = [this](HWND, std::string_view text) { messages.push_back("warning|" + std::string(text)); };
    services.shellOpen = [this](const char* file, const char* parameters) -> intptr_t {
      shellCalls.push_back(std::string(file) + " " + (parameters ? parameters : "-"));
      return shellResult;
    };
    services.pickFile = [this](HWND, const std::string& folder, const std::string& filter) {
      dialogs.push_back(folder + " " + filter);
      return pickedFile;
    };
    services.pickProfileFile = [this](HWND, const std::string&, const std::string& name, bool save) {
      dialogs.push_back(std::string(save ? "save " : "open ") + name);
      return pickedFile;
    };
    services.askYesNo = [this](HWND, std::string_view text) {
      messages.push_back("question|" + std::string(text));
      return answerYes;
    };
    services.createOverlay = [this](const OverlaySetup& setup) {
      return std::make_unique<LoggedOverlay>(overlayLog, setup);
    };
    services.keys = &keys;
    window = std::make_unique<MainWindow>(*app, services);
    ASSERT_TRUE(window->create(GetModuleHandleA(nullptr), SW_HIDE));
  }

  HWND item(int id) const { return GetDlgItem(window->hwnd(), id); }
  std::string text(HWND hwnd) const {
    char buffer[512] = {};
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
  }
  std::string text(int id) const { return text(item(id)); }
  std::string storedText(std::string_view name) const {
    const auto* value = registry->find(RegistryRoot::LocalMachine, setting::kKey, name);
    return value ? value->text : "<missing>";
  }
  LRESULT thumb(int id) const { return SendMessageA(item(id), TBM_GETPOS, 0, 0); }
  void click(int id) { SendMessageA(item(id), BM_CLICK, 0, 0); }
  void type(int id, const char* keys) {
    for (const char* k = keys; *k; ++k) SendMessageA(item(id), WM_CHAR, static_cast<unsigned char>(*k), 0);
  }

  // Runs this thread's messages for a while: posted hotkey firings, timers.
  static void pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      Sleep(5);
    } while (GetTickCount() - start < ms);
  }

  // A subtitle file of one line in the temporary folder, to pick.
  static std::string oneLineFile() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "quorvane-window-test.srt";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
      std::fputs("1\r\n00:00:01,000 --> 00:00:02,000\r\nLine\r\n", file);
      std::fclose(file);
    }
    return path;
  }

  // A player that the search finds, and a subtitle file to pick.
  void runSubtitles() {
    processes->addPlayer(42, "PowerDVDMovie.exe", 0x2000, 0x00A00000);
    pickedFile = oneLineFile();
    click(kIdStartButton);
  }

  const TextCodec codec{systemCodePages()};
  std::vector<std::pair<std::string, std::string>> stored;
  FakeProcesses* processes = nullptr;
  FakeKeyState keys;
  std::optional<std::string> pickedFile;
  bool answerYes = true;
  std::vector<std::string> dialogs;
  std::vector<std::string> overlayLog;
  FakeRegistry* registry = nullptr;
  RecordingTerminator* terminator = nullptr;
  std::unique_ptr<AppState> app;
  std::unique_ptr<MainWindow> window;
  std::vector<std::string> messages;
  std::vector<std::string> shellCalls;
  intptr_t shellResult = 42;
};

TEST_F(MainWindowTest, FirstStartShowsTheDefaults) {
  open();
  RECT frame{};
  GetWindowRect(window->hwnd(), &frame);
  EXPECT_EQ(frame.right - frame.left, 404);
  EXPECT_EQ(frame.bottom - frame.top, 338);
  const LONG style = GetWindowLongA(window->hwnd(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));

  EXPECT_EQ(text(window->hwnd()), "Quorvane (Only For PD15)");
  EXPECT_EQ(IsDlgButtonChecked(window->hwnd(), kIdCentreCheck), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(window->hwnd(), kIdShadowCheck), BST_UNCHECKED);
  EXPECT_EQ(text(kIdProcessBox), "PowerDVDMovie.exe");
  EXPECT_EQ(text(kIdFontBox), "Bold");
  EXPECT_EQ(text(kIdDelayBox), "0");
  EXPECT_EQ(app->playerMode, 1);

  const int topValue = GetSystemMetrics(SM_CYSCREEN) - 110;
  EXPECT_EQ(text(kIdSizeLabel), "Font size = 36");
  EXPECT_EQ(text(kIdWidthLabel), "Sub width = 1440");
  EXPECT_EQ(text(kIdLeftLabel), "Left = 240");
  EXPECT_EQ(text(kIdTopLabel), "Top = " + std::to_string(topValue));
  EXPECT_EQ(thumb(kIdSizeSlider), 18);
  EXPECT_EQ(thumb(kIdWidthSlider), 1440);
  EXPECT_EQ(thumb(kIdLeftSlider), 240);
  EXPECT_EQ(thumb(kIdTopSlider), std::min(topValue, 1440));

  EXPECT_EQ(text(kIdTrimButton), "CutUI");
  EXPECT_EQ(text(kIdPlayerGroup), "Select Player");
  EXPECT_EQ(text(kIdProcessLabel), "Process:");
  EXPECT_EQ(app->fileDialogFilter, subtitleFileFilter(app->uiTexts, UiLanguage::English));
  EXPECT_EQ(text(kIdUpdateLink).rfind("Check update.", 0), 0u);
  EXPECT_TRUE(storedText("font") == "<missing>");  // filling the box stores nothing
}

TEST_F(MainWindowTest, SliderValuesBeyondTheRangeAreKeptWhileTheThumbStopsAtTheEnd) {
  stored = {{"size", "100"}, {"left", "99999"}, {"width", "-20"}, {"top", "\xA3\xB1\xA3\xB0"}};
  open();
  EXPECT_EQ(window->sliderValue(Slider::Size), 50);
  EXPECT_EQ(thumb(kIdSizeSlider), 36);
  EXPECT_EQ(text(kIdSizeLabel), "Font size = 100");
  EXPECT_EQ(window->sliderValue(Slider::Left), 32767);
  EXPECT_EQ(thumb(kIdLeftSlider), 2560);
  EXPECT_EQ(window->sliderValue(Slider::Width), 0);
  EXPECT_EQ(window->sliderValue(Slider::Top), 10);  // full-width digits
  window->setSliderValue(Slider::Size, 37);
  EXPECT_EQ(window->sliderValue(Slider::Size), 37);
  EXPECT_EQ(thumb(kIdSizeSlider), 36);
}

TEST_F(MainWindowTest, OddSettingsStillGiveAWorkingWindow) {
  stored = {{"process", std::string(300, 'p')}, {"font", "No Such Face At All"},
            {"centext", std::string(64 * 1024, '1')}, {"mode", "257"}};
  open();
  EXPECT_EQ(text(kIdProcessBox).size(), 300u);
  EXPECT_EQ(text(kIdFontBox), "No Such Face At All");
  EXPECT_EQ(IsDlgButtonChecked(window->hwnd(), kIdCentreCheck), BST_UNCHECKED);
  EXPECT_EQ(app->playerMode, 1);
}

TEST_F(MainWindowTest, DelayBoxTakesTypedDigitsAndMinusOnly) {
  open();
  SetWindowTextA(item(kIdDelayBox), "");
  std::vector<int32_t> delays;
  for (const char* key : {"-", "2", "x", "5", "0"}) {
    type(kIdDelayBox, key);
    delays.push_back(app->run.inputs().delayMs);
  }
  EXPECT_EQ(text(kIdDelayBox), "-250");
  EXPECT_EQ(delays, (std::vector<int32_t>{0, -2, -2, -25, -250}));
  SetWindowTextA(item(kIdDelayBox), "\xA3\xB1\xA3\xB2");  // pasted full-width 12
  EXPECT_EQ(app->run.inputs().delayMs, 12);
  SendMessageA(item(kIdDelayBox), EM_SETSEL, 8, 8);
  type(kIdDelayBox, "\b\b\b\b");
  EXPECT_EQ(app->run.inputs().delayMs, 0);
  EXPECT_EQ(storedText("delay"), "<missing>");
  SetWindowTextA(item(kIdDelayBox), "");
  type(kIdDelayBox, "123456789");
  EXPECT_EQ(text(kIdDelayBox), "12345678");  // at most 8 characters
}

TEST_F(MainWindowTest, SettingsControlsStoreAtOnce) {
  open();
  SetWindowTextA(item(kIdFontBox), "Arial");
  EXPECT_EQ(storedText("font"), "Arial");
  SetWindowTextA(item(kIdFontBox), "");
  EXPECT_EQ(storedText("font"), "");
  click(kIdCentreCheck);
  EXPECT_EQ(storedText("centext"), "0");
  click(kIdShadowCheck);
  EXPECT_EQ(storedText("shadow"), "1");
  click(kIdShadowCheck);
  EXPECT_EQ(storedText("shadow"), "0");
}

TEST_F(MainWindowTest, TrimButtonTrimsThenRestores) {
  open();
  click(kIdTrimButton);
  EXPECT_EQ(terminator->names.size(), 6u);
  EXPECT_EQ(text(kIdTrimButton), "Revoke");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Orlenna say|Anyway,When you wantto revoke CutUI,just click me 2 times");
  const char* customize = "Software\\CyberLink\\PowerDVD15\\UISettings\\customize";
  const auto* value = registry->find(RegistryRoot::CurrentUser, customize, "showTVLib");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->dword, 0u);

  click(kIdTrimButton);
  EXPECT_EQ(text(kIdTrimButton), "CutUI");
  EXPECT_EQ(messages.size(), 1u);  // no message on restoring
  EXPECT_EQ(registry->find(RegistryRoot::CurrentUser, customize, "showTVLib")->dword, 1u);
}

TEST_F(MainWindowTest, HelpShowsTheHelpText) {
  open();
  click(kIdHelpButton);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Orlenna say|1.Launch PowerDVD", 0), 0u);
}

TEST_F(MainWindowTest, ALinkOpensItsPageOnceAndFallsBackWhenTheBrowserFails) {
  open();
  shellResult = 2;  // iexplore.exe not found
  const auto press = [&](int id) {
    SendMessageA(window->hwnd(), WM_COMMAND, MAKEWPARAM(id, STN_CLICKED),
                 reinterpret_cast<LPARAM>(item(id)));
  };
  press(kIdForumLink);
  ASSERT_EQ(shellCalls.size(), 2u);
  EXPECT_EQ(shellCalls[0], "iexplore.exe " + std::string(kForumPageUrl));
  EXPECT_EQ(shellCalls[1], std::string(kForumPageUrl) + " -");
  EXPECT_FALSE(IsWindowEnabled(item(kIdForumLink)));
  press(kIdForumLink);
  EXPECT_EQ(shellCalls.size(), 2u);
  EXPECT_TRUE(IsWindowEnabled(item(kIdToolLink)));
}

TEST_F(MainWindowTest, ClosingSavesTheProcessNameAndAnExistingFolder) {
  open();
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);  // ends with a backslash
  app->lastPickedFile = std::string(temp) + "Movie.srt";
  SetWindowTextA(item(kIdProcessBox), "");
  DestroyWindow(window->hwnd());
  EXPECT_EQ(storedText("process"), "");
  EXPECT_EQ(storedText("directory"), temp);
}

TEST_F(MainWindowTest, ClosingKeepsTheFolderWhenItIsGoneOrNoneWasPicked) {
  stored = {{"directory", "D:\\Old\\"}};
  open();
  app->lastPickedFile = "C:\\No\\Such\\Folder\\Movie.srt";
  DestroyWindow(window->hwnd());
  EXPECT_EQ(storedText("directory"), "D:\\Old\\");
  EXPECT_EQ(storedText("process"), "PowerDVDMovie.exe");
}

TEST_F(MainWindowTest, SelectAndStartWithoutAPlayerOnlyTellsSo) {
  open();
  processes->addProcess(7, "PowerDVDMovie.exe");  // running, but without the signature
  click(kIdStartButton);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Orlenna say|Please launch CyberLink PowerDVD Ultra and Play in BD/DVD Mode");
  EXPECT_TRUE(dialogs.empty());
  EXPECT_FALSE(app->run.running());
}

TEST_F(MainWindowTest, SelectAndStartPicksInTheStoredFolderAndReplacesARunningRun) {
  stored = {{"directory", "D:\\Films\\"}, {"left", "100"}, {"top", "900"}, {"shadow", "1"}};
  open();
  runSubtitles();
  EXPECT_EQ(dialogs, std::vector<std::string>{"D:\\Films\\ " + app->fileDialogFilter});
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(app->run.running());
  EXPECT_EQ(overlayLog, std::vector<std::string>{"create Bold 36pt at 100,900 width 1440 centred shadow"});
  EXPECT_EQ(app->playerClock.player().playerPid, 42u);
  EXPECT_EQ(app->run.inputs().metrics.lineHeight, 48);  // computed as the run starts
  EXPECT_EQ(app->run.inputs().screenHeight, GetSystemMetrics(SM_CYSCREEN));

  // Cancelled, after a search that found another player: the run goes on as it was. Picked:
  // the old overlay goes before the new one comes.
  overlayLog.clear();
  processes->addPlayer(43, "Other.exe", 0x2000, 0x00B00000);
  SetWindowTextA(item(kIdProcessBox), "Other.exe");
  pickedFile.reset();
  click(kIdStartButton);
  EXPECT_EQ(dialogs.size(), 2u);
  EXPECT_TRUE(overlayLog.empty());
  EXPECT_TRUE(app->run.running());
  EXPECT_EQ(&app->run.clock(), &app->playerClock);
  EXPECT_EQ(app->playerClock.player().playerPid, 42u);
  SetWindowTextA(item(kIdProcessBox), "PowerDVDMovie.exe");
  runSubtitles();
  EXPECT_EQ(overlayLog, (std::vector<std::string>{"destroy", "create Bold 36pt at 100,900 width 1440 centred shadow"}));

  overlayLog.clear();
  DestroyWindow(window->hwnd());
  EXPECT_EQ(overlayLog, std::vector<std::string>{"destroy"});
  EXPECT_FALSE(app->run.running());
}

TEST_F(MainWindowTest, SlidersStoreCaptionAndMoveTheRunningOverlay) {
  open();
  const auto drag = [&](int id, int position) {
    SendMessageA(item(id), TBM_SETPOS, TRUE, position);
    SendMessageA(window->hwnd(), WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position),
                 reinterpret_cast<LPARAM>(item(id)));
  };
  drag(kIdWidthSlider, 1000);  // no run: stored and shown, and the metrics follow
  EXPECT_EQ(storedText("width"), "1000");
  EXPECT_EQ(text(kIdWidthLabel), "Sub width = 1000");
  EXPECT_EQ(app->run.inputs().metrics.lineCapacity, 1000 / 48);
  runSubtitles();
  overlayLog.clear();
  drag(kIdSizeSlider, 17);
  drag(kIdTopSlider, 800);
  drag(kIdWidthSlider, 1440);
  EXPECT_EQ(overlayLog, (std::vector<std::string>{"size 34", "top 800", "width 1440"}));
  EXPECT_EQ(storedText("size"), "34");
  EXPECT_EQ(text(kIdSizeLabel), "Font size = 34");
  EXPECT_EQ(storedText("top"), "800");
  EXPECT_EQ(app->run.inputs().metrics.lineHeight, 46);
}

TEST_F(MainWindowTest, HotkeysActOnThisWindowsThread) {
  stored = {{"size", "72"}};
  open();
  // A key held long enough for the 10 ms poll to see it down.
  const auto stroke = [&](int key) {
    keys.press(key);
    pump(60);
    keys.release(key);
    pump(60);
  };
  keys.press(VK_MENU);
  stroke(VK_F1);  // Alt+F1 at the slider's end: beyond it, as a value set from code
  EXPECT_EQ(storedText("size"), "74");
  EXPECT_EQ(window->sliderValue(Slider::Size), 37);
  keys.press(VK_CONTROL);
  stroke(VK_F1);  // Alt+Ctrl+F1: no such hotkey
  keys.release(VK_CONTROL);
  keys.release(VK_MENU);
  stroke(VK_F8);  // no run: nothing to show or hide
  EXPECT_EQ(storedText("size"), "74");

  runSubtitles();
  overlayLog.clear();
  stroke(VK_F8);
  stroke(VK_F8);
  EXPECT_EQ(overlayLog, (std::vector<std::string>{"hide", "show"}));
}

// The sync keys beside the five: the delay box follows them, the five behave as before, and
// the system menu's item switches them off.
TEST_F(MainWindowTest, SyncKeysMoveTheDelayBoxUntilTheirItemSwitchesThemOff) {
  open();
  const auto stroke = [&](std::initializer_list<int> modifiers, int key) {
    for (const int m : modifiers) keys.press(m);
    keys.press(key);
    pump(60);
    keys.release(key);
    for (const int m : modifiers) keys.release(m);
    pump(60);
  };
  stroke({VK_MENU}, VK_OEM_PERIOD);
  stroke({VK_MENU}, VK_OEM_PERIOD);
  stroke({VK_MENU, VK_SHIFT}, VK_OEM_COMMA);
  EXPECT_EQ(text(kIdDelayBox), "-800");
  EXPECT_EQ(app->run.inputs().delayMs, -800);
  stroke({VK_MENU, VK_CONTROL}, VK_OEM_PERIOD);  // not a sync key: exact modifiers
  stroke({VK_MENU}, VK_F1);
  EXPECT_EQ(text(kIdDelayBox), "-800");
  EXPECT_EQ(window->sliderValue(Slider::Size), 19);
  EXPECT_EQ(text(FindWindowA(kNoticeClassName, nullptr)), "Delay -800 ms");

  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kSyncKeysCommand, 0);
  EXPECT_EQ(storedText("synckeys"), "0");
  stroke({VK_MENU}, VK_OEM_2);
  EXPECT_EQ(text(kIdDelayBox), "-800");
  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kSyncKeysCommand, 0);
  stroke({VK_MENU}, VK_OEM_2);
  EXPECT_EQ(text(kIdDelayBox), "0");
}

// "No player: free clock": no search and no message, the dialog at once, and the run on the
// free clock, paused at 0; the choice is stored and read at the next start.
TEST_F(MainWindowTest, TheFreeClockGoesStraightToTheDialogAndRunsOnItsOwnClock) {
  open(0x0804);
  const HMENU menu = GetSystemMenu(window->hwnd(), FALSE);
  EXPECT_NE(GetMenuState(menu, SystemMenu::kAutomaticPlayerCommand, MF_BYCOMMAND) & MF_CHECKED, 0u);
  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kFreeClockCommand, 0);
  EXPECT_EQ(storedText("freeclock"), "1");
  EXPECT_NE(GetMenuState(menu, SystemMenu::kFreeClockCommand, MF_BYCOMMAND) & MF_CHECKED, 0u);
  char caption[64] = {};
  GetMenuStringA(menu, SystemMenu::kFreeClockCommand, caption, sizeof caption, MF_BYCOMMAND);
  EXPECT_EQ(std::string(caption), syncText(SyncText::FreeClockItem, UiLanguage::SimplifiedChinese));

  pickedFile = "no-such-file.srt";
  click(kIdStartButton);  // no player runs, and a file without lines starts nothing
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("warning|“no-such-file.srt”中没有字幕行（按 SRT 格式读取）", 0), 0u) << messages[0];
  EXPECT_FALSE(app->run.running());
  messages.clear();
  pickedFile = oneLineFile();
  click(kIdStartButton);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dialogs.size(), 2u);
  ASSERT_TRUE(app->run.running());
  EXPECT_EQ(&app->run.clock(), &app->control.freeClock());

  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kAutomaticPlayerCommand, 0);
  runSubtitles();
  EXPECT_EQ(&app->run.clock(), &app->playerClock);
}

// The window menu's Status opens one window, in the interface language, that tells the run as
// it goes; closing it hides it, the menu shows it again, and it goes with the main window.
TEST_F(MainWindowTest, TheStatusItemOpensALiveWindowThatClosingHides) {
  open(0x0404);
  const HMENU menu = GetSystemMenu(window->hwnd(), FALSE);
  char caption[64] = {};
  GetMenuStringA(menu, SystemMenu::kStatusCommand, caption, sizeof caption, MF_BYCOMMAND);
  EXPECT_EQ(std::string(caption), syncText(SyncText::StatusItem, UiLanguage::TraditionalChinese));
  const auto statusWindow = [] { return FindWindowW(kStatusWindowClassName, nullptr); };
  EXPECT_EQ(statusWindow(), nullptr);

  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kStatusCommand, 0);
  const HWND status = statusWindow();
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(IsWindowVisible(status));
  EXPECT_EQ(GetWindow(status, GW_OWNER), window->hwnd());
  // Its second static is the first row's value: which clock the run follows.
  const auto source = [status] {
    wchar_t text[128] = {};
    GetWindowTextW(GetWindow(GetWindow(status, GW_CHILD), GW_HWNDNEXT), text, 128);
    return utf8FromWide(text);
  };
  EXPECT_EQ(source(), statusRows({}, UiLanguage::TraditionalChinese)[0].value);
  runSubtitles();
  pump(2 * StatusWindow::kRefreshMs);
  EXPECT_EQ(source(), "PowerDVD（從記憶體讀取，處理程序 42）");

  SendMessageA(status, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(status));
  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kStatusCommand, 0);
  EXPECT_EQ(statusWindow(), status);
  EXPECT_TRUE(IsWindowVisible(status));
  DestroyWindow(window->hwnd());
  EXPECT_FALSE(IsWindow(status));
}

// "Learn a player..." is in the window menu and at the end of the Player submenu, in the
// interface language; both open one wizard on its first page, which Cancel hides and the menu
// shows again, and which goes with the main window.
TEST_F(MainWindowTest, TheLearnItemsOpenTheWizardThatCancelHides) {
  open(0x0804);
  const HMENU menu = GetSystemMenu(window->hwnd(), FALSE);
  const std::wstring expected = wideFromUtf8(learnText(LearnText::MenuItem, UiLanguage::SimplifiedChinese));
  wchar_t caption[64] = {};
  GetMenuStringW(menu, SystemMenu::kLearnCommand, caption, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(caption), expected);
  const HMENU players = GetSubMenu(menu, GetMenuItemCount(menu) - 1);
  GetMenuStringW(players, SystemMenu::kLearnFromPlayersCommand, caption, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(caption), expected);
  const auto wizardWindow = [] { return FindWindowW(kLearnWizardClassName, nullptr); };

  for (const UINT command : {SystemMenu::kLearnCommand, SystemMenu::kLearnFromPlayersCommand}) {
    SendMessageA(window->hwnd(), WM_SYSCOMMAND, command, 0);
    const HWND wizard = wizardWindow();
    ASSERT_NE(wizard, nullptr);
    EXPECT_TRUE(IsWindowVisible(wizard));
    EXPECT_EQ(GetWindow(wizard, GW_OWNER), window->hwnd());
    // Nothing picked yet: Next waits.
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wizard, LearnWizard::kIdNext)));
    SendMessageW(wizard, WM_COMMAND, LearnWizard::kIdCancel, 0);
    pump(50);
    EXPECT_FALSE(IsWindowVisible(wizard));
  }
  const HWND wizard = wizardWindow();
  DestroyWindow(window->hwnd());
  EXPECT_FALSE(IsWindow(wizard));
}

// Import checks a file before it copies it into the players folder and lists its player in the
// Player submenu; it asks before it replaces that player's profile, and refuses a broken file
// naming it. Export writes the only learnt player's profile where the user says.
TEST_F(MainWindowTest, LearntPlayersAreImportedAndExportedThroughTheirDialogs) {
  open();
  const std::string folder = profileFolder();
  ASSERT_FALSE(folder.empty());
  const std::string target = folder + "\\windowtest.exe.profile";
  removeProfileFile(target);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  learn::Profile profile;
  profile.executable = "WindowTest.exe";
  profile.path = {"WindowTest.exe", 0x100, {0x48}};
  const std::string good = learn::formatProfile(profile);
  const std::string shared = std::string(temp) + "shared.profile";
  ASSERT_TRUE(writeProfileFile(shared, good));
  const auto import = [&] { SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kImportLearntCommand, 0); };

  pickedFile = shared;
  import();
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "warning|WindowTest was imported: Select and Start follows it when it runs."}));
  EXPECT_EQ(readProfileFile(target).text, good);
  ASSERT_FALSE(app->learntPlayers.empty());
  EXPECT_EQ(app->learntPlayers.back(), "WindowTest.exe");
  char caption[64] = {};
  GetMenuStringA(GetSystemMenu(window->hwnd(), FALSE),
                 SystemMenu::kFirstLearntPlayerCommand + 16 * static_cast<UINT>(app->learntPlayers.size() - 1),
                 caption, sizeof caption, MF_BYCOMMAND);
  EXPECT_STREQ(caption, "WindowTest");

  messages.clear();
  answerYes = false;
  ASSERT_TRUE(writeProfileFile(shared, "# changed\n" + good));
  import();
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "question|Quorvane already has a profile of WindowTest. Replace it with the imported one?"}));
  EXPECT_EQ(readProfileFile(target).text, good);

  messages.clear();
  ASSERT_TRUE(writeProfileFile(shared, "format=1\nexecutable=WindowTest.exe\n"));
  import();
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "warning|Learnt player not loaded: player profile shared.profile: no architecture=."}));
  EXPECT_EQ(readProfileFile(target).text, good);

  // Export: the pinned learnt player's profile, under its own file name.
  messages.clear();
  dialogs.clear();
  SendMessageA(window->hwnd(), WM_SYSCOMMAND,
               SystemMenu::kFirstLearntPlayerCommand + 16 * static_cast<UINT>(app->learntPlayers.size() - 1), 0);
  const std::string exported = std::string(temp) + "exported.profile";
  removeProfileFile(exported);
  pickedFile = exported;
  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kExportLearntCommand, 0);
  EXPECT_EQ(dialogs, (std::vector<std::string>{"save windowtest.exe.profile"}));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(readProfileFile(exported).text, good);
  removeProfileFile(exported);
  removeProfileFile(shared);
  removeProfileFile(target);
}

TEST_F(MainWindowTest, EnhancementsAreSystemMenuItemsStoredAsOneOrZero) {
  stored = {{"smooth", "1"}};
  open(0x0404);
  const HMENU menu = GetSystemMenu(window->hwnd(), FALSE);
  const auto checked = [&](Enhancement which) {
    const UINT id = SystemMenu::kFirstEnhancementCommand + 16 * static_cast<UINT>(which);
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  };
  char caption[64] = {};
  GetMenuStringA(menu, SystemMenu::kFirstEnhancementCommand, caption, sizeof caption, MF_BYCOMMAND);
  EXPECT_EQ(std::string(caption), enhancementCaption(Enhancement::PreciseTiming, UiLanguage::TraditionalChinese));
  EXPECT_FALSE(checked(Enhancement::PreciseTiming));
  EXPECT_TRUE(checked(Enhancement::SmoothText));
  EXPECT_TRUE(app->enhancements[static_cast<size_t>(Enhancement::SmoothText)]);

  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kFirstEnhancementCommand, 0);
  SendMessageA(window->hwnd(), WM_SYSCOMMAND, SystemMenu::kFirstEnhancementCommand + 16, 0);
  EXPECT_TRUE(checked(Enhancement::PreciseTiming));
  EXPECT_FALSE(checked(Enhancement::SmoothText));
  EXPECT_EQ(storedText("precise"), "1");
  EXPECT_EQ(storedText("smooth"), "0");
}

TEST_F(MainWindowTest, TextEnhancementsReachTheOverlayAtTheStartAndAtOnceDuringARun) {
  stored = {{"tags", "1"}};
  open();
  runSubtitles();
  ASSERT_FALSE(overlayLog.empty());
  EXPECT_NE(overlayLog.front().find(" tags"), std::string::npos) << overlayLog.front();
  EXPECT_EQ(overlayLog.front().find(" smooth"), std::string::npos) << overlayLog.front();
  EXPECT_TRUE(app->run.inputs().formattingTags);
  overlayLog.clear();
  const UINT tags = SystemMenu::kFirstEnhancementCommand + 16 * static_cast<UINT>(Enhancement::FormattingTags);
  const UINT smooth = SystemMenu::kFirstEnhancementCommand + 16 * static_cast<UINT>(Enhancement::SmoothText);
  SendMessageA(window->hwnd(), WM_SYSCOMMAND, tags, 0);
  SendMessageA(window->hwnd(), WM_SYSCOMMAND, smooth, 0);
  EXPECT_EQ(overlayLog, (std::vector<std::string>{"tags off", "smooth on"}));
  EXPECT_FALSE(app->run.inputs().formattingTags) << "the line count follows at once";
  EXPECT_EQ(storedText("tags"), "0");
  EXPECT_EQ(storedText("smooth"), "1");
}

TEST_F(MainWindowTest, ChineseSystemsGetChineseCaptions) {
  open(0x0804);
  EXPECT_EQ(app->uiLanguage, UiLanguage::SimplifiedChinese);
  EXPECT_EQ(app->uiTexts.row(UiRow::DefaultFont), "\xBA\xDA\xCC\xE5");
  EXPECT_EQ(app->uiTexts.row(UiRow::PlayerGroup), "\xB2\xA5\xB7\xC5\xC6\xF7\xD1\xA1\xD4\xF1");
  EXPECT_EQ(IsDlgButtonChecked(window->hwnd(), kIdCentreCheck), BST_CHECKED);
}

// ---- captions fitted to their controls ------------------------------------------------------

// The width of `text`, trailing blanks aside, in a font on a screen-compatible DC.
int textWidth(HFONT font, std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  const MemoryDc dc(CreateCompatibleDC(nullptr));
  const HGDIOBJ old = SelectObject(dc.get(), font);
  SIZE extent{};
  GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc.get(), old);
  return extent.cx;
}

int fontHeight(HFONT font) {
  LOGFONTA face{};
  GetObjectA(font, sizeof face, &face);
  return -face.lfHeight;
}

class CaptionFontsTest : public ::testing::Test {
 protected:
  CaptionFontsTest() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfCharSet = DEFAULT_CHARSET;
    fonts.setFace(metrics.lfMessageFont);
  }

  int widthAt(int height, const std::string& text) { return textWidth(fonts.font(height), text); }

  CaptionFonts fonts;
  const MemoryDc memoryDc{CreateCompatibleDC(nullptr)};
  const HDC dc = memoryDc.get();
};

TEST_F(CaptionFontsTest, ACaptionGetsTheLargestHeightAtWhichItFits) {
  const std::string text = "Only PowerDVD15 BD/DVD Mode";
  const int normalWidth = widthAt(CaptionFonts::kNormalHeight, text);
  const int smallestWidth = widthAt(CaptionFonts::kSmallestHeight, text);
  ASSERT_LT(smallestWidth, normalWidth - 2);
  struct Case {
    const char* what;
    int room;
  };
  const Case cases[] = {
      {"with room to spare", normalWidth + 40},
      {"exactly as wide as the room", normalWidth},
      {"one pixel too wide", normalWidth - 1},
      {"fitting only a size between", (normalWidth + smallestWidth) / 2},
      {"fitting only the smallest size", smallestWidth},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int height = fonts.fittingHeight(dc, text, c.room);
    EXPECT_GE(height, CaptionFonts::kSmallestHeight);
    EXPECT_LE(height, CaptionFonts::kNormalHeight);
    EXPECT_LE(widthAt(height, text), c.room);
    if (height < CaptionFonts::kNormalHeight) {
      EXPECT_GT(widthAt(height + 1, text), c.room) << "a larger height fits too";
    }
  }
}

TEST_F(CaptionFontsTest, TooWideEvenAtTheSmallestHeightGetsTheSmallest) {
  EXPECT_EQ(fonts.fittingHeight(dc, "Only PowerDVD15 BD/DVD Mode", 20), CaptionFonts::kSmallestHeight);
}

TEST_F(CaptionFontsTest, BlanksAtTheEndTakeNoRoom) {
  const int room = widthAt(CaptionFonts::kNormalHeight, "Delay =");
  EXPECT_EQ(fonts.fittingHeight(dc, "Delay = ", room), CaptionFonts::kNormalHeight);
  EXPECT_LT(fonts.fittingHeight(dc, "Delay =.", room), CaptionFonts::kNormalHeight);
}

TEST_F(CaptionFontsTest, EachHeightIsMadeOnceAndShared) {
  const HFONT plain = fonts.font(10);
  const HFONT underlined = fonts.font(10, true);
  EXPECT_EQ(fonts.font(10), plain);
  EXPECT_EQ(fonts.font(10, true), underlined);
  EXPECT_NE(plain, underlined);
  EXPECT_NE(fonts.font(11), plain);
  EXPECT_EQ(fontHeight(plain), 10);
  LOGFONTA face{};
  GetObjectA(underlined, sizeof face, &face);
  EXPECT_TRUE(face.lfUnderline);
}

// The captioned controls, and whether the caption may take the control's whole width (labels
// and links) or only what a frame or box leaves of it.
struct CaptionPlace {
  int id;
  bool wholeWidth;
};
constexpr CaptionPlace kCaptionPlaces[] = {
    {kIdPlayerGroup, false}, {kIdModeLabel, true},   {kIdProcessLabel, true},
    {kIdTrimButton, false},  {kIdStartButton, false}, {kIdHelpButton, false},
    {kIdFontLabel, true},    {kIdDelayLabel, true},  {kIdCentreCheck, false},
    {kIdShadowCheck, false}, {kIdSizeLabel, true},   {kIdWidthLabel, true},
    {kIdLeftLabel, true},    {kIdTopLabel, true},    {kIdToolLink, true},
    {kIdForumLink, true},    {kIdUpdateLink, true},
};

class CaptionFitTest : public MainWindowTest {
 protected:
  // Each caption fits its control, in the normal font where it can, never below the smallest.
  // `scale`: the window's DPI over 96.
  void expectCaptionsFit(double scale) const {
    // An edit box always has the controls' face at the normal height.
    const auto normal = reinterpret_cast<HFONT>(SendMessageA(item(kIdProcessBox), WM_GETFONT, 0, 0));
    ASSERT_EQ(fontHeight(normal), static_cast<int>(CaptionFonts::kNormalHeight * scale));
    for (const CaptionPlace& place : kCaptionPlaces) {
      SCOPED_TRACE(place.id);
      RECT box{};
      GetClientRect(item(place.id), &box);
      const std::string caption = text(place.id);
      const auto font = reinterpret_cast<HFONT>(SendMessageA(item(place.id), WM_GETFONT, 0, 0));
      EXPECT_LE(textWidth(font, caption), box.right);
      EXPECT_GE(fontHeight(font), static_cast<int>(CaptionFonts::kSmallestHeight * scale));
      if (place.wholeWidth && textWidth(normal, caption) <= box.right) {
        EXPECT_EQ(font, normal) << caption << " fits at the normal size";
      }
    }
  }
};

TEST_F(CaptionFitTest, EveryCaptionFitsItsControlInEachLanguageAtTheNormalSizeWhereItCan) {
  for (const uint16_t langId : {0x0409, 0x0804, 0x0404}) {
    SCOPED_TRACE(langId);
    if (window && window->hwnd()) DestroyWindow(window->hwnd());
    open(langId);
    expectCaptionsFit(1.0);
  }
}

// Moved to a 150 % monitor and back: the window takes the suggested frame, every control its
// place and size scaled from the 96-DPI layout, and the captions fonts that fit at that DPI.
TEST_F(CaptionFitTest, ADpiChangeScalesTheLayoutAndTheCaptions) {
  open();
  RECT before{};
  GetWindowRect(item(kIdStartButton), &before);
  MapWindowPoints(nullptr, window->hwnd(), reinterpret_cast<POINT*>(&before), 2);
  for (const UINT dpi : {144u, 96u}) {
    SCOPED_TRACE(dpi);
    const double scale = dpi / 96.0;
    RECT suggested{10, 20, 10 + static_cast<LONG>(404 * scale), 20 + static_cast<LONG>(338 * scale)};
    SendMessageA(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT frame{};
    GetWindowRect(window->hwnd(), &frame);
    EXPECT_TRUE(EqualRect(&frame, &suggested));
    RECT start{};
    GetWindowRect(item(kIdStartButton), &start);
    MapWindowPoints(nullptr, window->hwnd(), reinterpret_cast<POINT*>(&start), 2);
    EXPECT_EQ(start.left, static_cast<LONG>(before.left * scale));
    EXPECT_EQ(start.top, static_cast<LONG>(before.top * scale));
    EXPECT_EQ(start.right - start.left, static_cast<LONG>((before.right - before.left) * scale));
    expectCaptionsFit(scale);
  }
}

TEST_F(MainWindowTest, ACaptionIsFittedAgainWhenItsTextChanges) {
  stored = {{"size", "65534"}};
  open();
  const auto fontOf = [&](int id) {
    return reinterpret_cast<HFONT>(SendMessageA(item(id), WM_GETFONT, 0, 0));
  };
  RECT box{};
  GetClientRect(item(kIdSizeLabel), &box);
  ASSERT_EQ(text(kIdSizeLabel), "Font size = 65534");
  const HFONT longCaption = fontOf(kIdSizeLabel);
  EXPECT_LT(fontHeight(longCaption), CaptionFonts::kNormalHeight);
  EXPECT_LE(textWidth(longCaption, text(kIdSizeLabel)), box.right);

  SendMessageA(item(kIdSizeSlider), TBM_SETPOS, TRUE, 18);
  SendMessageA(window->hwnd(), WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 18),
               reinterpret_cast<LPARAM>(item(kIdSizeSlider)));
  EXPECT_EQ(text(kIdSizeLabel), "Font size = 36");
  EXPECT_EQ(fontHeight(fontOf(kIdSizeLabel)), CaptionFonts::kNormalHeight);
  EXPECT_EQ(fontOf(kIdSizeLabel), fontOf(kIdLeftLabel)) << "one font per height, shared";
}

}  // namespace
}  // namespace quorvane
