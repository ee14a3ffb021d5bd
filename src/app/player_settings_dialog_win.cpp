#include "app/player_settings_dialog_win.h"

#include <array>
#include <string>
#include <tuple>

#include "players/player_interfaces.h"
#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

enum Field { kVlcPort, kVlcPassword, kMpcPort, kMpvPipe, kFieldCount };
constexpr int kOk = IDOK, kCancel = IDCANCEL, kFirstEdit = 100;

struct Texts {
  const wchar_t* title;
  std::array<const wchar_t*, kFieldCount> labels;
  const wchar_t* ok;
  const wchar_t* cancel;
};

const Texts& textsFor(UiLanguage language) {
  static const Texts english{L"Player settings",
                             {L"VLC web interface port", L"VLC password", L"MPC-HC web interface port",
                              L"mpv pipe (--input-ipc-server)"},
                             L"OK", L"Cancel"};
  static const Texts simplified{L"播放器设置",
                                {L"VLC 网页界面端口", L"VLC 密码", L"MPC-HC 网页界面端口", L"mpv 管道（--input-ipc-server）"},
                                L"确定", L"取消"};
  static const Texts traditional{L"播放器設定",
                                 {L"VLC 網頁介面連接埠", L"VLC 密碼", L"MPC-HC 網頁介面連接埠", L"mpv 管道（--input-ipc-server）"},
                                 L"確定", L"取消"};
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
  bool done = false;
  bool stored = false;
};

std::string valuePath(const char* name) { return std::string(setting::kKey) + "\\" + name; }

void store(HWND dialog, DialogState& state) {
  for (const Field port : {kVlcPort, kMpcPort}) {
    if (!validPort(editText(dialog, port))) {
      MessageBeep(MB_ICONWARNING);
      SetFocus(GetDlgItem(dialog, kFirstEdit + port));
      return;
    }
  }
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

bool runPlayerSettingsDialog(HWND owner, SettingsStore& settings, UiLanguage language) {
  const Texts& t = textsFor(language);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = dialogProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"QuorvanePlayerSettings";
  RegisterClassW(&windowClass);  // fails harmlessly when already registered

  DialogState state{&settings};
  RECT frame{0, 0, 420, 4 * 30 + 60};
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
  const std::array<std::wstring, kFieldCount> values = {std::to_wstring(current.vlc.port), wideFromUtf8(current.vlc.password),
                                                        std::to_wstring(current.mpc.port), wideFromUtf8(current.mpv.pipe)};
  for (int i = 0; i < kFieldCount; ++i) {
    const HWND label = CreateWindowExW(0, L"STATIC", t.labels[i], WS_CHILD | WS_VISIBLE, 12, 14 + 30 * i, 200, 20,
                                       dialog, nullptr, instance, nullptr);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    if (i == kVlcPassword) style |= ES_PASSWORD;
    if (i == kVlcPort || i == kMpcPort) style |= ES_NUMBER;
    const HWND edit = CreateWindowExW(0, L"EDIT", values[i].c_str(), style, 216, 12 + 30 * i, 190, 22, dialog,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstEdit + i)), instance, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  for (const auto& [id, caption, x] : {std::tuple{kOk, t.ok, 236}, std::tuple{kCancel, t.cancel, 326}}) {
    const HWND button = CreateWindowExW(0, L"BUTTON", caption,
                                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | (id == kOk ? BS_DEFPUSHBUTTON : 0), x,
                                        4 * 30 + 20, 80, 26, dialog,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
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
