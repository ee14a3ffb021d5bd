#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "memory_player/learn_pointer_paths.h"

namespace quorvane::learn {

// The modules loaded in a process (the executable first), from the system's module snapshot,
// 32-bit ones of a WOW64 process included; nothing when the snapshot fails (Windows build only).
std::optional<std::vector<Module>> listModules(uint32_t pid);

// The size of a pointer in that process: 4 for a 32-bit process (under WOW64 too), 8 for a
// 64-bit one (which a 32-bit build can only report); nothing when it cannot be opened
// (Windows build only).
std::optional<uint32_t> processPointerBytes(uint32_t pid);

}  // namespace quorvane::learn
