#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "loading/cue_table.h"
#include "overlay/overlay.h"
#include "run/cue_scheduler.h"

namespace quorvane {

// How the second file's lines look beside the first's: smooth text draws them in their own size
// and colour; the plain label draws both in the label's font, one block over the other.
struct SecondLook {
  int32_t sizePercent = 80;    // of the user's font size
  uint32_t colour = 0xFFE680;  // 0xRRGGBB: a pale yellow, apart from the first file's white
  bool above = false;          // the second's block over the first's, or under it
  bool operator==(const SecondLook&) const = default;
};

// A second subtitle file shown with the run's first (say, English lines under Chinese ones). Both
// follow the run's clock and delay; the second has a nudge of its own on top. Each file keeps its
// own scheduler; the overlay gets one text made of the two cues, one block stacked on the other,
// so their lines never cover each other.
class SubtitlePair {
 public:
  // `first` is the run's table: its styles are copied so that a styled first cue keeps them.
  SubtitlePair(CueTable second, SecondLook look, const CueTable& first);

  // One step of both schedulers at the run's position (none: both texts go), then the overlay
  // gets the pair's text and place if either text changed.
  void step(const CueTable& first, CueScheduler& firstScheduler, const SchedulerInputs& in, bool hasPosition,
            Overlay& overlay);

  // Shows the second's cues later by this much (like the delay: negative shows them earlier).
  void setOffset(int32_t offsetMs) { offsetMs_ = offsetMs; }
  int32_t offsetMs() const { return offsetMs_; }
  const SecondLook& look() const { return look_; }
  const CueTable& table() const { return second_; }
  const CueScheduler& scheduler() const { return scheduler_; }
  // The second's position when the first's is `firstPositionMs`.
  int32_t positionMs(int32_t firstPositionMs) const;

  // For smooth text: the blocks of the overlay's text when it is the pair's (null otherwise),
  // pointing into styleTable().
  const std::vector<CueBlock>* blocksOf(std::string_view text) const;
  const CueTable& styleTable() const { return styles_; }

 private:
  // The text a scheduler gives, kept until the pair composes it with the other's.
  class TextCapture final : public NullOverlay {
   public:
    void setText(std::string_view text) override {
      this->text = text;
      changed = true;
    }
    std::string_view text;
    bool changed = false;
  };

  void compose(const CueTable& first, const CueScheduler& firstScheduler, const SchedulerInputs& in,
               Overlay& overlay);

  CueTable second_;
  SecondLook look_;
  CueScheduler scheduler_;
  int32_t offsetMs_ = 0;
  TextCapture firstText_, secondText_;
  std::string text_;  // what the overlay shows
  // The first's looks and block texts, then the plain first's look and the second's; the last two
  // block texts hold the shown cues' plain lines.
  CueTable styles_;
  std::vector<CueBlock> blocks_;
};

}  // namespace quorvane
