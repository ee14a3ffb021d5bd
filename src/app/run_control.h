#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "players/player_interfaces.h"
#include "app/settings_store.h"
#include "app/status_view.h"
#include "app/transport_bar_model.h"
#include "common/ui_language.h"
#include "loading/cue_table.h"
#include "overlay/overlay.h"
#include "run/free_clock.h"
#include "run/line_sync.h"
#include "memory_player/player_locator.h"
#include "memory_player/learnt_player_clock.h"
#include "memory_player/learnt_profiles.h"
#include "memory_player/player_memory_clock.h"
#include "players/interface_player_clock.h"
#include "run/subtitle_run.h"
#include "overlay/picture_area.h"
#include "platform/tick_source.h"

namespace quorvane {

// The "mode" setting's value that searches PowerDVD's memory for the player; any other mode
// searches nothing and starts no run.
inline constexpr uint8_t kMemoryPlayerMode = 1;

// The "Player" submenu's radio group: the automatic search, the free clock, or one player
// that tells its time or one learnt player, pinned.
struct PlayerChoice {
  bool freeClock = false;
  std::optional<InterfacePlayer> pinned;  // only without the free clock
  std::string learnt;  // a learnt player's executable; only without the free clock and `pinned`
  bool operator==(const PlayerChoice&) const = default;
};

// The keys that move the delay, sync a line and drive the free clock, beside the program's five.
enum class SyncKey {
  DelayBack,          // Alt+,: 100 ms earlier
  DelayOn,            // Alt+.: 100 ms later
  DelayBackSecond,    // Alt+Shift+,
  DelayOnSecond,      // Alt+Shift+.
  ResetSync,          // Alt+/
  LineIsNow,          // Alt+;
  PlayPause,          // Alt+Shift+Enter, the free clock only
  BackSecond,         // Alt+Shift+Left
  OnSecond,           // Alt+Shift+Right
  PreviousLine,       // Alt+Shift+Up
  NextLine,           // Alt+Shift+Down
  // The second subtitle file's own delay: the delay keys with Ctrl as well.
  SecondDelayBack,        // Ctrl+Alt+,
  SecondDelayOn,          // Ctrl+Alt+.
  SecondDelayBackSecond,  // Ctrl+Alt+Shift+,
  SecondDelayOnSecond,    // Ctrl+Alt+Shift+.
};

// What the main window shows of the run. The controller says what and when; the window only
// draws it.
class RunView {
 public:
  virtual ~RunView() = default;
  // The delay box's number. The run already has it: the box only displays it.
  virtual void showDelay(int32_t delayMs) = 0;
  // A short notice over the subtitles after a sync key.
  virtual void showNotice(const std::string& text) = 0;
  // The window's title names the player followed through its interface or a learnt profile
  // (empty: the memory-read player or the free clock).
  virtual void showFollowed(std::string_view playerName) = 0;
  // The transport bar: shown with a free-clock run, hidden with any other.
  virtual void showTransportBar(bool shown) = 0;
  // The task-modal messages of a press that starts nothing.
  virtual void sayNoPlayer() = 0;
  virtual void sayUtf8(std::string_view text) = 0;
  // The window went away while a search dispatched its messages: the press ends.
  virtual bool closed() const = 0;
};

// How a press finds the clocks that can be followed; the searches dispatch the window's
// messages while they run, so the window can close meanwhile.
struct ClockSearches {
  std::function<PlayerLocation(std::string_view typedName)> memoryPlayer;
  std::function<std::optional<FoundInterfacePlayer>(const InterfaceSettings& settings)> interfacePlayer;
  // The learnt players' profiles as stored, and which of those players runs.
  std::function<LoadedProfiles()> learntProfiles;
  std::function<LearntSearch(std::span<const learn::Profile> profiles)> learntPlayer;
};

// Which clock the new run of a press follows, found before the file dialog and taken only
// once a file is picked.
struct ClockPlan {
  enum class Kind { Memory, Interface, Learnt, Free } kind = Kind::Memory;
  PlayerLocation memoryPlayer;               // Memory: where the search found the record
  LearntPlayer learntPlayer;                 // Learnt: the player and its profile
  std::optional<InterfacePlayer> player;     // Interface: which one
  std::unique_ptr<InterfacePlayerClock> clock;      // Interface: its clock, asking the player already
};

// The run's control: which clock it follows, its delay and rate, two-point sync, the free
// clock's transport and what the transport bar and the notice show. The main window hands it
// the user's intents (a key, a menu choice, a typed delay) and shows what it reports through
// RunView; no number reaches the run through a control's text.
class RunControl {
 public:
  // A delay key stops at what the delay box's eight characters can show.
  static constexpr int32_t kDelayLimitMs = 9'999'999;
  // A delay key's step, and with Shift; the free clock's Alt+Shift+Left and Right seek by kSeekStepMs.
  static constexpr int32_t kDelayStepMs = 100;
  static constexpr int32_t kDelayShiftStepMs = 1'000;
  static constexpr int32_t kSeekStepMs = 1'000;
  // The bar's early start: the free clock starts this long before the file's first line.
  static constexpr int32_t kEarlyLeadMs = 5'000;

  RunControl(SubtitleRun& run, PlayerMemoryClock& playerClock, LearntPlayerClock& learntClock, SettingsStore& settings,
             const PreciseTimeSource& time = systemPreciseTimeSource())
      : run_(run), playerClock_(playerClock), learntClock_(learntClock), settings_(settings), freeClock_(time) {}

  void setView(RunView* view) { view_ = view; }
  void setLanguage(UiLanguage language) { language_ = language; }
  // The stored choices: the sync keys' switch, the Player submenu's choice, the bar's start.
  void loadSettings();

  // The system menu: the sync keys' switch and the Player submenu. Each is stored at once; a
  // clock choice takes effect at the next "Select and Start", a running run keeps its clock.
  bool syncKeys() const { return syncKeys_; }
  void setSyncKeys(bool on);
  PlayerChoice playerChoice() const;
  void choosePlayer(const PlayerChoice& choice);

  // A sync key: nothing while the sync keys are switched off; the free clock's keys do
  // nothing unless the run follows the free clock.
  void keyPressed(SyncKey key);
  // The delay box as the user typed it.
  void delayTyped(int32_t delayMs);

  // "Select and Start", before the file dialog: the clock the new run would follow. The
  // running run keeps its clock here, unless the search finds nothing: then it follows that
  // result at once (the memory clock, no player or the one found before) and the user is told
  // why; nothing comes back, and no dialog follows. `playerMode` is the "mode" setting's.
  std::optional<ClockPlan> findClock(const ClockSearches& searches, std::string_view typedName,
                                     uint8_t playerMode);
  // After the dialog gave a file, before the old run ends: a file that yields no lines starts
  // no run (it would show nothing, without a word); the user is told which file and how it was
  // read, and the running run goes on.
  bool acceptFile(const CueTable& table, std::string_view fileName, std::string_view formatName);
  // After the dialog gave a file and the old run ended: the run follows the plan's clock and
  // starts over `table` on `overlay`.
  void start(ClockPlan plan, CueTable table, unsigned codePage, std::unique_ptr<Overlay> overlay,
             bool precise);

  // The transport bar's buttons (the keys come through keyPressed): only on the free clock.
  void togglePlay();
  void seekBy(int32_t deltaMs);
  void toLine(bool next);
  void seekTo(int64_t fileMs);
  void toggleEarlyStart();
  // What the bar shows now.
  TransportBarState transportBarState() const;

  // What the Status window shows of the run, all but the overlay's place; `toUtf8` brings a
  // cue's text from the run's code page into UTF-8.
  StatusFacts status(const std::function<std::string(std::string_view displayText, unsigned codePage)>& toUtf8) const;

  // Where the film is on screen, for a layout that places lines in the picture: the user's
  // rectangle, else the followed player's window, else the overlay's monitor. Cheap enough for
  // every frame. Without the window system's answers (usePictureWindows), an empty rectangle.
  void usePictureWindows(const PictureWindows& windows, const TickSource& ticks);
  PictureArea pictureArea();
  std::optional<PictureArea> userPictureArea() const { return userPictureArea_; }
  // The settings dialog's choice: nothing is Automatic. Stored, and taken at once.
  void setUserPictureArea(std::optional<PictureArea> area);

  // A second subtitle file shown with the run's. After a run started over `firstPath`: the
  // second file to load with it, when the stored pair has that first file; a pair stored with
  // another first file is forgotten.
  std::optional<std::string> rememberedSecond(std::string_view firstPath);
  // Shows `table` with the running run's lines and stores the pair; false without a run.
  bool addSecond(CueTable table, std::string_view secondPath, std::string_view firstPath);
  void removeSecond();
  bool hasSecond() const { return run_.pair() != nullptr; }
  const SecondLook& secondLook() const { return secondLook_; }
  // The settings dialog's choice: stored, and a second file shown is drawn in it at once.
  void setSecondLook(const SecondLook& look);

  bool onFreeClock() const { return run_.running() && &run_.clock() == &freeClock_; }
  const FreeClock& freeClock() const { return freeClock_; }
  const InterfacePlayerClock* interfacePlayerClock() const { return interfacePlayerClock_.get(); }
  bool onLearntPlayer() const { return run_.running() && &run_.clock() == &learntClock_; }

 private:
  void nudgeDelay(int32_t stepMs);
  void nudgeSecond(int32_t stepMs);
  void resetSync();
  void lineIsNow();
  void setTiming(const ClockTiming& timing);
  void followMemoryPlayer();
  PictureOwner pictureOwner() const;
  std::optional<LearntSearch> searchLearntPlayers(const ClockSearches& searches, std::string_view pinned);
  void startFreeClock(const CueTable& table);
  void notice(const std::string& text);

  SubtitleRun& run_;
  PlayerMemoryClock& playerClock_;
  LearntPlayerClock& learntClock_;
  SettingsStore& settings_;
  RunView* view_ = nullptr;
  UiLanguage language_ = UiLanguage::English;
  // A player that tells its time (VLC, MPC-HC, PotPlayer, mpv), while the run follows one.
  std::unique_ptr<InterfacePlayerClock> interfacePlayerClock_;
  std::optional<InterfacePlayer> interfacePlayer_;  // which one
  // The profile files whose refusal was said: once each while the program runs.
  std::set<std::string> toldProfiles_;
  // The clock the user drives, for a film whose player is not read.
  FreeClock freeClock_;
  // "This line is now": the anchor of two-point sync.
  LineSync lineSync_;
  bool syncKeys_ = true;
  bool freeClockChosen_ = false;
  bool earlyStart_ = false;  // the bar's start choice, as stored
  int64_t freeSpanMs_ = 0;   // the bar's slider: to the end of the file's last line
  std::optional<PictureArea> userPictureArea_;
  std::optional<PictureAreaResolver> pictureArea_;
  SecondLook secondLook_;
};

}  // namespace quorvane
