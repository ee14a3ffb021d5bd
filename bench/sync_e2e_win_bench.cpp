// End-to-end sync of the real quorvane.exe against the simulated player, watched from outside:
// when each cue's text appears on the overlay's label and leaves it, against the moment the
// player's true position reached the cue's stored start and end (plus the delay box's value);
// then the share of one core quorvane.exe uses over a stretch of play, its peak working set,
// and the wineserver's CPU it causes.
//
//   bench/sync_e2e_bench.sh [--build DIR] [OPTIONS]   Linux side; adds the wineserver's CPU
//   wine build/win/bench/sync_e2e_win_bench.exe [OPTIONS]
//
//   --quorvane PATH        the program (default: quorvane.exe beside this one or a folder up)
//   --seconds N            each CPU window (default 60); below 60 also proportionally fewer cues
//   --cues N               cues to measure (default 40)
//   --each                 also print every measured cue
//   --precise off|on|both  the "precise timing" enhancement (stored in the program's
//                          "precise" setting before quorvane.exe starts); both (the default) runs
//                          off, then on, on the same file and player, and prints both rows
//   --load light|heavy|both  the player as a light 800x450 window repainted 30 times a second,
//                          or loading the machine like a real one (simplayer --load: full screen,
//                          the whole picture 60 times a second); both (the default) runs every
//                          --precise mode against a light player, then against a loaded one
//   --decode-load PERCENT  a loaded player also burns this share of one core (default 0)
//   --clock-with-frames    a loaded player's clock digits change with its frames, up to a frame
//                          after the second's boundary (simplayer --clock-with-frames)
//   --wineserver-pid PID --clock-ticks HZ    the script passes these: the session's wineserver
//                          (read as Z:\proc\PID\stat) and the kernel's clock ticks per second
//
// The run: the player ("PowerDVDMovie.exe") plays; quorvane.exe starts and idles for N s (its
// CPU before any run). A few seconds before the first cue the bench presses Select and Start,
// puts the subtitle file's path into the file-open dialog and reads the label's text about
// every millisecond. In the first half it pauses the player inside a cue for 3 s; after it, it
// seeks forward over five cues (those and the cue it lands in are not measured), and later jumps
// exactly 10 s from where the player is (that jump keeps the seconds digit; the cues it jumps
// over and the one after it are not measured). Then it stops
// reading (each read costs quorvane and the wineserver time) and takes CPU over N s of play
// with quorvane, then over N s with only the player, after closing quorvane. The player
// reports its position with the performance counter it was taken at, so the true position is
// known to the microsecond. Under load the player's frame rate over the CPU window is printed
// beside the figures.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "build_architecture.h"
#include "platform/registry_key_win.h"
#include "simplayer_client_win.h"
#include "sync_e2e_analysis.h"

using namespace quorvane;
using namespace quorvane::syncbench;

namespace {

constexpr double kEarlyMs = 5.0;
constexpr int kSkippedBySeek = 5;
constexpr int32_t kLeadMs = 7000;  // start-up and the dialog, before the first cue

int64_t counterNow() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart;
}

int64_t counterFrequency() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return f.QuadPart;
}

struct Options {
  std::string quorvanePath;
  int seconds = 60;
  int cues = 0;  // 0: from --seconds
  bool each = false;
  std::vector<bool> preciseModes{false, true};
  std::vector<bool> loads{false, true};  // heavy?
  int decodePercent = 0;
  bool clockWithFrames = false;
  uint32_t wineserverPid = 0;
  int clockTicks = 100;
};

std::optional<Options> parseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--quorvane" && hasValue) o.quorvanePath = argv[++i];
    else if (a == "--seconds" && hasValue) o.seconds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--cues" && hasValue) o.cues = std::max(2, std::atoi(argv[++i]));
    else if (a == "--each") o.each = true;
    else if (a == "--precise" && hasValue) {
      const std::string m = argv[++i];
      if (m == "off") o.preciseModes = {false};
      else if (m == "on") o.preciseModes = {true};
      else if (m == "both") o.preciseModes = {false, true};
      else return std::nullopt;
    }
    else if (a == "--load" && hasValue) {
      const std::string m = argv[++i];
      if (m == "light") o.loads = {false};
      else if (m == "heavy") o.loads = {true};
      else if (m == "both") o.loads = {false, true};
      else return std::nullopt;
    }
    else if (a == "--clock-with-frames") o.clockWithFrames = true;
    else if (a == "--decode-load" && hasValue) o.decodePercent = std::clamp(std::atoi(argv[++i]), 0, 100);
    else if (a == "--wineserver-pid" && hasValue) o.wineserverPid = static_cast<uint32_t>(std::atol(argv[++i]));
    else if (a == "--clock-ticks" && hasValue) o.clockTicks = std::max(1, std::atoi(argv[++i]));
    else return std::nullopt;
  }
  if (o.cues == 0) o.cues = std::max(8, 60 * std::min(o.seconds, 60) / 60);
  return o;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string findQuorvane() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string here = folderOf(self);
  for (const std::string& candidate : {here + "\\quorvane.exe", folderOf(here) + "\\quorvane.exe"}) {
    if (fileExists(candidate)) return candidate;
  }
  return {};
}

bool writeFile(const std::string& path, const std::string& bytes) {
  UniqueKernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD put = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size();
}

// ---- Windows of another process ----------------------------------------------------------

struct WindowSearch {
  DWORD pid;
  const wchar_t* className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (owner == search->pid && lstrcmpW(name, search->className) == 0 &&
      (!search->visibleOnly || IsWindowVisible(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND topLevelWindow(DWORD pid, const wchar_t* className, bool visibleOnly) {
  WindowSearch search{pid, className, visibleOnly, nullptr};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls every 20 ms until `find` gives a window or `timeoutMs` passes.
template <class Find>
HWND waitForWindow(DWORD timeoutMs, Find find) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND w = find()) return w;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(20);
  }
}

// Another process's window text: GetWindowText would not ask the window itself. Nothing when
// the window does not answer in time.
std::optional<std::wstring> textOf(HWND window, UINT timeoutMs = 500) {
  wchar_t text[512];
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                           timeoutMs, &copied)) {
    return std::nullopt;
  }
  return std::wstring(text, std::min<DWORD_PTR>(copied, 511));
}

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// The file name box of the common file-open dialog: the combo box's edit (cmb13) in the
// Explorer style, the plain edit (edt1) in the old style, else the first edit inside.
HWND fileNameBox(HWND dialog) {
  if (HWND combo = GetDlgItem(dialog, 0x47C)) {
    if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
    return combo;
  }
  if (HWND edit = GetDlgItem(dialog, 0x480)) return edit;
  return FindWindowExW(dialog, nullptr, L"Edit", nullptr);
}

double fileTimeSeconds(const FILETIME& t) {
  return static_cast<double>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
}

// The head of one entry of the system's process list (SystemProcessInformation).
struct ListedProcess {
  ULONG nextEntryOffset;
  ULONG threadCount;
  LARGE_INTEGER unused[3];
  LARGE_INTEGER createTime;
  LARGE_INTEGER userTime;
  LARGE_INTEGER kernelTime;
  struct {
    USHORT length, maximumLength;
    PWSTR buffer;
  } imageName;
  LONG basePriority;
  HANDLE processId;
};

std::optional<double> listedCpuSeconds(DWORD pid) {
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  constexpr ULONG systemProcessInformation = 5;
  if (!query) return std::nullopt;
  std::vector<uint64_t> buffer(1 << 17);  // 1 MiB, 8-byte aligned
  ULONG needed = 0;
  if (query(systemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size() * 8), &needed) != 0) {
    return std::nullopt;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
  for (size_t at = 0;;) {
    const auto* entry = reinterpret_cast<const ListedProcess*>(bytes + at);
    if (static_cast<DWORD>(reinterpret_cast<uintptr_t>(entry->processId)) == pid) {
      return static_cast<double>(entry->userTime.QuadPart + entry->kernelTime.QuadPart) / 1e7;
    }
    if (entry->nextEntryOffset == 0) return std::nullopt;
    at += entry->nextEntryOffset;
  }
}

// ---- quorvane.exe -------------------------------------------------------------------------

// The program under measurement, in a job that ends it if the bench ends first.
class Program {
 public:
  static std::unique_ptr<Program> start(const std::string& path) {
    UniqueKernelHandle job(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    std::string line = "\"" + path + "\"";
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::string folder = folderOf(path);
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info)) {
      return nullptr;
    }
    AssignProcessToJobObject(job.get(), info.hProcess);
    CloseHandle(info.hThread);
    return std::unique_ptr<Program>(new Program(std::move(job), UniqueKernelHandle(info.hProcess), info.dwProcessId));
  }

  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.get(); }
  bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

  // CPU time so far, user + kernel, as GetProcessTimes and as the system's process list
  // report it. Under Wine only the list is right: GetProcessTimes does not follow another
  // process's time, while the list takes every process's times from Linux.
  struct Cpu {
    double processTimes = 0;
    std::optional<double> listed;
  };
  Cpu cpu() const {
    Cpu out;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process_.get(), &created, &exited, &kernel, &user)) {
      out.processTimes = fileTimeSeconds(kernel) + fileTimeSeconds(user);
    }
    out.listed = listedCpuSeconds(pid_);
    return out;
  }

  double peakWorkingSetMiB() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process_.get(), &counters, sizeof counters)) return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20);
  }

  // Closes the main window as a user would, and ends the process if that does not end it.
  void close(HWND mainWindow) {
    if (mainWindow) PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.get(), 1);
      WaitForSingleObject(process_.get(), 10000);
    }
  }

 private:
  Program(UniqueKernelHandle job, UniqueKernelHandle process, DWORD pid)
      : job_(std::move(job)), process_(std::move(process)), pid_(pid) {}
  UniqueKernelHandle job_;
  UniqueKernelHandle process_;
  DWORD pid_;
};

// Presses Select and Start and answers the file-open dialog with `file`; the label's window
// once the run has it, or null (with the reason on stderr).
HWND selectAndStart(const Program& program, HWND mainWindow, const std::string& file) {
  HWND button = GetDlgItem(mainWindow, kIdStartButton);
  // Posted: the press runs the dialog's modal loop, so a sent message would not return.
  PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(kIdStartButton, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  HWND dialog = waitForWindow(15000, [&] { return topLevelWindow(program.pid(), L"#32770", true); });
  if (!dialog) {
    std::fprintf(stderr, "no file-open dialog appeared after Select and Start\n");
    return nullptr;
  }
  HWND box = waitForWindow(5000, [&] { return fileNameBox(dialog); });
  const std::wstring path(file.begin(), file.end());
  DWORD_PTR ignored = 0;
  if (!box || !SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                                   SMTO_ABORTIFHUNG, 5000, &ignored)) {
    std::fprintf(stderr, "could not type into the file-open dialog\n");
    return nullptr;
  }
  HWND open = GetDlgItem(dialog, IDOK);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(open));
  if (!waitForWindow(5000, [&] { return IsWindow(dialog) ? nullptr : mainWindow; })) {
    if (open) PostMessageW(open, BM_CLICK, 0, 0);
    if (!waitForWindow(5000, [&] { return IsWindow(dialog) ? nullptr : mainWindow; })) {
      std::fprintf(stderr, "the file-open dialog did not take the file\n");
      return nullptr;
    }
  }
  HWND label = waitForWindow(10000, [&]() -> HWND {
    HWND overlay = topLevelWindow(program.pid(), L"QuorvaneOverlay", false);
    return overlay ? FindWindowExW(overlay, nullptr, L"QuorvaneSubtitleLabel", nullptr) : nullptr;
  });
  if (!label) std::fprintf(stderr, "no overlay label after the dialog\n");
  return label;
}

// ---- The player ---------------------------------------------------------------------------

// A report from the player's reply: "... playing=P qpc=COUNTER us=POSITION".
std::optional<TruePosition::Report> reportFrom(const std::optional<std::string>& reply) {
  if (!reply) return std::nullopt;
  const char* playing = std::strstr(reply->c_str(), "playing=");
  const char* qpc = std::strstr(reply->c_str(), " qpc=");
  const char* us = std::strstr(reply->c_str(), " us=");
  if (!playing || !qpc || !us) return std::nullopt;
  return TruePosition::Report{std::strtoll(qpc + 5, nullptr, 10), std::strtoll(us + 4, nullptr, 10),
                              playing[8] == '1'};
}

// Pictures per second the player put on screen between two "frames" answers.
struct FrameCount {
  int64_t frames = 0;
  int64_t counter = 0;
};
std::optional<FrameCount> framesOf(const simplayer::SimPlayer& player) {
  const auto reply = player.command("frames");
  if (!reply) return std::nullopt;
  const char* frames = std::strstr(reply->c_str(), "frames=");
  const char* qpc = std::strstr(reply->c_str(), " qpc=");
  if (!frames || !qpc) return std::nullopt;
  return FrameCount{std::strtoll(frames + 7, nullptr, 10), std::strtoll(qpc + 5, nullptr, 10)};
}

// ---- The wineserver -----------------------------------------------------------------------

// utime + stime of a Linux process in seconds, read through Wine's view of the root folder.
std::optional<double> linuxCpuSeconds(uint32_t pid, int clockTicks) {
  const std::string path = "Z:\\proc\\" + std::to_string(pid) + "\\stat";
  UniqueKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  char text[1024] = {};
  DWORD got = 0;
  if (!file || !ReadFile(file.get(), text, sizeof text - 1, &got, nullptr)) return std::nullopt;
  // The fields after the command's closing parenthesis: state is the first, utime the 12th.
  const char* rest = std::strrchr(text, ')');
  if (!rest) return std::nullopt;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) {
    return std::nullopt;
  }
  return static_cast<double>(utime + stime) / clockTicks;
}

// ---- The run ------------------------------------------------------------------------------

// Which cues the run measures and what it does to the player on the way.
struct RunPlan {
  std::vector<PlannedCue> cues;
  int pauseCue = 0;    // paused 1 s after its start, for 3 s
  int seekAfter = 0;   // the seek follows this cue's end
  int seekInto = 0;    // and lands inside this one
  int jumpAfter = 0;    // the 10 s jump follows this cue's end
  int lastMeasured = 0;
  bool measured(int i) const { return i <= seekAfter || (i > seekInto && i <= lastMeasured); }
};

RunPlan makePlan(int measuredCues, int idleSeconds, int cpuSeconds) {
  RunPlan plan;
  const int before = (measuredCues + 1) / 2;
  plan.seekAfter = before - 1;
  plan.pauseCue = before / 2;
  plan.seekInto = plan.seekAfter + kSkippedBySeek + 1;
  // The jump skips about four cues and the one after it: measure as many more.
  plan.lastMeasured = plan.seekInto + (measuredCues - before) + 5;
  plan.jumpAfter = plan.seekInto + (plan.lastMeasured - plan.seekInto) / 2;
  // Cues go on through the CPU window, so quorvane shows and clears texts as in real use.
  const int total = plan.lastMeasured + 1 + (cpuSeconds + 10) * 10 / 27 + 1;
  // The player starts at 0:00:13.371 and plays through quorvane's idle window and the lead.
  plan.cues = planCues(total, 13'371 + idleSeconds * 1000 + kLeadMs, 20240607);
  return plan;
}

struct SyncRecord {
  std::vector<LabelChange> changes;
  int reads = 0;
  int failedReads = 0;
  double longestGapMs = 0;
  int truthChecks = 0;
  double truthWorstMs = 0;
  double pausedMs = 0;
  int32_t seekFromMs = 0, seekToMs = 0;
  int32_t jumpFromMs = 0, jumpToMs = 0;  // true positions (delay included)
  double readSpanMs = 0;
  bool timedOut = false;
};

// Reads the label about every millisecond until the last measured cue has ended, pausing and
// seeking the player on the way; every command's reply is another report of the true position.
SyncRecord watchLabel(HWND label, const simplayer::SimPlayer& player, const RunPlan& plan, int32_t delayMs,
                      TruePosition& truth) {
  SyncRecord record;
  const auto us = [&](int32_t storedMs) { return (int64_t{storedMs} + delayMs) * 1000; };
  const auto command = [&](const std::string& text) {
    if (auto report = reportFrom(player.command(text))) truth.add(*report);
  };
  const int64_t doneUs = us(plan.cues[plan.lastMeasured].endMs + 600);
  // The play still to come, the pause, and room to spare.
  const double limitMs = static_cast<double>(doneUs - truth.positionUsAt(counterNow())) / 1000 + 3000 + 30'000;
  enum class Stage { BeforePause, Paused, BeforeSeek, BeforeJump, AfterJump } stage = Stage::BeforePause;
  int64_t pausedAt = 0, lastCheck = counterNow();
  std::string shown;
  const int64_t begin = counterNow();
  int64_t lastRead = begin;
  for (;;) {
    const int64_t before = counterNow();
    const auto text = textOf(label, 100);
    const int64_t after = counterNow();
    ++record.reads;
    record.longestGapMs = std::max(record.longestGapMs, truth.msBetween(lastRead, after));
    lastRead = after;
    if (!text) {
      ++record.failedReads;
      if (!IsWindow(label)) break;
    } else if (narrow(*text) != shown || record.changes.empty()) {
      shown = narrow(*text);
      record.changes.push_back({before + (after - before) / 2, shown});
    }

    const int64_t now = counterNow();
    const int64_t positionUs = truth.positionUsAt(now);
    const PlannedCue& beforeSeek = plan.cues[plan.seekAfter];
    if (stage == Stage::BeforePause && positionUs >= us(plan.cues[plan.pauseCue].startMs + 1000)) {
      command("pause");
      pausedAt = counterNow();
      stage = Stage::Paused;
    } else if (stage == Stage::Paused && truth.msBetween(pausedAt, now) >= 3000) {
      command("resume");
      record.pausedMs = truth.msBetween(pausedAt, counterNow());
      stage = Stage::BeforeSeek;
    } else if (stage == Stage::BeforeSeek && positionUs >= us(beforeSeek.endMs + 200) &&
               (shown != beforeSeek.text || positionUs >= us(beforeSeek.endMs + 350))) {
      // In the gap after that cue, once the label has let it go (or the gap is nearly over).
      const int32_t target = plan.cues[plan.seekInto].startMs + 700 + delayMs;
      record.seekFromMs = static_cast<int32_t>(positionUs / 1000);
      record.seekToMs = target;
      command("seek " + std::to_string(target));
      stage = Stage::BeforeJump;
    } else if (stage == Stage::BeforeJump && positionUs >= us(plan.cues[plan.jumpAfter].endMs + 150) &&
               positionUs % 1'000'000 >= 300'000 && positionUs % 1'000'000 < 500'000) {
      // Exactly 10 s on from the true position of this moment: the seconds digit stays.
      const int64_t fromUs = truth.positionUsAt(counterNow());
      record.jumpFromMs = static_cast<int32_t>(fromUs / 1000);
      record.jumpToMs = record.jumpFromMs + 10'000;
      command("seek " + std::to_string(record.jumpToMs));
      stage = Stage::AfterJump;
    } else if (truth.msBetween(lastCheck, now) >= 2000) {
      // Now and then the player's own word against the mapping, away from any cue's edge
      // (a reply takes the bench away from the label for a moment).
      bool nearEdge = false;
      for (const PlannedCue& c : plan.cues) {
        nearEdge = nearEdge || std::abs(positionUs - us(c.startMs)) < 300'000 ||
                   std::abs(positionUs - us(c.endMs)) < 300'000;
      }
      if (!nearEdge) {
        if (auto report = reportFrom(player.command("position"))) {
          const double offMs = static_cast<double>(report->positionUs - truth.positionUsAt(report->counter)) / 1000;
          record.truthWorstMs = std::max(record.truthWorstMs, std::abs(offMs));
          ++record.truthChecks;
        }
        lastCheck = now;
      }
    }
    if (positionUs >= doneUs) break;
    if (truth.msBetween(begin, now) > limitMs) {
      record.timedOut = true;
      break;
    }
    Sleep(1);
  }
  record.readSpanMs = truth.msBetween(begin, lastRead);
  return record;
}

void printRow(const char* what, const Summary& s) {
  if (s.n == 0) {
    std::printf("  %-12s %4zu\n", what, s.n);
    return;
  }
  std::printf("  %-12s %4zu %9.1f %9.1f %9.1f %9.1f\n", what, s.n, s.median, s.p95, s.max, s.min);
}

// ---- CPU windows --------------------------------------------------------------------------

struct CpuWindow {
  double wallSeconds = 0;
  double processTimesSeconds = 0;
  std::optional<double> listedSeconds;
  std::optional<double> wineserverSeconds;
};

// Waits `seconds` without touching anything, then reports the CPU used meanwhile.
CpuWindow measureCpu(int seconds, const Program* program, const Options& options) {
  CpuWindow w;
  const auto serverCpu = [&] {
    return options.wineserverPid ? linuxCpuSeconds(options.wineserverPid, options.clockTicks) : std::nullopt;
  };
  const int64_t start = counterNow();
  const Program::Cpu programBefore = program ? program->cpu() : Program::Cpu{};
  const auto serverBefore = serverCpu();
  if (program) WaitForSingleObject(program->process(), static_cast<DWORD>(seconds) * 1000);
  else Sleep(static_cast<DWORD>(seconds) * 1000);
  const auto serverAfter = serverCpu();
  const Program::Cpu programAfter = program ? program->cpu() : Program::Cpu{};
  w.wallSeconds = static_cast<double>(counterNow() - start) / counterFrequency();
  w.processTimesSeconds = programAfter.processTimes - programBefore.processTimes;
  if (programBefore.listed && programAfter.listed) w.listedSeconds = *programAfter.listed - *programBefore.listed;
  if (serverBefore && serverAfter) w.wineserverSeconds = *serverAfter - *serverBefore;
  return w;
}

double percent(double cpu, double wall) { return wall > 0 ? 100.0 * cpu / wall : 0; }

// What one mode's run gave, for the closing table.
struct ModeResult {
  bool ok = false;
  Summary starts, ends, absolute;  // absolute: |lateness| of starts and ends together
  int missed = 0, doubled = 0, early = 0;
  double quorvanePercent = 0;
  std::optional<double> serverPercent;
  std::optional<double> playerFps;  // over the CPU window
};

// The stored choice the program reads at its start.
bool storePrecise(bool on) {
  RegistryKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Orlenna\\Quorvane", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const char* text = on ? "1" : "0";
  return RegSetValueExA(key.get(), "precise", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2) == ERROR_SUCCESS;
}

ModeResult runMode(bool precise, bool heavy, const Options& options, const std::string& quorvanePath, const RunPlan& plan,
                   const std::string& srtPath, simplayer::SimPlayer& player, int32_t playerStartMs, int idleSeconds) {
  ModeResult result;
  std::printf("==== precise timing %s, %s player ====\n", precise ? "on" : "off", heavy ? "loaded" : "light");
  if (!storePrecise(precise)) {
    std::fprintf(stderr, "could not store the precise-timing choice\n");
    return result;
  }
  const int64_t frequency = counterFrequency();
  TruePosition truth(frequency);
  const auto firstReport = reportFrom(player.command("seek " + std::to_string(playerStartMs)));
  if (!firstReport) {
    std::fprintf(stderr, "the player did not answer\n");
    return result;
  }
  truth.add(*firstReport);

  auto program = Program::start(quorvanePath);
  if (!program) {
    std::fprintf(stderr, "could not start %s\n", quorvanePath.c_str());
    return result;
  }
  HWND mainWindow = waitForWindow(20000, [&] { return topLevelWindow(program->pid(), L"QuorvaneMainWindow", true); });
  if (!mainWindow) {
    std::fprintf(stderr, "no main window of %s\n", quorvanePath.c_str());
    return result;
  }
  const auto delayText = textOf(GetDlgItem(mainWindow, kIdDelayBox), 2000);
  const int32_t delayMs = delayText ? std::atoi(narrow(*delayText).c_str()) : 0;

  // The program's own cost before any run, for comparison with the run's.
  const CpuWindow idle = measureCpu(idleSeconds, program.get(), options);

  HWND label = selectAndStart(*program, mainWindow, srtPath);
  if (!label) {
    program->close(mainWindow);
    return result;
  }
  const int64_t runStarted = counterNow();
  const auto firstIntended = truth.counterReaching((int64_t{plan.cues.front().startMs} + delayMs) * 1000);
  const double marginMs = firstIntended ? truth.msBetween(runStarted, *firstIntended) : 0;

  SyncRecord record = watchLabel(label, player, plan, delayMs, truth);

  // ---- figures of the sync run
  const LabelHistory history = matchLabel(plan.cues, record.changes);
  // The cues the 10 s jump went over or landed in, and the first one after it, are not measured.
  const auto jumpedOver = [&](int i) {
    if (record.jumpToMs == 0) return false;
    const PlannedCue& cue = plan.cues[static_cast<size_t>(i)];
    if (cue.startMs + delayMs <= record.jumpFromMs) return false;
    if (cue.startMs + delayMs <= record.jumpToMs) return true;
    return i > 0 && plan.cues[static_cast<size_t>(i - 1)].startMs + delayMs <= record.jumpToMs;
  };
  std::vector<double> starts, ends, absolute;
  int missed = 0, doubled = 0, earlyStarts = 0, earlyEnds = 0, notCleared = 0, measuredCount = 0;
  std::vector<std::string> eachLines;
  for (int i = 0; i < static_cast<int>(plan.cues.size()); ++i) {
    if (!plan.measured(i) || jumpedOver(i)) continue;
    ++measuredCount;
    const PlannedCue& cue = plan.cues[static_cast<size_t>(i)];
    const CueSeen& seen = history.cues[static_cast<size_t>(i)];
    const auto intendedStart = truth.counterReaching((int64_t{cue.startMs} + delayMs) * 1000);
    const auto intendedEnd = truth.counterReaching((int64_t{cue.endMs} + delayMs) * 1000);
    char line[160];
    if (seen.appearances == 0 || !intendedStart) {
      ++missed;
      std::snprintf(line, sizeof line, "  %-8s %9d %9d   missed", cue.text.c_str(), cue.startMs, cue.endMs);
      eachLines.push_back(line);
      continue;
    }
    if (seen.appearances > 1) ++doubled;
    const double startLate = truth.msBetween(*intendedStart, *seen.shown);
    starts.push_back(startLate);
    absolute.push_back(std::abs(startLate));
    if (startLate < -kEarlyMs) ++earlyStarts;
    double endLate = 0;
    if (seen.hidden && intendedEnd) {
      endLate = truth.msBetween(*intendedEnd, *seen.hidden);
      ends.push_back(endLate);
      absolute.push_back(std::abs(endLate));
      if (endLate < -kEarlyMs) ++earlyEnds;
    } else {
      ++notCleared;
    }
    std::snprintf(line, sizeof line, "  %-8s %9d %9d %9.1f %9.1f%s%s", cue.text.c_str(), cue.startMs, cue.endMs,
                  startLate, endLate, seen.appearances > 1 ? "   shown twice" : "",
                  i == plan.pauseCue ? "   (paused inside)" : "");
    eachLines.push_back(line);
  }

  std::printf("End-to-end sync: %s against the simulated player (PowerDVDMovie.exe)\n", quorvanePath.c_str());
  std::printf("  %d cues in the file, %d measured; delay box %d ms; run started %.1f s before the first cue\n",
              static_cast<int>(plan.cues.size()), measuredCount, delayMs, marginMs / 1000);
  if (marginMs < 1500) std::printf("  (warning: the run started less than 1.5 s before the first cue)\n");
  std::printf("  paused %.0f ms inside %s; seek %d -> %d ms, over cues %02d-%02d into %s (not measured)\n",
              record.pausedMs, plan.cues[plan.pauseCue].text.c_str(), record.seekFromMs, record.seekToMs,
              plan.seekAfter + 2, plan.seekInto, plan.cues[plan.seekInto].text.c_str());
  std::printf("  jump of 10 s keeping the seconds digit: %d -> %d ms (cues over it and the next not measured)\n",
              record.jumpFromMs, record.jumpToMs);
  std::printf("  label read %d times over %.1f s (every %.2f ms, longest gap %.1f ms, %d unanswered)\n",
              record.reads, record.readSpanMs / 1000, record.readSpanMs / std::max(1, record.reads),
              record.longestGapMs, record.failedReads);
  std::printf("  true position: %d checks against the player's own report, worst %.3f ms off\n",
              record.truthChecks, record.truthWorstMs);
  if (record.timedOut) std::printf("  (warning: the run did not reach its last cue in time)\n");
  if (options.each) {
    std::printf("\n  cue        start ms    end ms   start late  end late (ms)\n");
    for (const std::string& l : eachLines) std::printf("%s\n", l.c_str());
  }
  std::printf("\n  lateness = shown - intended (ms; intended = the true position reaches the stored time + delay)\n");
  std::printf("  %-12s %4s %9s %9s %9s %9s\n", "", "n", "median", "p95", "max", "min");
  result.starts = summarize(starts);
  result.ends = summarize(ends);
  result.absolute = summarize(absolute);
  printRow("cue starts", result.starts);
  printRow("cue ends", result.ends);
  printRow("|lateness|", result.absolute);
  std::printf("  missed %d   doubled %d   early starts %d   early ends %d   (early: > %.0f ms before)\n",
              missed, doubled, earlyStarts, earlyEnds, kEarlyMs);
  std::printf("  still shown at the end %d   texts of no cue %d\n", notCleared, history.unknownTexts);
  result.missed = missed;
  result.doubled = doubled;
  result.early = earlyStarts + earlyEnds;

  // ---- CPU: quorvane in the run, untouched
  const auto framesBefore = framesOf(player);
  const CpuWindow with = measureCpu(options.seconds, program.get(), options);
  const auto framesAfter = framesOf(player);
  if (framesBefore && framesAfter && framesAfter->counter > framesBefore->counter) {
    result.playerFps = static_cast<double>(framesAfter->frames - framesBefore->frames) * frequency /
                       static_cast<double>(framesAfter->counter - framesBefore->counter);
  }
  const bool stillRunning = program->running();
  const double peakMiB = program->peakWorkingSetMiB();
  program->close(mainWindow);
  const auto programPercent = [](const CpuWindow& w) {
    return percent(w.listedSeconds.value_or(w.processTimesSeconds), w.wallSeconds);
  };
  std::printf("\n  CPU in %% of one core         %12s %12s\n", "quorvane.exe", "wineserver");
  const auto row = [&](const char* what, const CpuWindow& w) {
    std::printf("  %-28s %12.3f ", what, programPercent(w));
    if (w.wineserverSeconds) std::printf("%12.3f\n", percent(*w.wineserverSeconds, w.wallSeconds));
    else std::printf("%12s\n", "-");
  };
  row("idle, before Select and Start", idle);
  const std::string runRow = "in the run (" + std::to_string(options.seconds) + " s untouched)";
  row(runRow.c_str(), with);
  if (result.playerFps) std::printf("  the player showed %.1f pictures a second meanwhile\n", *result.playerFps);
  if (!stillRunning) std::printf("  (warning: quorvane.exe ended during the window)\n");
  std::printf("  quorvane.exe peak working set %.1f MiB\n\n", peakMiB);
  result.quorvanePercent = programPercent(with);
  if (with.wineserverSeconds) result.serverPercent = percent(*with.wineserverSeconds, with.wallSeconds);
  result.ok = true;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const auto parsed = parseOptions(argc, argv);
  if (!parsed) {
    std::fprintf(stderr,
                 "usage: sync_e2e_win_bench [--quorvane PATH] [--seconds N] [--cues N] [--each] "
                 "[--precise off|on|both] [--load light|heavy|both] [--decode-load PERCENT] [--clock-with-frames] "
                 "[--wineserver-pid PID --clock-ticks HZ]\n");
    return 2;
  }
  const Options options = *parsed;
  bench::printArchitecture();
  const std::string quorvanePath = options.quorvanePath.empty() ? findQuorvane() : options.quorvanePath;
  if (quorvanePath.empty() || !fileExists(quorvanePath)) {
    std::fprintf(stderr, "quorvane.exe not found; pass --quorvane PATH\n");
    return 1;
  }

  // The idle window only compares; the run's window is the one that counts.
  const int idleSeconds = std::min(options.seconds, 10);
  const RunPlan plan = makePlan(options.cues, idleSeconds, options.seconds);
  simplayer::ScratchFolder folder;
  const std::string srtPath = folder.path() + "\\cues.srt";
  if (!folder.valid() || !writeFile(srtPath, srtText(plan.cues))) {
    std::fprintf(stderr, "could not write %s\n", srtPath.c_str());
    return 1;
  }
  // Long enough for one player's modes; a player nobody ends still goes by itself.
  const int modes = static_cast<int>(options.preciseModes.size());
  const int exitAfter = 300 + modes * (4 * options.seconds + 4 * options.cues + 60);
  const int32_t playerStartMs = plan.cues.front().startMs - kLeadMs - idleSeconds * 1000;

  struct Row {
    bool heavy;
    bool precise;
    ModeResult result;
    std::optional<double> playerServer;  // the wineserver with only the player
  };
  std::vector<Row> rows;
  for (const bool heavy : options.loads) {
    std::string arguments = "--start=" + std::to_string(playerStartMs) + " --exit-after=" + std::to_string(exitAfter);
    if (heavy) arguments += " --load --decode-load=" + std::to_string(options.decodePercent);
    if (heavy && options.clockWithFrames) arguments += " --clock-with-frames";
    auto player = simplayer::SimPlayer::start(folder.path(), "PowerDVDMovie.exe", arguments);
    if (!player || !reportFrom(player->command("position"))) {
      std::fprintf(stderr, "could not start %s, or it does not report the performance counter\n",
                   simplayer::builtPlayerPath().c_str());
      return 1;
    }
    const size_t first = rows.size();
    for (const bool precise : options.preciseModes) {
      rows.push_back({heavy, precise,
                      runMode(precise, heavy, options, quorvanePath, plan, srtPath, *player, playerStartMs, idleSeconds),
                      std::nullopt});
      if (!rows.back().result.ok) return 1;
    }
    // The player alone, for the wineserver's share that is not quorvane's.
    const CpuWindow without = measureCpu(options.seconds, nullptr, options);
    for (size_t r = first; r < rows.size(); ++r) {
      if (without.wineserverSeconds) rows[r].playerServer = percent(*without.wineserverSeconds, without.wallSeconds);
    }
    player->kill();
  }

  std::printf("Summary (same file; lateness in ms; CPU in %% of one core over %d s of the run; "
              "(player): the wineserver with the player alone; fps: the player's pictures a second)\n",
              options.seconds);
  std::printf("  %-6s %-7s %4s %8s %8s %8s %4s %8s %8s %8s %5s %6s %5s %9s %10s %9s %5s\n", "player", "precise",
              "n", "start.p50", "start.p95", "start.max", "n", "end.p50", "end.p95", "end.max", "|p95|", "|max|",
              "m/d/e", "quorvane", "wineserver", "(player)", "fps");
  for (const Row& row : rows) {
    const ModeResult& r = row.result;
    char serverText[16] = "-";
    if (r.serverPercent) std::snprintf(serverText, sizeof serverText, "%.3f", *r.serverPercent);
    char playerText[16] = "-";
    if (row.playerServer) std::snprintf(playerText, sizeof playerText, "%.3f", *row.playerServer);
    char fpsText[16] = "-";
    if (r.playerFps) std::snprintf(fpsText, sizeof fpsText, "%.1f", *r.playerFps);
    char mde[16];
    std::snprintf(mde, sizeof mde, "%d/%d/%d", r.missed, r.doubled, r.early);
    std::printf("  %-6s %-7s %4zu %8.1f %8.1f %8.1f %4zu %8.1f %8.1f %8.1f %5.1f %6.1f %5s %9.3f %10s %9s %5s\n",
                row.heavy ? "loaded" : "light", row.precise ? "on" : "off", r.starts.n, r.starts.median, r.starts.p95,
                r.starts.max, r.ends.n, r.ends.median, r.ends.p95, r.ends.max, r.absolute.p95, r.absolute.max, mde,
                r.quorvanePercent, serverText, playerText, fpsText);
  }
  std::printf("Goals: precise on: missed/doubled/early(> %.0f ms) 0/0/0, |p95| <= 10, |max| <= 25, "
              "quorvane <= 1 %%; precise off: |p95| <= 100\n",
              kEarlyMs);
  return 0;
}
