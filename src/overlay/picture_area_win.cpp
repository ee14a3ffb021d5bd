#include "overlay/picture_area_win.h"

#include <algorithm>
#include <cctype>

#include "overlay/overlay_window_win.h"
#include "platform/process_handles_win.h"

namespace quorvane {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// The program file's name of process `pid`, without its folder.
std::string processFileName(DWORD pid) {
  const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  char path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!QueryFullProcessImageNameA(process.get(), 0, path, &size)) return {};
  const std::string_view full(path, size);
  const size_t slash = full.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? full : full.substr(slash + 1));
}

struct Search {
  const PictureOwner* owner;
  HWND best = nullptr;
  int64_t bestPixels = 0;
};

BOOL CALLBACK consider(HWND window, LPARAM param) {
  Search& search = *reinterpret_cast<Search*>(param);
  const PictureOwner& owner = *search.owner;
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (owner.pid != 0 && pid != owner.pid) return TRUE;
  if (!owner.classes.empty()) {
    char className[256] = {};
    const int length = GetClassNameA(window, className, sizeof className);
    const std::string_view name(className, static_cast<size_t>(std::max(length, 0)));
    if (std::none_of(owner.classes.begin(), owner.classes.end(),
                     [name](const std::string& wanted) { return sameName(name, wanted); })) {
      return TRUE;
    }
  }
  if (!owner.processName.empty() && !sameName(processFileName(pid), owner.processName)) return TRUE;
  RECT client{};
  if (!GetClientRect(window, &client)) return TRUE;
  const int64_t pixels = int64_t{client.right} * client.bottom;
  if (pixels > search.bestPixels) {
    search.best = window;
    search.bestPixels = pixels;
  }
  return TRUE;
}

}  // namespace

uintptr_t SystemPictureWindows::findWindow(const PictureOwner& owner) const {
  Search search{&owner};
  EnumWindows(consider, reinterpret_cast<LPARAM>(&search));
  return reinterpret_cast<uintptr_t>(search.best);
}

std::optional<PictureArea> SystemPictureWindows::clientArea(uintptr_t window) const {
  const HWND hwnd = reinterpret_cast<HWND>(window);
  RECT client{};
  if (!IsWindow(hwnd) || IsIconic(hwnd) || !GetClientRect(hwnd, &client)) return std::nullopt;
  POINT origin{0, 0};
  if (!ClientToScreen(hwnd, &origin) || client.right <= 0 || client.bottom <= 0) return std::nullopt;
  return PictureArea{origin.x, origin.y, client.right, client.bottom};
}

PictureArea SystemPictureWindows::overlayMonitor() const {
  if (!IsWindow(overlay_)) {
    overlay_ = nullptr;
    for (HWND w = FindWindowExA(nullptr, nullptr, kOverlayClassName, nullptr); w;
         w = FindWindowExA(nullptr, w, kOverlayClassName, nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == GetCurrentProcessId()) {
        overlay_ = w;
        break;
      }
    }
  }
  const HMONITOR monitor = overlay_ ? MonitorFromWindow(overlay_, MONITOR_DEFAULTTOPRIMARY)
                                    : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(monitor, &info)) {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  const RECT& r = info.rcMonitor;
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace quorvane
