#pragma once

#include <cstdint>
#include <vector>

namespace quorvane {

// What a player that tells its time said when it was last asked.
enum class PlayerState : uint8_t {
  NoAnswer,      // nothing usable: no connection, a timeout, or an answer that is not the player's
  Unauthorized,  // the player refused the password
  NoFilm,        // the player answers but plays nothing (stopped, or the film has ended)
  Paused,
  Playing,
};

struct PlayerReport {
  PlayerState state = PlayerState::NoAnswer;
  int64_t positionMs = 0;     // the film's position as the player tells it
  bool wholeSeconds = false;  // the player tells whole seconds only
  double rate = 1.0;          // playback speed, 1 for normal play
  // VLC also tells where the film is as a fraction of its length, far finer than its whole
  // seconds, and the length in seconds: -1 and 0 when the player tells none.
  double fraction = -1;
  double lengthSeconds = 0;
  // The precise counter when the question went out and when the answer came: the player took
  // its position somewhere in between. Equal for a report the player sent on its own.
  uint64_t askedUs = 0;
  uint64_t answeredUs = 0;
  uint32_t sequence = 0;  // counts the reports of a feed; 0 before the first

  bool hasFilm() const { return state == PlayerState::Paused || state == PlayerState::Playing; }
};

// Where a clock source picks up the player's latest report: a worker thread that asks the player
// and keeps the answer, so that the run's thread never waits on the player.
class InterfacePlayerFeed {
 public:
  virtual ~InterfacePlayerFeed() = default;
  virtual PlayerReport latest() const = 0;
  // The reports after the one numbered `sequence`, oldest first: as many as the feed keeps, at
  // least the latest. A clock that takes every answer sees each change of the player's position
  // between the last answer without it and the first with it.
  virtual std::vector<PlayerReport> since(uint32_t sequence) const {
    PlayerReport report = latest();
    if (report.sequence == sequence) return {};
    return {report};
  }
};

}  // namespace quorvane
