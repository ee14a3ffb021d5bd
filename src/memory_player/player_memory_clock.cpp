#include "memory_player/player_memory_clock.h"

#include "memory_player/record_layout.h"

namespace quorvane {

void PlayerMemoryClock::setPlayer(const PlayerLocation& player) {
  follow(player.playerPid, player.playerPid == player_.playerPid && player.recordBase == player_.recordBase);
  player_ = player;
}

// The whole record in one read: the digits and the playing flag come from one moment.
ShownTime PlayerMemoryClock::readShown() {
  return shownTimeOfRecord(memory_.readBytes(player_.playerPid, player_.recordBase, player::recordLength));
}

}  // namespace quorvane
