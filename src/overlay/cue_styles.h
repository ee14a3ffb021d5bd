#pragma once

#include <string_view>
#include <vector>

#include "loading/cue_table.h"

namespace quorvane {

// How the cues of an ASS/SSA or WebVTT file are styled, for an overlay that draws styles: the
// run answers for the cue it is showing.
class CueStyles {
 public:
  virtual ~CueStyles() = default;
  // The blocks of the cue whose text the overlay was just given; null for a plain cue.
  virtual const std::vector<CueBlock>* blocksOf(std::string_view text) const = 0;
  virtual const CueTable& table() const = 0;  // the looks and texts the blocks point at
};

}  // namespace quorvane
