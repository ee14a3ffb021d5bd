#include "app/run_control.h"

#include <algorithm>

#include "app/main_window_model.h"
#include "app/pair_settings.h"
#include "app/sync_settings.h"
#include "app/sync_texts.h"
#include "memory_player/process_memory.h"

namespace quorvane {
namespace {

// A pinned learnt player is kept in the "player" value beside the interface players' keys.
constexpr std::string_view kLearntPrefix = "learnt:";

std::string playerValuePath() { return std::string(setting::kKey) + "\\player"; }

std::string pinnedLearntPlayer(const SettingsStore& settings) {
  const std::string value = settings.readText(playerValuePath(), "auto");
  return value.starts_with(kLearntPrefix) ? value.substr(kLearntPrefix.size()) : std::string();
}

}  // namespace

void RunControl::loadSettings() {
  syncKeys_ = settings_.readText(setting::kSyncKeys, "1") != "0";
  freeClockChosen_ = settings_.readText(setting::kFreeClock, "0") == "1";
  userPictureArea_ = loadPictureArea(settings_);
  if (pictureArea_) pictureArea_->setUserArea(userPictureArea_);
  secondLook_ = loadSecondLook(settings_);
}

void RunControl::setSyncKeys(bool on) {
  syncKeys_ = on;
  settings_.writeText(setting::kSyncKeys, checkText(on));
}

PlayerChoice RunControl::playerChoice() const {
  if (freeClockChosen_) return {true, std::nullopt, {}};
  return {false, loadInterfaceSettings(settings_).pinned, pinnedLearntPlayer(settings_)};
}

void RunControl::choosePlayer(const PlayerChoice& choice) {
  if (!choice.freeClock && !choice.learnt.empty() && !choice.pinned) {
    settings_.writeText(playerValuePath(), std::string(kLearntPrefix) + choice.learnt);
  } else if (!choice.freeClock) {
    storePinnedPlayer(settings_, choice.pinned);
  }
  freeClockChosen_ = choice.freeClock;
  settings_.writeText(setting::kFreeClock, checkText(choice.freeClock));
}

void RunControl::keyPressed(SyncKey key) {
  if (!syncKeys_) return;
  switch (key) {
    case SyncKey::DelayBack: nudgeDelay(-kDelayStepMs); break;
    case SyncKey::DelayOn: nudgeDelay(+kDelayStepMs); break;
    case SyncKey::DelayBackSecond: nudgeDelay(-kDelayShiftStepMs); break;
    case SyncKey::DelayOnSecond: nudgeDelay(+kDelayShiftStepMs); break;
    case SyncKey::ResetSync: resetSync(); break;
    case SyncKey::LineIsNow: lineIsNow(); break;
    case SyncKey::PlayPause: togglePlay(); break;
    case SyncKey::BackSecond: seekBy(-kSeekStepMs); break;
    case SyncKey::OnSecond: seekBy(+kSeekStepMs); break;
    case SyncKey::PreviousLine: toLine(false); break;
    case SyncKey::NextLine: toLine(true); break;
    case SyncKey::SecondDelayBack: nudgeSecond(-kDelayStepMs); break;
    case SyncKey::SecondDelayOn: nudgeSecond(+kDelayStepMs); break;
    case SyncKey::SecondDelayBackSecond: nudgeSecond(-kDelayShiftStepMs); break;
    case SyncKey::SecondDelayOnSecond: nudgeSecond(+kDelayShiftStepMs); break;
  }
}

void RunControl::delayTyped(int32_t delayMs) { run_.setDelay(delayMs); }

// The run takes the timing first; the delay box then shows the delay.
void RunControl::setTiming(const ClockTiming& timing) {
  run_.setRate(timing.rate);
  run_.setDelay(timing.delayMs);
  if (view_) view_->showDelay(timing.delayMs);
}

void RunControl::notice(const std::string& text) {
  if (view_) view_->showNotice(text);
}

void RunControl::nudgeDelay(int32_t stepMs) {
  const RunInputs& in = run_.inputs();
  run_.setDelay(std::clamp(in.delayMs + stepMs, -kDelayLimitMs, kDelayLimitMs));
  if (view_) view_->showDelay(in.delayMs);
  notice(delayNotice(in.delayMs, in.rate, language_));
}

// Without a second file the keys do nothing, and say nothing.
void RunControl::nudgeSecond(int32_t stepMs) {
  const SubtitlePair* pair = run_.pair();
  if (!pair) return;
  run_.setSecondOffset(std::clamp(pair->offsetMs() + stepMs, -kDelayLimitMs, kDelayLimitMs));
  notice(secondDelayNotice(pair->offsetMs(), language_));
}

// Delay 0, rate 1, and two-point sync starts over.
void RunControl::resetSync() {
  lineSync_.reset();
  setTiming({0, 1.0});
  notice(delayNotice(0, 1.0, language_));
}

// The line shown (or the next) starts now; twice far apart, the rate too.
void RunControl::lineIsNow() {
  if (!run_.running()) return;
  const ClockReading now = run_.reading();
  const std::optional<int32_t> line =
      now.hasPosition ? LineSync::lineToSync(run_.table(), run_.scheduler(), now.positionMs) : std::nullopt;
  const CueTable& table = run_.table();
  const int32_t endFileMs = table.cueCount > 0 ? table.at(table.cueCount).startMs + kStoredLeadMs : 0;
  const LineSync::Result result = lineSync_.press(now.rawMs, line, run_.inputs().timing(), now.playing, endFileMs);
  if (result.outcome == LineSync::Outcome::Offset || result.outcome == LineSync::Outcome::OffsetAndRate ||
      result.outcome == LineSync::Outcome::Cut) {
    setTiming(result.timing);
  }
  notice(lineSyncNotice(result, language_));
}

// The run follows the player's memory, under the window's own title.
void RunControl::followMemoryPlayer() {
  if (!interfacePlayerClock_ && &run_.clock() != &learntClock_) return;
  run_.setClock(playerClock_);
  interfacePlayerClock_.reset();
  interfacePlayer_.reset();
  learntClock_.setPlayer({});
  if (view_) view_->showFollowed("");
}

// The learnt players that run, of every stored profile or of the pinned one's only. A broken
// profile file is said once while the program runs, and the others load.
std::optional<LearntSearch> RunControl::searchLearntPlayers(const ClockSearches& searches, std::string_view pinned) {
  LoadedProfiles loaded = searches.learntProfiles();
  std::string said;
  for (const RefusedProfile& refused : loaded.refused) {
    if (!toldProfiles_.insert(refused.fileName).second) continue;
    if (!said.empty()) said += '\n';
    said += describeProfileError(refused.error, refused.fileName, language_);
  }
  if (view_ && !said.empty()) {
    view_->sayUtf8(said);
    if (view_->closed()) return std::nullopt;
  }
  if (!pinned.empty()) {
    std::erase_if(loaded.profiles, [&](const learn::Profile& p) { return !equalIgnoringCase(p.executable, pinned); });
  }
  LearntSearch found = searches.learntPlayer(loaded.profiles);
  if (view_ && view_->closed()) return std::nullopt;
  return found;
}

std::optional<ClockPlan> RunControl::findClock(const ClockSearches& searches, std::string_view typedName,
                                               uint8_t playerMode) {
  ClockPlan plan;
  // The free clock needs no player: straight to the file dialog.
  if (freeClockChosen_) {
    plan.kind = ClockPlan::Kind::Free;
    return plan;
  }
  const InterfaceSettings interfaces = loadInterfaceSettings(settings_);
  const std::string pinnedLearnt = pinnedLearntPlayer(settings_);
  const bool automatic = !interfaces.pinned && pinnedLearnt.empty();
  // A pinned player only: PowerDVD's memory is not searched. Otherwise the memory first, in
  // the player mode that reads it, then the learnt players that run, then the players that
  // tell their time.
  PlayerLocation memoryPlayer;
  if (automatic) {
    if (playerMode != kMemoryPlayerMode) return std::nullopt;
    memoryPlayer = searches.memoryPlayer(typedName);
    if (view_ && view_->closed()) return std::nullopt;
    if (memoryPlayer.located()) {
      plan.memoryPlayer = memoryPlayer;
      return plan;
    }
  }
  std::vector<LearntSearch::Refused> refusedLearnt;
  if (!interfaces.pinned) {
    std::optional<LearntSearch> learnt = searchLearntPlayers(searches, pinnedLearnt);
    if (!learnt) return std::nullopt;
    if (learnt->found.pid != 0) {
      plan.kind = ClockPlan::Kind::Learnt;
      plan.learntPlayer = std::move(learnt->found);
      return plan;
    }
    refusedLearnt = std::move(learnt->refused);
  }
  std::optional<FoundInterfacePlayer> found;
  if (pinnedLearnt.empty()) {
    found = searches.interfacePlayer(interfaces);
    if (view_ && view_->closed()) return std::nullopt;
    if (found && found->state != PlayerState::Unauthorized) {
      plan.kind = ClockPlan::Kind::Interface;
      plan.player = found->player;
      plan.clock = std::move(found->clock);
      return plan;
    }
  }
  // Nothing to follow: the running run follows the search's result at once (the automatic
  // search's empty place; a pinned player's search leaves the memory's as it was), so that no
  // text stays up from a player that is gone. A refused password, or a learnt player of another
  // version, is found, so it is said instead of "not found".
  if (automatic) playerClock_.setPlayer(memoryPlayer);
  followMemoryPlayer();
  if (!view_) return std::nullopt;
  if (found) {
    view_->sayUtf8(refusedPasswordText(language_));
  } else if (!refusedLearnt.empty()) {
    view_->sayUtf8(learntRefusalText(refusedLearnt.front(), language_));
  } else if (interfaces.pinned) {
    view_->sayUtf8(pinnedPlayerSilentText(*interfaces.pinned, language_));
  } else if (!pinnedLearnt.empty()) {
    view_->sayUtf8(pinnedLearntSilentText(pinnedLearnt, language_));
  } else {
    view_->sayNoPlayer();
  }
  return std::nullopt;
}

bool RunControl::acceptFile(const CueTable& table, std::string_view fileName, std::string_view formatName) {
  if (table.cueCount > 0) return true;
  if (view_) view_->sayUtf8(noLinesText(fileName, formatName, language_));
  return false;
}

void RunControl::start(ClockPlan plan, CueTable table, unsigned codePage, std::unique_ptr<Overlay> overlay,
                       bool precise) {
  const bool free = plan.kind == ClockPlan::Kind::Free;
  switch (plan.kind) {
    case ClockPlan::Kind::Memory:
      playerClock_.setPlayer(plan.memoryPlayer);
      followMemoryPlayer();
      run_.setClock(playerClock_);
      break;
    case ClockPlan::Kind::Interface:
      plan.clock->setPrecise(run_.precise());
      run_.setClock(*plan.clock);
      interfacePlayerClock_ = std::move(plan.clock);
      interfacePlayer_ = plan.player;
      if (view_) view_->showFollowed(interfacePlayerName(*plan.player));
      break;
    case ClockPlan::Kind::Learnt:
      // The same player as the last run's carries its clock on, as the memory clock does.
      learntClock_.setPlayer(plan.learntPlayer);
      learntClock_.setPrecise(run_.precise());
      run_.setClock(learntClock_);
      interfacePlayerClock_.reset();
      interfacePlayer_.reset();
      if (view_) view_->showFollowed(learntPlayerName(plan.learntPlayer.profile.executable));
      break;
    case ClockPlan::Kind::Free:
      // A player followed before is let go: the title names none.
      followMemoryPlayer();
      run_.setClock(freeClock_);
      break;
  }
  run_.setPrecise(precise);
  // A new file is a new film's timing: its rate and presses start over, while the delay box
  // keeps what the user typed. The old film's presses must never pair with the new one's.
  lineSync_.reset();
  run_.setRate(1.0);
  if (free) startFreeClock(table);
  run_.start(std::move(table), codePage, std::move(overlay));
  if (pictureArea_) pictureArea_->follow(pictureOwner());
  if (view_) view_->showTransportBar(free);
}

// The window that shows the film: the read process's, or the window of the player that tells
// its time, by the class its makers give it (VLC's is Qt's generic class: its program file
// tells).
PictureOwner RunControl::pictureOwner() const {
  if (onFreeClock()) return {};
  if (!interfacePlayer_) return {playerClock_.player().playerPid, {}, {}};
  switch (*interfacePlayer_) {
    case InterfacePlayer::Vlc: return {0, {}, "vlc.exe"};
    case InterfacePlayer::Mpc: return {0, {"MediaPlayerClassicW"}, {}};
    case InterfacePlayer::PotPlayer: return {0, {"PotPlayer64", "PotPlayer"}, {}};
    case InterfacePlayer::Mpv: return {0, {"mpv"}, {}};
  }
  return {};
}

void RunControl::usePictureWindows(const PictureWindows& windows, const TickSource& ticks) {
  pictureArea_.emplace(windows, ticks);
  pictureArea_->setUserArea(userPictureArea_);
  if (run_.running()) pictureArea_->follow(pictureOwner());
}

PictureArea RunControl::pictureArea() { return pictureArea_ ? pictureArea_->area() : PictureArea{}; }

void RunControl::setUserPictureArea(std::optional<PictureArea> area) {
  userPictureArea_ = area;
  storePictureArea(settings_, area);
  if (pictureArea_) pictureArea_->setUserArea(area);
}

std::optional<std::string> RunControl::rememberedSecond(std::string_view firstPath) {
  const std::string second = settings_.readText(setting::kSecondFile, "");
  if (second.empty()) return std::nullopt;
  if (settings_.readText(setting::kSecondWith, "") == firstPath) return second;
  settings_.writeText(setting::kSecondFile, "");
  settings_.writeText(setting::kSecondWith, "");
  return std::nullopt;
}

bool RunControl::addSecond(CueTable table, std::string_view secondPath, std::string_view firstPath) {
  if (!run_.running()) return false;
  run_.setSecond(std::move(table), secondLook_);
  settings_.writeText(setting::kSecondFile, secondPath);
  settings_.writeText(setting::kSecondWith, firstPath);
  return true;
}

void RunControl::removeSecond() {
  run_.removeSecond();
  settings_.writeText(setting::kSecondFile, "");
  settings_.writeText(setting::kSecondWith, "");
}

void RunControl::setSecondLook(const SecondLook& look) {
  secondLook_ = look;
  storeSecondLook(settings_, look);
  run_.setSecondLook(look);
}

// A free-clock run starts paused, at 0 or a few seconds before the first line (the bar's
// choice); seeks stop at the end of the file's last line.
void RunControl::startFreeClock(const CueTable& table) {
  int32_t firstMs = 0, lastMs = 0;
  for (int32_t i = 1; i <= table.cueCount; ++i) lastMs = std::max(lastMs, table.at(i).endMs);
  if (table.cueCount > 0) firstMs = table.at(1).startMs;
  const ClockTiming timing = run_.inputs().timing();
  freeClock_.setEndMs(std::max<int64_t>(0, timing.rawFor(lastMs)));
  earlyStart_ = settings_.readText(setting::kFreeClockEarlyStart, "0") == "1";
  freeSpanMs_ = lastMs;
  freeClock_.reset(earlyStart_ ? std::max<int64_t>(0, timing.rawFor(firstMs - kEarlyLeadMs)) : 0);
}

// The overlay follows each transport command at once.
void RunControl::togglePlay() {
  if (!onFreeClock()) return;
  freeClock_.togglePlay();
  run_.tick();
}

void RunControl::seekBy(int32_t deltaMs) {
  if (!onFreeClock()) return;
  freeClock_.seekBy(deltaMs);
  run_.tick();
}

void RunControl::seekTo(int64_t fileMs) {
  if (!onFreeClock()) return;
  freeClock_.seek(run_.inputs().timing().rawFor(fileMs));
  run_.tick();
}

void RunControl::toLine(bool next) {
  if (!onFreeClock()) return;
  const int32_t now = run_.positionMs();
  const std::optional<int32_t> start =
      next ? nextLineStart(run_.table(), now) : previousLineStart(run_.table(), now);
  if (start) seekTo(*start);
}

void RunControl::toggleEarlyStart() {
  earlyStart_ = !earlyStart_;
  settings_.writeText(setting::kFreeClockEarlyStart, checkText(earlyStart_));
}

TransportBarState RunControl::transportBarState() const {
  TransportBarState state;
  state.positionMs = run_.positionMs();
  state.spanMs = freeSpanMs_;
  state.playing = freeClock_.playing();
  state.delayMs = run_.inputs().delayMs;
  state.rate = run_.inputs().rate;
  state.earlyStart = earlyStart_;
  return state;
}

StatusFacts RunControl::status(
    const std::function<std::string(std::string_view displayText, unsigned codePage)>& toUtf8) const {
  StatusFacts facts;
  if (!run_.running()) return facts;
  if (onFreeClock()) {
    facts.source = StatusFacts::Source::FreeClock;
  } else if (interfacePlayerClock_) {
    facts.source = StatusFacts::Source::InterfacePlayer;
    facts.player = interfacePlayer_;
    facts.playerState = interfacePlayerClock_->lastState();
  } else if (onLearntPlayer()) {
    facts.source = StatusFacts::Source::LearntPlayer;
    facts.learntPlayer = learntPlayerName(learntClock_.player().profile.executable);
    facts.playerPid = learntClock_.player().pid;
  } else {
    facts.source = StatusFacts::Source::MemoryPlayer;
    if (playerClock_.player().located()) facts.playerPid = playerClock_.player().playerPid;
  }
  const ClockReading reading = run_.reading();
  const ClockTiming timing = run_.inputs().timing();
  facts.answers = reading.hasPosition;
  facts.gone = reading.gone;
  facts.positionMs = reading.rawMs;
  facts.playing = reading.playing;
  facts.delayMs = timing.delayMs;
  facts.rate = timing.rate;
  // A file's lines around its position, each cue's lines on one row; `offsetMs` shows its cues
  // that much later.
  const auto around = [&](const CueTable& table, int32_t positionMs, int32_t offsetMs, std::string& current,
                          std::string& next, int64_t& untilNextMs) {
    const auto line = [&](const Cue& cue) {
      std::string text = toUtf8(cue.text, table.codePage);
      for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, " / ");
      return text;
    };
    const LinesAround lines = linesAround(table, positionMs);
    if (reading.hasPosition && lines.current) current = line(*lines.current);
    if (lines.next) {
      next = line(*lines.next);
      untilNextMs = timing.rawFor(int64_t{lines.next->startMs} + offsetMs) - reading.rawMs;
    }
  };
  around(run_.table(), reading.positionMs, 0, facts.currentLine, facts.nextLine, facts.untilNextMs);
  if (const SubtitlePair* pair = run_.pair()) {
    StatusFacts::SecondFile& second = facts.second.emplace();
    second.delayMs = pair->offsetMs();
    around(pair->table(), pair->positionMs(reading.positionMs), pair->offsetMs(), second.currentLine, second.nextLine,
           second.untilNextMs);
  }
  facts.hidden = !run_.shown();
  return facts;
}

}  // namespace quorvane
