#include "memory_player/learn_scan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quorvane::learn {
namespace {

// Bytes read before each chunk, so that text cut by the chunk boundary is judged by the
// character before it; and the widest value, read past the chunk's end.
constexpr uint32_t textLeadBytes = 2;
constexpr uint32_t widestValue = 321;
// A step reads neighbouring candidates with one read of at most this many bytes.
constexpr uint32_t stepBlockBytes = 64u << 10;

int64_t now(const ScanControl& control) { return control.nowMs ? control.nowMs() : 0; }

std::optional<ScanOutcome> stopped(const ScanControl& control) {
  if (control.cancelled && control.cancelled()) return ScanOutcome::Cancelled;
  if (control.playerGone && control.playerGone()) return ScanOutcome::PlayerGone;
  return std::nullopt;
}

// The first scan's test of a chunk against one window: cheap range tests on the raw numbers
// first, the exact decode only for what passes them.
class Matcher {
 public:
  explicit Matcher(PositionWindow window) : window_(window) {
    const auto encodings = scannedEncodings();
    for (size_t i = 0; i < encodings.size(); ++i) {
      const Encoding& e = encodings[i];
      const auto index = static_cast<uint8_t>(i);
      // Raw ranges are a unit wider than the window: the decode settles the edges.
      const double low = std::floor((window.lowMs - 1) / e.unitMs);
      const double high = std::ceil((window.highMs + 1) / e.unitMs);
      switch (e.type) {
        case ValueType::Int32:
          if (low <= std::numeric_limits<int32_t>::max()) {
            int32_.push_back({static_cast<int64_t>(std::max(low, 0.0)),
                              static_cast<int64_t>(std::min(high, 2147483647.0)), index});
          }
          break;
        case ValueType::Int64:
          int64_.push_back({static_cast<int64_t>(std::max(low, 0.0)), static_cast<int64_t>(high), index});
          break;
        case ValueType::Float32:
          float32_.push_back({low, high, index});
          break;
        case ValueType::Float64:
          float64_.push_back({low, high, index});
          break;
        case ValueType::DigitRecord:
          digitRecord_ = index;
          break;
        default:
          (isUtf16Text(e.type) ? utf16_ : ascii_).push_back(index);
      }
    }
    // One test per type rules out nearly every value before the ranges are looked at.
    for (const auto& r : int32_) widen(int32Span_, r.low, r.high);
    for (const auto& r : int64_) widen(int64Span_, r.low, r.high);
    for (const auto& r : float32_) widen(float32Span_, r.low, r.high);
    for (const auto& r : float64_) widen(float64Span_, r.low, r.high);
  }

  // Buffer index 0 is at `address`; candidates may start in [begin, end) and read up to `size`.
  // Past `room` candidates it stops keeping them (one more than room is kept, so the caller
  // sees the limit crossed): a chunk full of zeros near the start of a film must not cost more
  // memory than the limit.
  void scan(const uint8_t* bytes, size_t size, size_t begin, size_t end, uint64_t address, int32_t readAtMs,
            size_t room, std::vector<Candidate>& out) const {
    found_.clear();
    room_ = room;
    scanNumbers(bytes, size, begin, end, address);
    scanText(bytes, size, begin, end, address);
    scanDigitRecords(bytes, size, begin, end);
    std::sort(found_.begin(), found_.end(), [](const Found& a, const Found& b) { return a.at < b.at; });
    for (const Found& f : found_) out.emplace_back(address + f.at, f.index, f.valueMs, readAtMs);
  }

 private:
  struct IntRange {
    int64_t low, high;
    uint8_t index;
  };
  struct RealRange {
    double low, high;
    uint8_t index;
  };
  struct Found {
    size_t at;
    uint8_t index;
    int32_t valueMs;
  };

  void confirm(const uint8_t* bytes, size_t size, size_t at, uint8_t index) const {
    const Encoding& e = scannedEncodings()[index];
    const auto width = encodingWidth(e.type);
    if (at + width > size) return;
    if (found_.size() > room_) return;
    const auto value = decodePositionMs(e, {bytes + at, width});
    if (value && *value >= window_.lowMs && *value <= window_.highMs) {
      found_.push_back({at, index, static_cast<int32_t>(*value)});
    }
  }

  void scanNumbers(const uint8_t* bytes, size_t size, size_t begin, size_t end, uint64_t address) const {
    const size_t first = begin + ((4 - (address + begin) % 4) % 4);
    // Most of a heap is zeros, which no window but one at a film's very start takes.
    const bool zeroMatches = window_.lowMs <= 0;
    for (size_t at = first; at < end && at + 4 <= size; at += 4) {
      if (!zeroMatches && at + 8 <= size) {
        uint64_t word;
        std::memcpy(&word, bytes + at, 8);
        if (word == 0) continue;
      }
      int32_t i32;
      float f32;
      std::memcpy(&i32, bytes + at, 4);
      std::memcpy(&f32, bytes + at, 4);
      if (i32 >= int32Span_.low && i32 <= int32Span_.high) confirmIn(int32_, i32, bytes, size, at);
      if (f32 >= float32Span_.low && f32 <= float32Span_.high) confirmIn(float32_, f32, bytes, size, at);
      if (at + 8 > size) continue;
      int64_t i64;
      double f64;
      std::memcpy(&i64, bytes + at, 8);
      std::memcpy(&f64, bytes + at, 8);
      if (i64 >= int64Span_.low && i64 <= int64Span_.high) confirmIn(int64_, i64, bytes, size, at);
      if (f64 >= float64Span_.low && f64 <= float64Span_.high) confirmIn(float64_, f64, bytes, size, at);
    }
  }

  template <class Ranges, class Value>
  void confirmIn(const Ranges& ranges, Value value, const uint8_t* bytes, size_t size, size_t at) const {
    for (const auto& r : ranges) {
      if (value >= r.low && value <= r.high) confirm(bytes, size, at, r.index);
    }
  }

  // Text is found by its first colon; a candidate must start the text (no digit or colon just
  // before it), so that "1:23:45" is not found again as "23:45".
  void scanText(const uint8_t* bytes, size_t size, size_t begin, size_t end, uint64_t address) const {
    const auto unitAt = [&](size_t at, size_t unit) -> uint32_t {
      return unit == 1 ? bytes[at] : bytes[at] | static_cast<uint32_t>(bytes[at + 1]) << 8;
    };
    const auto startsText = [&](size_t at, size_t unit) {
      if (at < unit) return at == 0;  // only at the start of a region is there nothing before
      const uint32_t before = unitAt(at - unit, unit);
      return before != ':' && (before < '0' || before > '9');
    };
    const size_t scanEnd = std::min(size, end + 8);
    for (size_t colon = begin; colon < scanEnd;) {
      const void* hit = std::memchr(bytes + colon, ':', scanEnd - colon);
      if (!hit) break;
      colon = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes);
      const bool wide = (address + colon) % 2 == 0 && colon + 1 < size && bytes[colon + 1] == 0;
      for (const uint8_t index : ascii_) {
        const size_t lead = scannedEncodings()[index].type == ValueType::AsciiHMmSs ? 1 : 2;
        if (colon < begin + lead) continue;
        const size_t at = colon - lead;
        if (at < end && startsText(at, 1)) confirm(bytes, size, at, index);
      }
      if (wide) {
        for (const uint8_t index : utf16_) {
          const size_t lead = scannedEncodings()[index].type == ValueType::Utf16HMmSs ? 2 : 4;
          if (colon < begin + lead) continue;
          const size_t at = colon - lead;
          if (at < end && startsText(at, 2)) confirm(bytes, size, at, index);
        }
      }
      ++colon;
    }
  }

  // The hours digit's byte narrows the places to decode to a few, found as memchr finds them.
  void scanDigitRecords(const uint8_t* bytes, size_t size, size_t begin, size_t end) const {
    if (!digitRecord_ || size < widestValue) return;
    const int64_t low = window_.lowMs < 0 ? 1 : window_.lowMs / 3'600'000 + 1;
    const int64_t high = std::min<int64_t>(10, window_.highMs / 3'600'000 + 1);
    const size_t last = std::min(end, size - widestValue + 1);
    for (int64_t hours = low; hours <= high; ++hours) {
      for (size_t at = begin; at < last; ++at) {
        const void* hit = std::memchr(bytes + at, static_cast<int>(hours), last - at);
        if (!hit) break;
        at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes);
        confirm(bytes, size, at, *digitRecord_);
      }
    }
  }

  PositionWindow window_;
  std::vector<IntRange> int32_, int64_;
  std::vector<RealRange> float32_, float64_;
  std::vector<uint8_t> ascii_, utf16_;
  std::optional<uint8_t> digitRecord_;
  template <class T>
  struct Span {
    T low = std::numeric_limits<T>::max();
    T high = std::numeric_limits<T>::lowest();
  };
  template <class T, class U>
  static void widen(Span<T>& span, U low, U high) {
    span.low = std::min(span.low, static_cast<T>(low));
    span.high = std::max(span.high, static_cast<T>(high));
  }
  Span<int64_t> int32Span_, int64Span_;
  Span<float> float32Span_;
  Span<double> float64Span_;
  mutable std::vector<Found> found_;
  mutable size_t room_ = 0;
};

bool keeps(const Candidate& c, int64_t valueMs, int64_t nowMs, const Step& step) {
  const int64_t elapsed = nowMs - c.readAtMs;
  const int64_t moved = valueMs - c.valueMs;
  const int64_t resolution = encodingResolutionMs(c.encoding());
  switch (step.kind) {
    case Step::Kind::Played:
      // A player updates its value once a frame or so, and the readings are stamped when read.
      return std::llabs(moved - elapsed) <= resolution + 250 + elapsed / 20;
    case Step::Kind::Paused:
      return std::llabs(moved) <= std::max<int64_t>(50, resolution - 1);
    case Step::Kind::Seeked: {
      if (std::llabs(moved) <= step.minChangeMs || std::llabs(moved - elapsed) <= step.minChangeMs) return false;
      if (!step.typed) return true;
      const PositionWindow window = windowAt(*step.typed, nowMs);
      return valueMs >= window.lowMs && valueMs <= window.highMs;
    }
    case Step::Kind::Reread:
      return true;
  }
  return false;
}

}  // namespace

std::optional<int64_t> parseShownPosition(std::string_view text) {
  int64_t fields[3] = {};
  size_t count = 0;
  for (size_t at = 0; count < 3;) {
    const size_t colon = std::min(text.find(':', at), text.size());
    const std::string_view field = text.substr(at, colon - at);
    if (field.empty() || field.size() > 2) return std::nullopt;
    for (const char c : field) {
      if (c < '0' || c > '9') return std::nullopt;
      fields[count] = fields[count] * 10 + (c - '0');
    }
    ++count;
    if (colon == text.size()) break;
    at = colon + 1;
    if (count == 3) return std::nullopt;  // a fourth field
  }
  if (count < 2) return std::nullopt;
  const int64_t seconds = fields[count - 1], minutes = fields[count - 2], hours = count == 3 ? fields[0] : 0;
  if (seconds > 59 || (count == 3 && minutes > 59)) return std::nullopt;
  return ((hours * 60 + minutes) * 60 + seconds) * 1000;
}

PositionWindow windowAt(const TypedPosition& typed, int64_t nowMs) {
  const int64_t ran = typed.playing ? std::max<int64_t>(0, nowMs - typed.typedAtMs) : 0;
  return {typed.shownMs - typingSlackMs, typed.shownMs + 999 + typingSlackMs + ran};
}

bool scanned(const MemoryRegion& region) {
  constexpr uint32_t writable = pageReadWrite | pageWriteCopy | pageExecuteReadWrite | pageExecuteWriteCopy;
  return region.state == memCommit && (region.protection & writable) != 0 &&
         (region.protection & pageGuard) == 0;
}

ScanOutcome walkScannedMemory(const OpenedProcess& process, const ScanControl& control, uint32_t chunkBytes,
                              uint32_t leadBytes, uint32_t tailBytes, WalkStats& stats, const ChunkVisitor& visit) {
  std::vector<uint8_t> buffer;
  const uint64_t chunk = std::max<uint32_t>(chunkBytes, 4096);
  for (uint64_t current = 0;;) {
    const auto region = process.query(current);
    if (!region) {
      return control.playerGone && control.playerGone() ? ScanOutcome::PlayerGone : ScanOutcome::Done;
    }
    const uint64_t regionEnd = region->base + region->size;
    if (regionEnd <= current) return ScanOutcome::Done;  // a region of size 0, or one past the top
    if (scanned(*region)) {
      ++stats.regionsScanned;
      for (uint64_t address = std::max(region->base, current); address < regionEnd; address += chunk) {
        if (const auto stop = stopped(control)) return *stop;
        const uint64_t readStart = address - std::min<uint64_t>(leadBytes, address - region->base);
        const uint64_t chunkEnd = std::min(address + chunk, regionEnd);
        const uint64_t readEnd = std::min(chunkEnd + tailBytes, regionEnd);
        const auto length = static_cast<uint32_t>(readEnd - readStart);
        if (buffer.size() < length) buffer.resize(length);
        if (!process.read(readStart, buffer.data(), length)) {
          ++stats.regionsSkipped;
          break;
        }
        stats.bytesRead += chunkEnd - address;
        if (!visit(buffer.data(), length, address - readStart, chunkEnd - readStart, readStart)) {
          return ScanOutcome::Done;
        }
      }
    }
    current = regionEnd;
  }
}

ScanResult firstScan(const OpenedProcess& process, const TypedPosition& typed, const ScanControl& control,
                     const ScanLimits& limits) {
  ScanResult result;
  bool tooMany = false;
  result.outcome = walkScannedMemory(
      process, control, limits.chunkBytes, textLeadBytes, widestValue - 1, result.stats,
      [&](const uint8_t* bytes, size_t size, size_t begin, size_t end, uint64_t address) {
        const int64_t readAt = now(control);
        Matcher(windowAt(typed, readAt))
            .scan(bytes, size, begin, end, address, static_cast<int32_t>(readAt),
                  limits.maxCandidates - result.candidates.size(), result.candidates);
        tooMany = result.candidates.size() > limits.maxCandidates;
        return !tooMany;
      });
  if (tooMany) {
    // Only the outcome counts: the candidates are a cut-off part of too many.
    result.candidates.erase(result.candidates.begin() + static_cast<std::ptrdiff_t>(limits.maxCandidates),
                            result.candidates.end());
    result.outcome = ScanOutcome::TooMany;
  }
  return result;
}

StepResult narrow(const OpenedProcess& process, std::vector<Candidate>& candidates, const Step& step,
                  const ScanControl& control) {
  StepResult result;
  result.before = candidates.size();
  std::vector<uint8_t> block;
  size_t kept = 0;
  for (size_t first = 0; first < candidates.size();) {
    if (const auto stop = stopped(control)) {
      candidates.clear();  // half narrowed: of no use any more
      result.outcome = *stop;
      return result;
    }
    // Neighbours share one read; the candidates are in address order.
    const uint64_t start = candidates[first].address();
    uint64_t end = start;
    size_t last = first;
    for (; last < candidates.size(); ++last) {
      const uint64_t valueEnd = candidates[last].address() + encodingWidth(candidates[last].encoding().type);
      if (valueEnd - start > stepBlockBytes) break;
      end = std::max(end, valueEnd);
    }
    block.resize(end - start);
    const bool whole = process.read(start, block.data(), static_cast<uint32_t>(block.size()));
    const int64_t readAt = now(control);
    for (size_t i = first; i < last; ++i) {
      Candidate c = candidates[i];
      const uint32_t width = encodingWidth(c.encoding().type);
      const uint64_t offset = c.address() - start;
      // Where the block spans an unreadable page, each value is read alone.
      if (!whole && !process.read(c.address(), block.data() + offset, width)) continue;
      const auto value = decodePositionMs(c.encoding(), {block.data() + offset, width});
      if (!value || !keeps(c, *value, readAt, step)) continue;
      c.valueMs = static_cast<int32_t>(*value);
      c.readAtMs = static_cast<int32_t>(readAt);
      candidates[kept++] = c;
    }
    first = last;
  }
  candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(kept), candidates.end());
  result.after = kept;
  return result;
}

}  // namespace quorvane::learn
