// The simulated player: a small window that "plays" a title in real time and keeps its
// on-screen time in a record laid out like the real player's, reachable through a code
// signature in its main image. Tests and the demo run it under the real player's file names.
//
//   simplayer.exe [--start=H:MM:SS[.mmm]|MS] [--paused] [--pad=SIZE[K|M]] [--no-signature]
//                 [--exit-after=SECONDS] [--load] [--size=WxH] [--decode-load=PERCENT]
//                 [--mpc-web=PORT] [--potplayer] [--mpv-pipe=PATH]
//                 [--clock-with-frames] [--record-high] [--layout=NAME] [--heap=SIZE]
//
// --load loads the machine as a real player does: a borderless window over the whole primary
// monitor (or --size) whose whole picture is drawn anew and put on screen at 59.94 frames a
// second, moving with the wall clock so that every frame differs, paused or not. With
// --clock-with-frames the record's digits change with the frame that shows them, as a player's
// on-screen clock may, not at the second's true boundary: up to a frame later, by an amount that
// drifts from second to second, since the frames are not locked to the film's seconds.
// --decode-load burns that share of one core on a thread of its own, as a decoder would.
// Without --load, --size is the window's inside.
//
// --mpc-web, --potplayer and --mpv-pipe also tell the time as those players do: MPC-HC's web
// interface, PotPlayer's window messages, mpv's JSON IPC (simplayer_interfaces_win.cpp).
//
// Built 64-bit it keeps the same layout as built 32-bit: the main image at 0x400000, the record
// below 2 GB behind a 4-byte pointer. --record-high (64-bit build only) also keeps a copy of the
// time record above 4 GB, where a 64-bit player's memory lies; "info" reports it as high=, and
// the command "drop-high" releases it while the player goes on.
//
// --layout keeps the position in one of the ways other players keep theirs, with decoys
// (simplayer_layouts_win.h), and then only that way: no time record, no signature. --heap
// commits that much more read-write memory (SIZE as for --pad) filled with varied data, as a
// player's heap holds, for measuring a scan of all of a player's memory.
//
// Keys: Space pause/resume, Left/Right seek 10 s, Home back to 0:00:00.
// Control from outside: the pipe \\.\pipe\simplayer-<pid> (see simplayer-ctl).

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/process_handles_win.h"
#include "platform/window_handles_win.h"
#include "simplayer_interfaces_win.h"
#include "simplayer_layouts_win.h"
#include "simplayer_protocol.h"

namespace {

using namespace quorvane;

// ---- The player's memory ------------------------------------------------------------------

// The layout, written down here from the player's side and nowhere taken from the reader, so
// that a reader that gets an offset wrong fails against this player.
namespace layout {
// Machine code in the main image that reads the time record through a pointer.
constexpr std::array<uint8_t, 14> codeSignature{0x8B, 0x47, 0x08, 0x89, 0x46, 0xC4, 0x83,
                                                0x7F, 0x08, 0x04, 0x72, 0x15, 0x8B, 0x07};
// The pointer sits this far before the signature's first byte; the record this far after
// the address the pointer holds.
constexpr uint32_t pointerBeforeSignature = 65;
constexpr uint32_t recordAfterPointer = 744;
// The clock's digits in the record, each stored as its value plus 1, and the 4-byte playing
// flag (1 while playing).
constexpr uint32_t hoursDigit = 0;
constexpr uint32_t tensOfMinutesDigit = 80;
constexpr uint32_t minutesDigit = 160;
constexpr uint32_t tensOfSecondsDigit = 240;
constexpr uint32_t secondsDigit = 320;
constexpr uint32_t playingFlag = 1440;
constexpr uint32_t recordBytes = playingFlag + 4;
}  // namespace layout

// Writable pages of the main image (zero-initialised, so they cost nothing until touched).
// The pad lies before the signature so that a padded search has to read all of it first.
constexpr uint32_t pageBytes = 4096;
constexpr uint32_t maxPadBytes = 64u << 20;
struct ImageBlock {
  uint8_t pad[maxPadBytes];
  uint8_t codeArea[3 * pageBytes];
};
ImageBlock imageBlock;

// The object the signature's pointer refers to; the time record sits inside it.
struct RecordHolder {
  uint8_t lead[layout::recordAfterPointer];
  uint8_t record[layout::recordBytes];
};
RecordHolder recordHolder;

// The copy of the record above 4 GB (--record-high), or null. Written with the record.
uint8_t* highRecord = nullptr;

// Reserves and commits a page-rounded block for the copy at the first free place from 8 GB
// upward; null in the 32-bit build, whose pointers cannot reach there.
uint8_t* allocateHighRecord() {
  if constexpr (sizeof(void*) < 8) {
    return nullptr;
  } else {
    constexpr uint64_t step = 1ull << 28;  // 256 MiB, a multiple of the allocation granularity
    for (uint64_t at = 1ull << 33; at < (1ull << 40); at += step) {
      if (void* block = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(at)), layout::recordBytes,
                                     MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)) {
        return static_cast<uint8_t*>(block);
      }
    }
    return nullptr;
  }
}

// The signature must exist exactly once in this process, in the code area. The binary keeps
// only masked bytes, and the key is read at run time, so the compiler cannot fold the plain
// bytes back into the file (where they would land in read-only data).
constexpr uint8_t maskBase = 0xA5;
constexpr auto maskedSignature = [] {
  std::array<uint8_t, layout::codeSignature.size()> out{};
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = layout::codeSignature[i] ^ static_cast<uint8_t>(maskBase + 7 * i);
  }
  return out;
}();
volatile uint8_t unmaskKey = maskBase;

uint8_t* const signatureAt = imageBlock.codeArea + pageBytes + 512;
uint8_t* const pointerAt = signatureAt - layout::pointerBeforeSignature;

void placeSignature() {
  const auto pointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&recordHolder));
  for (int i = 0; i < 4; ++i) pointerAt[i] = static_cast<uint8_t>(pointer >> (8 * i));
  for (size_t i = 0; i < maskedSignature.size(); ++i) {
    signatureAt[i] = maskedSignature[i] ^ static_cast<uint8_t>(unmaskKey + 7 * i);
  }
}

// Pad pages beyond the requested size become read-only, which takes them out of the search.
void limitPad(uint32_t padBytes) {
  const auto start = reinterpret_cast<uintptr_t>(imageBlock.pad);
  const uintptr_t keepEnd = start + std::min(padBytes, maxPadBytes);
  const uintptr_t roStart = (keepEnd + pageBytes - 1) & ~uintptr_t{pageBytes - 1};
  const uintptr_t roEnd = (start + maxPadBytes) & ~uintptr_t{pageBytes - 1};
  DWORD old = 0;
  if (roStart < roEnd) {
    VirtualProtect(reinterpret_cast<void*>(roStart), roEnd - roStart, PAGE_READONLY, &old);
  }
}

// Committed memory full of what a heap holds: small counts, flags, pointers into itself and
// other numbers, from a fixed seed so that every run scans the same bytes.
bool fillHeap(uint64_t bytes) {
  auto* heap = static_cast<uint32_t*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!heap) return false;
  uint32_t seed = 12345;
  for (uint64_t i = 0; i < bytes / 4; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const uint32_t kind = seed >> 29;
    heap[i] = kind < 3 ? 0 : kind < 5 ? (seed >> 8) % 1000
                                      : kind < 7 ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(heap)) + (seed & 0xFFFF0)
                                                 : seed;
  }
  return true;
}

// ---- The clock ------------------------------------------------------------------------------

// Off with --layout: the position is kept only in the layout's way.
bool recordKept = true;

constexpr int64_t maxPositionMs = 10LL * 3600 * 1000 - 1;  // the display has one hour digit
constexpr int64_t maxPositionUs = maxPositionMs * 1000;

// Runs on the performance counter, not on the tick count: the tick count moves in steps of
// about 16 ms, too coarse for a true position that benchmarks measure lateness against.
class PlayerClock {
 public:
  struct Reading {
    int64_t positionUs;
    int64_t counter;     // QueryPerformanceCounter at that position
    DWORD tickCount;     // GetTickCount taken with it
    bool playing;
  };

  PlayerClock() {
    InitializeCriticalSection(&lock_);
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart;
  }

  void start(int64_t positionMs, bool playing) {
    Lock l(lock_);
    baseUs_ = clampUs(positionMs * 1000);
    baseCounter_ = counterNow();
    playing_ = playing;
    writeRecordLocked(baseCounter_);
  }

  Reading now() {
    Lock l(lock_);
    const int64_t counter = counterNow();
    return {positionAt(counter), counter, GetTickCount(), playing_};
  }

  void setPlaying(bool playing) {
    Lock l(lock_);
    rebase(counterNow());
    playing_ = playing;
    writeRecordLocked(baseCounter_);
  }

  void seekTo(int64_t positionMs) {
    Lock l(lock_);
    rebase(counterNow());
    baseUs_ = clampUs(positionMs * 1000);
    writeRecordLocked(baseCounter_);
  }
  void seekBy(int64_t deltaMs) {
    Lock l(lock_);
    rebase(counterNow());
    baseUs_ = clampUs(baseUs_ + deltaMs * 1000);
    writeRecordLocked(baseCounter_);
  }
  // Releases the copy above 4 GB, as a player frees memory a reader still points at; under the
  // lock, so the record thread never writes to it afterwards.
  bool dropHighRecord() {
    Lock l(lock_);
    if (!highRecord) return false;
    VirtualFree(highRecord, 0, MEM_RELEASE);
    highRecord = nullptr;
    return true;
  }
  void toggle() {
    Lock l(lock_);
    rebase(counterNow());
    playing_ = !playing_;
    writeRecordLocked(baseCounter_);
  }

  // Brings the record up to date; returns how long until its seconds digit next changes,
  // rounded up so that a wait of that length wakes after the change, not before it.
  DWORD refresh() {
    Lock l(lock_);
    const int64_t position = writeRecordLocked(counterNow());
    if (!playing_ || position >= maxPositionUs) return INFINITE;
    return static_cast<DWORD>((1'000'000 - position % 1'000'000 + 999) / 1000);
  }

 private:
  struct Lock {
    explicit Lock(CRITICAL_SECTION& c) : c_(c) { EnterCriticalSection(&c_); }
    ~Lock() { LeaveCriticalSection(&c_); }
    CRITICAL_SECTION& c_;
  };
  static int64_t counterNow() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
  }
  static int64_t clampUs(int64_t us) { return us < 0 ? 0 : (us > maxPositionUs ? maxPositionUs : us); }
  int64_t positionAt(int64_t counter) const {
    if (!playing_) return baseUs_;
    // Whole seconds and the rest apart, so the product cannot overflow however long it plays.
    const int64_t elapsed = counter - baseCounter_;
    const int64_t us = elapsed / frequency_ * 1'000'000 + elapsed % frequency_ * 1'000'000 / frequency_;
    return clampUs(baseUs_ + us);
  }
  void rebase(int64_t counter) {
    baseUs_ = positionAt(counter);
    baseCounter_ = counter;
  }
  int64_t writeRecordLocked(int64_t counter) {
    const int64_t position = positionAt(counter);
    if (!recordKept) return position;
    const int64_t seconds = position / 1'000'000;
    uint8_t* r = recordHolder.record;
    // Higher digits first, the seconds digit (the one readers watch for change) last.
    r[layout::hoursDigit] = static_cast<uint8_t>(seconds / 3600 % 10 + 1);
    r[layout::tensOfMinutesDigit] = static_cast<uint8_t>(seconds / 600 % 6 + 1);
    r[layout::minutesDigit] = static_cast<uint8_t>(seconds / 60 % 10 + 1);
    r[layout::tensOfSecondsDigit] = static_cast<uint8_t>(seconds / 10 % 6 + 1);
    r[layout::secondsDigit] = static_cast<uint8_t>(seconds % 10 + 1);
    const uint32_t flag = playing_ ? 1 : 0;
    std::memcpy(r + layout::playingFlag, &flag, sizeof flag);
    if (highRecord) std::memcpy(highRecord, r, layout::recordBytes);
    return position;
  }

  CRITICAL_SECTION lock_;
  int64_t frequency_ = 1;
  int64_t baseUs_ = 0;
  int64_t baseCounter_ = 0;
  bool playing_ = false;
};

PlayerClock playerClock;
UniqueKernelHandle clockChanged;  // wakes the record thread after a command
HWND mainWindow = nullptr;
constexpr UINT repaintMessage = WM_APP + 1;

void changed() {
  SetEvent(clockChanged.get());
  if (mainWindow) PostMessageA(mainWindow, repaintMessage, 0, 0);
}

// Keeps the record's digits in step with real time, waking when the seconds digit is due.
DWORD WINAPI recordThread(void*) {
  for (;;) WaitForSingleObject(clockChanged.get(), playerClock.refresh());
}

// ---- Outside control ------------------------------------------------------------------------

// The fields before "qpc" are what every client reads; "qpc" (the performance counter the
// position was taken at) and "us" (the position in microseconds) serve precise measurements.
std::string formatPosition(const PlayerClock::Reading& p) {
  char text[160];
  std::snprintf(text, sizeof text, "OK position=%ld tick=%lu playing=%d qpc=%lld us=%lld",
                static_cast<long>(p.positionUs / 1000), static_cast<unsigned long>(p.tickCount),
                p.playing ? 1 : 0, static_cast<long long>(p.counter), static_cast<long long>(p.positionUs));
  return text;
}

bool signaturePlaced = false;
volatile LONG framesShown = 0;  // pictures put on screen so far

std::string handleCommand(const std::string& line) {
  const auto space = line.find(' ');
  const std::string verb = line.substr(0, space);
  const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
  if (verb == "position") {
  } else if (verb == "pause") {
    playerClock.setPlaying(false);
  } else if (verb == "resume" || verb == "play") {
    playerClock.setPlaying(true);
  } else if (verb == "seek") {
    const auto target = simplayer::parseTimeMs(argument);
    if (!target) return "ERR bad time";
    playerClock.seekTo(*target);
  } else if (verb == "info") {
    // Full-width addresses (unsigned long is 32 bits on Windows even in a 64-bit program).
    const auto address = [](const void* p) { return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)); };
    char text[160];
    std::snprintf(text, sizeof text, "OK record=0x%08llX signature=0x%08llX pointer=0x%08llX high=0x%08llX",
                  address(recordHolder.record), signaturePlaced ? address(signatureAt) : 0ull,
                  signaturePlaced ? address(&recordHolder) : 0ull, address(highRecord));
    return text;
  } else if (verb == "poke") {
    // Garbage in the record, as a player in an odd state may hold: "poke OFFSET VALUE [1|4]"
    // writes VALUE (negative allowed) as 1 or 4 bytes. It stays until the record is next
    // written: the next change of the seconds digit while playing, or the next command.
    long offset = 0, value = 0, bytes = 1;
    char extra = 0;
    const int fields = std::sscanf(argument.c_str(), "%ld %ld %ld %c", &offset, &value, &bytes, &extra);
    if (fields < 2 || fields > 3 || (bytes != 1 && bytes != 4) || offset < 0 ||
        static_cast<unsigned long>(offset) + bytes > layout::recordBytes)
      return "ERR bad poke";
    const auto word = static_cast<int32_t>(value);
    std::memcpy(recordHolder.record + offset, &word, static_cast<size_t>(bytes));
    if (highRecord) std::memcpy(highRecord + offset, &word, static_cast<size_t>(bytes));
    return formatPosition(playerClock.now());
  } else if (verb == "layout") {
    return "OK " + simplayer::layoutReport();
  } else if (verb == "frames") {
    // The pictures shown so far, with the counter they were counted at: two answers give the rate.
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return "OK frames=" + std::to_string(framesShown) + " qpc=" + std::to_string(c.QuadPart);
  } else if (verb == "drop-high") {
    if (!playerClock.dropHighRecord()) return "ERR no copy above 4 GB";
  } else if (verb == "quit") {
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    return "OK";
  } else {
    return "ERR unknown command";
  }
  changed();
  return formatPosition(playerClock.now());
}

// One client at a time: read a request line, answer, disconnect.
DWORD WINAPI pipeThread(void*) {
  const std::string name = simplayer::pipeName(GetCurrentProcessId());
  for (;;) {
    UniqueKernelHandle pipeHandle(CreateNamedPipeA(
        name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
        simplayer::maxMessageBytes, simplayer::maxMessageBytes, 0, nullptr));
    const HANDLE pipe = pipeHandle.get();
    if (!pipeHandle) {
      Sleep(100);
      continue;
    }
    if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
      char request[simplayer::maxMessageBytes + 1] = {};
      DWORD got = 0;
      if (ReadFile(pipe, request, simplayer::maxMessageBytes, &got, nullptr)) {
        std::string line(request, got);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        const std::string reply = handleCommand(line);
        DWORD put = 0;
        WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &put, nullptr);
        FlushFileBuffers(pipe);
      }
      DisconnectNamedPipe(pipe);
    }
  }
}

// ---- The window -----------------------------------------------------------------------------

constexpr UINT_PTR frameTimer = 1;
constexpr UINT_PTR exitTimer = 2;
std::string exeName;

// Selects a GDI object into a DC for one scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

void fill(HDC dc, const RECT& box, COLORREF colour) {
  const BrushHandle brush(CreateSolidBrush(colour));
  FillRect(dc, &box, brush.get());
}

void drawText(HDC dc, const char* text, RECT box, int heightPx, int weight, COLORREF colour) {
  const FontHandle font(CreateFontA(-heightPx, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0,
                                    ANTIALIASED_QUALITY, 0, "Arial"));
  Selection selected(dc, font.get());
  SetTextColor(dc, colour);
  DrawTextA(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

bool loadMode = false;
bool clockWithFrames = false;  // the record is brought up to date by each frame

// The performance counter in microseconds (and milliseconds): the wall clock of the picture's
// motion and of the decoder's slices.
int64_t wallUs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / frequency * 1'000'000 + c.QuadPart % frequency * 1'000'000 / frequency;
}
int64_t wallMs() { return wallUs() / 1000; }

void paint(HDC dc, const RECT& area) {
  if (clockWithFrames) playerClock.refresh();  // the digits this frame shows
  const auto now = playerClock.now();
  const int64_t t = now.positionUs / 1000;
  // The light window's picture moves with the position, so it stands still while paused; under
  // load it moves with the wall clock and fills the whole picture, so no two frames are alike.
  const int64_t motion = loadMode ? wallMs() : t;
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  fill(dc, area, loadMode ? RGB(motion / 20 % 64, 16, 24 + motion / 50 % 64) : RGB(16, 16, 24));

  // The "movie": colour bars that scroll and a ball that bounces.
  const int barWidth = 40;
  const int barsTop = loadMode ? 0 : height - 90;
  const int barsBottom = loadMode ? height : height - 40;
  const int shift = static_cast<int>(motion / 8 % (barWidth * 8));
  for (int x = -barWidth * 8; x < width + barWidth * 8; x += barWidth) {
    const int band = ((x + shift) / barWidth) & 7;
    const int left = x + shift % barWidth;
    // Under load the bars stop short of the middle, so the clock stays readable.
    if (loadMode && left + barWidth > width / 4 && left < width * 3 / 4) {
      fill(dc, RECT{left, barsTop, left + barWidth, height / 8}, RGB(band * 30, 200 - band * 20, 90));
      fill(dc, RECT{left, height * 5 / 8, left + barWidth, barsBottom}, RGB(band * 30, 90, 200 - band * 20));
      continue;
    }
    fill(dc, RECT{left, barsTop, left + barWidth, barsBottom},
         RGB(band & 1 ? 200 : 40, band & 2 ? 180 : 40, band & 4 ? 220 : 60));
  }
  const int span = width - 60;
  const int phase = static_cast<int>(motion / 4 % (2 * span));
  const int ballX = 30 + (phase < span ? phase : 2 * span - phase);
  const int bounce = static_cast<int>(motion / 3 % 300);
  const int ballY = 40 + (bounce < 150 ? bounce : 300 - bounce) / 2;
  {
    const BrushHandle ballBrush(CreateSolidBrush(RGB(255, 200, 0)));
    Selection selected(dc, ballBrush.get());
    Ellipse(dc, ballX - 25, ballY - 25, ballX + 25, ballY + 25);
  }

  // The player's own clock, large, and its state.
  const long seconds = static_cast<long>(t / 1000);
  char clock[32];
  std::snprintf(clock, sizeof clock, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  SetBkMode(dc, TRANSPARENT);
  drawText(dc, clock, RECT{0, 80, width, 260}, 150, FW_BOLD, RGB(255, 255, 255));
  char status[160];
  std::snprintf(status, sizeof status, "%s   %s   pid %lu   Space pause  Left/Right 10 s  Home",
                now.playing ? "PLAYING" : "PAUSED", exeName.c_str(), GetCurrentProcessId());
  drawText(dc, status, RECT{0, 270, width, 300}, 20, FW_NORMAL,
           now.playing ? RGB(120, 255, 120) : RGB(255, 140, 100));
}

// The picture is drawn off-screen first, so the animation does not flicker, into a bitmap kept
// from frame to frame, as a real player keeps its surfaces.
class FrameBuffer {
 public:
  void present(HDC target, const RECT& area) {
    if (!memory_ || area.right != size_.right || area.bottom != size_.bottom) {
      memory_.reset();  // lets go of the old bitmap before it is deleted
      bitmap_.reset(CreateCompatibleBitmap(target, area.right, area.bottom));
      memory_.reset(CreateCompatibleDC(target));
      SelectObject(memory_.get(), bitmap_.get());
      size_ = area;
    }
    paint(memory_.get(), area);
    BitBlt(target, 0, 0, area.right, area.bottom, memory_.get(), 0, 0, SRCCOPY);
    InterlockedIncrement(&framesShown);
  }

 private:
  GdiObject<HBITMAP> bitmap_;  // declared first: the DC that holds it goes before it
  MemoryDc memory_;
  RECT size_{};
};
FrameBuffer frameBuffer;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == exitTimer) {
        DestroyWindow(window);
        return 0;
      }
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case repaintMessage:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_SPACE: playerClock.toggle(); break;
        case VK_LEFT: playerClock.seekBy(-10000); break;
        case VK_RIGHT: playerClock.seekBy(10000); break;
        case VK_HOME: playerClock.seekTo(0); break;
        default: return 0;
      }
      changed();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT area;
      GetClientRect(window, &area);
      frameBuffer.present(dc, area);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Under load: a frame every 1001/60 ms (59.94 a second, a common display rate) by the
// performance counter, painted at once through WM_PAINT as a GDI program paints (a posted
// WM_PAINT would wait for an empty queue), with the messages handled between frames. A frame
// that comes late is not made up for by a burst.
void runFrameLoop() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  const int64_t period = f.QuadPart * 1001 / 60'000;
  const auto counter = [] {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
  };
  int64_t due = counter();
  for (;;) {
    int64_t now = counter();
    if (now >= due) {
      InvalidateRect(mainWindow, nullptr, FALSE);
      UpdateWindow(mainWindow);
      due += period;
      now = counter();
      if (now >= due) due = now + period;
    }
    const auto waitMs = static_cast<DWORD>(((due - now) * 1000 + f.QuadPart - 1) / f.QuadPart);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

// Burns `percent` of one core in slices of 10 ms, as a decoder keeps a core busy.
DWORD WINAPI decodeThread(void* param) {
  const auto percent = static_cast<int64_t>(reinterpret_cast<uintptr_t>(param));
  constexpr int64_t sliceMs = 10;
  volatile uint32_t sink = 1;
  for (;;) {
    const int64_t start = wallMs();
    const int64_t busyUntil = start * 1000 + sliceMs * 1000 * percent / 100;
    do {
      for (int i = 0; i < 1000; ++i) sink = sink * 1664525u + 1013904223u;
    } while (wallUs() < busyUntil);
    const int64_t spentMs = wallMs() - start;
    if (spentMs < sliceMs) Sleep(static_cast<DWORD>(sliceMs - spentMs));
  }
}

struct Options {
  int64_t startMs = 0;
  bool paused = false;
  uint32_t padBytes = 0;
  bool signature = true;
  uint32_t exitAfterSeconds = 0;
  bool load = false;
  int width = 0, height = 0;  // 0: the default for the mode
  int decodePercent = 0;
  uint16_t mpcWebPort = 0;  // 0: off
  bool potPlayer = false;
  std::string mpvPipe;      // empty: off
  bool clockWithFrames = false;
  bool recordHigh = false;
  std::string layout;       // empty: the time record only
  uint64_t heapBytes = 0;
};

Options parseOptions(const char* commandLine) {
  Options options;
  std::string rest = commandLine ? commandLine : "";
  size_t at = 0;
  while (at < rest.size()) {
    while (at < rest.size() && rest[at] == ' ') ++at;
    size_t end = rest.find(' ', at);
    if (end == std::string::npos) end = rest.size();
    const std::string word = rest.substr(at, end - at);
    at = end;
    auto value = [&](const char* name) -> const char* {
      const size_t n = std::strlen(name);
      return word.compare(0, n, name) == 0 ? word.c_str() + n : nullptr;
    };
    if (const char* v = value("--start=")) {
      if (auto ms = simplayer::parseTimeMs(v)) options.startMs = *ms;
    } else if (word == "--paused") {
      options.paused = true;
    } else if (const char* v = value("--pad=")) {
      options.padBytes = simplayer::parseSize(v).value_or(0);
    } else if (word == "--no-signature") {
      options.signature = false;
    } else if (const char* v = value("--exit-after=")) {
      options.exitAfterSeconds = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (word == "--load") {
      options.load = true;
    } else if (const char* v = value("--size=")) {
      int w = 0, h = 0;
      if (std::sscanf(v, "%dx%d", &w, &h) == 2 && w > 0 && h > 0) {
        options.width = w;
        options.height = h;
      }
    } else if (word == "--record-high") {
      options.recordHigh = true;
    } else if (word == "--clock-with-frames") {
      options.clockWithFrames = true;
    } else if (const char* v = value("--decode-load=")) {
      options.decodePercent = std::clamp(std::atoi(v), 0, 100);
    } else if (const char* v = value("--mpc-web=")) {
      options.mpcWebPort = static_cast<uint16_t>(std::atoi(v));
    } else if (word == "--potplayer") {
      options.potPlayer = true;
    } else if (const char* v = value("--mpv-pipe=")) {
      options.mpvPipe = v;
    } else if (const char* v = value("--layout=")) {
      options.layout = v;
    } else if (const char* v = value("--heap=")) {
      options.heapBytes = simplayer::parseSize(v).value_or(0);
    }
  }
  return options;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
  const Options options = parseOptions(commandLine);
  // The pointer before the signature holds 4 bytes, and readers take it as a positive number:
  // a record the linker placed at or above 2 GB could not be reached through it.
  if (reinterpret_cast<uintptr_t>(&recordHolder) + sizeof recordHolder > 0x80000000u) return 3;
  if (options.recordHigh && !(highRecord = allocateHighRecord())) return 4;
  if (options.heapBytes && !fillHeap(options.heapBytes)) return 6;
  limitPad(options.padBytes);
  recordKept = options.layout.empty();
  if (options.signature && recordKept) {
    placeSignature();
    signaturePlaced = true;
  }
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  exeName = path;
  exeName = exeName.substr(exeName.find_last_of("\\/") + 1);

  playerClock.start(options.startMs, !options.paused);
  clockChanged.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "QuorvaneSimPlayer";
  RegisterClassA(&windowClass);
  const std::string title = "Simulated player - " + exeName;
  loadMode = options.load;
  clockWithFrames = options.load && options.clockWithFrames;
  if (options.load) {
    // Full screen: a borderless window over the primary monitor, as players show a film.
    const int width = options.width ? options.width : GetSystemMetrics(SM_CXSCREEN);
    const int height = options.height ? options.height : GetSystemMetrics(SM_CYSCREEN);
    mainWindow = CreateWindowA(windowClass.lpszClassName, title.c_str(), WS_POPUP, 0, 0, width, height,
                               nullptr, nullptr, instance, nullptr);
  } else {
    RECT frame{0, 0, options.width ? options.width : 800, options.height ? options.height : 450};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    mainWindow = CreateWindowA(windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                               instance, nullptr);
  }
  if (!mainWindow) return 1;
  ShowWindow(mainWindow, show);
  if (!options.load) SetTimer(mainWindow, frameTimer, 33, nullptr);
  if (options.exitAfterSeconds) SetTimer(mainWindow, exitTimer, options.exitAfterSeconds * 1000, nullptr);

  // The threads are never joined: they end with the process.
  const UniqueKernelHandle recorder(clockWithFrames || !recordKept
                                        ? nullptr
                                        : CreateThread(nullptr, 0, recordThread, nullptr, 0, nullptr));
  const UniqueKernelHandle server(CreateThread(nullptr, 0, pipeThread, nullptr, 0, nullptr));
  UniqueKernelHandle decoder;
  if (options.load || options.decodePercent > 0) timeBeginPeriod(1);  // frames and slices to the ms
  if (options.decodePercent > 0) {
    decoder.reset(CreateThread(nullptr, 0, decodeThread,
                               reinterpret_cast<void*>(static_cast<uintptr_t>(options.decodePercent)), 0, nullptr));
  }

  const auto truth = [] {
    const PlayerClock::Reading r = playerClock.now();
    return simplayer::Truth{r.positionUs / 1000, r.playing};
  };
  if (options.mpcWebPort != 0 && !simplayer::startMpcWebInterface(options.mpcWebPort, truth)) return 1;
  if (options.potPlayer && !simplayer::startPotPlayerWindow(truth)) return 1;
  if (!options.mpvPipe.empty() && !simplayer::startMpvPipe(options.mpvPipe, truth)) return 1;
  if (!recordKept && !simplayer::startLayout(options.layout, truth)) return 5;

  if (options.load) {
    runFrameLoop();
  } else {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  // The helper threads block forever; ending the process ends them.
  ExitProcess(0);
}
