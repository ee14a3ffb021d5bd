#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "memory_player/record_layout.h"
#include "platform/process_access.h"

// A fake process list and address spaces for tests of the code that walks and reads another
// process's memory.
namespace quorvane {

inline constexpr uint32_t pageExecuteRead = 0x20;
inline constexpr uint32_t pageNoAccess = 0x01;
inline constexpr uint32_t memPrivate = 0x20000;
inline constexpr uint32_t memFree = 0x10000;

struct FakeRegion {
  MemoryRegion info;
  bool readable = true;
  std::vector<uint8_t> bytes;  // info.size bytes
};

// A process's address space: listed regions, free gaps between them, and nothing past `limit`.
struct FakeSpace {
  std::vector<FakeRegion> regions;  // sorted by base, not overlapping
  uint64_t limit = 0x7FFF0000;
  bool gone = false;  // the process has exited
  // Runs before every read, so a test can change the space in the middle of a walk.
  std::function<void(uint64_t address)> beforeRead;

  FakeRegion& add(uint64_t base, uint32_t size, uint32_t protection = pageExecuteRead,
                  uint32_t type = memImage, uint64_t allocationBase = player::mainImageBase) {
    FakeRegion region;
    region.info = {base, allocationBase, size, memCommit, protection, type};
    region.readable = protection != pageNoAccess;
    region.bytes.assign(size, 0xCC);
    regions.push_back(region);
    std::sort(regions.begin(), regions.end(),
              [](const FakeRegion& a, const FakeRegion& b) { return a.info.base < b.info.base; });
    return *std::find_if(regions.begin(), regions.end(),
                         [&](const FakeRegion& r) { return r.info.base == base; });
  }
  void put(uint64_t address, std::span<const uint8_t> data) {
    for (size_t i = 0; i < data.size(); ++i) {
      FakeRegion* r = at(address + i);
      r->bytes[address + i - r->info.base] = data[i];
    }
  }
  FakeRegion* at(uint64_t address) {
    for (auto& r : regions) {
      if (address >= r.info.base && address - r.info.base < r.info.size) return &r;
    }
    return nullptr;
  }
  std::optional<MemoryRegion> query(uint64_t address) {
    if (gone || address >= limit) return std::nullopt;
    for (auto& r : regions) {
      if (r.info.base == address && r.info.size == 0) return r.info;
    }
    if (FakeRegion* r = at(address)) return r->info;
    uint64_t start = 0, end = limit;
    for (auto& r : regions) {
      if (r.info.base <= address) start = r.info.base + r.info.size;
      if (r.info.base > address) {
        end = r.info.base;
        break;
      }
    }
    return MemoryRegion{start, 0, end - start, memFree, pageNoAccess, 0};
  }
  bool read(uint64_t address, uint8_t* out, uint32_t length) {
    if (beforeRead) beforeRead(address);
    if (gone || length > UINT64_MAX - address) return false;
    const uint64_t end = address + length;
    for (uint64_t a = address; a < end;) {
      FakeRegion* r = at(a);
      if (!r || !r->readable) return false;
      const uint64_t n = std::min<uint64_t>(end, r->info.base + r->info.size) - a;
      std::copy_n(r->bytes.begin() + static_cast<std::ptrdiff_t>(a - r->info.base), n, out);
      out += n;
      a += n;
    }
    return true;
  }
};

class FakeProcessAccess final : public ProcessAccess {
 public:
  std::optional<std::vector<ProcessEntry>> listProcesses() const override {
    if (snapshotFails) return std::nullopt;
    return processes;
  }
  std::unique_ptr<OpenedProcess> open(uint32_t pid) const override {
    auto it = spaces.find(pid);
    if (it == spaces.end() || it->second->gone) return nullptr;
    ++opens;
    return std::make_unique<Opened>(it->second, closes);
  }
  FakeSpace& space(uint32_t pid) {
    auto& s = spaces[pid];
    if (!s) s = std::make_shared<FakeSpace>();
    return *s;
  }

  std::vector<ProcessEntry> processes;
  bool snapshotFails = false;
  std::map<uint32_t, std::shared_ptr<FakeSpace>> spaces;
  mutable int opens = 0;
  mutable int closes = 0;

 private:
  class Opened final : public OpenedProcess {
   public:
    Opened(std::shared_ptr<FakeSpace> space, int& closes) : space_(std::move(space)), closes_(closes) {}
    ~Opened() override { close(); }
    std::optional<MemoryRegion> query(uint64_t address) const override { return space_->query(address); }
    bool read(uint64_t address, uint8_t* out, uint32_t length) const override {
      return space_->read(address, out, length);
    }
    bool close() override {
      if (closed_) return false;
      closed_ = true;
      ++closes_;
      return true;
    }

   private:
    std::shared_ptr<FakeSpace> space_;
    int& closes_;
    bool closed_ = false;
  };
};

}  // namespace quorvane
