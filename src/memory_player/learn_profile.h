#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "memory_player/learn_encodings.h"
#include "memory_player/learn_pointer_paths.h"

// What was learnt about one player, kept as a small text file: one file per player in the
// user's application-data folder. A file, not registry values, because a profile is meant to
// travel (exported by one user, imported by another as the same file, readable and mendable in
// a text editor), and because each file is read on its own, a broken one cannot take the
// others down with it.
//
//   # Quorvane player profile
//   format=1
//   executable=SomePlayer.exe
//   architecture=x64
//   checksum=1a2b3c4d
//   path=SomePlayer.exe+0x1a2b0 > 0x58 > 0x1a0
//   encoding=int64
//   scale=0.0001
//
// `checksum` is that of the executable the profile was learnt on (moduleChecksum of its image's
// headers), so that a new version of the
// player is reported rather than misread; `scale` is the milliseconds one stored unit stands for.
namespace quorvane::learn {

struct Profile {
  std::string executable;
  uint32_t pointerBytes = 8;  // architecture: x86 (4) or x64 (8)
  uint32_t checksum = 0;
  PointerPath path;
  Encoding encoding;
  bool operator==(const Profile&) const = default;
};

// Why a profile was refused: the line and key it concerns and the value as written, so that a
// message can name them.
struct ProfileError {
  enum class Kind {
    Missing,       // a key the profile must have is not there
    Duplicate,     // a key given twice
    Malformed,     // a line that is no "key=value"
    BadFormat,     // a format this program does not read
    BadValue,      // the value of `key` cannot be what it names
    Unreadable,    // the file cannot be read, or is far larger than any profile
  };
  Kind kind = Kind::Malformed;
  int line = 0;  // 1-based; 0 for a missing key
  std::string key;
  std::string value;
};

// Limits a profile's path is held to: those of the search that makes paths.
inline constexpr uint32_t profileMaxLevels = 4;
inline constexpr uint32_t profileMaxOffset = 4096;
// Scales a number may have: from 10 ns to 100 s per unit.
inline constexpr double profileMinScale = 1e-5;
inline constexpr double profileMaxScale = 1e5;

// The CRC-32 of a module's first page as loaded: its headers, which carry the link time stamp,
// the sizes and the checksum of the file, so that another build of the player differs.
uint32_t moduleChecksum(std::span<const uint8_t> firstPage);

std::string formatProfile(const Profile& profile);
// False with `error` filled when the text is not a sound profile. Unknown keys are passed over,
// so that a later version's profile still loads here.
bool parseProfile(std::string_view text, Profile& profile, ProfileError& error);
// The refusal in English, naming `fileName`, for logs and the command line.
std::string describeProfileError(const ProfileError& error, std::string_view fileName);

// A path as profiles write it: "Module.dll+0x1a2b0 > 0x58 > 0x1a0".
std::string formatPath(const PointerPath& path);
bool parsePath(std::string_view text, PointerPath& path);

}  // namespace quorvane::learn
