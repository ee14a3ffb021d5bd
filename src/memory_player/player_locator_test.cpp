#include "memory_player/player_locator.h"

#include <gtest/gtest.h>

#include "memory_player/fake_player_processes.h"

namespace quorvane {
namespace {

TEST(LocatePlayer, FindsTheRecordThroughThePointerBeforeTheSignature) {
  FakeProcesses processes;
  processes.addPlayer(42, "PowerDVDMovie.exe", 0x2000, 0x00A00000);
  const PlayerLocation where = locatePlayer(processes, "PowerDVDMovie.exe");
  EXPECT_EQ(where.playerPid, 42u);
  EXPECT_EQ(where.recordBase, 0x00A00000u + 744);
}

TEST(LocatePlayer, TriesTheTypedNameThenTheKnownNamesInOrder) {
  FakeProcesses processes;
  processes.addProcess(7, "custom.exe");                       // running, but no signature
  processes.addPlayer(8, "POWERDVD.EXE", 0x3000, 0x1000);       // letter case ignored
  processes.addPlayer(9, "PowerDVD18.exe", 0x3000, 0x2000);     // later in the list
  const PlayerLocation where = locatePlayer(processes, "custom.exe");
  EXPECT_EQ(where.playerPid, 8u);
  EXPECT_EQ(where.recordBase, 0x1000u + 744);
}

TEST(LocatePlayer, APointerBelowTenOrNoPlayerLeavesItUnlocated) {
  FakeProcesses processes;
  processes.addPlayer(5, "PowerDVDMovie.exe", 0x2000, 9);   // not playing a disc yet
  processes.addPlayer(6, "PowerDVD.exe", 0x2000, -1);
  EXPECT_FALSE(locatePlayer(processes, "PowerDVDMovie.exe").located());
  EXPECT_FALSE(locatePlayer(FakeProcesses{}, "").located());
}

}  // namespace
}  // namespace quorvane
