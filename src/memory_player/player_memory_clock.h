#pragma once

#include <cstdint>

#include "memory_player/player_locator.h"
#include "memory_player/shown_time_clock.h"

namespace quorvane {

// The film's position from the disc player's time record, found by its code signature.
class PlayerMemoryClock final : public ShownTimeClock {
 public:
  PlayerMemoryClock(const MemoryReader& memory, const TickSource& ticks,
                    const PreciseTimeSource& precise = systemPreciseTimeSource())
      : ShownTimeClock(memory, ticks, precise) {}

  // Where the record is; each search sets it, found or not.
  void setPlayer(const PlayerLocation& player);
  const PlayerLocation& player() const { return player_; }

 private:
  ShownTime readShown() override;
  bool located() const override { return player_.located(); }

  PlayerLocation player_;
};

}  // namespace quorvane
