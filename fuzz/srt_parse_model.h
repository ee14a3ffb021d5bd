#pragma once
// The cue parse written plainly, with 1-based positions and naive searches, as a model for the
// fuzzer: the fast parse must give the same table for every small input. Quadratic; small
// inputs only.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "loading/srt_loader.h"

namespace quorvane::model {

inline int64_t findForward(std::string_view b, std::string_view pattern, int64_t from) {
  const auto size = static_cast<int64_t>(b.size()), length = static_cast<int64_t>(pattern.size());
  for (int64_t q = std::max<int64_t>(from, 1); q + length - 1 <= size; ++q) {
    if (b.substr(static_cast<size_t>(q - 1), pattern.size()) == pattern) return q;
  }
  return -1;
}

inline int64_t findBackward(std::string_view b, std::string_view pattern, int64_t upTo) {
  const auto length = static_cast<int64_t>(pattern.size());
  if (upTo < 1) return -1;
  for (int64_t q = std::min<int64_t>(upTo, static_cast<int64_t>(b.size())) - length + 1; q >= 1; --q) {
    if (b.substr(static_cast<size_t>(q - 1), pattern.size()) == pattern) return q;
  }
  return -1;
}

// B[a ... a + n - 1], clipped to the string.
inline std::string_view cut(std::string_view b, int64_t a, int64_t n) {
  const int64_t first = std::max<int64_t>(a, 1), last = std::min<int64_t>(a + n - 1, static_cast<int64_t>(b.size()));
  if (n <= 0 || first > last) return {};
  return b.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1));
}

// Time fields longer than maxField are read from their end (start time) or start (end time).
inline std::vector<Cue> parse(std::string_view b, int64_t maxField) {
  const auto size = static_cast<int64_t>(b.size());
  std::vector<Cue> cues;
  for (int64_t p = findForward(b, "-->", 1); p >= 1; p = findForward(b, "-->", p + 3)) {
    const int64_t s = findBackward(b, "\r\n", p) + 2 < 1 ? 1 : findBackward(b, "\r\n", p) + 2;
    int64_t e = findForward(b, "\r\n", p);
    if (e == -1) e = size + 1;
    std::string_view startText = cut(b, s, p - s);
    if (static_cast<int64_t>(startText.size()) > maxField) startText = startText.substr(startText.size() - maxField);
    const std::string_view endText = cut(b, p + 3, e - 1 - (p + 3) + 1).substr(0, static_cast<size_t>(maxField));
    Cue cue;
    cue.startMs = static_cast<int32_t>(static_cast<uint32_t>(parseSrtTime(startText)) - 500u);
    cue.endMs = static_cast<int32_t>(static_cast<uint32_t>(parseSrtTime(endText)) - 500u);
    const int64_t n = findForward(b, "-->", p + 3);
    int64_t t;
    if (n == -1) {
      t = size + 1;
    } else {
      const int64_t inner = findBackward(b, "\r\n", n);
      t = inner == -1 ? -1 : findBackward(b, "\r\n", inner);
    }
    std::string_view text;
    if (t >= e + 3) {
      text = cut(b, e + 2, t - 1 - (e + 2) + 1);
    } else {
      const int64_t r = findForward(b, "\r\n", e + 2);
      if (r != -1) text = cut(b, e + 2, r - 1 - (e + 2) + 1);
    }
    cue.text = trimCueText(text);
    cues.push_back(std::move(cue));
  }
  std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& c) { return a.startMs < c.startMs; });
  return cues;
}

}  // namespace quorvane::model
