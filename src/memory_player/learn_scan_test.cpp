#include "memory_player/learn_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "memory_player/fake_process_space.h"

namespace quorvane::learn {
namespace {

constexpr uint32_t pid = 7;

// The bytes a player that keeps its position in `e` holds at `ms`.
std::vector<uint8_t> encode(const Encoding& e, int64_t ms) {
  const auto bytesOf = [](const auto value) {
    std::vector<uint8_t> out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
  };
  const double units = static_cast<double>(ms) / e.unitMs;
  const int64_t h = ms / 3'600'000, m = ms / 60'000 % 60, s = ms / 1000 % 60;
  char text[32];
  switch (e.type) {
    case ValueType::Int32: return bytesOf(static_cast<int32_t>(std::llround(units)));
    case ValueType::Int64: return bytesOf(static_cast<int64_t>(std::llround(units)));
    case ValueType::Float32: return bytesOf(static_cast<float>(units));
    case ValueType::Float64: return bytesOf(units);
    case ValueType::DigitRecord: {
      std::vector<uint8_t> out(321, 0);
      const int64_t digits[] = {h, m / 10, m % 10, s / 10, s % 10};
      for (int i = 0; i < 5; ++i) out[80 * i] = static_cast<uint8_t>(digits[i] + 1);
      return out;
    }
    case ValueType::AsciiHMmSs: case ValueType::Utf16HMmSs:
      std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", (long long)h, (long long)m, (long long)s);
      break;
    case ValueType::AsciiHhMmSs: case ValueType::Utf16HhMmSs:
      std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", (long long)h, (long long)m, (long long)s);
      break;
    default:
      std::snprintf(text, sizeof text, "%02lld:%02lld", (long long)(h * 60 + m), (long long)s);
  }
  std::vector<uint8_t> out;
  const bool wide = isUtf16Text(e.type);
  for (const char* c = text; *c; ++c) {
    out.push_back(static_cast<uint8_t>(*c));
    if (wide) out.push_back(0);
  }
  return out;
}

bool holds(const std::vector<Candidate>& candidates, uint64_t address, const Encoding& e) {
  for (const auto& c : candidates) {
    if (c.address() == address && c.encoding() == e) return true;
  }
  return false;
}

size_t at(const std::vector<Candidate>& candidates, uint64_t address) {
  size_t n = 0;
  for (const auto& c : candidates) n += c.address() == address;
  return n;
}

struct Fixture {
  FakeProcessAccess access;
  FakeSpace& space = access.space(pid);
  std::unique_ptr<OpenedProcess> process;
  int64_t clockMs = 0;
  ScanControl control{[this] { return clockMs; }, {}, [this] { return space.gone; }};

  Fixture() { space.limit = 0x7FFF0000; }
  OpenedProcess& opened() {
    if (!process) process = access.open(pid);
    return *process;
  }
  FakeRegion& heap(uint64_t base, uint32_t size, uint32_t protection = pageReadWrite) {
    auto& r = space.add(base, size, protection, memPrivate, base);
    std::fill(r.bytes.begin(), r.bytes.end(), 0);
    return r;
  }
};

TEST(FirstScanTest, FindsWhatLiesInTheTypedWindowInWritableCommittedMemoryOnly) {
  Fixture f;
  f.heap(0x10000, 0x4000);
  f.heap(0x20000, 0x1000, pageReadonly);
  f.heap(0x30000, 0x1000, pageReadWrite | pageGuard);
  f.heap(0x40000, 0x1000, pageExecuteReadWrite);
  const int64_t position = 3'723'000;  // 1:02:03, as typed
  const Encoding ms32{ValueType::Int32, 1}, seconds{ValueType::Float64, 1000},
      hmmss{ValueType::AsciiHMmSs, 1}, wide{ValueType::Utf16HhMmSs, 1},
      digits{ValueType::DigitRecord, 1}, ticks{ValueType::Int64, 0.0001};
  const struct {
    uint64_t address;
    Encoding encoding;
    int64_t ms;
    bool found;
  } cases[] = {
      {0x10000, ms32, position + 500, true},
      {0x10010, ms32, position - 1600, false},   // before the window
      {0x10020, ms32, position + 2600, false},   // past it (the film stood)
      {0x10031, ms32, position, false},          // not on a 4-byte boundary
      {0x10040, seconds, position + 999, true},
      {0x10100, hmmss, position, true},
      {0x10201, wide, position, false},          // UTF-16 at an odd address
      {0x10300, wide, position, true},
      {0x10400, digits, position, true},
      {0x10FFC, ticks, position, true},          // straddles a chunk boundary
      {0x13FF9, hmmss, position, true},          // ends at the region's last byte
      {0x20000, ms32, position, false},          // read-only
      {0x30000, ms32, position, false},          // guard page
      {0x40000, ms32, position, true},
  };
  for (const auto& c : cases) f.space.put(c.address, encode(c.encoding, c.ms));
  // Part of a longer text is not a text of its own: "01:02:03" holds "1:02:03" and "02:03".
  const Encoding hhmmss{ValueType::AsciiHhMmSs, 1};
  f.space.put(0x10600, encode(hhmmss, position));

  const ScanResult result =
      firstScan(f.opened(), {position, 0, false}, f.control, {.maxCandidates = 1000, .chunkBytes = 4096});
  EXPECT_EQ(result.outcome, ScanOutcome::Done);
  for (const auto& c : cases) {
    EXPECT_EQ(holds(result.candidates, c.address, c.encoding), c.found) << std::hex << c.address;
  }
  EXPECT_TRUE(holds(result.candidates, 0x10600, hhmmss));
  EXPECT_EQ(at(result.candidates, 0x10601), 0u);
  EXPECT_EQ(at(result.candidates, 0x10603), 0u);
  EXPECT_TRUE(std::is_sorted(result.candidates.begin(), result.candidates.end(),
                             [](const Candidate& a, const Candidate& b) { return a.address() < b.address(); }));
  EXPECT_EQ(result.stats.regionsScanned, 2u);
  EXPECT_EQ(result.stats.bytesRead, 0x5000u);
}

TEST(FirstScanTest, EndsCleanlyOnCancelExitTooManyAndRegionsThatChangeUnderIt) {
  const int64_t position = 600'000;
  const Encoding seconds{ValueType::Float32, 1000};  // bytes no other encoding reads as a position
  enum class Fault { None, Cancel, Exit, VanishAhead, ProtectAhead, TooMany };
  const struct {
    const char* what;
    Fault fault;
    ScanOutcome outcome;
    size_t candidates;
    uint32_t skipped;
  } cases[] = {
      {"undisturbed", Fault::None, ScanOutcome::Done, 3, 0},
      // Asked between chunks: the chunk under way is finished.
      {"cancel", Fault::Cancel, ScanOutcome::Cancelled, 2, 0},
      {"player exits", Fault::Exit, ScanOutcome::PlayerGone, 1, 1},
      // A region already queried goes away, or becomes unreadable, before its read.
      {"region vanishes", Fault::VanishAhead, ScanOutcome::Done, 2, 1},
      {"protection changes", Fault::ProtectAhead, ScanOutcome::Done, 2, 1},
      {"too many", Fault::TooMany, ScanOutcome::TooMany, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.heap(0x10000, 0x2000);
    f.heap(0x20000, 0x1000);
    f.space.put(0x10000, encode(seconds, position));
    f.space.put(0x11000, encode(seconds, position));
    f.space.put(0x20000, encode(seconds, position));
    bool cancel = false;
    f.control.cancelled = [&] { return cancel; };
    f.space.beforeRead = [&](uint64_t address) {
      if (address < 0x10F00) return;  // the second chunk's read begins just before 0x11000
      if (c.fault == Fault::Cancel) cancel = true;
      if (c.fault == Fault::Exit) f.space.gone = true;
      if (c.fault == Fault::VanishAhead || c.fault == Fault::ProtectAhead) {
        FakeRegion* r = f.space.at(0x11000);
        if (!r) return;
        if (c.fault == Fault::ProtectAhead) r->readable = false;
        else r->info.size = 0x1000;  // the region's tail is released: the read runs off it
      }
    };
    const ScanResult result = firstScan(f.opened(), {position, 0, false}, f.control,
                                        {.maxCandidates = c.fault == Fault::TooMany ? 2u : 100u, .chunkBytes = 4096});
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.candidates.size(), c.candidates);
    EXPECT_EQ(result.stats.regionsSkipped, c.skipped);
  }
}

TEST(ParseShownPositionTest, TakesWhatAPlayerShowsAndNothingElse) {
  const struct {
    const char* text;
    std::optional<int64_t> expected;
  } cases[] = {
      {"1:02:03", 3'723'000}, {"01:02:03", 3'723'000}, {"62:03", 3'723'000}, {"2:03", 123'000},
      {"0:00", 0},            {"1:60:00", std::nullopt}, {"1:02:60", std::nullopt}, {"123:00", std::nullopt},
      {"1:02:03:04", std::nullopt}, {"1:2:3:", std::nullopt}, {"", std::nullopt}, {"15", std::nullopt},
      {"1: 02", std::nullopt}, {":02", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseShownPosition(c.text), c.expected) << c.text;
}

TEST(WindowTest, ReachesFromTheShownSecondToWhereThePlayingFilmCanBeNow) {
  const struct {
    TypedPosition typed;
    int64_t nowMs;
    PositionWindow expected;
  } cases[] = {
      {{60'000, 1000, true}, 1000, {60'000 - typingSlackMs, 60'999 + typingSlackMs}},
      {{60'000, 1000, true}, 4000, {60'000 - typingSlackMs, 63'999 + typingSlackMs}},
      {{60'000, 1000, false}, 4000, {60'000 - typingSlackMs, 60'999 + typingSlackMs}},
  };
  for (const auto& c : cases) {
    const auto w = windowAt(c.typed, c.nowMs);
    EXPECT_EQ(w.lowMs, c.expected.lowMs);
    EXPECT_EQ(w.highMs, c.expected.highMs);
  }
}

// A player that keeps its position in one encoding, beside decoys in the same encoding that a
// careless search would take for it.
struct Film {
  Fixture& f;
  Encoding encoding;
  int64_t filmMs = 2'000'000;
  int64_t ignoresSeeksMs = filmMs;  // a copy that runs with the film but never seeks
  int64_t startWallMs = filmMs;     // a counter of the wall clock, running while paused too
  int64_t constantMs = filmMs;      // the position at the start, never updated
  bool playing = true;
  static constexpr uint64_t position = 0x50000, wall = 0x50400, stale = 0x50800, constant = 0x50C00;

  void write() {
    f.space.put(position, encode(encoding, filmMs));
    f.space.put(wall, encode(encoding, startWallMs + f.clockMs));
    f.space.put(stale, encode(encoding, ignoresSeeksMs));
    f.space.put(constant, encode(encoding, constantMs));
  }
  void run(int64_t ms) {
    f.clockMs += ms;
    if (playing) {
      filmMs += ms;
      ignoresSeeksMs += ms;
    }
    write();
  }
};

TEST(NarrowTest, TheValueThatFollowsTheFilmOutlastsEveryDecoyInEachEncoding) {
  for (size_t i = 0; i < scannedEncodings().size(); ++i) {
    const Encoding& e = scannedEncodings()[i];
    // 32-bit counters of µs and 100 ns overflow long before a film's end.
    if (e.type == ValueType::Int32 && e.unitMs < 1) continue;
    SCOPED_TRACE(testing::Message() << "encoding " << i);
    Fixture f;
    f.heap(0x50000, 0x1000);
    Film film{f, e};
    film.write();
    const TypedPosition typed{film.filmMs / 1000 * 1000, 0, true};
    film.run(700);  // the user types
    ScanResult scan = firstScan(f.opened(), typed, f.control);
    ASSERT_EQ(scan.outcome, ScanOutcome::Done);
    auto& candidates = scan.candidates;
    for (const uint64_t a : {Film::position, Film::wall, Film::stale, Film::constant}) {
      EXPECT_TRUE(holds(candidates, a, e)) << std::hex << a;
    }

    const auto step = [&](Step s) { return narrow(f.opened(), candidates, s, f.control).outcome; };
    film.run(3000);
    EXPECT_EQ(step({.kind = Step::Kind::Played}), ScanOutcome::Done);
    EXPECT_FALSE(holds(candidates, Film::constant, e));
    film.run(1200);
    film.playing = false;
    film.run(800);
    step({.kind = Step::Kind::Reread});
    film.run(3000);
    step({.kind = Step::Kind::Paused});
    EXPECT_FALSE(holds(candidates, Film::wall, e));
    EXPECT_TRUE(holds(candidates, Film::stale, e));
    film.playing = true;
    film.run(500);
    step({.kind = Step::Kind::Reread});
    film.run(1000);
    film.filmMs += 60'000;  // the user seeks a minute on
    film.run(2000);
    step({.kind = Step::Kind::Seeked, .minChangeMs = 5000, .typed = TypedPosition{film.filmMs / 1000 * 1000, f.clockMs, true}});
    film.run(3000);
    step({.kind = Step::Kind::Played});
    EXPECT_FALSE(holds(candidates, Film::stale, e));
    EXPECT_TRUE(holds(candidates, Film::position, e));
    for (const auto& c : candidates) EXPECT_EQ(c.address(), Film::position);
  }
}

TEST(NarrowTest, DropsWhatCannotBeReadAndStopsOnCancelOrExit) {
  const Encoding ms32{ValueType::Int32, 1};
  for (const bool exits : {false, true}) {
    Fixture f;
    f.heap(0x10000, 0x1000);
    f.heap(0x12000, 0x1000);
    f.space.put(0x10000, encode(ms32, 5000));
    f.space.put(0x12000, encode(ms32, 5000));
    ScanResult scan = firstScan(f.opened(), {5000, 0, false}, f.control);
    ASSERT_GT(at(scan.candidates, 0x12000), 0u);
    const size_t kept = at(scan.candidates, 0x10000);
    // Both in one block read, which fails on the gap between them: each is read alone.
    f.space.at(0x12000)->readable = false;
    EXPECT_EQ(narrow(f.opened(), scan.candidates, {.kind = Step::Kind::Paused}, f.control).after, kept);
    EXPECT_EQ(at(scan.candidates, 0x10000), kept);

    bool cancel = false;
    f.control.cancelled = [&] { return cancel; };
    (exits ? f.space.gone : cancel) = true;
    const auto result = narrow(f.opened(), scan.candidates, {.kind = Step::Kind::Paused}, f.control);
    EXPECT_EQ(result.outcome, exits ? ScanOutcome::PlayerGone : ScanOutcome::Cancelled);
    EXPECT_TRUE(scan.candidates.empty());
  }
}

}  // namespace
}  // namespace quorvane::learn
