#include "platform/dpi_win.h"

#include "platform/window_handles_win.h"

namespace quorvane {
namespace {

template <typename Fn>
Fn user32Function(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

UINT screenDcDpi() {
  const ScreenDc screen(GetDC(nullptr));
  if (!screen) return kDesignDpi;
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

}  // namespace

UINT dpiOfWindow(HWND window) {
  static const auto forWindow = user32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT dpi = forWindow && window ? forWindow(window) : 0;
  return dpi ? dpi : systemDpi();
}

UINT systemDpi() {
  static const auto forSystem = user32Function<UINT(WINAPI*)()>("GetDpiForSystem");
  const UINT dpi = forSystem ? forSystem() : 0;
  return dpi ? dpi : screenDcDpi();
}

int designScreenHeight() {
  return unscaledFromDpi(GetSystemMetrics(SM_CYSCREEN), systemDpi());
}

}  // namespace quorvane
