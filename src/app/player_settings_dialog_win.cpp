#include "app/player_settings_dialog_win.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

#include "app/picture_frame_win.h"
#include "players/player_interfaces.h"
#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

// The edit boxes, one a row, then the rows of check boxes and the frame button.
enum Field { kVlcPort, kVlcPassword, kMpcPort, kMpvPipe, kPictureRect, kSecondSize, kSecondColour, kFieldCount };
constexpr int kOk = IDOK, kCancel = IDCANCEL, kFirstEdit = 100;
constexpr int kAutomaticCheck = 200, kFrameButton = 201, kAboveCheck = 202;
constexpr int kRowHeight = 30;
// Rows: the four players' fields, Automatic, the rectangle with its frame button, the second
// file's size and colour, its place, then the buttons.
constexpr int kAutomaticRow = 4, kRectRow = 5, kSizeRow = 6, kColourRow = 7, kAboveRow = 8, kButtonRow = 9;

struct Texts {
  const wchar_t* title;
  std::array<const wchar_t*, kFieldCount> labels;
  const wchar_t* automatic;
  const wchar_t* frameIt;
  const wchar_t* above;
  const wchar_t* ok;
  const wchar_t* cancel;
};

const Texts& textsFor(UiLanguage language) {
  static const Texts english{L"Player settings",
                             {L"VLC web interface port", L"VLC password", L"MPC-HC web interface port",
                              L"mpv pipe (--input-ipc-server)", L"Picture (left,top,width,height)",
                              L"Second file: size (%)", L"Second file: colour (RRGGBB)"},
                             L"Picture area: automatic (the player's window)", L"Frame it",
                             L"Second file above the first", L"OK", L"Cancel"};
  static const Texts simplified{L"播放器设置",
                                {L"VLC 网页界面端口", L"VLC 密码", L"MPC-HC 网页界面端口", L"mpv 管道（--input-ipc-server）",
                                 L"画面（左,上,宽,高）", L"第二个文件：字号（%）", L"第二个文件：颜色（RRGGBB）"},
                                L"画面区域：自动（播放器窗口）", L"框出画面", L"第二个文件显示在第一个上方", L"确定", L"取消"};
  static const Texts traditional{L"播放器設定",
                                 {L"VLC 網頁介面連接埠", L"VLC 密碼", L"MPC-HC 網頁介面連接埠", L"mpv 管道（--input-ipc-server）",
                                  L"畫面（左,上,寬,高）", L"第二個檔案：字型大小（%）", L"第二個檔案：顏色（RRGGBB）"},
                                 L"畫面區域：自動（播放器視窗）", L"框出畫面", L"第二個檔案顯示在第一個上方", L"確定", L"取消"};
  switch (language) {
    case UiLanguage::SimplifiedChinese: return simplified;
    case UiLanguage::TraditionalChinese: return traditional;
    case UiLanguage::English: break;
  }
  return english;
}

std::wstring editText(HWND dialog, Field field) {
  wchar_t text[512] = {};
  GetDlgItemTextW(dialog, kFirstEdit + field, text, 512);
  return text;
}

bool validPort(const std::wstring& text) {
  if (text.empty() || text.size() > 5) return false;
  unsigned port = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    port = port * 10 + static_cast<unsigned>(c - L'0');
  }
  return port >= 1 && port <= 65535;
}

struct DialogState {
  SettingsStore* settings;
  RunControl* control;
  bool done = false;
  bool stored = false;
  std::unique_ptr<PictureFrame> frame = nullptr;  // made at the first "Frame it"
};

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// The second file's size and colour as typed; nothing for a value out of range.
std::optional<int32_t> typedSize(HWND dialog) {
  const std::wstring text = editText(dialog, kSecondSize);
  if (text.empty() || text.size() > 3) return std::nullopt;
  int32_t size = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    size = size * 10 + (c - L'0');
  }
  if (size < 10 || size > 400) return std::nullopt;
  return size;
}

std::optional<uint32_t> typedColour(HWND dialog) {
  const std::wstring text = editText(dialog, kSecondColour);
  if (text.size() != 6) return std::nullopt;
  uint32_t colour = 0;
  for (const wchar_t c : text) {
    const int digit = c >= L'0' && c <= L'9' ? c - L'0'
                      : c >= L'a' && c <= L'f' ? c - L'a' + 10
                      : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                               : -1;
    if (digit < 0) return std::nullopt;
    colour = colour * 16 + static_cast<uint32_t>(digit);
  }
  return colour;
}

// The rectangle is typed only where the picture area is not Automatic.
void showAutomatic(HWND dialog) { EnableWindow(GetDlgItem(dialog, kFirstEdit + kPictureRect), !checked(dialog, kAutomaticCheck)); }

// What "Frame it" shows: the typed rectangle, or where Automatic finds the picture now.
void frameIt(HWND dialog, DialogState& state) {
  std::optional<PictureArea> area =
      checked(dialog, kAutomaticCheck) ? std::nullopt : parsePictureArea(utf8FromWide(editText(dialog, kPictureRect)));
  if (!area && !checked(dialog, kAutomaticCheck)) {
    MessageBeep(MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, kFirstEdit + kPictureRect));
    return;
  }
  if (!area) area = state.control->pictureArea();
  if (!state.frame) state.frame = PictureFrame::create(GetModuleHandleW(nullptr));
  if (state.frame) state.frame->show(*area);
}

std::string valuePath(const char* name) { return std::string(setting::kKey) + "\\" + name; }

void store(HWND dialog, DialogState& state) {
  const auto refuse = [dialog](Field field) {
    MessageBeep(MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, kFirstEdit + field));
  };
  for (const Field port : {kVlcPort, kMpcPort}) {
    if (!validPort(editText(dialog, port))) return refuse(port);
  }
  const bool automatic = checked(dialog, kAutomaticCheck);
  const std::optional<PictureArea> area = parsePictureArea(utf8FromWide(editText(dialog, kPictureRect)));
  if (!automatic && !area) return refuse(kPictureRect);
  const std::optional<int32_t> size = typedSize(dialog);
  if (!size) return refuse(kSecondSize);
  const std::optional<uint32_t> colour = typedColour(dialog);
  if (!colour) return refuse(kSecondColour);
  state.control->setUserPictureArea(automatic ? std::nullopt : area);
  state.control->setSecondLook({*size, *colour, checked(dialog, kAboveCheck)});
  SettingsStore& s = *state.settings;
  s.writeText(valuePath("vlcPort"), utf8FromWide(editText(dialog, kVlcPort)));
  s.writeText(valuePath("vlcPassword"), utf8FromWide(editText(dialog, kVlcPassword)));
  s.writeText(valuePath("mpcPort"), utf8FromWide(editText(dialog, kMpcPort)));
  s.writeText(valuePath("mpvPipe"), utf8FromWide(editText(dialog, kMpvPipe)));
  state.stored = true;
  state.done = true;
}

LRESULT CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(dialog, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
      break;
    case WM_COMMAND:
      if (!state) break;
      if (LOWORD(wParam) == kOk) store(dialog, *state);
      if (LOWORD(wParam) == kCancel) state->done = true;
      if (LOWORD(wParam) == kAutomaticCheck) showAutomatic(dialog);
      if (LOWORD(wParam) == kFrameButton) frameIt(dialog, *state);
      return 0;
    case WM_CLOSE:
      if (state) state->done = true;
      return 0;
  }
  return DefWindowProcW(dialog, message, wParam, lParam);
}

}  // namespace

const wchar_t* playerSettingsCaption(UiLanguage language) {
  switch (language) {
    case UiLanguage::SimplifiedChinese: return L"播放器设置...";
    case UiLanguage::TraditionalChinese: return L"播放器設定...";
    case UiLanguage::English: break;
  }
  return L"Player settings...";
}

bool runPlayerSettingsDialog(HWND owner, SettingsStore& settings, RunControl& control, UiLanguage language) {
  const Texts& t = textsFor(language);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = dialogProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"QuorvanePlayerSettings";
  RegisterClassW(&windowClass);  // fails harmlessly when already registered

  DialogState state{&settings, &control};
  RECT frame{0, 0, 420, kButtonRow * kRowHeight + 40};
  AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
  RECT ownerRect{};
  GetWindowRect(owner, &ownerRect);
  const HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, windowClass.lpszClassName, t.title,
                                      WS_POPUP | WS_CAPTION | WS_SYSMENU, ownerRect.left + 20, ownerRect.top + 40,
                                      frame.right - frame.left, frame.bottom - frame.top, owner, nullptr, instance,
                                      &state);
  if (!dialog) return false;
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const InterfaceSettings current = loadInterfaceSettings(settings);
  const std::optional<PictureArea> userArea = control.userPictureArea();
  const SecondLook look = control.secondLook();
  wchar_t colour[8];
  std::swprintf(colour, 8, L"%06X", static_cast<unsigned>(look.colour & 0xFFFFFF));
  const std::array<std::wstring, kFieldCount> values = {
      std::to_wstring(current.vlc.port), wideFromUtf8(current.vlc.password),
      std::to_wstring(current.mpc.port), wideFromUtf8(current.mpv.pipe),
      wideFromUtf8(pictureAreaText(userArea.value_or(control.pictureArea()))),
      std::to_wstring(look.sizePercent), colour};
  const auto child = [&](const wchar_t* windowClass, const wchar_t* text, DWORD style, int x, int y, int width,
                         int height, int id) {
    const HWND window = CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                        dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return window;
  };
  const auto rowY = [](int row) { return 12 + kRowHeight * row; };
  for (int i = 0; i < kFieldCount; ++i) {
    // The rectangle's row comes after Automatic's; the second file's after the rectangle's.
    const int row = i < kPictureRect ? i : i == kPictureRect ? kRectRow : kSizeRow + (i - kSecondSize);
    child(L"STATIC", t.labels[i], 0, 12, rowY(row) + 2, 200, 20, 0);
    DWORD style = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    if (i == kVlcPassword) style |= ES_PASSWORD;
    if (i == kVlcPort || i == kMpcPort || i == kSecondSize) style |= ES_NUMBER;
    child(L"EDIT", values[i].c_str(), style, 216, rowY(row), i == kPictureRect ? 110 : 190, 22, kFirstEdit + i);
  }
  child(L"BUTTON", t.automatic, WS_TABSTOP | BS_AUTOCHECKBOX, 12, rowY(kAutomaticRow), 394, 22, kAutomaticCheck);
  child(L"BUTTON", t.frameIt, WS_TABSTOP, 330, rowY(kRectRow) - 1, 76, 24, kFrameButton);
  child(L"BUTTON", t.above, WS_TABSTOP | BS_AUTOCHECKBOX, 12, rowY(kAboveRow), 394, 22, kAboveCheck);
  CheckDlgButton(dialog, kAutomaticCheck, userArea ? BST_UNCHECKED : BST_CHECKED);
  CheckDlgButton(dialog, kAboveCheck, look.above ? BST_CHECKED : BST_UNCHECKED);
  showAutomatic(dialog);
  for (const auto& [id, caption, x] : {std::tuple{kOk, t.ok, 236}, std::tuple{kCancel, t.cancel, 326}}) {
    child(L"BUTTON", caption, WS_TABSTOP | (id == kOk ? BS_DEFPUSHBUTTON : 0), x, rowY(kButtonRow) - 2, 80, 26, id);
  }

  // Modal: the owner waits until the dialog is done.
  EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOW);
  SetFocus(GetDlgItem(dialog, kFirstEdit + kVlcPort));
  MSG message;
  while (!state.done) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));  // for the main loop
      break;
    }
    if (!IsDialogMessageW(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  EnableWindow(owner, TRUE);
  DestroyWindow(dialog);
  SetActiveWindow(owner);
  return state.stored;
}

}  // namespace quorvane
