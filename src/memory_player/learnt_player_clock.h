#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "memory_player/learn_pointer_paths.h"
#include "memory_player/learn_profile.h"
#include "memory_player/shown_time_clock.h"
#include "platform/process_access.h"

namespace quorvane {

// A running player that a learnt profile fits: its process and where the profile's path starts.
struct LearntPlayer {
  uint32_t pid = 0;  // 0: none
  learn::Profile profile;
  uint64_t moduleBase = 0;
  uint64_t moduleSize = 0;
};

// Why a running player's profile is not followed.
enum class LearntRefusal {
  OtherVersion,  // its executable is not the one the profile was learnt on
  TooWide,       // a 64-bit player, and this is the 32-bit program
  Unreadable,    // its modules or headers cannot be read
};

struct LearntSearch {
  LearntPlayer found;  // pid 0 when none
  struct Refused {
    std::string executable;
    LearntRefusal why = LearntRefusal::Unreadable;
  };
  std::vector<Refused> refused;  // the running players passed over, in the profiles' order
};

// The first profile, in order, whose player runs and is the build it was learnt on. Each
// profile's executable is looked for by name; its first module's headers must give the
// profile's checksum, so that another version of the player is passed over (and said), never
// misread. `modules` lists a process's modules, its executable first; `pointerBytes` is this
// program's own pointer size.
LearntSearch findLearntPlayer(const ProcessAccess& access, std::span<const learn::Profile> profiles,
                              const std::function<std::optional<std::vector<learn::Module>>(uint32_t pid)>& modules,
                              uint32_t pointerBytes = sizeof(void*));

// The film's position from the value a learnt profile names. The path is followed afresh at
// every read, since the player may put its objects elsewhere while it plays. The value tells no
// pause: the film counts as playing while the value moves on as playing moves it, and as paused
// once it has stood for longer than it stands between two of its changes while playing.
class LearntPlayerClock final : public ShownTimeClock {
 public:
  LearntPlayerClock(const MemoryReader& memory, const TickSource& ticks,
                    const PreciseTimeSource& precise = systemPreciseTimeSource())
      : ShownTimeClock(memory, ticks, precise) {}

  // The player found by a search, or none.
  void setPlayer(const LearntPlayer& player);
  const LearntPlayer& player() const { return player_; }

 private:
  ShownTime readShown() override;
  bool located() const override { return player_.pid != 0; }
  std::optional<int64_t> readValueMs() const;

  LearntPlayer player_;
  bool haveValue_ = false;
  int64_t lastValueMs_ = 0;
  uint32_t lastReadMs_ = 0;
  uint32_t movedAtMs_ = 0;  // when the value last moved as playing moves it
  bool playing_ = false;
};

}  // namespace quorvane
