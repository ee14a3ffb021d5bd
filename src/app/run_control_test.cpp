#include "app/run_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/pair_settings.h"
#include "app/sync_settings.h"
#include "app/sync_texts.h"
#include "overlay/recording_overlay.h"
#include "platform/fake_precise_time.h"
#include "platform/fake_registry.h"
#include "platform/fake_tick_source.h"
#include "memory_player/fake_player_processes.h"
#include "run/fake_run_timers.h"
#include "memory_player/process_memory.h"

namespace quorvane {
namespace {

// A player that tells its time and always says the same.
class FixedFeed final : public InterfacePlayerFeed {
 public:
  explicit FixedFeed(PlayerState state) { report_.state = state; report_.sequence = 1; }
  PlayerReport latest() const override { return report_; }

 private:
  PlayerReport report_;
};

// What the window would show, in order.
class RecordingView final : public RunView {
 public:
  void showDelay(int32_t delayMs) override { log.push_back("delay box " + std::to_string(delayMs)); }
  void showNotice(const std::string& text) override { log.push_back("notice " + text); }
  void showFollowed(std::string_view playerName) override {
    log.push_back("title " + (playerName.empty() ? std::string("plain") : std::string(playerName)));
  }
  void showTransportBar(bool shown) override { log.push_back(shown ? "bar shown" : "bar hidden"); }
  void sayNoPlayer() override { log.push_back("say no player"); }
  void sayUtf8(std::string_view text) override { log.push_back("say " + std::string(text)); }
  bool closed() const override { return false; }
  std::vector<std::string> take() { return std::exchange(log, {}); }

  std::vector<std::string> log;
};

enum class Answer { None, Film, Refused };
// How the learnt players' search ends: none of them runs, one runs, or one of another version.
enum class Learnt { None, Runs, OtherVersion };

class RunControlTest : public ::testing::Test {
 protected:
  RunControlTest() { control.setView(&view); }

  void store(std::string_view path, std::string_view text) { settings.writeText(path, text); }
  std::string stored(std::string_view name) const {
    const auto* value = registry.find(RegistryRoot::LocalMachine, setting::kKey, name);
    return value ? value->text : "<missing>";
  }

  // Searches that find the memory player when `memory` says so, and an interface player that
  // answers as `answer` says; each records that it ran.
  ClockSearches searches(bool memory, Answer answer, Learnt learnt = Learnt::None) {
    ClockSearches s;
    s.learntProfiles = [this] { return profiles; };
    s.learntPlayer = [this, learnt](std::span<const learn::Profile> given) {
      std::string names = "learnt";
      for (const learn::Profile& p : given) names += " " + p.executable;
      searched.push_back(names);
      LearntSearch search;
      if (learnt == Learnt::Runs) search.found = {7, given.front(), 0x400000, 0x1000};
      if (learnt == Learnt::OtherVersion) search.refused = {{given.front().executable, LearntRefusal::OtherVersion}};
      return search;
    };
    s.memoryPlayer = [this, memory](std::string_view name) {
      searched.push_back("memory " + std::string(name));
      return memory ? PlayerLocation{42, 0x00A00000} : PlayerLocation{};
    };
    s.interfacePlayer = [this, answer](const InterfaceSettings& in) -> std::optional<FoundInterfacePlayer> {
      searched.push_back(in.pinned ? "pinned " + std::string(pinnedPlayerKey(*in.pinned)) : "interfaces");
      if (answer == Answer::None) return std::nullopt;
      const PlayerState state = answer == Answer::Film ? PlayerState::Playing : PlayerState::Unauthorized;
      return FoundInterfacePlayer{InterfacePlayer::Mpc, state, std::make_unique<InterfacePlayerClock>(std::make_unique<FixedFeed>(state), time)};
    };
    return s;
  }

  std::optional<ClockPlan> find(bool memory, Answer answer, uint8_t mode = kMemoryPlayerMode,
                                Learnt learnt = Learnt::None) {
    return control.findClock(searches(memory, answer, learnt), "PowerDVDMovie.exe", mode);
  }

  static learn::Profile profileOf(std::string executable) {
    learn::Profile profile;
    profile.executable = std::move(executable);
    profile.path = {profile.executable, 0x100, {0x40}};
    return profile;
  }

  // A press that finds `plan`'s clock and picks a file of two lines.
  void startOn(ClockPlan plan) {
    control.start(std::move(plan),
                  CueTable::fromSorted({{10'000, 12'000, "one"}, {70'000, 72'000, "two"}}), 936,
                  std::make_unique<RecordingOverlay>(overlayLog), false);
  }
  void startFree() {
    ClockPlan plan;
    plan.kind = ClockPlan::Kind::Free;
    startOn(std::move(plan));
  }

  FakeRegistry registry;
  SettingsStore settings{registry};
  FakeProcesses processes;
  ProcessMemoryReader memory{processes};
  FakeTicks ticks;
  FakePreciseTime time;
  PlayerMemoryClock playerClock{memory, ticks, time};
  LearntPlayerClock learntClock{memory, ticks, time};
  FakeRunTimers timers;
  RecordingView view;
  std::vector<std::string> overlayLog;  // outlives the run's overlay
  std::vector<std::string> searched;
  LoadedProfiles profiles{{profileOf("SimPlayer.exe"), profileOf("Other.exe")}, {}};
  RunControl control{run, playerClock, learntClock, settings, time};
  SubtitleRun run{playerClock, &timers};
};

// Which clock a press plans to follow, which searches it runs, and what it says when it finds
// nothing to follow.
TEST_F(RunControlTest, APressPlansItsClockFromTheChoiceAndTheSearches) {
  struct Case {
    const char* what;
    const char* freeClock;  // the stored "freeclock"
    const char* pinned;     // the stored "player"
    uint8_t mode;
    bool memoryFound;
    Answer answer;
    Learnt learnt;
    std::optional<ClockPlan::Kind> plan;
    std::vector<std::string> searched;
    std::vector<std::string> said;
  };
  const std::string silentMpc = pinnedPlayerSilentText(InterfacePlayer::Mpc, UiLanguage::English);
  const std::string refused(refusedPasswordText(UiLanguage::English));
  const std::string otherVersion =
      learntRefusalText({"SimPlayer.exe", LearntRefusal::OtherVersion}, UiLanguage::English);
  const std::string silentLearnt = pinnedLearntSilentText("SimPlayer.exe", UiLanguage::English);
  const std::string memory = "memory PowerDVDMovie.exe", learnt = "learnt SimPlayer.exe Other.exe";
  const Case cases[] = {
      {"memory found", "0", "auto", 1, true, Answer::Film, Learnt::Runs, ClockPlan::Kind::Memory, {memory}, {}},
      {"memory silent, a learnt player runs", "0", "auto", 1, false, Answer::Film, Learnt::Runs,
       ClockPlan::Kind::Learnt, {memory, learnt}, {}},
      {"memory silent, a player answers", "0", "auto", 1, false, Answer::Film, Learnt::None,
       ClockPlan::Kind::Interface, {memory, learnt, "interfaces"}, {}},
      {"a learnt player of another version is passed over", "0", "auto", 1, false, Answer::Film,
       Learnt::OtherVersion, ClockPlan::Kind::Interface, {memory, learnt, "interfaces"}, {}},
      {"nothing anywhere", "0", "auto", 1, false, Answer::None, Learnt::None, std::nullopt,
       {memory, learnt, "interfaces"}, {"say no player"}},
      {"a learnt player of another version is said", "0", "auto", 1, false, Answer::None, Learnt::OtherVersion,
       std::nullopt, {memory, learnt, "interfaces"}, {"say " + otherVersion}},
      {"a refused password is said instead", "0", "auto", 1, false, Answer::Refused, Learnt::None, std::nullopt,
       {memory, learnt, "interfaces"}, {"say " + refused}},
      {"another player mode searches nothing", "0", "auto", 0, true, Answer::Film, Learnt::Runs, std::nullopt, {},
       {}},
      {"pinned: the memory is not searched", "0", "mpc", 1, true, Answer::Film, Learnt::Runs,
       ClockPlan::Kind::Interface, {"pinned mpc"}, {}},
      {"pinned and silent", "0", "mpc", 1, true, Answer::None, Learnt::Runs, std::nullopt, {"pinned mpc"},
       {"say " + silentMpc}},
      {"pinned and refused", "0", "mpc", 1, true, Answer::Refused, Learnt::None, std::nullopt, {"pinned mpc"},
       {"say " + refused}},
      {"a pinned learnt player: its profile only", "0", "learnt:simplayer.exe", 1, true, Answer::Film,
       Learnt::Runs, ClockPlan::Kind::Learnt, {"learnt SimPlayer.exe"}, {}},
      {"a pinned learnt player that does not run", "0", "learnt:SimPlayer.exe", 1, true, Answer::Film,
       Learnt::None, std::nullopt, {"learnt SimPlayer.exe"}, {"say " + silentLearnt}},
      {"the free clock searches nothing", "1", "mpc", 0, false, Answer::None, Learnt::Runs, ClockPlan::Kind::Free,
       {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    store(setting::kFreeClock, c.freeClock);
    store(std::string(setting::kKey) + "\\player", c.pinned);
    control.loadSettings();
    searched.clear();
    const std::optional<ClockPlan> plan = find(c.memoryFound, c.answer, c.mode, c.learnt);
    ASSERT_EQ(plan.has_value(), c.plan.has_value());
    if (plan) {
      EXPECT_EQ(plan->kind, *c.plan);
    }
    EXPECT_EQ(searched, c.searched);
    EXPECT_EQ(view.take(), c.said);
    EXPECT_FALSE(run.running());
  }
}

// Until a file is picked the running run keeps its clock, its player and the title; a press
// that finds nothing to follow drops the followed player at once.
TEST_F(RunControlTest, TheRunningRunKeepsItsClockUntilTheNewRunStarts) {
  startOn(*find(false, Answer::Film));
  const ClockSource* followed = &run.clock();
  EXPECT_EQ(followed, control.interfacePlayerClock());
  EXPECT_EQ(view.take(), (std::vector<std::string>{"title MPC-HC", "bar hidden"}));

  std::optional<ClockPlan> plan = find(true, Answer::None);  // the dialog is then cancelled
  plan.reset();
  EXPECT_EQ(&run.clock(), followed);
  EXPECT_EQ(playerClock.player().playerPid, 0u);
  EXPECT_TRUE(view.log.empty());

  startOn(*find(true, Answer::None));
  EXPECT_EQ(&run.clock(), &playerClock);
  EXPECT_EQ(playerClock.player().playerPid, 42u);
  EXPECT_EQ(control.interfacePlayerClock(), nullptr);
  EXPECT_EQ(view.take(), (std::vector<std::string>{"title plain", "bar hidden"}));

  startOn(*find(false, Answer::Film));
  view.take();
  EXPECT_FALSE(find(false, Answer::None));
  EXPECT_EQ(&run.clock(), &playerClock);
  EXPECT_EQ(playerClock.player().playerPid, 0u);  // the empty search result
  EXPECT_EQ(view.take(), (std::vector<std::string>{"title plain", "say no player"}));
}

// A learnt player's run follows its profile's clock under the player's name, and lets it go for
// another run; a broken profile file is said once while the program runs.
TEST_F(RunControlTest, ALearntPlayerIsFollowedUnderItsNameAndABrokenProfileIsSaidOnce) {
  profiles.refused = {{"bad.profile", {learn::ProfileError::Kind::BadValue, 8, "scale", "1e9"}}};
  const std::string broken = "say " + describeProfileError(profiles.refused[0].error, "bad.profile", UiLanguage::English);
  startOn(*find(false, Answer::None, kMemoryPlayerMode, Learnt::Runs));
  EXPECT_TRUE(control.onLearntPlayer());
  EXPECT_EQ(learntClock.player().pid, 7u);
  EXPECT_EQ(view.take(), (std::vector<std::string>{broken, "title SimPlayer", "bar hidden"}));
  const StatusFacts facts = control.status([](std::string_view text, unsigned) { return std::string(text); });
  EXPECT_EQ(facts.source, StatusFacts::Source::LearntPlayer);
  EXPECT_EQ(facts.learntPlayer, "SimPlayer");
  EXPECT_EQ(facts.playerPid, 7u);

  startOn(*find(false, Answer::Film, kMemoryPlayerMode, Learnt::None));
  EXPECT_FALSE(control.onLearntPlayer());
  EXPECT_EQ(view.take(), (std::vector<std::string>{"title MPC-HC", "bar hidden"}));
}

TEST_F(RunControlTest, AFreeClockRunLetsAFollowedPlayerGoAndShowsTheBar) {
  startOn(*find(false, Answer::Film));
  view.take();
  startFree();
  EXPECT_TRUE(control.onFreeClock());
  EXPECT_EQ(control.interfacePlayerClock(), nullptr);
  EXPECT_EQ(view.take(), (std::vector<std::string>{"title plain", "bar shown"}));
  EXPECT_FALSE(control.freeClock().playing());
  EXPECT_EQ(control.freeClock().positionMs(), 0);
  EXPECT_EQ(control.transportBarState().spanMs, 72'000);

  // The bar's early start, stored, begins the next run a few seconds before the first line.
  control.toggleEarlyStart();
  EXPECT_EQ(stored("freestart"), "1");
  startFree();
  EXPECT_EQ(control.freeClock().positionMs(), 10'000 - RunControl::kEarlyLeadMs);
  EXPECT_TRUE(control.transportBarState().earlyStart);
}

// The delay keys and the delay box both reach the run; only the keys' delay is shown back in
// the box, with a notice.
TEST_F(RunControlTest, DelayKeysMoveTheRunsDelayAndTheBoxShowsIt) {
  struct Case {
    int32_t typed;
    SyncKey key;
    int32_t delayMs;
  };
  const Case cases[] = {
      {0, SyncKey::DelayOn, 100},
      {0, SyncKey::DelayBack, -100},
      {250, SyncKey::DelayOnSecond, 1'250},
      {250, SyncKey::DelayBackSecond, -750},
      {RunControl::kDelayLimitMs, SyncKey::DelayOn, RunControl::kDelayLimitMs},
      {-RunControl::kDelayLimitMs, SyncKey::DelayBackSecond, -RunControl::kDelayLimitMs},
      {99'999'999, SyncKey::DelayBack, RunControl::kDelayLimitMs},  // eight typed digits
  };
  for (const Case& c : cases) {
    control.delayTyped(c.typed);
    EXPECT_EQ(run.inputs().delayMs, c.typed);
    EXPECT_TRUE(view.log.empty());
    control.keyPressed(c.key);
    EXPECT_EQ(run.inputs().delayMs, c.delayMs) << c.typed;
    EXPECT_EQ(view.take(), (std::vector<std::string>{"delay box " + std::to_string(c.delayMs),
                                                     "notice " + delayNotice(c.delayMs, 1.0, UiLanguage::English)}));
  }
}

TEST_F(RunControlTest, SwitchedOffSyncKeysDoNothingUntilSwitchedOnAgain) {
  control.setSyncKeys(false);
  EXPECT_EQ(stored("synckeys"), "0");
  startFree();
  view.take();
  for (const SyncKey key : {SyncKey::DelayOn, SyncKey::ResetSync, SyncKey::LineIsNow, SyncKey::PlayPause,
                            SyncKey::OnSecond, SyncKey::NextLine}) {
    control.keyPressed(key);
  }
  EXPECT_EQ(run.inputs().delayMs, 0);
  EXPECT_FALSE(control.freeClock().playing());
  EXPECT_EQ(control.freeClock().positionMs(), 0);
  EXPECT_TRUE(view.log.empty());
  control.setSyncKeys(true);
  control.keyPressed(SyncKey::DelayOn);
  EXPECT_EQ(run.inputs().delayMs, 100);
}

// "This line is now" on a free-clock run, then reset: delay and rate go to the run and the
// delay to the box; a press with no line near changes nothing.
TEST_F(RunControlTest, LineIsNowSetsTheTimingAndResetTakesItBack) {
  control.keyPressed(SyncKey::LineIsNow);  // no run: nothing at all
  EXPECT_TRUE(view.log.empty());
  startFree();
  view.take();
  // Paused, a press says nothing of when a line is spoken.
  control.keyPressed(SyncKey::LineIsNow);
  EXPECT_EQ(view.take(), (std::vector<std::string>{"notice " + std::string(syncText(SyncText::PausedNotice, UiLanguage::English))}));
  control.togglePlay();

  // At 0 the first line is 10 s away: the next one, by the time written in its file.
  control.keyPressed(SyncKey::LineIsNow);
  const int32_t delayMs = -(10'000 + kStoredLeadMs);
  EXPECT_EQ(run.inputs().delayMs, delayMs);
  std::vector<std::string> shown = view.take();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "delay box " + std::to_string(delayMs));

  control.seekTo(72'000 + LineSync::kNearMs + 1);  // past the last line, far from any
  const ClockTiming before = run.inputs().timing();
  control.keyPressed(SyncKey::LineIsNow);
  EXPECT_EQ(run.inputs().timing(), before);
  shown = view.take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("notice ", 0), 0u);

  run.setRate(1.05);
  control.keyPressed(SyncKey::ResetSync);
  EXPECT_EQ(run.inputs().timing(), ClockTiming(0, 1.0));
  EXPECT_EQ(view.take(), (std::vector<std::string>{"delay box 0", "notice " + delayNotice(0, 1.0, UiLanguage::English)}));
}

// With a rate set, a delay key moves every line by its step of the film's time, and the lead
// before each line stays half a second of film.
TEST_F(RunControlTest, DelayKeysCountInTheFilmsTimeAtAnyRate) {
  startFree();
  run.setRate(1.0427);
  control.togglePlay();
  // A press on the first line (stored at 10 s, written at 10.5 s) at 0: the line shows half a
  // second before the press.
  control.keyPressed(SyncKey::LineIsNow);
  EXPECT_NEAR(run.inputs().timing().rawOf(10'000), -kStoredLeadMs, 1);
  const int32_t lineMs = 3'600'000;  // a line an hour into the file
  struct Case { SyncKey key; int32_t times, movedMs; };
  const Case cases[] = {{SyncKey::DelayOn, 3, 300}, {SyncKey::DelayBackSecond, 2, -2'000}};
  for (const Case& c : cases) {
    const double before = run.inputs().timing().rawOf(lineMs);
    for (int32_t i = 0; i < c.times; ++i) control.keyPressed(c.key);
    EXPECT_NEAR(run.inputs().timing().rawOf(lineMs) - before, c.movedMs, 1e-6);
    EXPECT_EQ(run.inputs().rate, 1.0427);
  }
}

// A new file starts its timing over: its rate and its presses go, the delay box keeps its
// delay, and the old film's press never pairs with the new film's first.
TEST_F(RunControlTest, ANewFileResetsTheRateAndThePressesButKeepsTheDelay) {
  startFree();
  control.togglePlay();
  control.keyPressed(SyncKey::LineIsNow);  // at 0: the first line, 10.5 s in the file
  run.setRate(1.05);
  startFree();
  EXPECT_EQ(run.inputs().timing(), ClockTiming(-10'500, 1.0));
  control.delayTyped(0);
  control.togglePlay();
  time.advanceMs(65'000);
  view.take();
  // Paired with the old press this would be rate 60,000 / 65,000: here it only sets the delay.
  control.keyPressed(SyncKey::LineIsNow);
  EXPECT_EQ(run.inputs().timing(), ClockTiming(65'000 - 70'500, 1.0));
  EXPECT_EQ(view.take(), (std::vector<std::string>{"delay box -5500", "notice " + delayNotice(-5'500, 1.0, UiLanguage::English)}));
}

// A file that yields no lines starts no run: the user is told which file and how it was read,
// in the interface's language, and the running run goes on.
TEST_F(RunControlTest, AFileWithoutLinesIsRefusedWithItsNameAndFormat) {
  startFree();
  view.take();
  const CueTable none = CueTable::fromSorted({});
  struct Case { UiLanguage language; const char* said; };
  const Case cases[] = {
      {UiLanguage::English, "\"notes.ass\" has no subtitle lines (read as ASS/SSA)"},
      {UiLanguage::SimplifiedChinese, "“notes.ass”中没有字幕行（按 ASS/SSA 格式读取）"},
      {UiLanguage::TraditionalChinese, "「notes.ass」中沒有字幕行（按 ASS/SSA 格式讀取）"},
  };
  for (const Case& c : cases) {
    control.setLanguage(c.language);
    EXPECT_FALSE(control.acceptFile(none, "notes.ass", "ASS/SSA"));
    const std::vector<std::string> said = view.take();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("say " + std::string(c.said), 0), 0u) << said[0];
  }
  EXPECT_TRUE(run.running());
  EXPECT_TRUE(control.acceptFile(CueTable::fromSorted({{1'000, 2'000, "a"}}), "film.srt", "SRT"));
  EXPECT_TRUE(view.log.empty());
}

// The transport keys and the bar's buttons drive the free clock only while the run follows it.
TEST_F(RunControlTest, TransportCommandsDriveTheFreeClockOfAFreeClockRunOnly) {
  struct Step {
    SyncKey key;
    int64_t positionMs;
  };
  const Step steps[] = {
      {SyncKey::NextLine, 10'000},  {SyncKey::NextLine, 70'000},     {SyncKey::NextLine, 70'000},
      {SyncKey::OnSecond, 71'000},  {SyncKey::OnSecond, 72'000},     {SyncKey::PreviousLine, 70'000},
      {SyncKey::PreviousLine, 10'000}, {SyncKey::BackSecond, 9'000}, {SyncKey::PreviousLine, 9'000},
  };
  control.keyPressed(SyncKey::NextLine);  // no run
  startOn(*find(true, Answer::None));
  control.keyPressed(SyncKey::NextLine);  // a run on the player's memory
  control.seekTo(50'000);
  control.togglePlay();
  EXPECT_EQ(control.freeClock().positionMs(), 0);
  EXPECT_FALSE(control.freeClock().playing());

  startFree();
  for (const Step& s : steps) {
    control.keyPressed(s.key);
    EXPECT_EQ(control.freeClock().positionMs(), s.positionMs) << static_cast<int>(s.key);
  }
  control.keyPressed(SyncKey::PlayPause);
  time.advanceMs(1'500);
  EXPECT_TRUE(control.transportBarState().playing);
  EXPECT_EQ(control.transportBarState().positionMs, 10'500);
  control.togglePlay();
  EXPECT_FALSE(control.freeClock().playing());
}

// The Player submenu's choice is stored as it is made and read back as the menu's check.
TEST_F(RunControlTest, APlayerChoiceIsStoredAtOnce) {
  struct Case {
    PlayerChoice choice;
    const char* freeClock;
    const char* player;
  };
  const Case cases[] = {
      {{false, InterfacePlayer::Mpv, ""}, "0", "mpv"},
      {{true, std::nullopt, ""}, "1", "mpv"},  // the free clock keeps the pinned player for later
      {{false, std::nullopt, ""}, "0", "auto"},
      {{false, std::nullopt, "SomePlayer.exe"}, "0", "learnt:SomePlayer.exe"},
      {{true, std::nullopt, ""}, "1", "learnt:SomePlayer.exe"},
      {{false, InterfacePlayer::Vlc, ""}, "0", "vlc"},
  };
  for (const Case& c : cases) {
    control.choosePlayer(c.choice);
    EXPECT_EQ(stored("freeclock"), c.freeClock);
    EXPECT_EQ(stored("player"), c.player);
    EXPECT_EQ(control.playerChoice(), c.choice);
    RunControl fresh(run, playerClock, learntClock, settings, time);
    fresh.loadSettings();
    EXPECT_EQ(fresh.playerChoice(), c.choice);
  }
}

// The Status window's facts: which clock the run follows and whether it answers, where it is,
// the lines around it and whether F8 hid them.
TEST_F(RunControlTest, TheStatusTellsTheClockItsPositionAndTheLinesAroundIt) {
  const auto status = [this] {
    return control.status([](std::string_view text, unsigned codePage) {
      return "<" + std::string(text) + (codePage == 936 ? " gbk" : "") + ">";
    });
  };
  EXPECT_EQ(status().source, StatusFacts::Source::NoRun);

  startFree();
  StatusFacts facts = status();
  EXPECT_EQ(facts.source, StatusFacts::Source::FreeClock);
  EXPECT_TRUE(facts.answers);
  EXPECT_FALSE(facts.playing);
  EXPECT_EQ(facts.positionMs, 0);
  EXPECT_EQ(facts.currentLine, "");
  EXPECT_EQ(facts.nextLine, "<one>");
  EXPECT_EQ(facts.untilNextMs, 10'000);
  EXPECT_FALSE(facts.hidden);

  control.keyPressed(SyncKey::PlayPause);
  time.advanceMs(11'000);
  run.tick();
  run.toggleShown();
  facts = status();
  EXPECT_TRUE(facts.playing);
  EXPECT_EQ(facts.positionMs, 11'000);
  EXPECT_EQ(facts.currentLine, "<one>");
  EXPECT_EQ(facts.nextLine, "<two>");
  EXPECT_EQ(facts.untilNextMs, 59'000);
  EXPECT_TRUE(facts.hidden);
  EXPECT_FALSE(facts.second);
  run.toggleShown();

  // A second file in its own code page, shown 2 s later than its times by its own delay.
  CueTable second = CueTable::fromSorted({{5'000, 10'000, "er"}, {20'000, 30'000, "san"}});
  second.codePage = 936;
  ASSERT_TRUE(control.addSecond(std::move(second), "b.srt", "a.srt"));
  control.keyPressed(SyncKey::SecondDelayOnSecond);
  control.keyPressed(SyncKey::SecondDelayOnSecond);
  facts = status();
  ASSERT_TRUE(facts.second);
  EXPECT_EQ(facts.second->delayMs, 2'000);
  EXPECT_EQ(facts.second->currentLine, "<er gbk>");  // 11 s is 9 s of its time
  EXPECT_EQ(facts.second->nextLine, "<san gbk>");
  EXPECT_EQ(facts.second->untilNextMs, 11'000);

  std::optional<ClockPlan> plan = find(false, Answer::Film);
  ASSERT_TRUE(plan);
  startOn(std::move(*plan));
  facts = status();
  EXPECT_EQ(facts.source, StatusFacts::Source::InterfacePlayer);
  EXPECT_EQ(facts.player, InterfacePlayer::Mpc);

  plan = find(true, Answer::None);
  ASSERT_TRUE(plan);
  startOn(std::move(*plan));
  facts = status();
  EXPECT_EQ(facts.source, StatusFacts::Source::MemoryPlayer);
  EXPECT_EQ(facts.playerPid, 42u);
  EXPECT_FALSE(facts.answers);  // no record read yet
  EXPECT_FALSE(facts.player);
}


// The pair is stored with its first file: a run over that file takes the second again, a run
// over another file forgets it.
TEST_F(RunControlTest, ASecondFileComesBackWithItsFirstFileOnly) {
  struct Case { const char* storedSecond; const char* storedWith; const char* first; std::optional<std::string> second; };
  const Case cases[] = {
      {"C:\\films\\en.srt", "C:\\films\\zh.srt", "C:\\films\\zh.srt", "C:\\films\\en.srt"},
      {"C:\\films\\en.srt", "C:\\films\\zh.srt", "C:\\films\\other.srt", std::nullopt},
      {"", "C:\\films\\zh.srt", "C:\\films\\zh.srt", std::nullopt},
  };
  for (const Case& c : cases) {
    store(setting::kSecondFile, c.storedSecond);
    store(setting::kSecondWith, c.storedWith);
    EXPECT_EQ(control.rememberedSecond(c.first), c.second) << c.first;
    EXPECT_EQ(stored("secondfile"), c.second.value_or(""));
  }

  EXPECT_FALSE(control.addSecond(CueTable::fromSorted({{0, 1, "x"}}), "b.srt", "a.srt"));  // no run
  startFree();
  ASSERT_TRUE(control.addSecond(CueTable::fromSorted({{0, 1, "x"}}), "b.srt", "a.srt"));
  EXPECT_TRUE(control.hasSecond());
  EXPECT_EQ(control.rememberedSecond("a.srt"), "b.srt");
  control.removeSecond();
  EXPECT_FALSE(control.hasSecond());
  EXPECT_EQ(control.rememberedSecond("a.srt"), std::nullopt);
}

// Ctrl on a delay key moves the second file's own delay, never the shared one.
TEST_F(RunControlTest, CtrlDelayKeysNudgeTheSecondFileOnly) {
  startFree();
  view.take();
  control.keyPressed(SyncKey::SecondDelayOn);  // no second file: nothing, no notice
  EXPECT_TRUE(view.log.empty());
  control.addSecond(CueTable::fromSorted({{0, 1, "x"}}), "b.srt", "a.srt");
  struct Case { SyncKey key; int32_t offsetMs; };
  const Case cases[] = {{SyncKey::SecondDelayOn, 100},
                        {SyncKey::SecondDelayOnSecond, 1'100},
                        {SyncKey::SecondDelayBack, 1'000},
                        {SyncKey::SecondDelayBackSecond, 0}};
  for (const Case& c : cases) {
    control.keyPressed(c.key);
    EXPECT_EQ(run.pair()->offsetMs(), c.offsetMs);
    EXPECT_EQ(view.take(), std::vector<std::string>{"notice " + secondDelayNotice(c.offsetMs, UiLanguage::English)});
  }
  EXPECT_EQ(run.inputs().delayMs, 0);
}

// A desktop with the memory player's window (process 42) and MPC-HC's.
class TwoPlayerWindows final : public PictureWindows {
 public:
  uintptr_t findWindow(const PictureOwner& owner) const override {
    if (owner.pid == 42) return 1;
    if (owner.classes == std::vector<std::string>{"MediaPlayerClassicW"}) return 2;
    return 0;
  }
  std::optional<PictureArea> clientArea(uintptr_t window) const override {
    if (window == 1) return PictureArea{10, 20, 720, 480};
    if (window == 2) return PictureArea{0, 0, 1280, 720};
    return std::nullopt;
  }
  PictureArea overlayMonitor() const override { return {0, 0, 1920, 1080}; }
};

TEST_F(RunControlTest, ThePictureAreaFollowsTheRunsPlayerUnlessTheUserSetOne) {
  TwoPlayerWindows windows;
  control.usePictureWindows(windows, ticks);
  EXPECT_EQ(control.pictureArea(), (PictureArea{0, 0, 1920, 1080}));  // no run yet
  startOn(*find(true, Answer::None));
  EXPECT_EQ(control.pictureArea(), (PictureArea{10, 20, 720, 480}));
  startOn(*find(false, Answer::Film));
  EXPECT_EQ(control.pictureArea(), (PictureArea{0, 0, 1280, 720}));
  startFree();
  EXPECT_EQ(control.pictureArea(), (PictureArea{0, 0, 1920, 1080}));

  control.setUserPictureArea(PictureArea{100, 100, 800, 600});
  EXPECT_EQ(stored("picturearea"), "100,100,800,600");
  EXPECT_EQ(control.pictureArea(), (PictureArea{100, 100, 800, 600}));
  control.setUserPictureArea(std::nullopt);
  EXPECT_EQ(stored("picturearea"), "auto");
  EXPECT_EQ(control.pictureArea(), (PictureArea{0, 0, 1920, 1080}));

  store(setting::kPictureArea, "100,100,0,600");  // a bad stored rectangle: Automatic
  control.loadSettings();
  EXPECT_EQ(control.userPictureArea(), std::nullopt);
}

}  // namespace
}  // namespace quorvane
