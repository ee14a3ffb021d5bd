#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/directory_exists.h"
#include "app/main_window_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace quorvane;
  // Relative paths (the file dialog's fallback folder among them) start at the program's folder.
  if (const std::string folder = programFolder(); !folder.empty()) SetCurrentDirectoryA(folder.c_str());

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  const TextCodec textCodec(systemCodePages());
  AppState app(makeSystemRegistry(), textCodec, makeSystemProcessTerminator(), makeSystemProcessAccess(),
               isSystemLeadByte);
  MainWindow window(app);
  if (!window.create(instance)) return 0;

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // The dialog manager gives the window Tab navigation and closes it on Escape.
    if (window.hwnd() && IsDialogMessageA(window.hwnd(), &msg)) continue;
    if (LearnWizard::takesDialogMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
