#include "memory_player/learnt_player_clock.h"

#include <algorithm>

#include "memory_player/process_memory.h"

namespace quorvane {
namespace {

// The headers page moduleChecksum covers.
constexpr uint32_t kHeadersBytes = 4096;

// How long a value of this encoding stands still at most while the film plays: a player writes
// its position at least a few times a second; a shown second stands a whole second, and a
// little more when the player paints it with a late frame.
uint32_t standsWhilePlayingMs(const learn::Encoding& encoding) {
  return static_cast<uint32_t>(std::max<int64_t>(400, learn::encodingResolutionMs(encoding) + 150));
}

}  // namespace

LearntSearch findLearntPlayer(const ProcessAccess& access, std::span<const learn::Profile> profiles,
                              const std::function<std::optional<std::vector<learn::Module>>(uint32_t pid)>& modules,
                              uint32_t pointerBytes) {
  LearntSearch search;
  for (const learn::Profile& profile : profiles) {
    const uint32_t pid = findProcessId(access, profile.executable);
    if (pid == 0) continue;
    const auto refuse = [&](LearntRefusal why) { search.refused.push_back({profile.executable, why}); };
    if (profile.pointerBytes > pointerBytes) {
      refuse(LearntRefusal::TooWide);
      continue;
    }
    const auto loaded = modules(pid);
    if (!loaded || loaded->empty()) {
      refuse(LearntRefusal::Unreadable);
      continue;
    }
    const std::vector<uint8_t> headers = readBytes(access, pid, loaded->front().base, kHeadersBytes);
    if (headers.empty()) {
      refuse(LearntRefusal::Unreadable);
      continue;
    }
    const auto start = std::find_if(loaded->begin(), loaded->end(), [&](const learn::Module& m) {
      return equalIgnoringCase(m.name, profile.path.module);
    });
    if (learn::moduleChecksum(headers) != profile.checksum || start == loaded->end()) {
      refuse(LearntRefusal::OtherVersion);
      continue;
    }
    search.found = {pid, profile, start->base, start->size};
    return search;
  }
  return search;
}

void LearntPlayerClock::setPlayer(const LearntPlayer& player) {
  const bool samePlace = player.pid == player_.pid && player.moduleBase == player_.moduleBase &&
                         player.profile == player_.profile;
  follow(player.pid, samePlace);
  if (!samePlace) haveValue_ = false;
  player_ = player;
}

std::optional<int64_t> LearntPlayerClock::readValueMs() const {
  const learn::Profile& profile = player_.profile;
  const std::vector<learn::Module> modules{{profile.path.module, player_.moduleBase, player_.moduleSize}};
  const auto address = learn::resolvePath(memory_, player_.pid, modules, profile.path, profile.pointerBytes);
  if (!address) return std::nullopt;
  const std::vector<uint8_t> bytes =
      memory_.readBytes(player_.pid, *address, learn::encodingWidth(profile.encoding.type));
  return learn::decodePositionMs(profile.encoding, bytes);
}

ShownTime LearntPlayerClock::readShown() {
  ShownTime shown;
  const std::optional<int64_t> valueMs = readValueMs();
  const uint32_t now = nowMs();
  if (!valueMs) return shown;
  if (!haveValue_) {
    // Whether it plays is not known before the value moves: held until then.
    playing_ = false;
  } else if (*valueMs != lastValueMs_) {
    // On by no more than the time between the reads (and the value's own step) is playing; a
    // jump either way is a seek, which leaves playing or paused as it was.
    const int64_t stepMs = *valueMs - lastValueMs_;
    const int64_t mostMs = int64_t{now - lastReadMs_} + learn::encodingResolutionMs(player_.profile.encoding) + 500;
    if ((stepMs > 0 && stepMs <= mostMs) || playing_) {
      playing_ = true;
      movedAtMs_ = now;
    }
  } else if (playing_ && now - movedAtMs_ > standsWhilePlayingMs(player_.profile.encoding)) {
    playing_ = false;
  }
  haveValue_ = true;
  lastValueMs_ = *valueMs;
  lastReadMs_ = now;
  shown.valid = true;
  // The tick clock takes the value as it is: each change places the film exactly, and the tick
  // count fills in between. Precise timing learns when the value crosses each second, as it
  // does for a display's digits, and fills in from there.
  shown.shownMs = precise() ? *valueMs / 1000 * 1000 : *valueMs;
  shown.changeKey = shown.shownMs;
  shown.stepMs = precise() ? 1000 : learn::encodingResolutionMs(player_.profile.encoding);
  shown.playing = playing_;
  return shown;
}

}  // namespace quorvane
