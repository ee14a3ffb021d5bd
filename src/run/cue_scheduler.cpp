#include "run/cue_scheduler.h"

#include "loading/subtitle_tags.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/lead_bytes.h"

namespace quorvane {
namespace {

constexpr double kTolerance = 1e-7;

// Every index past the stored cues reads as a cue that no position reaches, so a table that
// lacks its end markers ends the walk instead of reading out of bounds.
const Cue& cueAt(const CueTable& table, int32_t index) {
  static const Cue kBeyond{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(), {}};
  if (index >= 1 && static_cast<size_t>(index) <= table.cues.size()) return table.at(index);
  return kBeyond;
}

// A cue's text ends at its first NUL byte.
std::string_view displayText(const Cue& cue) {
  const std::string_view text = cue.text;
  return text.substr(0, text.find('\0'));
}

int32_t truncateToInt32(double value) {
  if (!(value > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (!(value < std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

}  // namespace

std::vector<std::string_view> splitCueLines(std::string_view text, unsigned codePage) {
  std::vector<std::string_view> lines;
  size_t lineStart = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      lines.push_back(text.substr(lineStart, i - lineStart));
      i += 2;
      lineStart = i;
    } else {
      i += isLeadByteIn(codePage, static_cast<unsigned char>(text[i])) ? 2 : 1;
    }
  }
  if (lineStart < text.size()) lines.push_back(text.substr(lineStart));
  return lines;
}

int32_t countOverlayLines(std::string_view text, int32_t lineCapacity, unsigned codePage) {
  const double capacity = std::max(lineCapacity, 1);
  int64_t count = 0;
  for (const std::string_view line : splitCueLines(text, codePage)) {
    const double cells = static_cast<double>(line.size()) / 2;  // a single byte is half a cell
    const double whole = std::floor(cells / capacity);
    if (whole == 0) {
      count += 1;  // also an empty line
    } else if (std::fmod(cells, capacity) > kTolerance) {
      count += static_cast<int64_t>(whole) + 1;
    } else {
      count += static_cast<int64_t>(whole);
    }
  }
  return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

int32_t cueLineCount(std::string_view text, const SchedulerInputs& in) {
  return in.formattingTags ? countOverlayLines(visibleSubtitleText(text, in.codePage), in.lineCapacity, in.codePage)
                           : countOverlayLines(text, in.lineCapacity, in.codePage);
}

void CueScheduler::step(const CueTable& table, const SchedulerInputs& in, Overlay& overlay) {
  // The end markers start at kFirstMarkerStart; a position at or past them would walk the index
  // over the markers and off the table. Such a position is "after every cue" anyway.
  const int32_t p = std::min(in.positionMs, CueTable::kFirstMarkerStart - 1);
  const int32_t k = currentIndex_;
  const Cue& current = cueAt(table, k);
  const Cue& next = cueAt(table, k + 1);

  if (current.startMs <= p && p < current.endMs) {
    if (shownIndex_ != k) {
      overlay.setLeft(in.left);
      show(table, k, in, overlay);
    }
  } else if (current.endMs <= p && p < next.startMs) {
    clearShown(in, overlay);
  } else if (next.startMs <= p && p < next.endMs) {
    overlay.setLeft(in.left);
    currentIndex_ = k + 1;
    show(table, k + 1, in, overlay);
  } else if (p < next.endMs) {
    // Before the current cue: a jump backward. Walk again from the first cue on the next ticks;
    // the old text stays until then, unless the position lies before every cue: then nothing
    // will replace it, so it goes at once.
    currentIndex_ = 1;
    if (p < cueAt(table, 1).startMs) clearShown(in, overlay);
  } else {
    // A jump forward: find the last cue that starts before the position; the next tick shows.
    int32_t i = k + 2;
    while (i <= table.cueCount && cueAt(table, i).startMs < p) ++i;
    currentIndex_ = i - 1;
  }
}

void CueScheduler::show(const CueTable& table, int32_t index, const SchedulerInputs& in, Overlay& overlay) {
  const std::string_view text = displayText(cueAt(table, index));
  lineCount_ = cueLineCount(text, in);
  // Raise the overlay only when the text would reach below the screen, so that it ends exactly
  // at the bottom edge; the top returns to baseTop when the text is cleared.
  const double textHeight = static_cast<double>(lineCount_) * in.lineHeight;
  if (in.baseTop + textHeight - in.screenHeight > kTolerance) {
    overlay.setTop(truncateToInt32(in.screenHeight - textHeight));
  }
  overlay.setText(text);
  overlay.assertTopmost();
  shownIndex_ = index;
  textShown_ = true;
}

void CueScheduler::clear(const SchedulerInputs& in, Overlay& overlay) {
  overlay.setText({});
  overlay.setTop(in.baseTop);
  textShown_ = false;
  // Forget the cue: a position that comes back into it (a skip back into the line that just
  // ended) shows it again.
  shownIndex_ = 0;
}

}  // namespace quorvane
