#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "memory_player/learn_scan.h"
#include "memory_player/memory_reader.h"
#include "platform/process_access.h"

// A way back to a value that survives a restart of the player: its heap moves at every start,
// its modules' images do not move relative to their base. A path starts in a module's image
// and follows pointers, adding an offset after each.
namespace quorvane::learn {

// A module loaded in the player: its file name and where its image lies.
struct Module {
  std::string name;
  uint64_t base = 0;
  uint64_t size = 0;
};

// module base + moduleOffset, then for each offset: read a pointer there, add the offset. No
// offsets: the value lies in the module's image itself (static data).
struct PointerPath {
  std::string module;
  uint64_t moduleOffset = 0;
  std::vector<uint32_t> offsets;
  bool operator==(const PointerPath&) const = default;
};

struct PathSearch {
  uint32_t pointerBytes = 8;        // 4 for a 32-bit player (under WOW64 too)
  uint32_t maxLevels = 4;           // pointers followed at most
  uint32_t maxOffset = 4096;        // added after a pointer at most: a field of one object
  size_t maxPaths = 16;             // paths returned per target at most, the shortest first
  size_t maxNodesPerLevel = 65536;  // places kept per level (16 bytes each), the nearest first
};

struct PathResult {
  ScanOutcome outcome = ScanOutcome::Done;  // never TooMany
  std::vector<std::vector<PointerPath>> paths;  // for each target, shortest first
};

// The paths to each of `targets`, found for all of them at once, level by level: places in the
// scanned memory that hold a pointer to at most maxOffset below a place of the level before.
// Each level reads the whole scanned memory once, however many targets there are; a level stops
// growing at maxNodesPerLevel, keeping the smallest offsets (of all targets together).
PathResult findPointerPaths(const OpenedProcess& process, const std::vector<Module>& modules,
                            std::span<const uint64_t> targets, const PathSearch& search,
                            const ScanControl& control);

// Where a path leads in a running player with these modules; nothing when its module is not
// loaded or a pointer on the way cannot be read or is null.
std::optional<uint64_t> resolvePath(const MemoryReader& reader, uint32_t pid, const std::vector<Module>& modules,
                                    const PointerPath& path, uint32_t pointerBytes);

}  // namespace quorvane::learn
