#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The ways a player may keep its playback position in memory, for learning where an unknown
// player keeps it: each turns the bytes at an address into a position in milliseconds.
namespace quorvane::learn {

// How the bytes are stored. Numbers are little-endian.
enum class ValueType : uint8_t {
  Int32,
  Int64,
  Float32,
  Float64,
  // The shown time as text: "H:MM:SS", "HH:MM:SS" and "MM:SS", one byte or one UTF-16 unit
  // per character.
  AsciiHMmSs,
  AsciiHhMmSs,
  AsciiMmSs,
  Utf16HMmSs,
  Utf16HhMmSs,
  Utf16MmSs,
  // The shown time as one byte per digit H, M, M, S, S, each its value plus 1, 80 bytes apart:
  // the record the disc player keeps.
  DigitRecord,
};

// A type and the milliseconds one stored unit stands for (1 for text and digits; 1/10000 for
// 100 ns ticks, 1001/24 for a frame counter at 23.976).
struct Encoding {
  ValueType type = ValueType::Int32;
  double unitMs = 1;
  bool operator==(const Encoding&) const = default;
};

// Whether the type is text of UTF-16 units.
bool isUtf16Text(ValueType type);

// Bytes an encoding reads from its address on.
uint32_t encodingWidth(ValueType type);
// Where a value of that type may start: numbers at multiples of 4 (what compilers give an
// int, and a double in a 32-bit struct), text at its character size, digit records anywhere.
uint32_t encodingAlignment(ValueType type);
// How far apart two readings of a value that follows the film may be for the same moment:
// the value's own step (a second for the shown time, a frame for a frame counter).
int64_t encodingResolutionMs(const Encoding& encoding);

// The position the bytes give, in ms, rounded; nothing when they are too short, not a number,
// negative, or 100 hours and more (no film is that long, and no double reaches int64 trouble).
std::optional<int64_t> decodePositionMs(const Encoding& encoding, std::span<const uint8_t> bytes);

// Every encoding the first scan tries: 32- and 64-bit integers in ms, µs and 100 ns, float and
// double seconds and ms, 32-bit frame counters at 23.976, 24, 25, 29.97, 30, 50, 59.94 and 60,
// and each text and digit form. A candidate stores its index into this table.
std::span<const Encoding> scannedEncodings();

// A type's name in a profile ("int32", "float64", "utf16-h:mm:ss", ...), and back.
std::string_view valueTypeName(ValueType type);
std::optional<ValueType> valueTypeFromName(std::string_view name);

// Positions at and above this are no film's.
inline constexpr int64_t maxPositionMs = 100LL * 3600 * 1000;

}  // namespace quorvane::learn
