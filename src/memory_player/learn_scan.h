#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "memory_player/learn_encodings.h"
#include "platform/process_access.h"

// Finding where a player keeps its position: a first scan of its writable memory for every
// value near the position the user read off the player, then steps that keep the values that
// behave as the film did (ran on while it played, stood while it was paused, jumped with a seek).
namespace quorvane::learn {

// One (address, encoding) that may hold the position, with its latest reading. 16 bytes: the
// encoding's index into scannedEncodings() rides in the address's top byte, which no user
// address space reaches.
class Candidate {
 public:
  Candidate(uint64_t address, uint8_t encodingIndex, int32_t valueMs, int32_t readAtMs)
      : valueMs(valueMs),
        readAtMs(readAtMs),
        addressAndEncoding_(address | static_cast<uint64_t>(encodingIndex) << 56) {}
  uint64_t address() const { return addressAndEncoding_ & ((1ull << 56) - 1); }
  uint8_t encodingIndex() const { return static_cast<uint8_t>(addressAndEncoding_ >> 56); }
  const Encoding& encoding() const { return scannedEncodings()[encodingIndex()]; }

  int32_t valueMs;   // the position it gave
  int32_t readAtMs;  // when it was read, on the scan's clock

 private:
  uint64_t addressAndEncoding_;
};
static_assert(sizeof(Candidate) == 16);

// What the scan and the steps are told from outside; every member may be left empty.
struct ScanControl {
  std::function<int64_t()> nowMs;        // a steady clock in ms from the start of the learning
  std::function<bool()> cancelled;       // asked between chunks: the user pressed Cancel
  std::function<bool()> playerGone;      // asked between chunks and where the walk ends early
};

// The position the user read off the player: whole seconds, typed while the film played or
// stood, at `typedAtMs` on the scan's clock (when they began to type).
struct TypedPosition {
  int64_t shownMs = 0;
  int64_t typedAtMs = 0;
  bool playing = true;
};

// A position as a player shows it, "H:MM:SS", "HH:MM:SS", "M:SS" or "MM:SS" (minutes and
// seconds below 60 where an hour is given), in ms; nothing for anything else.
std::optional<int64_t> parseShownPosition(std::string_view text);

// The values a position the user typed allows at `nowMs`: the display shows whole seconds
// (truncated), a person reads and types it with some delay, and a playing film runs on meanwhile.
struct PositionWindow {
  int64_t lowMs;
  int64_t highMs;
};
PositionWindow windowAt(const TypedPosition& typed, int64_t nowMs);
inline constexpr int64_t typingSlackMs = 1500;

enum class ScanOutcome { Done, Cancelled, PlayerGone, TooMany };

struct ScanLimits {
  // 2^21 candidates of 16 bytes: the scan holds at most 32 MiB of them (48 MiB while their
  // vector last grows), plus one chunk and the chunk's own finds, which stop at the limit too.
  size_t maxCandidates = size_t{1} << 21;
  uint32_t chunkBytes = 1u << 20;
};

// Whether the scan reads a region: committed, writable, not a guard page.
bool scanned(const MemoryRegion& region);

struct WalkStats {
  uint64_t bytesRead = 0;
  uint32_t regionsScanned = 0;
  uint32_t regionsSkipped = 0;  // unreadable when read (gone, or their protection changed)
};

// Reads every scanned region of the whole user address space from 0 in chunks of `chunkBytes`,
// each with up to `leadBytes` of the region before it and `tailBytes` after it, and hands each to
// `visit(bytes, size, begin, end, address)`: index 0 is at `address`, the chunk's own bytes are
// [begin, end). A region that cannot be read is passed over from there; `visit` returning false
// ends the walk (Done). Cancel and the player's exit are asked between chunks.
using ChunkVisitor = std::function<bool(const uint8_t* bytes, size_t size, size_t begin, size_t end, uint64_t address)>;
ScanOutcome walkScannedMemory(const OpenedProcess& process, const ScanControl& control, uint32_t chunkBytes,
                              uint32_t leadBytes, uint32_t tailBytes, WalkStats& stats, const ChunkVisitor& visit);

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::Done;
  std::vector<Candidate> candidates;  // by address
  WalkStats stats;
};

// Walks the whole user address space from 0 and reads each scanned region in chunks, keeping
// every (address, encoding) whose value lies in the typed position's window at the moment its
// chunk is read. A region that cannot be read is passed over; one that stops being readable
// halfway keeps what was found before. TooMany: there were more candidates than the limit and
// the scan stopped (the position is too common a number there, as any position in the first
// seconds of a film is: try again at another position).
ScanResult firstScan(const OpenedProcess& process, const TypedPosition& typed,
                     const ScanControl& control, const ScanLimits& limits = {});

// What the film did between the candidates' last reading and this one.
struct Step {
  enum class Kind {
    Played,  // played throughout: a value must have run on with the wall clock (a few seconds
             // on: one that stood passes a step shorter than the tolerance, about a second)
    Paused,  // stood throughout: a value must not have moved
    Seeked,  // the user jumped: a value must have moved by more than minChangeMs against both
             // standing and running on, and lie in `typed`'s window when the user gave one
    Reread,  // unknown (the user was told to pause or play): only fresh readings are taken
  };
  Kind kind = Kind::Played;
  int64_t minChangeMs = 5000;
  std::optional<TypedPosition> typed = std::nullopt;
};

struct StepResult {
  ScanOutcome outcome = ScanOutcome::Done;  // never TooMany
  size_t before = 0;
  size_t after = 0;
};

// Reads every candidate again and keeps those that behaved as the step says; a candidate that
// cannot be read or decoded any more drops out. Cancelled or PlayerGone empty the candidates:
// half narrowed, they are of no use.
StepResult narrow(const OpenedProcess& process, std::vector<Candidate>& candidates, const Step& step,
                  const ScanControl& control);

}  // namespace quorvane::learn
