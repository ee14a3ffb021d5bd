#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/ui_language.h"
#include "memory_player/learn_profile.h"
#include "memory_player/learn_scan.h"

// "Learn a player...": the pages the user goes through, what each asks, what runs after each
// Next, how each piece of work is judged, and every text the wizard shows. The window only
// shows the pages and runs the work on a thread of its own.
namespace quorvane {

// The pages that wait for the user.
enum class LearnPage {
  PickPlayer,     // the running programs with a window; Next with one picked
  FirstPosition,  // let the film play, type the position the player shows
  Pause,          // pause the film with the player's own key
  Play,           // play it again
  Seek,           // seek a minute or more away, type the position shown
  Restart,        // close the player, start it again, start the film
  Summary,        // what was found, and where it was saved
  Problem,        // why learning ended
};

// The work between two pages, in the order it runs; the window runs it on a worker thread.
enum class LearnWork : uint8_t {
  FirstScan,     // every value near the typed position
  Wait,          // a few seconds of the film doing what it was asked to
  Played,        // keep the values that ran on with the wall clock
  Reread,        // fresh readings after the user paused or played
  Paused,        // keep the values that stood
  Seeked,        // keep the values that jumped to the typed position
  FindPaths,     // pointer paths from the player's modules to the survivors
  Prove,         // the paths followed in the restarted player
};

// How long each Wait lasts: long enough that a running value moves past a value's own step
// (a displayed second), short enough not to bore.
inline constexpr int kLearnWaitMs = 3000;

// Survivors above this after the last step: one more seek is asked for.
inline constexpr size_t kLearnManyLeft = 1000;
// Seeks asked for at most before the learning gives up.
inline constexpr int kLearnMaxSeeks = 4;

// The work that pressing Next on `page` starts (empty: none), and the page shown after it when
// all went well.
std::span<const LearnWork> workAfter(LearnPage page);
LearnPage pageAfter(LearnPage page);

// Why learning ended, or a notice on a page that asks again.
enum class LearnProblem {
  None,
  Cancelled,        // the user pressed Cancel
  CannotOpen,       // the player cannot be opened for reading
  SixtyFourBit,     // a 64-bit player in the 32-bit program
  PlayerGone,       // the player exited while it was being learnt
  TooCommon,        // the first scan found the number in too many places
  NothingRanOn,     // nothing ran on with the film: paused, or a wrong typed time
  NothingStood,     // nothing stood while the film was paused
  NothingJumped,    // nothing jumped to the typed position with the seek
  ManyLeft,         // thousands left after the steps: one more seek (a notice on the Seek page)
  TooManyLeft,      // still thousands after kLearnMaxSeeks seeks
  NoPath,           // values follow the film, but no pointer path leads to them
  NoNewPlayer,      // Next on Restart with no new process of the player (a notice on that page)
  NewPlayerStands,  // the paths lead to values that stand in the new player: its film is not
                    // playing yet (a notice on the Restart page)
  NothingSurvives,  // no path leads to the position in the restarted player
  CannotSave,       // the profile could not be written
};

// What a finished piece of work means: a problem that ends the learning, or None (go on).
// `survivors`: the values kept (FindPaths: those a path leads to; Prove: the paths proved).
LearnProblem judgeWork(LearnWork work, learn::ScanOutcome outcome, size_t survivors);
// Before the paths are searched: thousands of survivors make the search slow and the choice a
// guess, so one more seek is asked for (ManyLeft), up to kLearnMaxSeeks seeks in all.
LearnProblem judgeLeft(size_t survivors, int seeks);

// The page shown when the work after `page` ended with `problem`: the next page when there was
// none, Seek again for ManyLeft, Restart again for NoNewPlayer and NewPlayerStands, else
// Problem (the end).
LearnPage pageAfterWork(LearnPage page, LearnProblem problem);

// The time box, filled as the user types: only the digits count, the colons are put in from the
// right ("12345" -> "1:23:45"); at most six digits are kept.
std::string fillTypedTime(std::string_view typed);
// The box's text as a position in ms, when it is one the player may show.
std::optional<int64_t> typedTimeMs(std::string_view boxText);

// Whether Next may be pressed on `page`: a program picked, or a position typed, and no work
// running.
bool learnNextEnabled(LearnPage page, bool picked, std::string_view boxText, bool working);

// ---- texts (UTF-8) --------------------------------------------------------------------------

enum class LearnText {
  MenuItem,  // "Learn a player..."
  Title,
  Next,
  Cancel,
  Close,
  ProgramColumn,
  TitleColumn,
  Count
};
std::string_view learnText(LearnText which, UiLanguage language);

// What a page asks of the user; `player` is the picked program's file name.
std::string learnPageText(LearnPage page, std::string_view player, UiLanguage language);
// The line under the page while work runs.
std::string learnWorkText(LearnWork work, UiLanguage language);
// A problem's message, naming the player.
std::string learnProblemText(LearnProblem problem, std::string_view player, UiLanguage language);

// What was found, shown on the last page.
struct LearnSummary {
  learn::Profile profile;
  int64_t tookMs = 0;     // from the first Next to the proof
  std::string savedTo;    // the profile's file, UTF-8
};
std::string learnSummaryText(const LearnSummary& summary, UiLanguage language);

}  // namespace quorvane
