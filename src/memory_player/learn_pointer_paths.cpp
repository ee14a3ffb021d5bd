#include "memory_player/learn_pointer_paths.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "memory_player/process_memory.h"

namespace quorvane::learn {
namespace {

// A place on the way back from a value: `address` holds a pointer to `offset` below the place
// `parent` of the level before. Level 0 are the values themselves; their `parent` is the
// target's index.
struct Node {
  uint64_t address;
  uint32_t parent;
  uint32_t offset;
};

const Module* moduleHolding(const std::vector<Module>& modules, uint64_t address) {
  for (const auto& m : modules) {
    if (address >= m.base && address - m.base < m.size) return &m;
  }
  return nullptr;
}

uint64_t loadPointer(const uint8_t* bytes, uint32_t pointerBytes) {
  uint64_t value = 0;
  std::memcpy(&value, bytes, pointerBytes);  // little-endian: the low bytes come first
  return value;
}

// Keeps the `limit` nodes with the smallest offsets (the nearest fields), in address order.
void keepNearest(std::vector<Node>& nodes, size_t limit) {
  if (nodes.size() <= limit) return;
  std::nth_element(nodes.begin(), nodes.begin() + static_cast<std::ptrdiff_t>(limit), nodes.end(),
                   [](const Node& a, const Node& b) { return a.offset < b.offset; });
  nodes.resize(limit);
}

}  // namespace

PathResult findPointerPaths(const OpenedProcess& process, const std::vector<Module>& modules,
                            std::span<const uint64_t> targets, const PathSearch& search, const ScanControl& control) {
  PathResult result;
  const uint32_t pointerBytes = search.pointerBytes == 4 ? 4 : 8;
  std::vector<std::vector<Node>> levels(1);
  for (uint32_t i = 0; i < targets.size(); ++i) levels[0].push_back({targets[i], i, 0});
  // For each target: levels, offsets' sum, path.
  std::vector<std::vector<std::tuple<uint32_t, uint64_t, PointerPath>>> found(targets.size());
  const auto enough = [&] {
    return std::all_of(found.begin(), found.end(), [&](const auto& f) { return f.size() >= search.maxPaths; });
  };

  for (uint32_t level = 0;; ++level) {
    // Places in a module's image end a path there; the others are looked for one level up.
    std::vector<std::pair<uint64_t, uint32_t>> wanted;  // address, index in the level
    const auto& nodes = levels[level];
    for (uint32_t i = 0; i < nodes.size(); ++i) {
      if (const Module* m = moduleHolding(modules, nodes[i].address)) {
        PointerPath path{m->name, nodes[i].address - m->base, {}};
        uint64_t sum = 0;
        uint32_t at = i;
        for (uint32_t l = level; l > 0; at = levels[l][at].parent, --l) {
          path.offsets.push_back(levels[l][at].offset);
          sum += levels[l][at].offset;
        }
        found[levels[0][at].parent].emplace_back(level, sum, std::move(path));
      } else {
        wanted.emplace_back(nodes[i].address, i);
      }
    }
    if (enough() || level == search.maxLevels || wanted.empty()) break;
    std::sort(wanted.begin(), wanted.end());
    const uint64_t lowest = wanted.front().first > search.maxOffset ? wanted.front().first - search.maxOffset : 0;
    const uint64_t highest = wanted.back().first;

    std::vector<Node> next;
    WalkStats stats;
    const ScanOutcome outcome = walkScannedMemory(
        process, control, 1u << 20, 0, 0, stats,
        [&](const uint8_t* bytes, size_t size, size_t begin, size_t end, uint64_t address) {
          const size_t first = begin + (pointerBytes - (address + begin) % pointerBytes) % pointerBytes;
          for (size_t at = first; at < end && at + pointerBytes <= size; at += pointerBytes) {
            const uint64_t value = loadPointer(bytes + at, pointerBytes);
            if (value < lowest || value > highest) continue;
            auto it = std::lower_bound(wanted.begin(), wanted.end(), std::make_pair(value, uint32_t{0}));
            for (; it != wanted.end() && it->first - value <= search.maxOffset; ++it) {
              next.push_back({address + at, it->second, static_cast<uint32_t>(it->first - value)});
            }
          }
          // Bounded while it grows, not only at the end: a heap full of near pointers costs
          // at most twice the limit.
          if (next.size() > 2 * search.maxNodesPerLevel) keepNearest(next, search.maxNodesPerLevel);
          return true;
        });
    if (outcome != ScanOutcome::Done) {
      result.outcome = outcome;
      return result;
    }
    keepNearest(next, search.maxNodesPerLevel);
    levels.push_back(std::move(next));
  }

  for (auto& paths : found) {
    std::stable_sort(paths.begin(), paths.end(), [](const auto& a, const auto& b) {
      return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    auto& out = result.paths.emplace_back();
    for (auto& f : paths) {
      if (out.size() == search.maxPaths) break;
      out.push_back(std::move(std::get<2>(f)));
    }
  }
  return result;
}

std::optional<uint64_t> resolvePath(const MemoryReader& reader, uint32_t pid, const std::vector<Module>& modules,
                                    const PointerPath& path, uint32_t pointerBytes) {
  const auto m = std::find_if(modules.begin(), modules.end(),
                              [&](const Module& each) { return equalIgnoringCase(each.name, path.module); });
  if (m == modules.end() || path.moduleOffset >= m->size || (pointerBytes != 4 && pointerBytes != 8)) {
    return std::nullopt;
  }
  uint64_t address = m->base + path.moduleOffset;
  for (const uint32_t offset : path.offsets) {
    const auto bytes = reader.readBytes(pid, address, pointerBytes);
    if (bytes.size() != pointerBytes) return std::nullopt;
    const uint64_t pointer = loadPointer(bytes.data(), pointerBytes);
    if (pointer == 0) return std::nullopt;
    address = pointer + offset;
  }
  return address;
}

}  // namespace quorvane::learn
