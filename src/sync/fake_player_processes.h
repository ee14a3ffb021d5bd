#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/process_access.h"
#include "sync/player_interface.h"

namespace quorvane {

// Processes whose whole memory is one writable image region of the main executable.
class FakeProcesses final : public ProcessAccess {
 public:
  static constexpr uint32_t kImageSize = 0x10000;

  // A process holding the signature at `offset` in its image, with `pointer` 65 bytes before.
  void addPlayer(uint32_t pid, std::string name, uint32_t offset, int32_t pointer) {
    auto& image = addProcess(pid, std::move(name));
    std::memcpy(&image[offset], player::codeSignature.data(), player::codeSignature.size());
    std::memcpy(&image[offset - player::pointerDistance], &pointer, sizeof pointer);
  }
  std::vector<uint8_t>& addProcess(uint32_t pid, std::string name) {
    entries_.push_back({pid, std::move(name)});
    return images_[pid] = std::vector<uint8_t>(kImageSize, 0);
  }

  std::optional<std::vector<ProcessEntry>> listProcesses() const override { return entries_; }
  std::unique_ptr<OpenedProcess> open(uint32_t pid) const override {
    const auto it = images_.find(pid);
    return it == images_.end() ? nullptr : std::make_unique<Opened>(it->second);
  }

 private:
  class Opened final : public OpenedProcess {
   public:
    explicit Opened(const std::vector<uint8_t>& image) : image_(image) {}
    std::optional<MemoryRegion> query(uint64_t address) const override {
      if (address < player::mainImageBase) return MemoryRegion{0, 0, player::mainImageBase, 0, 0, 0};
      if (address >= player::mainImageBase + kImageSize) return std::nullopt;
      return MemoryRegion{player::mainImageBase, player::mainImageBase, kImageSize, memCommit, 0x04, memImage};
    }
    bool read(uint64_t address, uint8_t* out, uint32_t length) const override {
      if (address < player::mainImageBase || address - player::mainImageBase + uint64_t{length} > kImageSize) return false;
      std::memcpy(out, &image_[address - player::mainImageBase], length);
      return true;
    }
    bool close() override { return true; }

   private:
    const std::vector<uint8_t>& image_;
  };

  std::vector<ProcessEntry> entries_;
  std::map<uint32_t, std::vector<uint8_t>> images_;
};

}  // namespace quorvane
