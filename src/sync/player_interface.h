#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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

}  // namespace quorvane::player
