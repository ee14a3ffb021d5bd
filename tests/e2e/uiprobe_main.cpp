// uiprobe: looks at the windows of other Wine programs for the end-to-end tests and prints what
// it finds as JSON (UTF-8), so that a test can find a control by id or class and click its
// centre instead of guessing pixels.
//
//   uiprobe windows  [filter]                 top-level windows that match
//   uiprobe controls [filter] [--timeout MS]  the first match and every control inside it
//   uiprobe wait     [filter] [--timeout MS] [--gone]
//   uiprobe watch    [filter] [--child CLASS] [--for MS]   one line per change of the window
//   uiprobe focus                             the foreground window and its keyboard focus
//   uiprobe hold FILE [--for MS]              keeps FILE open and unshared ("held" once open)
//   uiprobe procs    [--exe NAME]             running processes
//   uiprobe system                            language, code page, screen and caption metrics
//   uiprobe regget HKLM|HKLM32|HKCU KEY VALUE... type and bytes of each value (null if missing)
//   uiprobe regset HKLM|HKLM32|HKCU KEY VALUE TYPE HEX|@FILE   stores raw bytes with any type
//   uiprobe stats --exe NAME [--class C] [--every MS] [--for MS]   one line of resource
//                                             figures per MS (default 1000) and how long the
//                                             window of class C took to answer (see stats())
//   uiprobe regmode HKLM|HKLM32|HKCU KEY readonly|writable   denies or restores writing to the key
//   uiprobe handles --exe NAME                the process's handles by object type
// Registry data goes through the ANSI functions, so text is in this process's code page: run
// the probe with the same LANG as the program under test.
//
// filter: --class NAME, --title TEXT, --exe NAME (process file name, case ignored),
//         --pid N, --hwnd HEX; --hidden also takes invisible windows.
// watch prints, every time it changes, whether the first match exists, its visibility and
// rectangle and the text of its child of class CLASS, each with the tick count (GetTickCount,
// the clock the simulated player reports its position with); it polls every 5 ms for MS
// milliseconds (default 60000) and flushes every line, so a test can read it while it runs.
// Exit code 0 on success, 1 when nothing matched in time, 2 on bad arguments.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/process_handles_win.h"
#include "platform/registry_key_win.h"

namespace {

std::string toUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string jsonString(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : toUtf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string hex(UINT_PTR value) {
  char buf[24];
  // Full width: unsigned long is 32 bits on Windows, a 64-bit program's handles are not.
  std::snprintf(buf, sizeof buf, "\"0x%llx\"", static_cast<unsigned long long>(value));
  return buf;
}

std::vector<PROCESSENTRY32W> processes() {
  std::vector<PROCESSENTRY32W> out;
  quorvane::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return out;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry))
    out.push_back(entry);
  return out;
}

std::wstring exeOfPid(DWORD pid) {
  for (const auto& p : processes())
    if (p.th32ProcessID == pid) return p.szExeFile;
  return {};
}

// Another process's window text: GetWindowText would not ask the control itself.
std::wstring textOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
    return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 2000, &copied))
    return {};
  text.resize(copied);
  return text;
}

std::wstring classOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

LRESULT ask(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, 2000, &result);
  return static_cast<LRESULT>(result);
}

std::string rectJson(const RECT& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right - r.left,
                r.bottom - r.top);
  return buf;
}

struct Filter {
  std::wstring className, title, exe;
  DWORD pid = 0;
  HWND hwnd = nullptr;
  bool hidden = false;

  bool matches(HWND window) const {
    if (hwnd && window != hwnd) return false;
    if (!hidden && !IsWindowVisible(window)) return false;
    if (!className.empty() && classOf(window) != className) return false;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (pid && owner != pid) return false;
    if (!exe.empty() && lstrcmpiW(exeOfPid(owner).c_str(), exe.c_str()) != 0) return false;
    if (!title.empty() && textOf(window) != title) return false;
    return true;
  }
};

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> topLevelWindows(const Filter& filter) {
  std::vector<HWND> all;
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&all));
  std::vector<HWND> out;
  for (HWND w : all)
    if (filter.matches(w)) out.push_back(w);
  return out;
}

std::string windowJson(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  RECT r{}, client{};
  GetWindowRect(window, &r);
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  OffsetRect(&client, origin.x, origin.y);
  std::string out = "{\"hwnd\":" + hex(reinterpret_cast<UINT_PTR>(window));
  out += ",\"pid\":" + std::to_string(pid);
  out += ",\"exe\":" + jsonString(exeOfPid(pid));
  const HWND owner = GetWindow(window, GW_OWNER);
  out += ",\"owner\":" + (owner ? hex(reinterpret_cast<UINT_PTR>(owner)) : std::string("null"));
  out += ",\"class\":" + jsonString(classOf(window));
  out += ",\"title\":" + jsonString(textOf(window));
  out += ",\"visible\":" + std::string(IsWindowVisible(window) ? "true" : "false");
  out += ",\"enabled\":" + std::string(IsWindowEnabled(window) ? "true" : "false");
  // Styles are 32-bit flags: widened through DWORD, a set top bit is not sign-extended.
  out += ",\"style\":" + hex(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)));
  out += ",\"exstyle\":" + hex(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  out += ",\"rect\":" + rectJson(r);
  out += ",\"client_screen\":" + rectJson(client);
  return out + "}";
}

std::string controlJson(HWND control, HWND top) {
  const std::wstring cls = classOf(control);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  RECT screen{};
  GetWindowRect(control, &screen);
  RECT inTop = screen;
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&inTop), 2);
  std::string out = "{\"hwnd\":" + hex(reinterpret_cast<UINT_PTR>(control));
  out += ",\"parent\":" + hex(reinterpret_cast<UINT_PTR>(GetParent(control)));
  out += ",\"id\":" + std::to_string(GetDlgCtrlID(control));
  out += ",\"class\":" + jsonString(cls);
  out += ",\"text\":" + jsonString(textOf(control));
  out += ",\"style\":" + hex(static_cast<DWORD>(style));
  out += ",\"visible\":" + std::string(IsWindowVisible(control) ? "true" : "false");
  out += ",\"enabled\":" + std::string(IsWindowEnabled(control) ? "true" : "false");
  out += ",\"rect\":" + rectJson(screen);
  out += ",\"client\":" + rectJson(inTop);
  if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
    const LONG kind = style & BS_TYPEMASK;
    if (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE ||
        kind == BS_AUTO3STATE || kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON)
      out += ",\"checked\":" + std::to_string(ask(control, BM_GETCHECK));
  } else if (lstrcmpiW(cls.c_str(), TRACKBAR_CLASSW) == 0) {
    out += ",\"pos\":" + std::to_string(ask(control, TBM_GETPOS));
    out += ",\"min\":" + std::to_string(ask(control, TBM_GETRANGEMIN));
    out += ",\"max\":" + std::to_string(ask(control, TBM_GETRANGEMAX));
  } else if (lstrcmpiW(cls.c_str(), L"Edit") == 0) {
    out += ",\"limit\":" + std::to_string(ask(control, EM_GETLIMITTEXT));
  }
  return out + "}";
}

std::string controlsJson(HWND top) {
  std::vector<HWND> children;
  EnumChildWindows(top, collectWindow, reinterpret_cast<LPARAM>(&children));
  std::string out = "{\"window\":" + windowJson(top) + ",\"controls\":[";
  for (size_t i = 0; i < children.size(); ++i) {
    if (i) out += ",\n";
    out += controlJson(children[i], top);
  }
  return out + "]}";
}

void print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

HKEY rootOf(const std::wstring& name) {
  return name == L"HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// HKLM is this program's own view of HKEY_LOCAL_MACHINE; HKLM32 its 32-bit view, where
// Quorvane keeps its settings in either build (WOW6432Node for a 64-bit program).
REGSAM viewOf(const std::wstring& name) { return name == L"HKLM32" ? KEY_WOW64_32KEY : 0; }

std::string narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

// {"NAME":{"type":N,"hex":"..."},...} with null for a missing value; exit 1 if the key is missing.
int regGet(const std::wstring& root, const std::wstring& keyPath,
           const std::vector<std::wstring>& values) {
  quorvane::RegistryKey key;
  if (RegOpenKeyExA(rootOf(root), narrow(keyPath).c_str(), 0, KEY_READ | viewOf(root), key.put()) !=
      ERROR_SUCCESS)
    return 1;
  std::string out = "{";
  for (const std::wstring& value : values) {
    if (out.size() > 1) out += ",";
    out += jsonString(value) + ":";
    const std::string name = narrow(value);
    DWORD type = 0, size = 0;
    std::vector<BYTE> data;
    LONG status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
      data.resize(size + 1);
      status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, data.data(), &size);
    }
    if (status != ERROR_SUCCESS) {
      out += "null";
      continue;
    }
    out += "{\"type\":" + std::to_string(type) + ",\"hex\":\"";
    for (DWORD i = 0; i < size; ++i) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%02x", data[i]);
      out += buf;
    }
    out += "\"}";
  }
  print(out + "}");
  return 0;
}

int regSet(const std::wstring& root, const std::wstring& keyPath, const std::wstring& value,
           DWORD type, const std::wstring& hexData) {
  std::vector<BYTE> data;
  if (!hexData.empty() && hexData[0] == L'@') {
    // Large values come in a file: a command line holds at most 32 K characters.
    quorvane::UniqueKernelHandle file(CreateFileW(hexData.c_str() + 1, GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return 1;
    data.resize(GetFileSize(file.get(), nullptr));
    DWORD read = 0;
    if (!data.empty() && !ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr))
      return 1;
    data.resize(read);
  } else {
    for (size_t i = 0; i + 1 < hexData.size(); i += 2)
      data.push_back(static_cast<BYTE>(wcstoul(hexData.substr(i, 2).c_str(), nullptr, 16)));
  }
  quorvane::RegistryKey key;
  if (RegCreateKeyExA(rootOf(root), narrow(keyPath).c_str(), 0, nullptr, 0, KEY_WRITE | viewOf(root), nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS)
    return 1;
  return RegSetValueExA(key.get(), narrow(value).c_str(), 0, type, data.data(),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS
             ? 0
             : 1;
}

// The foreground window, the window active in its thread and the one with the keyboard focus:
// what keys typed now would reach.
int focus() {
  const HWND foreground = GetForegroundWindow();
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  const bool known = thread && GetGUIThreadInfo(thread, &info);
  auto described = [](HWND window) { return window ? windowJson(window) : std::string("null"); };
  print("{\"foreground\":" + described(foreground) +
        ",\"active\":" + described(known ? info.hwndActive : nullptr) +
        ",\"focus\":" + described(known ? info.hwndFocus : nullptr) + "}");
  return 0;
}

std::string watchLine(HWND window, const std::wstring& childClass) {
  if (!window) return "{\"tick\":" + std::to_string(GetTickCount()) + ",\"hwnd\":null}";
  const HWND child =
      childClass.empty() ? nullptr : FindWindowExW(window, nullptr, childClass.c_str(), nullptr);
  // The text is answered by the window's thread between its messages, the rectangle at once:
  // read the text on both sides of the rectangle so that a message handler caught half-way
  // (text set, window not yet moved) is not reported as a state the screen ever showed.
  std::wstring text, again;
  RECT r{};
  bool visible = false;
  for (int attempt = 0; attempt < 5; ++attempt) {
    text = child ? textOf(child) : std::wstring();
    GetWindowRect(window, &r);
    visible = IsWindowVisible(window) != FALSE;
    again = child ? textOf(child) : std::wstring();
    if (again == text) break;
  }
  // Stamped when the reads are done: a read waits for the window's thread, which may be the one
  // changing the text, so a tick taken before it could date a new text before it was set.
  std::string out = "{\"tick\":" + std::to_string(GetTickCount());
  out += ",\"hwnd\":" + hex(reinterpret_cast<UINT_PTR>(window));
  out += ",\"visible\":" + std::string(visible ? "true" : "false");
  out += ",\"rect\":" + rectJson(r);
  if (!childClass.empty()) {
    out += ",\"child\":" + (child ? hex(reinterpret_cast<UINT_PTR>(child)) : std::string("null"));
    out += ",\"text\":" + (child ? jsonString(again) : std::string("null"));
  }
  return out + "}";
}

// Follows one window: a line whenever what watchLine shows (the tick aside) changes.
int watch(Filter filter, const std::wstring& childClass, DWORD forMs) {
  filter.hidden = true;  // a hidden window is still the one being watched
  const DWORD start = GetTickCount();
  HWND window = nullptr;
  std::string last;
  for (;;) {
    // Finding the window again costs a walk over every window; keep it while it lives.
    if (!window || !IsWindow(window)) {
      const std::vector<HWND> found = topLevelWindows(filter);
      window = found.empty() ? nullptr : found.front();
    }
    const std::string line = watchLine(window, childClass);
    const std::string state = line.substr(line.find(','));
    if (state != last) {
      last = state;
      print(line);
      std::fflush(stdout);
    }
    if (GetTickCount() - start >= forMs) return 0;
    Sleep(5);
  }
}

// A file that exists but cannot be opened: what a program meets when the file it was given is
// taken away between the choice and the read.
int hold(const std::wstring& path, DWORD forMs) {
  quorvane::UniqueKernelHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return 1;
  print("held");
  std::fflush(stdout);
  Sleep(forMs);
  return 0;
}

// ---- Resource figures of another process ----------------------------------------------------

using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

struct MemoryCounters {  // PROCESS_MEMORY_COUNTERS_EX
  DWORD cb;
  DWORD PageFaultCount;
  SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage,
      QuotaPeakNonPagedPoolUsage, QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage,
      PrivateUsage;
};
using GetProcessMemoryInfoFn = BOOL(WINAPI*)(HANDLE, MemoryCounters*, DWORD);

template <typename Fn>
Fn exported(const wchar_t* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

// The handles a process holds, found by duplicating each handle value in turn (Wine gives
// out the lowest free slot, so the values stay dense and a long run of misses ends the table).
// Wine answers GetProcessHandleCount for another process with 0, and its system-wide handle
// list (NtQuerySystemInformation class 16) crashes the wineserver when a process is being
// started at that moment: its empty handle table is walked without end.
template <typename Seen>
long eachHandleOf(HANDLE process, Seen&& seen) {
  constexpr ULONG_PTR step = 4, missesToEnd = 1024, lastValue = 1u << 24;
  long count = 0;
  ULONG_PTR misses = 0;
  for (ULONG_PTR value = step; value < lastValue && misses < missesToEnd; value += step) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
      ++misses;
      continue;
    }
    misses = 0;
    ++count;
    seen(copy);
    CloseHandle(copy);
  }
  return count;
}

long handlesOf(HANDLE process) {
  return eachHandleOf(process, [](HANDLE) {});
}

using NtQueryObjectFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

// The handles a process holds by object type, to see which kind grows: {"TYPE":COUNT,...}.
int handleTypes(DWORD pid) {
  static auto query = exported<NtQueryObjectFn>(L"ntdll.dll", "NtQueryObject");
  quorvane::UniqueKernelHandle process(OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid));
  if (!query || !process) return 1;
  std::vector<std::pair<std::wstring, long>> byType;
  eachHandleOf(process.get(), [&](HANDLE copy) {
    alignas(8) BYTE info[1024];
    std::wstring type = L"?";
    if (query(copy, 2 /* ObjectTypeInformation */, info, sizeof info, nullptr) == 0) {
      const auto* name = reinterpret_cast<const UNICODE_STRING*>(info);
      type.assign(name->Buffer, name->Length / sizeof(wchar_t));
    }
    auto it = std::find_if(byType.begin(), byType.end(), [&](const auto& t) { return t.first == type; });
    if (it == byType.end()) byType.emplace_back(type, 1);
    else ++it->second;
  });
  std::string out = "{";
  for (const auto& [type, count] : byType) {
    if (out.size() > 1) out += ',';
    out += jsonString(type);
    out += ':';
    out += std::to_string(count);
  }
  print(out + "}");
  return 0;
}

// GDI objects a process holds, counted in its own GDI handle table (the PEB points to it).
// Wine's table has 24-byte entries (object, owner, unique, type, flags, user pointer) and gives
// slots out from the front, so the count may stop at the first stretch that was never used.
long gdiFromHandleTable(HANDLE process) {
  static auto query = exported<NtQueryInformationProcessFn>(L"ntdll.dll", "NtQueryInformationProcess");
  if (!query) return -1;
  struct {
    LONG exitStatus;
    void* peb;
    ULONG_PTR affinity;
    LONG basePriority;
    ULONG_PTR pid, parentPid;
  } basic{};
  if (query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic, nullptr) != 0) return -1;
  DWORD table = 0;
  SIZE_T got = 0;
  if (!ReadProcessMemory(process, static_cast<BYTE*>(basic.peb) + 0x94, &table, sizeof table, &got) ||
      !table)
    return -1;
  constexpr size_t entryBytes = 24, entries = 0x10000, perChunk = 2048;
  static std::vector<BYTE> chunk(perChunk * entryBytes);
  long used = 0;
  for (size_t first = 0; first < entries; first += perChunk) {
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(table + first * entryBytes), chunk.data(),
                           chunk.size(), &got))
      return first ? used : -1;
    bool touched = false;
    for (size_t i = 0; i < perChunk; ++i) {
      const BYTE* e = chunk.data() + i * entryBytes;
      if (e[14]) ++used;
      for (size_t b = 0; b < entryBytes && !touched; ++b) touched = e[b] != 0;
    }
    if (!touched) break;
  }
  return used;
}

struct WindowCount {
  DWORD pid;
  long count;
};

BOOL CALLBACK countChild(HWND, LPARAM data) {
  ++reinterpret_cast<WindowCount*>(data)->count;
  return TRUE;
}

BOOL CALLBACK countTopLevel(HWND window, LPARAM data) {
  auto* c = reinterpret_cast<WindowCount*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == c->pid) {
    ++c->count;
    EnumChildWindows(window, countChild, data);
  }
  return TRUE;
}

// Windows of the process, hidden ones and controls included: the USER objects one can count
// from outside under Wine, whose GetGuiResources answers 0.
long windowsOf(DWORD pid) {
  WindowCount c{pid, 0};
  EnumWindows(countTopLevel, reinterpret_cast<LPARAM>(&c));
  return c.count;
}

double millisecondsSince(const LARGE_INTEGER& from) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (now.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

// Every MS milliseconds a line: the first process named NAME, its handle, GDI, window and
// memory figures, and how its window of class C answered WM_NULL. The window is asked every
// 100 ms, each time waiting up to 1 s; "stall_ms" is the longest time in the interval from a
// question to the first answer after it (unanswered questions chain into one stall), and
// "unanswered_ms" how long the current stall has gone on at the line's time.
int stats(const Filter& filter, DWORD everyMs, DWORD forMs) {
  static auto memoryInfo = exported<GetProcessMemoryInfoFn>(L"kernel32.dll", "K32GetProcessMemoryInfo");
  const DWORD start = GetTickCount();
  DWORD pid = 0;
  quorvane::UniqueKernelHandle process;
  HWND window = nullptr;
  LARGE_INTEGER pendingSince{};
  bool pending = false;
  double stallMs = 0, worstLatencyMs = 0;
  DWORD nextLine = start;
  for (;;) {
    const DWORD now = GetTickCount();
    if (!pid || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
      pid = 0;
      window = nullptr;
      process.reset();
      for (const auto& p : processes())
        if (lstrcmpiW(p.szExeFile, filter.exe.c_str()) == 0) pid = p.th32ProcessID;
      if (pid)
        process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE | SYNCHRONIZE,
                                    FALSE, pid));
      if (!process) pid = 0;
    }
    if (pid && (!window || !IsWindow(window))) {
      Filter own = filter;
      own.exe.clear();
      own.pid = pid;
      own.hidden = true;
      const std::vector<HWND> found = topLevelWindows(own);
      window = found.empty() ? nullptr : found.front();
    }
    if (window) {
      LARGE_INTEGER asked;
      QueryPerformanceCounter(&asked);
      if (!pending) pendingSince = asked;
      DWORD_PTR result = 0;
      const bool answered =
          SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
      worstLatencyMs = std::max(worstLatencyMs, millisecondsSince(asked));
      if (answered) {
        stallMs = std::max(stallMs, millisecondsSince(pendingSince));
        pending = false;
      } else {
        pending = IsWindow(window) != FALSE;
      }
    }
    if (GetTickCount() - nextLine < 0x80000000u) {
      nextLine += everyMs;
      char line[512];
      if (!pid) {
        std::snprintf(line, sizeof line, "{\"tick\":%lu,\"pid\":null}", GetTickCount());
      } else {
        DWORD apiHandles = 0;
        GetProcessHandleCount(process.get(), &apiHandles);
        MemoryCounters memory{};
        memory.cb = sizeof memory;
        if (memoryInfo) memoryInfo(process.get(), &memory, sizeof memory);
        std::snprintf(line, sizeof line,
                      "{\"tick\":%lu,\"pid\":%lu,\"handles\":%ld,\"handles_api\":%lu,\"gdi\":%ld,"
                      "\"gdi_api\":%lu,\"windows\":%ld,\"user_api\":%lu,\"private\":%lu,"
                      "\"working_set\":%lu,\"window\":%s,\"stall_ms\":%.1f,\"latency_ms\":%.1f,"
                      "\"unanswered_ms\":%.1f}",
                      GetTickCount(), pid, handlesOf(process.get()), apiHandles,
                      gdiFromHandleTable(process.get()), GetGuiResources(process.get(), GR_GDIOBJECTS),
                      windowsOf(pid), GetGuiResources(process.get(), GR_USEROBJECTS),
                      static_cast<unsigned long>(memory.PrivateUsage),
                      static_cast<unsigned long>(memory.WorkingSetSize), window ? "true" : "false",
                      stallMs, worstLatencyMs, pending ? millisecondsSince(pendingSince) : 0.0);
      }
      print(line);
      std::fflush(stdout);
      stallMs = worstLatencyMs = 0;
    }
    if (GetTickCount() - start >= forMs) return 0;
    const DWORD spent = GetTickCount() - now;
    if (spent < 100) Sleep(100 - spent);
  }
}

// Makes a key refuse writes (everyone may read it, nobody may change it) or lifts that again.
int regMode(const std::wstring& root, const std::wstring& keyPath, const std::wstring& mode) {
  quorvane::RegistryKey key;
  if (RegOpenKeyExW(rootOf(root), keyPath.c_str(), 0, READ_CONTROL | WRITE_DAC | viewOf(root), key.put()) !=
      ERROR_SUCCESS)
    return 1;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return 1;
  const DWORD allowed = mode == L"readonly" ? (KEY_READ | WRITE_DAC) : (KEY_ALL_ACCESS);
  BYTE aclBuffer[256];
  auto* acl = reinterpret_cast<PACL>(aclBuffer);
  bool ok = InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
            AddAccessAllowedAce(acl, ACL_REVISION, allowed, everyone);
  SECURITY_DESCRIPTOR sd;
  ok = ok && InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
       SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
       RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  FreeSid(everyone);
  return ok ? 0 : 1;
}

int usage() {
  std::fputs("usage: uiprobe windows|controls|wait|watch|focus|procs|system|regget|regset [--class C] "
             "[--title T] [--exe E] [--pid N] [--hwnd H] [--hidden] [--timeout MS] [--gone] "
             "[--child CLASS] [--for MS]\n",
             stderr);
  return 2;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return usage();
  const std::wstring command = argv[1];
  if (command == L"regget" && argc >= 5)
    return regGet(argv[2], argv[3], std::vector<std::wstring>(argv + 4, argv + argc));
  if (command == L"regset" && argc == 7)
    return regSet(argv[2], argv[3], argv[4], wcstoul(argv[5], nullptr, 10), argv[6]);
  if (command == L"hold" && (argc == 3 || (argc == 5 && std::wstring(argv[3]) == L"--for")))
    return hold(argv[2], argc == 5 ? wcstoul(argv[4], nullptr, 10) : 60000);
  if (command == L"regmode" && argc == 5) return regMode(argv[2], argv[3], argv[4]);
  Filter filter;
  DWORD timeoutMs = 0;
  DWORD forMs = 60000;
  DWORD everyMs = 1000;
  std::wstring childClass;
  bool gone = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == L"--hidden") filter.hidden = true;
    else if (a == L"--gone") gone = true;
    else if (!hasValue) return usage();
    else if (a == L"--class") filter.className = argv[++i];
    else if (a == L"--title") filter.title = argv[++i];
    else if (a == L"--exe") filter.exe = argv[++i];
    else if (a == L"--pid") filter.pid = wcstoul(argv[++i], nullptr, 10);
    else if (a == L"--hwnd") filter.hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv[++i], nullptr, 16)));
    else if (a == L"--timeout") timeoutMs = wcstoul(argv[++i], nullptr, 10);
    else if (a == L"--for") forMs = wcstoul(argv[++i], nullptr, 10);
    else if (a == L"--every") everyMs = wcstoul(argv[++i], nullptr, 10);
    else if (a == L"--child") childClass = argv[++i];
    else return usage();
  }

  if (command == L"system") {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "{\"langid\":%u,\"acp\":%u,\"screen\":[%d,%d],\"caption_button\":[%d,%d]}",
                  GetSystemDefaultLangID(), GetACP(), GetSystemMetrics(SM_CXSCREEN),
                  GetSystemMetrics(SM_CYSCREEN), GetSystemMetrics(SM_CXSIZE),
                  GetSystemMetrics(SM_CYSIZE));
    print(buf);
    return 0;
  }
  if (command == L"focus") return focus();
  if (command == L"watch") return watch(filter, childClass, forMs);
  if (command == L"stats" && !filter.exe.empty() && everyMs) return stats(filter, everyMs, forMs);
  if (command == L"handles" && !filter.exe.empty()) {
    for (const auto& p : processes())
      if (lstrcmpiW(p.szExeFile, filter.exe.c_str()) == 0) return handleTypes(p.th32ProcessID);
    return 1;
  }
  if (command == L"procs") {
    std::string out = "[";
    bool first = true;
    for (const auto& p : processes()) {
      if (!filter.exe.empty() && lstrcmpiW(p.szExeFile, filter.exe.c_str()) != 0) continue;
      if (!first) out += ",\n";
      first = false;
      out += "{\"pid\":" + std::to_string(p.th32ProcessID) + ",\"exe\":" + jsonString(p.szExeFile) + "}";
    }
    print(out + "]");
    return 0;
  }
  if (command != L"windows" && command != L"controls" && command != L"wait") return usage();

  // Poll: the tests wait for windows that another process is still creating.
  const DWORD start = GetTickCount();
  for (;;) {
    const std::vector<HWND> found = topLevelWindows(filter);
    const bool done = gone ? found.empty() : !found.empty();
    if (done || command == L"windows") {
      if (command == L"windows") {
        std::string out = "[";
        for (size_t i = 0; i < found.size(); ++i) out += (i ? ",\n" : "") + windowJson(found[i]);
        print(out + "]");
        return 0;
      }
      if (command == L"controls") print(controlsJson(found.front()));
      else if (!gone) print(windowJson(found.front()));
      return 0;
    }
    if (GetTickCount() - start >= timeoutMs) return 1;
    Sleep(50);
  }
}
