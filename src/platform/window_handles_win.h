#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace quorvane {

template <class Object>
struct GdiObjectTraits {
  using Handle = Object;
  static Handle invalid() { return nullptr; }
  static bool close(Handle object) { return DeleteObject(object) != 0; }
};
// Owns a GDI object (font, brush, bitmap, ...) and deletes it once.
template <class Object>
using GdiObject = UniqueHandle<GdiObjectTraits<Object>>;
using FontHandle = GdiObject<HFONT>;
using BrushHandle = GdiObject<HBRUSH>;

struct OwnedWindowTraits {
  using Handle = HWND;
  static Handle invalid() { return nullptr; }
  // A window its parent or the user has already destroyed is not destroyed again.
  static bool close(Handle window) { return IsWindow(window) && DestroyWindow(window); }
};
// Owns a top-level window without owner (a child goes with its parent) and destroys it once.
using OwnedWindow = UniqueHandle<OwnedWindowTraits>;

struct MemoryDcTraits {
  using Handle = HDC;
  static Handle invalid() { return nullptr; }
  static bool close(Handle dc) { return DeleteDC(dc) != 0; }
};
// Owns a device context from CreateCompatibleDC.
using MemoryDc = UniqueHandle<MemoryDcTraits>;

struct WindowDcTraits {
  using Handle = HDC;
  static Handle invalid() { return nullptr; }
  // The DC knows its window (none for the screen's), so the owner need not keep it.
  static bool close(Handle dc) { return ReleaseDC(WindowFromDC(dc), dc) != 0; }
};
// Holds a window's device context from GetDC (the screen's: GetDC(nullptr)) and gives it back.
using WindowDc = UniqueHandle<WindowDcTraits>;
using ScreenDc = WindowDc;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return INVALID_HANDLE_VALUE; }
  static bool close(Handle search) { return FindClose(search) != 0; }
};
// Owns a FindFirstFileA search and closes it once.
using FindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace quorvane
