// The process and memory layer against running copies of the simulated player.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "simplayer_client_win.h"
#include "sync/player_interface.h"
#include "sync/process_memory.h"

namespace quorvane {
namespace {

using simplayer::SimPlayer;

class ProcessMemoryWinTest : public ::testing::Test {
 protected:
  std::unique_ptr<SimPlayer> startPlayer(const std::string& exeName, const std::string& arguments = {}) {
    auto player = SimPlayer::start(folder_.path(), exeName, arguments);
    EXPECT_NE(player, nullptr) << "could not start " << simplayer::builtPlayerPath();
    return player;
  }
  uint64_t search(uint32_t pid) {
    ProcessMemory memory(*access_);
    if (!memory.open(pid)) return 0;
    const uint64_t match =
        memory.findPattern(player::codeSignature, player::searchStartAddress, player::searchEndAddress);
    memory.close();
    return match;
  }

  // Declared before the players of each test, so it is removed after they have ended.
  simplayer::ScratchFolder folder_;
  std::unique_ptr<ProcessAccess> access_ = makeSystemProcessAccess();
};

TEST_F(ProcessMemoryWinTest, FindsPlayerByNameIgnoringCaseFirstInSnapshotWins) {
  auto first = startPlayer("PowerDVDMovie.exe", "--paused");
  auto second = startPlayer("PowerDVDMovie.exe", "--paused");
  auto other = startPlayer("PowerDVD15.exe", "--paused");
  ASSERT_TRUE(first && second && other);

  const auto entries = access_->listProcesses();
  ASSERT_TRUE(entries);
  const auto firstListed = std::find_if(entries->begin(), entries->end(), [](const ProcessEntry& e) {
    return e.exeName == "PowerDVDMovie.exe";
  });
  ASSERT_NE(firstListed, entries->end());
  const uint32_t found = findProcessId(*access_, "powerdvdmovie.EXE");
  EXPECT_EQ(found, firstListed->pid);
  EXPECT_TRUE(found == first->pid() || found == second->pid());
  EXPECT_EQ(findProcessId(*access_, "POWERDVD15.exe"), other->pid());
  EXPECT_EQ(findProcessId(*access_, "PowerDVD16.exe"), 0u);
}

TEST_F(ProcessMemoryWinTest, SignatureLeadsToTheTimeRecord) {
  auto player = startPlayer("PowerDVDMovie.exe", "--start=1:23:45 --paused");
  ASSERT_TRUE(player);
  const auto addresses = player->addresses();
  ASSERT_TRUE(addresses);

  const uint64_t match = search(player->pid());
  ASSERT_EQ(match, addresses->signature);
  const int32_t pointer = readInt32(*access_, player->pid(), match - player::pointerDistance);
  ASSERT_GE(pointer, player::minRecordPointer);
  const uint64_t recordBase = uint64_t{static_cast<uint32_t>(pointer)} + player::recordOffset;
  EXPECT_EQ(recordBase, addresses->record);

  // Each digit of the record against the player's own position, paused and playing.
  auto digitsAndFlag = [&] {
    const auto r = readBytes(*access_, player->pid(), recordBase, player::recordLength);
    if (r.size() != player::recordLength) return std::string("unreadable");
    std::string text;
    for (uint32_t at : {player::hoursOffset, player::tensOfMinutesOffset, player::minutesOffset,
                        player::tensOfSecondsOffset, player::secondsOffset}) {
      text += static_cast<char>('0' + r[at] - 1);
    }
    return text + (readInt32(*access_, player->pid(), recordBase + player::playingFlagOffset) ? "+" : "-");
  };
  EXPECT_EQ(digitsAndFlag(), "12345-");
  ASSERT_TRUE(player->seek(2 * 3600000 + 59 * 60000 + 7 * 1000 + 999));
  EXPECT_EQ(digitsAndFlag(), "25907-");
  EXPECT_EQ(readByte(*access_, player->pid(), recordBase + player::secondsOffset), 8);

  const auto playing = player->resume();
  ASSERT_TRUE(playing && playing->playing);
  const std::string whilePlaying = digitsAndFlag();
  EXPECT_EQ(whilePlaying.back(), '+');
  EXPECT_TRUE(whilePlaying.substr(0, 5) == "25907" || whilePlaying.substr(0, 5) == "25908")
      << whilePlaying;
}

// The search must not find a second copy anywhere: stack, heap, read-only data, other images.
TEST_F(ProcessMemoryWinTest, SignatureExistsOnceInAllReadableMemory) {
  auto player = startPlayer("PowerDVD.exe", "--pad=1M");
  ASSERT_TRUE(player);
  const auto addresses = player->addresses();
  ASSERT_TRUE(addresses);
  auto process = access_->open(player->pid());
  ASSERT_TRUE(process);

  std::vector<uint64_t> found;
  std::vector<uint8_t> buffer;
  const auto& sig = player::codeSignature;
  for (uint64_t address = 0; address < 0x80000000ull;) {
    const auto region = process->query(address);
    if (!region || region->size == 0) break;
    const bool readable = region->state == memCommit && !(region->protection & 0x101);  // NOACCESS, GUARD
    for (uint64_t at = region->base; readable && at < region->base + region->size;) {
      const uint32_t length =
          static_cast<uint32_t>(std::min<uint64_t>(1u << 20, region->base + region->size - at));
      buffer.resize(length);
      if (!process->read(at, buffer.data(), length)) break;
      for (auto hit = buffer.begin();
           (hit = std::search(hit, buffer.end(), sig.begin(), sig.end())) != buffer.end(); ++hit) {
        found.push_back(at + static_cast<uint64_t>(hit - buffer.begin()));
      }
      // A copy across a read boundary would be found by reading 13 bytes more.
      uint8_t tail[2 * sig.size()];
      if (at + length + sig.size() < 0x80000000ull && length >= sig.size() &&
          process->read(at + length - sig.size(), tail, sizeof tail) &&
          std::search(tail + 1, tail + sizeof tail - 1, sig.begin(), sig.end()) != tail + sizeof tail - 1) {
        found.push_back(at + length);
      }
      at += length;
    }
    address = region->base + region->size;
  }
  EXPECT_EQ(found, std::vector<uint64_t>{addresses->signature});
}

TEST_F(ProcessMemoryWinTest, PaddedImageIsSearchedToTheEnd) {
  auto player = startPlayer("PowerDVD18.exe", "--pad=32M --paused");
  ASSERT_TRUE(player);
  const auto addresses = player->addresses();
  ASSERT_TRUE(addresses);
  EXPECT_EQ(search(player->pid()), addresses->signature);
}

TEST_F(ProcessMemoryWinTest, PlayerWithoutSignatureGivesZero) {
  auto player = startPlayer("PowerDVD.exe", "--no-signature");
  ASSERT_TRUE(player);
  const uint64_t match = search(player->pid());
  EXPECT_EQ(match, 0u);
  EXPECT_EQ(readInt32(*access_, player->pid(), match - player::pointerDistance), -1);
}

TEST_F(ProcessMemoryWinTest, AfterThePlayerExitsEveryReadFallsBack) {
  auto player = startPlayer("PowerDVDMovie.exe", "--paused --start=0:00:05");
  ASSERT_TRUE(player);
  const auto addresses = player->addresses();
  ASSERT_TRUE(addresses);
  const uint32_t pid = player->pid();
  ASSERT_EQ(readByte(*access_, pid, addresses->record + player::secondsOffset), 6);
  ProcessMemory heldOpen(*access_);
  ASSERT_TRUE(heldOpen.open(pid));

  player->kill();
  // A new player under the same name must not answer for the old one's id.
  auto replacement = startPlayer("PowerDVDMovie.exe", "--paused --start=0:00:07");
  ASSERT_TRUE(replacement);
  EXPECT_EQ(findProcessId(*access_, "PowerDVDMovie.exe"), replacement->pid());

  EXPECT_EQ(readInt32(*access_, pid, addresses->signature - player::pointerDistance), -1);
  EXPECT_EQ(readByte(*access_, pid, addresses->record + player::secondsOffset), 0);
  EXPECT_EQ(readBytes(*access_, pid, addresses->record, player::recordLength), std::vector<uint8_t>{});
  EXPECT_EQ(heldOpen.findPattern(player::codeSignature, 1024, 0), 0u);
  EXPECT_EQ(search(pid), 0u);
  // Wild addresses in a live player fall back the same way.
  EXPECT_EQ(readInt32(*access_, replacement->pid(), 0x10), -1);
  EXPECT_EQ(readBytes(*access_, replacement->pid(), 0xFFFFFFF0, 64), std::vector<uint8_t>{});
  EXPECT_EQ(readByte(*access_, replacement->pid(), addresses->record + player::secondsOffset), 8);
}

// Built 64-bit, the player keeps the layout a 32-bit player has: a record below 2 GB, reached
// through the 4-byte pointer before the signature in the image at 0x400000.
TEST_F(ProcessMemoryWinTest, RecordLiesBelowTwoGigabytesInEveryBuild) {
  auto player = startPlayer("PowerDVDMovie.exe", "--paused");
  ASSERT_TRUE(player);
  const auto addresses = player->addresses();
  ASSERT_TRUE(addresses);
  EXPECT_LT(addresses->record + player::recordLength, 0x80000000ull);
  EXPECT_EQ(addresses->recordHigh, 0u);
  auto process = access_->open(player->pid());
  ASSERT_TRUE(process);
  const auto region = process->query(addresses->record);
  ASSERT_TRUE(region);
  EXPECT_EQ(region->allocationBase, player::mainImageBase);
}

// An address above 4 GB is never cut down to its low 32 bits: 4 GB past the record is not the
// record, in the 32-bit build (which cannot reach there at all) as in the 64-bit one.
TEST_F(ProcessMemoryWinTest, AddressAboveFourGigabytesIsNeverCutDown) {
  auto player = startPlayer("PowerDVDMovie.exe", "--paused --start=0:00:05");
  ASSERT_TRUE(player);
  const auto addresses = player->addresses();
  ASSERT_TRUE(addresses);
  const uint32_t pid = player->pid();
  const uint64_t aliased = addresses->record + (1ull << 32);
  for (const auto opening : {ProcessMemoryReader::Opening::PerRead, ProcessMemoryReader::Opening::Held}) {
    const ProcessMemoryReader reader(*access_, opening);
    ASSERT_EQ(reader.readByte(pid, addresses->record + player::secondsOffset), 6);
    EXPECT_EQ(reader.readByte(pid, aliased + player::secondsOffset), 0);
    EXPECT_EQ(reader.readBytes(pid, aliased, player::recordLength), std::vector<uint8_t>{});
    EXPECT_EQ(reader.readInt32(pid, UINT64_MAX - 1), -1);  // runs past the top
  }
  auto process = access_->open(pid);
  ASSERT_TRUE(process);
  const auto region = process->query(aliased);
  if (sizeof(void*) < 8) {
    EXPECT_FALSE(region);
  } else {
    ASSERT_TRUE(region);
    EXPECT_GT(region->base + region->size, aliased);
    EXPECT_LE(region->base, aliased);
  }
}

// The wide path: a record above 4 GB, read through the same reader the clock uses.
TEST_F(ProcessMemoryWinTest, RecordAboveFourGigabytesIsReadThroughItsWideAddress) {
  if (sizeof(void*) < 8) {
    GTEST_SKIP() << "a 32-bit player cannot place memory above 4 GB; the 64-bit build tests this";
  }
  auto player = startPlayer("PowerDVDMovie.exe", "--record-high --paused --start=1:23:45");
  ASSERT_TRUE(player);
  const auto addresses = player->addresses();
  ASSERT_TRUE(addresses);
  const uint64_t high = addresses->recordHigh;
  ASSERT_GE(high, 1ull << 32);
  auto process = access_->open(player->pid());
  ASSERT_TRUE(process);
  const auto region = process->query(high);
  ASSERT_TRUE(region);
  EXPECT_EQ(region->base, high);
  EXPECT_EQ(region->state, memCommit);

  for (const auto opening : {ProcessMemoryReader::Opening::PerRead, ProcessMemoryReader::Opening::Held}) {
    SCOPED_TRACE(opening == ProcessMemoryReader::Opening::Held ? "held" : "per read");
    const ProcessMemoryReader reader(*access_, opening);
    auto shown = [&] {
      const auto record = reader.readBytes(player->pid(), high, player::recordLength);
      if (!player::recordValid(record)) return std::string("unreadable");
      return std::to_string(player::shownPositionMs(record)) + (player::playingFlag(record) ? "+" : "-");
    };
    ASSERT_TRUE(player->seek(1 * 3600000 + 23 * 60000 + 45 * 1000));
    EXPECT_EQ(shown(), "5025000-");
    ASSERT_TRUE(player->seek(2 * 3600000 + 59 * 60000 + 7 * 1000 + 999));
    EXPECT_EQ(shown(), "10747000-");
    EXPECT_EQ(reader.readByte(player->pid(), high + player::secondsOffset), 8);
    EXPECT_EQ(reader.readInt32(player->pid(), high + player::playingFlagOffset), 0);
    // The same bytes as the record below 2 GB, and none at the address cut to 32 bits.
    EXPECT_EQ(reader.readBytes(player->pid(), high, player::recordLength),
              reader.readBytes(player->pid(), addresses->record, player::recordLength));
    EXPECT_NE(reader.readBytes(player->pid(), high & 0xFFFFFFFFu, player::recordLength),
              reader.readBytes(player->pid(), high, player::recordLength));
  }

  // The region goes away under a held reader while the player lives: reads there fail, and the
  // reader, having let go, still reads the record below 2 GB.
  const ProcessMemoryReader held(*access_, ProcessMemoryReader::Opening::Held);
  ASSERT_EQ(held.readByte(player->pid(), high + player::secondsOffset), 8);
  ASSERT_EQ(player->command("drop-high").value_or("").substr(0, 3), "OK ");
  EXPECT_FALSE(process->query(high) && process->query(high)->state == memCommit);
  EXPECT_EQ(held.readBytes(player->pid(), high, player::recordLength), std::vector<uint8_t>{});
  EXPECT_EQ(held.readInt32(player->pid(), high + player::playingFlagOffset), -1);
  EXPECT_EQ(readByte(*access_, player->pid(), high + player::secondsOffset), 0);
  EXPECT_EQ(held.readByte(player->pid(), addresses->record + player::secondsOffset), 8);
}

}  // namespace
}  // namespace quorvane
