#include "memory_player/process_memory.h"

#include <gtest/gtest.h>

#include "memory_player/fake_process_space.h"
#include "memory_player/record_layout.h"

namespace quorvane {
namespace {

constexpr auto signature = player::codeSignature;
constexpr uint32_t pid = 42;

TEST(FindProcessIdTest, MatchesWholeNameIgnoringCaseFirstInSnapshotWins) {
  FakeProcessAccess access;
  access.processes = {{4, "System"}, {17, "PowerDVDMovie.exe"}, {9, "POWERDVDMOVIE.EXE"},
                      {23, "PowerDVD.exe"}};
  const struct {
    const char* name;
    uint32_t expected;
  } cases[] = {{"PowerDVDMovie.exe", 17}, {"powerdvdmovie.EXE", 17}, {"PowerDVD.exe", 23},
               {"PowerDVD", 0},           {"PowerDVD.exe ", 0},      {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(findProcessId(access, c.name), c.expected) << c.name;

  access.snapshotFails = true;
  EXPECT_EQ(findProcessId(access, "PowerDVD.exe"), 0u);
}

TEST(FreeReadsTest, GiveDataOrFallbackWhetherTheProcessIsOpenedPerReadOrHeld) {
  for (const auto opening : {ProcessMemoryReader::Opening::PerRead, ProcessMemoryReader::Opening::Held}) {
    SCOPED_TRACE(opening == ProcessMemoryReader::Opening::Held ? "held" : "per read");
    FakeProcessAccess access;
    FakeSpace& space = access.space(pid);
    space.add(0x10000, 0x1000, pageReadWrite, memPrivate, 0x10000);
    space.add(0x11000, 0x1000, pageNoAccess, memPrivate, 0x10000);
    const uint8_t value[] = {0xFE, 0xFF, 0xFF, 0xFF, 0x7A};
    space.put(0x10FFB, value);
    ProcessMemoryReader reader(access, opening);

    EXPECT_EQ(reader.readInt32(pid, 0x10FFB), -2);
    EXPECT_EQ(reader.readByte(pid, 0x10FFF), 0x7A);
    EXPECT_EQ(reader.readBytes(pid, 0x10FFB, 5), std::vector<uint8_t>(value, value + 5));
    // Held: one open serves a run of good reads.
    EXPECT_EQ(access.opens, opening == ProcessMemoryReader::Opening::Held ? 1 : 3);

    // Unmapped, unreadable, straddling into an unreadable neighbour, unknown process: fallbacks.
    for (uint32_t address : {0x0u, 0x11000u, 0x10FFEu, 0xFFFFFFBFu}) {
      EXPECT_EQ(reader.readInt32(pid, address), -1) << address;
      EXPECT_EQ(reader.readBytes(pid, address, 4), std::vector<uint8_t>{}) << address;
    }
    EXPECT_EQ(reader.readByte(pid, 0x11000), 0);
    EXPECT_EQ(reader.readInt32(pid + 1, 0x10FFB), -1);
    EXPECT_EQ(reader.readByte(pid + 1, 0x10FFF), 0);
    EXPECT_EQ(reader.readBytes(pid, 0x10000, maxReadLength + 1), std::vector<uint8_t>{});
    EXPECT_EQ(reader.readInt32(pid, 0x10FFB), -2);  // back to the player after the others
    if (opening == ProcessMemoryReader::Opening::PerRead) {
      EXPECT_EQ(access.opens, access.closes);
    }

    // Above 4 GB, where a 64-bit player keeps its data: a region whose low 32 address bits
    // equal the one at 0x10000 answers for itself, and a read running off the top fails.
    space.limit = UINT64_MAX;
    space.add(0x100010000ull, 0x1000, pageReadWrite, memPrivate, 0x100010000ull);
    const uint8_t high[] = {0x05, 0x00, 0x00, 0x00, 0x3C};
    space.put(0x100010FFBull, high);
    EXPECT_EQ(reader.readInt32(pid, 0x100010FFBull), 5);
    EXPECT_EQ(reader.readByte(pid, 0x100010FFFull), 0x3C);
    EXPECT_EQ(reader.readBytes(pid, 0x100010FFBull, 5), std::vector<uint8_t>(high, high + 5));
    EXPECT_EQ(reader.readInt32(pid, 0x10FFB), -2);
    EXPECT_EQ(reader.readBytes(pid, UINT64_MAX - 1, 4), std::vector<uint8_t>{});

    space.gone = true;  // a failed read lets go of a held process; opening it again fails
    EXPECT_EQ(reader.readInt32(pid, 0x11000), -1);
    EXPECT_EQ(reader.readInt32(pid, 0x10FFB), -1);
    EXPECT_EQ(reader.readByte(pid, 0x10FFF), 0);
    EXPECT_EQ(reader.readBytes(pid, 0x10FFB, 5), std::vector<uint8_t>{});
  }
}

TEST(ProcessMemoryTest, OpenReplacesTheHandleAndCloseNeedsOne) {
  FakeProcessAccess access;
  access.space(pid);
  access.space(pid + 1);
  ProcessMemory memory(access);
  EXPECT_FALSE(memory.close());
  EXPECT_TRUE(memory.open(pid));
  EXPECT_TRUE(memory.open(pid + 1));
  EXPECT_EQ(access.closes, 1);
  EXPECT_FALSE(memory.open(pid + 2));
  EXPECT_FALSE(memory.isOpen());
  EXPECT_EQ(access.closes, 2);
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0u);
}

// Builds a main image at 0x400000 like a linker lays it out: headers (read-only page), code,
// read-only data, writable data.
FakeSpace& typicalImage(FakeProcessAccess& access) {
  FakeSpace& space = access.space(pid);
  space.add(0x400000, 0x1000, pageReadonly);
  space.add(0x401000, 0x20000, pageExecuteRead);
  space.add(0x421000, 0x8000, pageReadonly);
  space.add(0x429000, 0x3000, pageReadWrite);
  space.add(0x10000000, 0x40000, pageExecuteRead, memImage, 0x10000000);  // a DLL
  space.add(0x20000, 0x10000, pageReadWrite, memPrivate, 0x20000);          // the heap
  return space;
}

TEST(FindPatternTest, FindsTheSignatureOnlyInQualifyingRegionsOfTheMainImage) {
  const struct {
    const char* what;
    uint32_t at;
    uint32_t expected;  // 0: not found
  } cases[] = {
      {"in the code", 0x40A123, 0x40A123},
      {"at a region's first byte", 0x401000, 0x401000},
      {"in a region's first 1024 bytes", 0x429010, 0x429010},
      {"ending at a region's last byte", 0x401000 + 0x20000 - 14, 0x401000 + 0x20000 - 14},
      {"in the read-only header page", 0x400100, 0},
      {"in read-only data", 0x422000, 0},
      {"in another image", 0x10000100, 0},
      {"in private memory", 0x20100, 0},
  };
  for (const auto& c : cases) {
    FakeProcessAccess access;
    typicalImage(access).put(c.at, signature);
    ProcessMemory memory(access);
    ASSERT_TRUE(memory.open(pid));
    EXPECT_EQ(memory.findPattern(signature, player::searchStartAddress, player::searchEndAddress),
              c.expected)
        << c.what;
  }
}

TEST(FindPatternTest, RegionShapesAndNeighbours) {
  FakeProcessAccess access;
  FakeSpace& space = access.space(pid);
  space.add(0x400000, 0x1000, pageReadWrite);       // one page only: too small to qualify
  space.add(0x401000, 0x2000, pageNoAccess);        // qualifies, but cannot be read
  space.add(0x403000, 0x2000, pageReadWrite);       // followed by a gap
  space.put(0x400800, signature);
  space.put(0x401800, signature);
  space.put(0x404FF0, signature);  // ends 2 bytes before the unreadable gap
  ProcessMemory memory(access);
  ASSERT_TRUE(memory.open(pid));
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0x404FF0u);
}

TEST(FindPatternTest, AdjacentImageRegionsAreOneSpan) {
  const uint32_t boundary = 0x421000;
  const struct {
    const char* what;
    uint32_t secondProtection;
    uint32_t gap;
    uint32_t expected;
  } cases[] = {
      {"code then data", pageReadWrite, 0, boundary - 5},
      {"code then read-only data", pageReadonly, 0, 0},
      {"code, gap, data", pageReadWrite, 0x1000, 0},
  };
  for (const auto& c : cases) {
    FakeProcessAccess access;
    FakeSpace& space = access.space(pid);
    space.add(0x401000, boundary - 0x401000, pageExecuteRead);
    space.add(boundary + c.gap, 0x4000, c.secondProtection);
    space.put(boundary - 5, std::span(signature).first(5));
    space.put(boundary + c.gap, std::span(signature).subspan(5));
    ProcessMemory memory(access);
    ASSERT_TRUE(memory.open(pid));
    EXPECT_EQ(memory.findPattern(signature, 1024, 0), c.expected) << c.what;
  }
}

TEST(FindPatternTest, StartEndAndChunkBoundaries) {
  FakeProcessAccess access;
  FakeSpace& space = access.space(pid);
  const uint32_t big = 3 * ProcessMemory::searchChunkBytes + 0x3000;
  space.add(0x401000, big, pageReadWrite);
  const uint32_t acrossChunk = 0x401000 + 2 * ProcessMemory::searchChunkBytes - 7;
  space.put(acrossChunk, signature);
  space.put(0x402000, signature);
  ProcessMemory memory(access);
  ASSERT_TRUE(memory.open(pid));
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0x402000u) << "the first of two";
  EXPECT_EQ(memory.findPattern(signature, 0x402001, 0), acrossChunk) << "start inside a region";
  EXPECT_EQ(memory.findPattern(signature, acrossChunk + 1, 0), 0u);
  EXPECT_EQ(memory.findPattern(signature, 1024, 0x3FF000), 0u) << "end before the image";
  EXPECT_EQ(memory.findPattern(std::span<const uint8_t>{}, 1024, 0), 0u);
}

TEST(FindPatternTest, MainImageLoadedElsewhereIsNotSearched) {
  FakeProcessAccess access;
  FakeSpace& space = access.space(pid);
  space.add(0x1000000, 0x1000, pageReadonly, memImage, 0x1000000);
  space.add(0x1001000, 0x10000, pageExecuteRead, memImage, 0x1000000);
  space.put(0x1002000, signature);
  ProcessMemory memory(access);
  ASSERT_TRUE(memory.open(pid));
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0u);
}

TEST(FindPatternTest, WalkEndsAtTheTopOfTheAddressSpaceAndOnEmptyRegions) {
  FakeProcessAccess access;
  FakeSpace& space = access.space(pid);
  space.limit = 0x100000000ull;
  space.add(0xFFFF0000, 0x10000, pageReadWrite, memPrivate, 0xFFFF0000);
  ProcessMemory memory(access);
  ASSERT_TRUE(memory.open(pid));
  EXPECT_EQ(memory.findPattern(signature, 0xFFFF0000, 0xFFFFFFFF), 0u);
  space.add(0x500000, 0, pageReadWrite);
  EXPECT_EQ(memory.findPattern(signature, 0x500000, 0), 0u);

  // A 64-bit process: the walk crosses 4 GB when asked to, and a region reported as running past
  // the top of the address space ends it instead of wrapping back to address 0.
  space.limit = UINT64_MAX;
  space.add(0x400000, 0x1000, pageReadonly);
  space.add(0x401000, 0x10000, pageExecuteRead);
  space.put(0x402000, signature);
  space.add(0x180000000ull, 0x10000, pageReadWrite, memPrivate, 0x180000000ull);
  EXPECT_EQ(memory.findPattern(signature, 0xFFFF0000, UINT64_MAX - 1), 0u);
  FakeRegion wrapping;  // its bytes are never read: it does not qualify
  wrapping.info = {0xFFFFFFFFFFFF0000ull, 0, 0x20000, memCommit, pageReadWrite, memPrivate};
  space.regions.push_back(wrapping);
  EXPECT_EQ(memory.findPattern(signature, 0x180000000ull, UINT64_MAX), 0u);
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0x402000u);
}

TEST(FindPatternTest, BetweenRegionsRunsAndMayCloseTheSearch) {
  FakeProcessAccess access;
  FakeSpace& space = typicalImage(access);
  space.put(0x429100, signature);
  int calls = 0;
  ProcessMemory* self = nullptr;
  bool closeInside = false;
  ProcessMemory memory(access, [&] {
    ++calls;
    if (closeInside) self->close();
  });
  self = &memory;
  ASSERT_TRUE(memory.open(pid));
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0x429100u);
  EXPECT_GT(calls, 2);

  closeInside = true;
  calls = 0;
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0u);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(memory.isOpen());
}

TEST(FindPatternTest, ProcessGoneMidSearchGivesZero) {
  FakeProcessAccess access;
  FakeSpace& space = typicalImage(access);
  space.put(0x429100, signature);
  ProcessMemory memory(access, [&] { space.gone = true; });
  ASSERT_TRUE(memory.open(pid));
  EXPECT_EQ(memory.findPattern(signature, 1024, 0), 0u);
}

}  // namespace
}  // namespace quorvane
