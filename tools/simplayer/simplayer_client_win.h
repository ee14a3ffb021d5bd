#pragma once

// Starting, commanding and ending simulated players from tests, benchmarks and simplayer-ctl.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_handles_win.h"
#include "simplayer_protocol.h"

namespace quorvane::simplayer {

// The simulated player built with the project, as a Windows path.
std::string builtPlayerPath();
// A Unix path ("/work/...") as Wine sees it ("Z:\work\..."); other paths unchanged.
std::string toWindowsPath(std::string_view path);

// Sends one command to the player with that process id and returns its answer; nothing when
// the player does not answer within `timeoutMs` (it is retried while the pipe is missing or busy).
std::optional<std::string> sendCommand(uint32_t pid, std::string_view command,
                                       uint32_t timeoutMs = 5000);
std::optional<Position> parsePosition(std::string_view reply);

// Addresses inside the player, as it reports them ("info").
struct PlayerAddresses {
  uint64_t record = 0;      // the time record
  uint64_t signature = 0;   // the signature's first byte (0 with --no-signature)
  uint64_t pointer = 0;     // the value stored before the signature (record - 744)
  uint64_t recordHigh = 0;  // the record's copy above 4 GB (--record-high), or 0
};
std::optional<PlayerAddresses> parseAddresses(std::string_view reply);

// A folder of its own under the temporary folder, emptied and removed on destruction.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  bool valid() const { return !path_.empty(); }

 private:
  std::string path_;
};

// One running copy of the simulated player. Destroying it ends the process and waits for it;
// the process also ends with the program that started it, and by itself after --exit-after.
class SimPlayer {
 public:
  // Copies the built player into `folder` as `exeName` (unless that file exists) and starts it
  // with `arguments`; returns once it answers on its pipe, or null.
  static std::unique_ptr<SimPlayer> start(const std::string& folder, const std::string& exeName,
                                          const std::string& arguments = {});
  ~SimPlayer();

  uint32_t pid() const { return pid_; }
  HANDLE process() const { return process_.get(); }
  std::optional<std::string> command(std::string_view text) const { return sendCommand(pid_, text); }
  std::optional<Position> position() const;
  std::optional<Position> pause() const;
  std::optional<Position> resume() const;
  std::optional<Position> seek(int32_t positionMs) const;
  std::optional<PlayerAddresses> addresses() const;
  // Ends the process now and waits until it is gone.
  void kill();

 private:
  SimPlayer(UniqueKernelHandle process, uint32_t pid) : process_(std::move(process)), pid_(pid) {}
  UniqueKernelHandle process_;
  uint32_t pid_ = 0;
};

}  // namespace quorvane::simplayer
