#pragma once

#include <cstdint>

#include "loading/cue_table.h"
#include "overlay/overlay.h"
#include "overlay/overlay_metrics.h"
#include "platform/precise_time.h"
#include "platform/tick_source.h"
#include "sync/cue_scheduler.h"
#include "sync/memory_reader.h"
#include "sync/playback_clock.h"
#include "sync/precise_clock.h"
#include "sync/player_locator.h"

namespace quorvane {

// What the controls feed into a run: read fresh on every tick, changed at any time.
struct RunInputs {
  int32_t delayMs = 0;       // the delay box: positive shows the subtitles later
  int32_t left = 0;          // horizontal-position slider
  int32_t baseTop = 0;       // vertical-position slider
  int32_t screenHeight = 0;  // taken when the run starts
  OverlayMetrics metrics;    // from the font-size and width sliders
  bool formattingTags = false;  // the overlay hides formatting tags: count visible text only
};

// A subtitle run: the loaded cues, the player they follow, the playback clock and the cue
// scheduler, stepped together once per timer tick. The clock and the scheduler outlive a
// single run (a new run on the same player carries the clock on), so one object serves every
// run of the program.
class SubtitleRun {
 public:
  SubtitleRun(const MemoryReader& memory, const TickSource& ticks,
              const PreciseTimeSource& precise = systemPreciseTimeSource())
      : memory_(memory), clock_(memory, ticks), preciseClock_(memory, precise) {}

  // Where the clock reads from. Each search sets it, whether or not it found a player, and a
  // running run follows the new one at once; another player process starts the clock afresh.
  // Without a player the run shows nothing.
  void setPlayer(const PlayerLocation& player);
  const PlayerLocation& player() const { return player_; }

  // Starts a run over `table` from its first cue. `displayCodePage` is the code page the texts
  // are in (the table's own, or the system's when the table keeps the file's bytes).
  void start(CueTable table, unsigned displayCodePage);

  // One tick: the clock reads the player's time, then the scheduler updates the overlay. Once
  // the player's process is gone, the shown text is cleared and later ticks do nothing.
  void tick(Overlay& overlay);

  // Precise timing: ticks read the precise clock, and between ticks moment() runs the
  // scheduler at fine reads and at the instants cues start and end.
  void setPrecise(bool on) { precise_ = on; }
  bool precise() const { return precise_; }

  // A moment between ticks (precise timing only): a fine read if one is due, then the
  // scheduler at the position of this instant.
  void moment(Overlay& overlay);

  // Microseconds until the run next needs a moment: the next fine read or the next cue start
  // or end, whichever comes first; -1 when none is due (not precise, paused, player gone).
  int64_t untilNextMomentUs() const;

  RunInputs& inputs() { return inputs_; }
  const CueTable& table() const { return table_; }
  const CueScheduler& scheduler() const { return scheduler_; }
  int32_t positionMs() const { return precise_ ? preciseClock_.positionNow(inputs_.delayMs) : clock_.positionMs(); }
  bool playerGone() const { return playerGone_; }

 private:
  void stepAt(int32_t positionMs, int32_t secondsByte, Overlay& overlay);
  ClockInputs clockInputs() const { return {player_.playerPid, player_.recordBase, inputs_.delayMs}; }

  const MemoryReader& memory_;
  PlaybackClock clock_;
  PreciseClock preciseClock_;
  bool precise_ = false;
  CueScheduler scheduler_;
  CueTable table_;
  unsigned codePage_ = 0;
  PlayerLocation player_;
  RunInputs inputs_;
  bool playerGone_ = false;
};

}  // namespace quorvane
