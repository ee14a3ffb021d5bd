#include "sync/player_locator.h"

#include <string>
#include <vector>

#include "sync/player_interface.h"
#include "sync/process_memory.h"

namespace quorvane {

PlayerLocation locatePlayer(const ProcessAccess& access, std::string_view typedName,
                            const std::function<void()>& betweenRegions) {
  std::vector<std::string_view> names{typedName};
  names.insert(names.end(), player::knownExeNames.begin(), player::knownExeNames.end());

  ProcessMemory memory(access, betweenRegions);
  for (const std::string_view name : names) {
    const uint32_t pid = findProcessId(access, name);
    if (pid == 0) continue;
    int32_t pointer = -1;
    if (memory.open(pid)) {
      const uint64_t match = memory.findPattern(player::codeSignature, player::searchStartAddress,
                                                player::searchEndAddress);
      // Without a match (0) there is no address before the signature to read: the pointer
      // stays unreadable (-1) and the next name is tried.
      if (match >= player::pointerDistance) {
        pointer = readInt32(access, pid, match - player::pointerDistance);
      }
      memory.close();
    }
    // The pointer is 4 bytes in every build: the record lies below 2 GB, whatever reads it.
    if (pointer >= player::minRecordPointer) {
      return {pid, uint64_t{static_cast<uint32_t>(pointer)} + player::recordOffset};
    }
  }
  return {};
}

}  // namespace quorvane
