#include "memory_player/learnt_player_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "memory_player/fake_process_space.h"
#include "memory_player/process_memory.h"
#include "platform/fake_precise_time.h"
#include "platform/fake_tick_source.h"

namespace quorvane {
namespace {

constexpr uint32_t kPid = 77;
constexpr uint64_t kImage = 0x400000;
constexpr uint64_t kHeap = 0x10000000;
constexpr uint32_t kPointerAt = 0x1100;  // in the image: the object's address
constexpr uint32_t kField = 0x40;        // in the object: the position, in 100 ns ticks

// A player whose position lives in a heap object behind a pointer in its image's static data.
class LearntPlayerRig {
 public:
  LearntPlayerRig() {
    access.processes = {{kPid, "SimPlayer.exe"}};
    FakeSpace& space = access.space(kPid);
    space.add(kImage, 0x2000, pageReadWrite);
    space.add(kHeap, 0x10000, pageReadWrite, memPrivate, kHeap);
    putPointer(kHeap + 0x100);
    profile.executable = "SimPlayer.exe";
    profile.pointerBytes = 8;
    profile.path = {"SimPlayer.exe", kPointerAt, {kField}};
    profile.encoding = {learn::ValueType::Int64, 0.0001};
    profile.checksum = learn::moduleChecksum(headers());
  }

  std::vector<uint8_t> headers() { return readBytes(access, kPid, kImage, 4096); }
  void putPointer(uint64_t object) {
    objectAt = object;
    access.space(kPid).put(kImage + kPointerAt, std::span(reinterpret_cast<const uint8_t*>(&object), 8));
  }
  void putTicks(int64_t ticks) {
    access.space(kPid).put(objectAt + kField, std::span(reinterpret_cast<const uint8_t*>(&ticks), 8));
  }
  void putMs(int64_t ms) { putTicks(ms * 10'000); }

  LearntSearch find(uint32_t pointerBytes = 8, bool modulesRead = true) {
    const learn::Profile profiles[] = {profile};
    return findLearntPlayer(
        access, profiles,
        [modulesRead](uint32_t) -> std::optional<std::vector<learn::Module>> {
          if (!modulesRead) return std::nullopt;
          return std::vector<learn::Module>{{"SimPlayer.exe", kImage, 0x2000}, {"ntdll.dll", 0x7000000, 0x1000}};
        },
        pointerBytes);
  }

  FakeProcessAccess access;
  learn::Profile profile;
  uint64_t objectAt = 0;
};

TEST(FindLearntPlayer, FollowsOnlyTheBuildItWasLearntOnAndSaysWhyNot) {
  struct Case {
    const char* what;
    std::function<void(LearntPlayerRig&)> change;
    uint32_t pointerBytes;
    bool modulesRead;
    bool found;
    std::optional<LearntRefusal> refused;
  };
  const Case cases[] = {
      {"runs, the build it was learnt on", [](LearntPlayerRig&) {}, 8, true, true, std::nullopt},
      {"letter case of the name differs", [](LearntPlayerRig& r) { r.access.processes[0].exeName = "simplayer.EXE"; },
       8, true, true, std::nullopt},
      {"not running", [](LearntPlayerRig& r) { r.access.processes.clear(); }, 8, true, false, std::nullopt},
      {"another build of the player",
       [](LearntPlayerRig& r) { r.access.space(kPid).put(kImage + 0x88, std::array<uint8_t, 1>{0x12}); }, 8, true,
       false, LearntRefusal::OtherVersion},
      {"the path's module is not loaded", [](LearntPlayerRig& r) { r.profile.path.module = "gone.dll"; }, 8, true,
       false, LearntRefusal::OtherVersion},
      {"a 64-bit player in the 32-bit program", [](LearntPlayerRig&) {}, 4, true, false, LearntRefusal::TooWide},
      {"its modules cannot be listed", [](LearntPlayerRig&) {}, 8, false, false, LearntRefusal::Unreadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LearntPlayerRig rig;
    c.change(rig);
    const LearntSearch search = rig.find(c.pointerBytes, c.modulesRead);
    EXPECT_EQ(search.found.pid != 0, c.found);
    if (c.found) {
      EXPECT_EQ(search.found.moduleBase, kImage);
    }
    ASSERT_EQ(search.refused.size(), c.refused ? 1u : 0u);
    if (c.refused) {
      EXPECT_EQ(search.refused[0].why, *c.refused);
      EXPECT_EQ(search.refused[0].executable, "SimPlayer.exe");
    }
  }
}

TEST(FindLearntPlayer, TheFirstProfileWhosePlayerFitsWinsAndTheOthersPassedOverAreSaid) {
  LearntPlayerRig rig;
  learn::Profile other = rig.profile;
  other.checksum ^= 1;  // learnt on another build of the same player
  learn::Profile absent = rig.profile;
  absent.executable = "Absent.exe";
  const learn::Profile profiles[] = {absent, other, rig.profile};
  const LearntSearch search = findLearntPlayer(rig.access, profiles, [](uint32_t) {
    return std::optional(std::vector<learn::Module>{{"SimPlayer.exe", kImage, 0x2000}});
  });
  EXPECT_EQ(search.found.pid, kPid);
  EXPECT_EQ(search.found.profile, rig.profile);
  ASSERT_EQ(search.refused.size(), 1u);
  EXPECT_EQ(search.refused[0].why, LearntRefusal::OtherVersion);
}

// The tick clock on a learnt value, read every 50 ms: each change of the value places the film.
class LearntClockTest : public ::testing::Test {
 protected:
  LearntClockTest() {
    const LearntSearch search = rig.find();
    clock.setPlayer(search.found);
  }
  // The film plays (or stands) for `ms`, the value following it at each read.
  ClockReading run(int64_t ms, bool playing = true) {
    ClockReading reading;
    for (int64_t t = 0; t < ms; t += 50) {
      ticks.nowMs += 50;
      time.advanceMs(50);
      if (playing) filmMs += 50;
      if (readable) rig.putMs(filmMs);
      reading = clock.read({});
    }
    return reading;
  }

  LearntPlayerRig rig;
  ProcessMemoryReader memory{rig.access};
  FakeTicks ticks;
  FakePreciseTime time;
  LearntPlayerClock clock{memory, ticks, time};
  int64_t filmMs = 61'500;
  bool readable = true;
};

TEST_F(LearntClockTest, FollowsTheValueThroughAPointerThatMovesWhilePlaying) {
  ClockReading reading = run(3'000);
  EXPECT_TRUE(reading.hasPosition);
  EXPECT_TRUE(reading.playing);
  EXPECT_NEAR(reading.positionMs, filmMs, 60);
  // The player puts its object elsewhere: the next read follows the pointer there.
  rig.putPointer(kHeap + 0x8000);
  reading = run(2'000);
  EXPECT_TRUE(reading.hasPosition);
  EXPECT_NEAR(reading.positionMs, filmMs, 60);
}

TEST_F(LearntClockTest, AValueThatStandsIsAPauseAndASeekWhilePausedStaysPaused) {
  run(3'000);
  ClockReading reading = run(1'000, false);
  EXPECT_FALSE(reading.playing);
  const int32_t heldMs = reading.positionMs;
  EXPECT_EQ(heldMs, filmMs);  // held where the value stands
  EXPECT_EQ(run(2'000, false).positionMs, heldMs);
  filmMs += 60'000;  // a seek while paused
  reading = run(1'000, false);
  EXPECT_FALSE(reading.playing);
  EXPECT_EQ(reading.positionMs, filmMs);
  reading = run(2'000);
  EXPECT_TRUE(reading.playing);
  EXPECT_NEAR(reading.positionMs, filmMs, 60);
}

TEST_F(LearntClockTest, UnreadableOrImpossibleValuesAreSilenceAndAStartAfresh) {
  struct Case {
    const char* what;
    std::function<void(LearntPlayerRig&)> spoil;
  };
  const Case cases[] = {
      {"a null pointer", [](LearntPlayerRig& r) { r.putPointer(0); }},
      {"a pointer to nowhere", [](LearntPlayerRig& r) { r.putPointer(0x7000'0000); }},
      {"a negative position", [](LearntPlayerRig& r) { r.putTicks(-5); }},
      {"past any film", [](LearntPlayerRig& r) { r.putTicks(int64_t{200} * 3600 * 1000 * 10'000); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rig.putPointer(kHeap + 0x100);
    readable = true;
    run(2'000);
    readable = false;
    c.spoil(rig);
    EXPECT_TRUE(run(500).hasPosition);  // a short silence keeps the line
    ClockReading reading = run(1'000);
    EXPECT_FALSE(reading.hasPosition);
    EXPECT_FALSE(reading.gone);
    rig.putPointer(kHeap + 0x100);
    readable = true;
    reading = run(50);
    EXPECT_TRUE(reading.hasPosition);
    EXPECT_EQ(reading.positionMs, filmMs);  // started afresh on the value
  }
}

TEST_F(LearntClockTest, APlayerThatExitsIsGoneAndItsRestartIsFollowedAfresh) {
  run(2'000);
  rig.access.processes.clear();
  rig.access.space(kPid).gone = true;
  EXPECT_TRUE(run(100).gone);

  // Started again: another process, its object elsewhere, found by the next search.
  constexpr uint32_t kNewPid = 78;
  rig.access.processes = {{kNewPid, "SimPlayer.exe"}};
  rig.access.spaces[kNewPid] = std::make_shared<FakeSpace>(*rig.access.spaces[kPid]);
  rig.access.spaces[kNewPid]->gone = false;
  const LearntSearch search = rig.find();
  ASSERT_EQ(search.found.pid, kNewPid);
  clock.setPlayer(search.found);
  const uint64_t object = kHeap + 0x4000;
  rig.access.space(kNewPid).put(kImage + kPointerAt, std::span(reinterpret_cast<const uint8_t*>(&object), 8));
  const int64_t ticksAt = 5'000 * 10'000;
  rig.access.space(kNewPid).put(object + kField, std::span(reinterpret_cast<const uint8_t*>(&ticksAt), 8));
  const ClockReading reading = clock.read({});
  EXPECT_FALSE(reading.gone);
  EXPECT_TRUE(reading.hasPosition);
  EXPECT_EQ(reading.positionMs, 5'000);
  EXPECT_FALSE(reading.playing);  // not known to play before the value moves
}

// Precise timing learns when the value's second changes, as for the disc player's digits: a
// value the player writes with each frame of a 25 fps film is followed to within a frame, and
// never ahead of the film.
TEST(LearntPreciseClock, LearnsWhenTheValueCrossesEachSecond) {
  LearntPlayerRig rig;
  ProcessMemoryReader memory{rig.access};
  FakeTicks ticks;
  FakePreciseTime time;
  LearntPlayerClock clock{memory, ticks, time};
  clock.setPrecise(true);
  clock.setPlayer(rig.find().found);
  const uint64_t startUs = time.us;
  const auto filmUs = [&] { return 7'300'000 + static_cast<int64_t>(time.us - startUs); };
  rig.access.space(kPid).beforeRead = [&](uint64_t address) {
    if (address == rig.objectAt + kField) rig.putTicks(filmUs() / 40'000 * 40 * 10'000);  // the frame shown
  };
  uint64_t nextTickUs = time.us;
  int64_t earliest = 0, latest = 0;
  while (time.us - startUs < 8'000'000) {
    time.us += 250;
    const int64_t wait = clock.untilReadUs(time.us);
    if (time.us >= nextTickUs || wait == 0) {
      if (time.us >= nextTickUs) nextTickUs += 50'000;
      clock.read({});
    }
    if (time.us - startUs < 3'000'000) continue;
    const int64_t errorMs = clock.at(time.us, {}).positionMs - filmUs() / 1000;
    earliest = std::max(earliest, errorMs);
    latest = std::min(latest, errorMs);
  }
  EXPECT_LE(earliest, 2);   // ahead of the film by at most a rounding
  EXPECT_GE(latest, -45);   // behind by about a frame at most
}

}  // namespace
}  // namespace quorvane
