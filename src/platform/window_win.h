#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

namespace quorvane {

// The base of every window class of the program: one static window procedure stores the C++
// object at WM_NCCREATE (passed as the creation parameter) and forwards each message to
// Derived::handleMessage, which answers with onXxx members and falls back to defaultProc.
// Windows are ANSI like the rest of the program; Unicode = true is for a window registered with
// RegisterClassExW whose text must hold any character, so its default answers are the W ones.
template <class Derived, bool Unicode = false>
class WindowBase {
 public:
  WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  HWND hwnd() const { return hwnd_; }

 protected:
  ~WindowBase() = default;
  using Char = std::conditional_t<Unicode, wchar_t, char>;

  // Registers the window class `name` for Derived with the arrow cursor and `background`
  // (none: the window paints it): true when it is registered, now or before.
  static bool registerClass(HINSTANCE instance, const Char* name, HBRUSH background = nullptr) {
    using WindowClass = std::conditional_t<Unicode, WNDCLASSEXW, WNDCLASSEXA>;
    WindowClass wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &windowProc;
    wc.hInstance = instance;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if constexpr (Unicode) {
      wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
      return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    } else {
      wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
      return RegisterClassExA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
  }

  // For Derived's destructor: the window goes, and no message of its going reaches the object.
  void destroyWindow() {
    if (!hwnd_) return;
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      using CreateStruct = std::conditional_t<Unicode, CREATESTRUCTW, CREATESTRUCTA>;
      self = static_cast<Derived*>(reinterpret_cast<CreateStruct*>(lParam)->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) return defaultWindowProc(hwnd, message, wParam, lParam);
    const LRESULT result = self->handleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      // No message may reach the object after its window is gone.
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }

  LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return defaultWindowProc(hwnd_, message, wParam, lParam);
  }

  // WM_PAINT: `paint` draws on the window's DC between BeginPaint and EndPaint; WM_PRINTCLIENT
  // hands the same function another DC.
  template <class Paint>
  LRESULT paintMessage(Paint&& paint) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(hwnd_, &ps);
    paint(dc);
    EndPaint(hwnd_, &ps);
    return 0;
  }

 private:
  static LRESULT defaultWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if constexpr (Unicode) {
      return DefWindowProcW(hwnd, message, wParam, lParam);
    } else {
      return DefWindowProcA(hwnd, message, wParam, lParam);
    }
  }

  HWND hwnd_ = nullptr;
};

}  // namespace quorvane
