#pragma once

#include <windows.h>

namespace quorvane {

// Screen resolution in dots per inch. The program declares itself per-monitor aware in its
// manifest: Windows then leaves its windows unscaled, and the program scales its layout,
// fonts and the overlay's stored 96-DPI geometry to each monitor's resolution itself, so text
// is drawn sharply instead of stretched as a bitmap.
inline constexpr UINT kDesignDpi = 96;

// The resolution of the monitor `window` is on (per-monitor aware), else the system's; the
// functions that answer per monitor are looked up, so the program still runs on Windows 7.
UINT dpiOfWindow(HWND window);
UINT systemDpi();

// A length of the 96-DPI design at `dpi`, rounded to the nearest pixel.
inline int scaledToDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}
// A screen length at `dpi` back in 96-DPI units.
inline int unscaledFromDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(kDesignDpi), static_cast<int>(dpi));
}

// The primary screen's height in 96-DPI units: what stored positions are measured against.
int designScreenHeight();

}  // namespace quorvane
