#include "simplayer_layouts_win.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace quorvane::simplayer {
namespace {

struct Layout {
  const char* name;
  uint32_t valueOffset;                      // in the object the last pointer leads to
  bool twoLevels;                            // static -> object -> object -> value
  void (*write)(uint8_t* at, int64_t ms);    // the position, in this layout's encoding
};

void writeMs(uint8_t* at, int64_t ms) {
  const auto value = static_cast<int32_t>(ms);
  std::memcpy(at, &value, sizeof value);
}
void writeSeconds(uint8_t* at, int64_t ms) {
  const double value = static_cast<double>(ms) / 1000;
  std::memcpy(at, &value, sizeof value);
}
void writeTicks(uint8_t* at, int64_t ms) {
  const int64_t value = ms * 10'000;
  std::memcpy(at, &value, sizeof value);
}
void writeFrames(uint8_t* at, int64_t ms) {
  const auto value = static_cast<int32_t>(ms * 24'000 / 1'001'000);
  std::memcpy(at, &value, sizeof value);
}
// A label's text as a player formats it for its window, rewritten only when it changes.
void writeText(uint8_t* at, int64_t ms) {
  const long long seconds = ms / 1000;
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  wchar_t wide[16] = {};
  for (int i = 0; i < n; ++i) wide[i] = static_cast<wchar_t>(text[i]);
  if (std::memcmp(at, wide, sizeof wide) != 0) std::memcpy(at, wide, sizeof wide);
}

constexpr Layout layouts[] = {
    {"ms-chain", 0x1A0, true, writeMs},
    {"double-seconds", 0x10, false, writeSeconds},
    {"ticks", 0x30, false, writeTicks},
    {"frames", 0x24, false, writeFrames},
    {"text", 0x10, false, writeText},
};

// The program's static data: where every path back to the position starts.
void* volatile layoutRoot = nullptr;

// What the thread that keeps the values needs, on the heap: a pointer to it in static data
// would be one more path to the position, shorter than the layout's own.
struct Places {
  const Layout* layout;
  TruthSource truth;
  uint8_t* value;
  uint8_t* wall;
  uint8_t* frames;
  uint8_t* stale;
};

// For "layout" answers: the layout's name and the places' addresses, masked so that they are
// no pointers for a search to follow.
const char* layoutName = nullptr;
constexpr uint64_t addressMask = 0x5A5A5A5A5A5A5A5Aull;
uint64_t maskedPlaces[5] = {};

int64_t wallMs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / frequency * 1000 + c.QuadPart % frequency * 1000 / frequency;
}

// A 1 MiB block of heap at a place that differs from start to start, as a real heap's does
// with address-space layout randomisation and a different history of allocations.
uint8_t* allocateHeap(uint32_t seed) {
  constexpr uint64_t granularity = 1 << 16;
  const uint64_t low = sizeof(void*) == 8 ? 0x100000000ull : 0x20000000ull;
  const uint64_t slots = sizeof(void*) == 8 ? 0x7E00000ull : 0x5000ull;  // up to 0x7F00000000 or 0x70000000
  for (int attempt = 0; attempt < 64; ++attempt) {
    seed = seed * 1664525u + 1013904223u;
    const uint64_t at = low + (seed % slots) * granularity;
    if (void* block = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(at)), 1 << 20,
                                   MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)) {
      return static_cast<uint8_t*>(block);
    }
  }
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, 1 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void storePointer(uint8_t* at, const void* to) { std::memcpy(at, &to, sizeof to); }

DWORD WINAPI layoutThread(void* parameter) {
  const Places& p = *static_cast<const Places*>(parameter);
  const Truth first = p.truth();
  const int64_t startWall = wallMs();
  int64_t stale = first.positionMs;
  int64_t lastWall = startWall;
  for (;;) {
    const Truth now = p.truth();
    const int64_t wall = wallMs();
    if (now.playing) stale += wall - lastWall;
    lastWall = wall;
    p.layout->write(p.value, now.positionMs);
    p.layout->write(p.wall, first.positionMs + (wall - startWall));
    writeFrames(p.frames, first.positionMs + (wall - startWall));
    p.layout->write(p.stale, stale);
    Sleep(5);
  }
}

}  // namespace

bool startLayout(const std::string& name, TruthSource source) {
  const Layout* layout = nullptr;
  for (const Layout& each : layouts) {
    if (name == each.name) layout = &each;
  }
  if (!layout) return false;
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uint32_t seed = static_cast<uint32_t>(counter.QuadPart) ^ GetCurrentProcessId() * 2654435761u;
  uint8_t* heap = allocateHeap(seed);
  if (!heap) return false;
  // Objects at 16-byte places that also change from start to start, in 64 KiB slots of the block.
  const auto object = [&](int slot) {
    seed = seed * 1664525u + 1013904223u;
    return heap + slot * 0x10000 + (seed >> 8) % 0xE000 / 16 * 16;
  };
  uint8_t* holder = object(0);
  uint8_t* state = layout->twoLevels ? object(1) : holder;
  if (layout->twoLevels) storePointer(holder + 0x48, state);
  auto* places = new Places{layout, std::move(source), state + layout->valueOffset, object(2) + 0x20,
                            object(3) + 0x40, object(4) + 0x60};
  layoutRoot = holder;
  layoutName = layout->name;
  const uintptr_t reported[] = {reinterpret_cast<uintptr_t>(places->value), reinterpret_cast<uintptr_t>(places->wall),
                                 reinterpret_cast<uintptr_t>(places->frames), reinterpret_cast<uintptr_t>(places->stale),
                                 reinterpret_cast<uintptr_t>(&layoutRoot)};
  for (int i = 0; i < 5; ++i) maskedPlaces[i] = reported[i] ^ addressMask;
  // Never joined, and `places` never freed: both end with the process.
  const HANDLE thread = CreateThread(nullptr, 0, layoutThread, places, 0, nullptr);
  if (!thread) return false;
  CloseHandle(thread);
  return true;
}

std::string layoutReport() {
  if (!layoutName) return "layout=none";
  char text[200];
  std::snprintf(text, sizeof text, "layout=%s value=0x%llX wall=0x%llX frames=0x%llX stale=0x%llX root=0x%llX",
                layoutName, maskedPlaces[0] ^ addressMask, maskedPlaces[1] ^ addressMask, maskedPlaces[2] ^ addressMask,
                maskedPlaces[3] ^ addressMask, maskedPlaces[4] ^ addressMask);
  return text;
}

}  // namespace quorvane::simplayer
