#include "loading/overlap_pieces.h"

#include <algorithm>
#include <set>
#include <utility>

namespace quorvane {
namespace {

// A stretch shared by several events takes at most this much of each event's text: the
// budget below bounds the total, this keeps one huge line from using all of it.
constexpr size_t kMaxSharedEventBytes = 4096;

struct Boundary {
  int32_t timeMs;
  uint32_t event;
  bool start;
};

}  // namespace

void finishEventText(SubtitleEvent& event) {
  const auto trim = [](std::string& text) {
    size_t begin = 0, end = text.size();
    for (;;) {
      if (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
      else if (end - begin >= 2 && text[begin] == '\r' && text[begin + 1] == '\n') begin += 2;
      else break;
    }
    for (;;) {
      if (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
      else if (end - begin >= 2 && text[end - 2] == '\r' && text[end - 1] == '\n') end -= 2;
      else break;
    }
    text = text.substr(begin, end - begin);
  };
  trim(event.text);
  trim(event.tagged);
  event.lineCount = 1;
  for (size_t i = event.text.find("\r\n"); i != std::string::npos; i = event.text.find("\r\n", i + 2)) {
    ++event.lineCount;
  }
}

CueTable cutOverlaps(SubtitleEvents in) {
  std::vector<SubtitleEvent>& events = in.events;
  CueTable table;
  table.looks = std::move(in.looks);
  table.blockTexts.reserve(events.size());
  std::vector<Boundary> boundaries;
  boundaries.reserve(events.size() * 2);
  // The stored texts are at most twice the events' own and a megabyte: an event under many
  // short ones shows in many stretches, and past the budget stretches go empty.
  size_t budget = 1u << 20;
  for (uint32_t i = 0; i < events.size(); ++i) {
    SubtitleEvent& event = events[i];
    table.blockTexts.push_back(std::move(event.tagged));
    budget += 2 * event.text.size();
    if (event.startMs >= event.endMs || event.text.empty()) continue;
    boundaries.push_back({event.startMs, i, true});
    boundaries.push_back({event.endMs, i, false});
  }
  std::sort(boundaries.begin(), boundaries.end(), [](const Boundary& a, const Boundary& b) {
    return a.timeMs != b.timeMs ? a.timeMs < b.timeMs : a.event < b.event;
  });

  // Active events in the order they show: layer, then place in the file.
  std::set<std::pair<int32_t, uint32_t>> active;
  std::vector<Cue> cues;
  const auto pieceFrom = [&](int32_t fromMs, int32_t toMs) {
    Cue cue;
    cue.startMs = fromMs;
    cue.endMs = toMs;
    int32_t lines = 0;
    const bool shared = active.size() > 1;
    for (const auto& [layer, index] : active) {
      const SubtitleEvent& event = events[index];
      if (lines > 0 && lines + event.lineCount > kMaxPieceLines) break;
      const size_t cost = shared ? std::min(event.text.size(), kMaxSharedEventBytes) : event.text.size();
      if (cost + 2 > budget) break;
      budget -= cost + 2;
      if (!cue.text.empty()) cue.text += "\r\n";
      cue.text.append(event.text, 0, cost);
      cue.blocks.push_back({index, event.look, event.top});
      lines += event.lineCount;
    }
    if (cue.text.empty()) return;
    // The same text as the cue just before, which it touches: one cue (more events than a
    // piece holds came or went below the last line shown).
    if (!cues.empty() && cues.back().endMs == fromMs && cues.back().text == cue.text) {
      cues.back().endMs = toMs;
      return;
    }
    cues.push_back(std::move(cue));
  };

  for (size_t b = 0; b < boundaries.size();) {
    const int32_t now = boundaries[b].timeMs;
    for (; b < boundaries.size() && boundaries[b].timeMs == now; ++b) {
      SubtitleEvent& event = events[boundaries[b].event];
      if (boundaries[b].start) {
        active.emplace(event.layer, boundaries[b].event);
      } else {
        active.erase({event.layer, boundaries[b].event});
        std::string().swap(event.text);  // shown for the last time
      }
    }
    if (!active.empty() && b < boundaries.size()) pieceFrom(now, boundaries[b].timeMs);
  }

  std::vector<std::string> blockTexts = std::move(table.blockTexts);
  std::vector<TextLook> looks = std::move(table.looks);
  table = CueTable::fromSorted(std::move(cues));
  table.looks = std::move(looks);
  table.blockTexts = std::move(blockTexts);
  return table;
}

}  // namespace quorvane
