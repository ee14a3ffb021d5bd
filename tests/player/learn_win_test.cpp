// Learning where a player keeps its position, against the simulated player's layouts: the scan
// and its steps keep the position and drop the decoys, a pointer path to it is found, and the
// path leads to the position again after the player restarts with its heap elsewhere.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "memory_player/learn_modules.h"
#include "memory_player/learn_pointer_paths.h"
#include "memory_player/learn_scan.h"
#include "memory_player/process_memory.h"
#include "simplayer_client_win.h"

namespace quorvane::learn {
namespace {

using simplayer::SimPlayer;

// Where the player keeps the position and its decoys ("layout" command).
struct LayoutAddresses {
  uint64_t value = 0, wall = 0, frames = 0, stale = 0;
};

std::optional<LayoutAddresses> layoutAddresses(const SimPlayer& player) {
  const auto reply = player.command("layout");
  LayoutAddresses a;
  unsigned long long value = 0, wall = 0, frames = 0, stale = 0;
  if (!reply || std::sscanf(reply->c_str(), "OK layout=%*s value=%llx wall=%llx frames=%llx stale=%llx", &value,
                            &wall, &frames, &stale) != 4) {
    return std::nullopt;
  }
  return LayoutAddresses{value, wall, frames, stale};
}

void waitMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class LearnWinTest : public ::testing::Test {
 protected:
  std::unique_ptr<SimPlayer> startPlayer(const std::string& layout) {
    auto player = SimPlayer::start(folder_.path(), exeName, "--layout=" + layout + " --start=0:20:00 --exit-after=300");
    EXPECT_NE(player, nullptr) << "could not start " << simplayer::builtPlayerPath();
    return player;
  }
  ScanControl controlFor(const SimPlayer& player) {
    const auto origin = std::chrono::steady_clock::now();
    const HANDLE process = player.process();
    return {[origin] {
              return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - origin)
                  .count();
            },
            {},
            [process] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }};
  }

  static constexpr const char* exeName = "LearnPlayer.exe";
  simplayer::ScratchFolder folder_;
  std::unique_ptr<ProcessAccess> access_ = makeSystemProcessAccess();
};

TEST_F(LearnWinTest, LearnsEachLayoutAndFollowsItsPathAfterARestart) {
  const struct {
    const char* layout;
    Encoding encoding;
    size_t pointers;
  } cases[] = {
      {"ms-chain", {ValueType::Int32, 1}, 2},
      {"double-seconds", {ValueType::Float64, 1000}, 1},
      {"ticks", {ValueType::Int64, 0.0001}, 1},
      {"frames", {ValueType::Int32, 1001.0 / 24}, 1},
      {"text", {ValueType::Utf16HMmSs, 1}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout);
    auto player = startPlayer(c.layout);
    ASSERT_TRUE(player);
    const ScanControl control = controlFor(*player);
    const auto process = access_->open(player->pid());
    ASSERT_TRUE(process);

    // The user reads the position off the player's display and types it.
    const auto shown = player->position();
    ASSERT_TRUE(shown);
    const TypedPosition typed{shown->positionMs / 1000 * 1000, control.nowMs(), true};
    ScanResult scan = firstScan(*process, typed, control);
    ASSERT_EQ(scan.outcome, ScanOutcome::Done);
    std::printf("%s: first scan %llu MB in %u regions, %zu candidates\n", c.layout,
                static_cast<unsigned long long>(scan.stats.bytesRead >> 20), scan.stats.regionsScanned,
                scan.candidates.size());
    auto& candidates = scan.candidates;
    const auto step = [&](Step s) { EXPECT_EQ(narrow(*process, candidates, s, control).outcome, ScanOutcome::Done); };

    waitMs(2500);
    step({.kind = Step::Kind::Played});
    player->pause();
    step({.kind = Step::Kind::Reread});
    waitMs(2500);
    step({.kind = Step::Kind::Paused});
    player->resume();
    step({.kind = Step::Kind::Reread});
    waitMs(1000);
    const auto seeked = player->seek(shown->positionMs + 300'000);
    ASSERT_TRUE(seeked);
    const TypedPosition typedAfterSeek{seeked->positionMs / 1000 * 1000, control.nowMs(), true};
    waitMs(500);
    step({.kind = Step::Kind::Seeked, .minChangeMs = 5000, .typed = typedAfterSeek});
    waitMs(2500);
    step({.kind = Step::Kind::Played});

    const auto addresses = layoutAddresses(*player);
    ASSERT_TRUE(addresses);
    bool kept = false;
    for (const auto& candidate : candidates) {
      // The frame rate's unit is computed two ways: equal to the last bit or not.
      kept |= candidate.address() == addresses->value && candidate.encoding().type == c.encoding.type &&
              std::abs(candidate.encoding().unitMs - c.encoding.unitMs) < 1e-9;
      for (const uint64_t decoy : {addresses->wall, addresses->frames, addresses->stale}) {
        EXPECT_NE(candidate.address(), decoy);
      }
    }
    EXPECT_TRUE(kept);
    std::printf("%s: %zu survivors\n", c.layout, candidates.size());

    const auto modules = listModules(player->pid());
    const auto pointerBytes = processPointerBytes(player->pid());
    ASSERT_TRUE(modules && pointerBytes);
    EXPECT_EQ(*pointerBytes, sizeof(void*));
    const uint64_t target = addresses->value;
    const PathResult found = findPointerPaths(*process, *modules, {&target, 1}, {.pointerBytes = *pointerBytes}, control);
    ASSERT_EQ(found.outcome, ScanOutcome::Done);
    ASSERT_FALSE(found.paths[0].empty());
    const PointerPath path = found.paths[0][0];
    EXPECT_EQ(path.module, exeName);
    EXPECT_EQ(path.offsets.size(), c.pointers);

    // A new start puts the heap elsewhere; the path leads to the position there too.
    player->kill();
    player = startPlayer(c.layout);
    ASSERT_TRUE(player);
    const auto moved = layoutAddresses(*player);
    ASSERT_TRUE(moved);
    EXPECT_NE(moved->value, addresses->value);
    const auto newModules = listModules(player->pid());
    ASSERT_TRUE(newModules);
    const ProcessMemoryReader reader(*access_);
    EXPECT_EQ(resolvePath(reader, player->pid(), *newModules, path, *pointerBytes), moved->value);
  }
}

}  // namespace
}  // namespace quorvane::learn
