#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

// What the program relies on inside the player's process: its executable names, the code
// signature that locates the time record, and the record's layout.
namespace quorvane::player {

// The names tried after the one typed into the process-name box, in this order.
inline constexpr std::array<std::string_view, 7> knownExeNames{
    "PowerDVDMovie.exe", "PowerDVD.exe",   "PowerDVD14.exe", "PowerDVD15.exe",
    "PowerDVD16.exe",    "PowerDVD17.exe", "PowerDVD18.exe"};

// Machine code of the player's main image that reads the time record through a pointer.
inline constexpr std::array<uint8_t, 14> codeSignature{0x8B, 0x47, 0x08, 0x89, 0x46, 0xC4, 0x83,
                                                       0x7F, 0x08, 0x04, 0x72, 0x15, 0x8B, 0x07};

// The main image's load address; only its regions are searched.
inline constexpr uint32_t mainImageBase = 0x400000;
inline constexpr uint32_t searchStartAddress = 1024;
inline constexpr uint32_t searchEndAddress = 0x7FFFFFFF;

// The 4 bytes this far before the signature's first byte hold the record's base pointer A.
inline constexpr uint32_t pointerDistance = 65;
// A below this counts as "not found" (a player that is not playing a disc).
inline constexpr int32_t minRecordPointer = 10;
// The time record starts this far after A.
inline constexpr uint32_t recordOffset = 744;

// Offsets inside the time record. Each digit is stored as its value plus 1.
inline constexpr uint32_t hoursOffset = 0;
inline constexpr uint32_t tensOfMinutesOffset = 80;
inline constexpr uint32_t minutesOffset = 160;
inline constexpr uint32_t tensOfSecondsOffset = 240;
inline constexpr uint32_t secondsOffset = 320;
// A 4-byte flag, non-zero while the player plays.
inline constexpr uint32_t playingFlagOffset = 1440;
inline constexpr uint32_t recordLength = playingFlagOffset + 4;

// A byte of a record read, or 0 beyond its end, so that a failed (empty) read gives 0 everywhere.
inline int64_t recordByte(const std::vector<uint8_t>& record, uint32_t offset) {
  return offset < record.size() ? record[offset] : 0;
}

// Whether a read gave a record as a running player keeps it: whole, and every digit byte at
// least 1 (the player stores digit + 1, so a 0 is a failed read or memory that is no record).
inline bool recordValid(const std::vector<uint8_t>& record) {
  if (record.size() < recordLength) return false;
  for (const uint32_t offset : {hoursOffset, tensOfMinutesOffset, minutesOffset, tensOfSecondsOffset, secondsOffset}) {
    if (record[offset] == 0) return false;
  }
  return true;
}

// The position the display's digits show, in milliseconds. Any bytes give a value: the sums are
// formed in 64 bits, so neither odd digits nor a failed read can overflow.
inline int64_t shownPositionMs(const std::vector<uint8_t>& record) {
  const int64_t hours = recordByte(record, hoursOffset) - 1;
  const int64_t minutes = 10 * recordByte(record, tensOfMinutesOffset) + recordByte(record, minutesOffset) - 11;
  const int64_t seconds = 10 * recordByte(record, tensOfSecondsOffset) + recordByte(record, secondsOffset) - 11;
  return hours * 3'600'000 + minutes * 60'000 + seconds * 1'000;
}

// The playing flag, or -1 (which counts as playing) when the read was short.
inline int32_t playingFlag(const std::vector<uint8_t>& record) {
  if (record.size() < recordLength) return -1;
  uint32_t flag = 0;
  for (int i = 3; i >= 0; --i) flag = flag << 8 | record[playingFlagOffset + static_cast<uint32_t>(i)];
  return static_cast<int32_t>(flag);
}

}  // namespace quorvane::player
