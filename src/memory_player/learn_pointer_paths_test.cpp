#include "memory_player/learn_pointer_paths.h"

#include <gtest/gtest.h>

#include "memory_player/fake_process_space.h"
#include "memory_player/process_memory.h"

namespace quorvane::learn {
namespace {

constexpr uint32_t pid = 9;
constexpr uint64_t playerBase = 0x400000, engineBase = 0x10000000;

// One start of a player: its two modules where they always load, its heap where this start
// put it, and objects on the heap that lead to the position.
struct Start {
  FakeProcessAccess access;
  FakeSpace& space = access.space(pid);
  uint32_t pointerBytes;
  uint64_t heap;
  std::vector<Module> modules{{"Player.exe", playerBase, 0x10000}, {"engine.dll", engineBase, 0x8000}};

  Start(uint32_t pointerBytes, uint64_t heap) : pointerBytes(pointerBytes), heap(heap) {
    space.limit = 1ull << 47;
    image(playerBase, 0x10000);
    image(engineBase, 0x8000);
    auto& r = space.add(heap, 0x40000, pageReadWrite, memPrivate, heap);
    std::fill(r.bytes.begin(), r.bytes.end(), 0);
  }
  void image(uint64_t base, uint32_t size) {
    space.add(base, 0x1000, pageReadonly, memImage, base);
    space.add(base + 0x1000, size / 2 - 0x1000, pageExecuteRead, memImage, base);
    auto& data = space.add(base + size / 2, size / 2, pageReadWrite, memImage, base);
    std::fill(data.bytes.begin(), data.bytes.end(), 0);
  }
  void pointer(uint64_t at, uint64_t to) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(to >> (8 * i));
    space.put(at, std::span<const uint8_t>(bytes, pointerBytes));
  }
  // A chain of `links` heap objects from the player's static data; the last object's field
  // at `lastOffset` is the value. Objects lie where this start's heap put them.
  uint64_t chain(int links, uint32_t lastOffset) {
    uint64_t at = playerBase + 0xA100;
    for (int i = 0; i < links; ++i) {
      const uint64_t object = heap + 0x1000 + 0x3000 * static_cast<uint64_t>(i) + (heap >> 12) % 0x100 * 8;
      pointer(at, object);
      at = object + (i + 1 == links ? lastOffset : 0x58);
    }
    return at;
  }
};

PathResult find(Start& s, std::vector<uint64_t> targets) {
  auto process = s.access.open(pid);
  return findPointerPaths(*process, s.modules, targets, {.pointerBytes = s.pointerBytes}, {});
}

std::optional<uint64_t> resolve(Start& s, const PointerPath& path) {
  const ProcessMemoryReader reader(s.access);
  return resolvePath(reader, pid, s.modules, path, s.pointerBytes);
}

TEST(PointerPathTest, FindsTheShortestPathThatLeadsToTheValueAfterARestartToo) {
  const struct {
    const char* what;
    int links;
    uint32_t lastOffset;
    std::optional<PointerPath> expected;
  } cases[] = {
      {"two levels", 2, 0x1A0, PointerPath{"Player.exe", 0xA100, {0x58, 0x1A0}}},
      {"four levels", 4, 0x10, PointerPath{"Player.exe", 0xA100, {0x58, 0x58, 0x58, 0x10}}},
      {"five levels: too deep", 5, 0x10, std::nullopt},
      {"field at the largest offset", 1, 4096, PointerPath{"Player.exe", 0xA100, {4096}}},
      {"field past it", 1, 4100, std::nullopt},
  };
  for (const uint32_t pointerBytes : {4u, 8u}) {
    // A 64-bit player's heap lies above 4 GB; each start puts it somewhere else.
    const uint64_t firstHeap = pointerBytes == 8 ? 0x1F3A40000ull : 0x2340000;
    const uint64_t secondHeap = pointerBytes == 8 ? 0x27B180000ull : 0x5C70000;
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << ", " << pointerBytes << "-byte pointers");
      Start first(pointerBytes, firstHeap), second(pointerBytes, secondHeap);
      const uint64_t target = first.chain(c.links, c.lastOffset);
      const uint64_t moved = second.chain(c.links, c.lastOffset);
      // A second way in through the engine's static data, one level longer.
      first.pointer(engineBase + 0x4200, playerBase + 0xA100);
      const PathResult result = find(first, {target});
      EXPECT_EQ(result.outcome, ScanOutcome::Done);
      ASSERT_EQ(result.paths.size(), 1u);
      const auto& paths = result.paths[0];
      if (!c.expected) {
        EXPECT_TRUE(paths.empty());
        continue;
      }
      ASSERT_FALSE(paths.empty());
      EXPECT_EQ(paths[0], *c.expected);
      EXPECT_EQ(resolve(first, paths[0]), target);
      EXPECT_EQ(resolve(second, paths[0]), moved);
    }
  }
}

TEST(PointerPathTest, SeveralTargetsAreSearchedAtOnceAndStaticDataNeedsNoPointer) {
  Start s(8, 0x1F3A40000ull);
  const uint64_t onHeap = s.chain(1, 0x40);
  const PathResult result = find(s, {engineBase + 0x4010, onHeap, 0x7000000000ull});
  ASSERT_EQ(result.paths.size(), 3u);
  EXPECT_EQ(result.paths[0], (std::vector<PointerPath>{{"engine.dll", 0x4010, {}}}));
  ASSERT_FALSE(result.paths[1].empty());
  EXPECT_EQ(result.paths[1][0], (PointerPath{"Player.exe", 0xA100, {0x40}}));
  EXPECT_TRUE(result.paths[2].empty());  // nothing points there
}

TEST(ResolvePathTest, RefusesWhatCannotLeadAnywhere) {
  Start s(8, 0x1F3A40000ull);
  const uint64_t target = s.chain(2, 0x10);
  s.pointer(target, 0x700000000000ull);  // a stale pointer into unmapped memory
  const struct {
    const char* what;
    PointerPath path;
    std::optional<uint64_t> expected;
  } cases[] = {
      {"module name in other case", {"PLAYER.EXE", 0xA100, {0x58, 0x10}}, target},
      {"module not loaded", {"other.dll", 0xA100, {0x58, 0x10}}, std::nullopt},
      {"offset past the image", {"Player.exe", 0x10000, {}}, std::nullopt},
      {"null pointer on the way", {"Player.exe", 0xA200, {0x10}}, std::nullopt},
      {"pointer to nowhere", {"Player.exe", 0xA100, {0x58, 0x10, 0x8, 0}}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(resolve(s, c.path), c.expected) << c.what;
  EXPECT_EQ(resolvePath(ProcessMemoryReader(s.access), pid, s.modules, cases[0].path, 3), std::nullopt);
}

}  // namespace
}  // namespace quorvane::learn
