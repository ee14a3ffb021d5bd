#pragma once

// The arithmetic of the end-to-end sync benchmark, apart from the windows and processes it
// drives: the cues it writes, the player's true position over time, and what the label showed.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::syncbench {

// A cue with the times the program stores: 500 ms before the file's.
struct PlannedCue {
  int32_t startMs = 0;
  int32_t endMs = 0;
  std::string text;
};
inline constexpr int32_t kStoredEarlierMs = 500;

// `count` cues from `firstStartMs` on: starts 2.7 to 3.7 s apart, each shown 1.5 to 2.3 s, so
// every gap is at least 0.4 s; no time falls on a whole second, so a clock that only knows
// whole seconds cannot look right by chance. The same seed gives the same cues.
inline std::vector<PlannedCue> planCues(int count, int32_t firstStartMs, uint32_t seed) {
  uint32_t state = seed;
  const auto next = [&state](int32_t range) {
    state = state * 1664525u + 1013904223u;  // a plain LCG: repeatable, good enough for spacing
    return static_cast<int32_t>((state >> 8) % static_cast<uint32_t>(range));
  };
  const auto offWholeSecond = [](int32_t ms) { return ms % 1000 == 0 ? ms + 137 : ms; };
  std::vector<PlannedCue> cues;
  int32_t start = offWholeSecond(firstStartMs);
  for (int i = 0; i < count; ++i) {
    if (i > 0) start = offWholeSecond(cues.back().startMs + 2700 + next(1000));
    const int32_t end = offWholeSecond(start + 1500 + next(800));
    char text[32];
    std::snprintf(text, sizeof text, "cue %02d", i + 1);
    cues.push_back({start, end, text});
  }
  return cues;
}

inline std::string srtTime(int32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d,%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                ms % 1000);
  return text;
}

// The file whose loading gives exactly these stored cues.
inline std::string srtText(const std::vector<PlannedCue>& cues) {
  std::string out;
  for (size_t i = 0; i < cues.size(); ++i) {
    out += std::to_string(i + 1) + "\r\n" + srtTime(cues[i].startMs + kStoredEarlierMs) + " --> " +
           srtTime(cues[i].endMs + kStoredEarlierMs) + "\r\n" + cues[i].text + "\r\n\r\n";
  }
  return out;
}

// The player's true position as a function of the performance counter, from what the player
// reported: between two reports it either plays at real speed or stands still. Reports come
// with every command (pause, resume, seek), so a stretch never spans a change of state.
class TruePosition {
 public:
  struct Report {
    int64_t counter = 0;
    int64_t positionUs = 0;
    bool playing = false;
  };

  explicit TruePosition(int64_t countsPerSecond) : frequency_(countsPerSecond) {}

  // Reports must come in the order they were taken.
  void add(const Report& report) { reports_.push_back(report); }
  bool empty() const { return reports_.empty(); }

  // The position at `counter` (at or after the first report).
  int64_t positionUsAt(int64_t counter) const {
    const Report* from = &reports_.front();
    for (const Report& r : reports_) {
      if (r.counter > counter) break;
      from = &r;
    }
    return from->playing ? from->positionUs + elapsedUs(counter - from->counter) : from->positionUs;
  }

  // The first counter at which the position is at least `positionUs`; a position that a seek
  // jumped over is reached at the seek. Nothing when the player never gets there (it stands
  // still before it).
  std::optional<int64_t> counterReaching(int64_t positionUs) const {
    for (size_t i = 0; i < reports_.size(); ++i) {
      const Report& r = reports_[i];
      if (r.positionUs >= positionUs) return r.counter;
      if (!r.playing) continue;
      const int64_t at = r.counter + countsFor(positionUs - r.positionUs);
      if (i + 1 == reports_.size() || at < reports_[i + 1].counter) return at;
    }
    return std::nullopt;
  }

  double msBetween(int64_t from, int64_t to) const {
    return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency_);
  }

 private:
  int64_t elapsedUs(int64_t counts) const {
    return counts / frequency_ * 1'000'000 + counts % frequency_ * 1'000'000 / frequency_;
  }
  // Rounded up: the first whole count at which that much time has passed.
  int64_t countsFor(int64_t us) const {
    return us / 1'000'000 * frequency_ + (us % 1'000'000 * frequency_ + 999'999) / 1'000'000;
  }

  int64_t frequency_;
  std::vector<Report> reports_;
};

// One change of the label's text, seen at `counter`.
struct LabelChange {
  int64_t counter = 0;
  std::string text;
};

// What the label did with one cue: how often its text appeared, when it first appeared and
// when that first appearance ended (the next change).
struct CueSeen {
  int appearances = 0;
  std::optional<int64_t> shown;
  std::optional<int64_t> hidden;
};

struct LabelHistory {
  std::vector<CueSeen> cues;  // parallel to the planned cues
  int unknownTexts = 0;       // appearances of a text no cue has
};

inline LabelHistory matchLabel(const std::vector<PlannedCue>& cues, const std::vector<LabelChange>& changes) {
  LabelHistory out;
  out.cues.resize(cues.size());
  for (size_t k = 0; k < changes.size(); ++k) {
    if (changes[k].text.empty()) continue;
    const auto cue = std::find_if(cues.begin(), cues.end(),
                                  [&](const PlannedCue& c) { return c.text == changes[k].text; });
    if (cue == cues.end()) {
      ++out.unknownTexts;
      continue;
    }
    CueSeen& seen = out.cues[static_cast<size_t>(cue - cues.begin())];
    if (seen.appearances++ > 0) continue;
    seen.shown = changes[k].counter;
    if (k + 1 < changes.size()) seen.hidden = changes[k + 1].counter;
  }
  return out;
}

struct Summary {
  size_t n = 0;
  double median = 0, p95 = 0, max = 0, min = 0;
};

// Median and 95th percentile by nearest rank (values that occurred, not interpolated).
inline Summary summarize(std::vector<double> values) {
  Summary s;
  s.n = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const auto rank = [&](double q) {
    const auto r = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::max<size_t>(r, 1) - 1];
  };
  s.median = rank(0.5);
  s.p95 = rank(0.95);
  s.min = values.front();
  s.max = values.back();
  return s;
}

}  // namespace quorvane::syncbench
