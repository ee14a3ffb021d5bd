#include "simplayer_client_win.h"

#include <cstdio>
#include <cstring>

#include "platform/window_handles_win.h"

namespace quorvane::simplayer {
namespace {

// Every player started here joins this job, which ends them all when the starting program
// ends, however it ends: a crashed test leaves no player behind.
HANDLE playerJob() {
  static UniqueKernelHandle job = [] {
    UniqueKernelHandle created(CreateJobObjectA(nullptr, nullptr));
    if (created) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      SetInformationJobObject(created.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return created;
  }();
  return job.get();
}

// Removes the files directly inside `folder`.
void deleteFiles(const std::string& folder) {
  WIN32_FIND_DATAA found;
  const FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!search) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteFileA((folder + "\\" + found.cFileName).c_str());
    }
  } while (FindNextFileA(search.get(), &found));
}

}  // namespace

std::string toWindowsPath(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out[0] == '/') {
    out.insert(0, "Z:");
    for (char& c : out) {
      if (c == '/') c = '\\';
    }
  }
  return out;
}

std::string builtPlayerPath() {
#ifdef QUORVANE_SIMPLAYER_EXE
  return toWindowsPath(QUORVANE_SIMPLAYER_EXE);
#else
  return "simplayer.exe";
#endif
}

std::optional<std::string> sendCommand(uint32_t pid, std::string_view command, uint32_t timeoutMs) {
  const std::string name = pipeName(pid);
  const std::string request(command);
  const DWORD deadline = GetTickCount() + timeoutMs;
  for (;;) {
    char reply[maxMessageBytes + 1] = {};
    DWORD got = 0;
    if (CallNamedPipeA(name.c_str(), const_cast<char*>(request.data()),
                       static_cast<DWORD>(request.size()), reply, maxMessageBytes, &got, 1000)) {
      return std::string(reply, got);
    }
    if (static_cast<int32_t>(GetTickCount() - deadline) >= 0) return std::nullopt;
    Sleep(20);
  }
}

std::optional<Position> parsePosition(std::string_view reply) {
  const std::string text(reply);
  long position = 0;
  unsigned long tick = 0;
  int playing = 0;
  if (std::sscanf(text.c_str(), "OK position=%ld tick=%lu playing=%d", &position, &tick, &playing) != 3) {
    return std::nullopt;
  }
  return Position{static_cast<int32_t>(position), static_cast<uint32_t>(tick), playing != 0};
}

std::optional<PlayerAddresses> parseAddresses(std::string_view reply) {
  const std::string text(reply);
  unsigned long long record = 0, signature = 0, pointer = 0, high = 0;
  // "high=" came later: an answer without it has no copy above 4 GB.
  if (std::sscanf(text.c_str(), "OK record=%llx signature=%llx pointer=%llx high=%llx", &record,
                  &signature, &pointer, &high) < 3) {
    return std::nullopt;
  }
  return PlayerAddresses{record, signature, pointer, high};
}

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH] = {};
  if (!GetTempPathA(MAX_PATH, temp)) return;
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%squorvane-simplayer-%lu-%ld", temp, GetCurrentProcessId(),
                  InterlockedIncrement(&counter));
    if (CreateDirectoryA(name, nullptr)) {
      path_ = name;
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  // A player that was just ended may hold its file for a moment.
  for (int attempt = 0; attempt < 50; ++attempt) {
    deleteFiles(path_);
    if (RemoveDirectoryA(path_.c_str())) return;
    Sleep(20);
  }
}

std::unique_ptr<SimPlayer> SimPlayer::start(const std::string& folder, const std::string& exeName,
                                            const std::string& arguments) {
  const std::string exePath = folder + "\\" + exeName;
  if (GetFileAttributesA(exePath.c_str()) == INVALID_FILE_ATTRIBUTES &&
      !CopyFileA(builtPlayerPath().c_str(), exePath.c_str(), TRUE)) {
    return nullptr;
  }
  // A safety net: a player nobody ends goes away by itself.
  std::string line = "\"" + exePath + "\" " + arguments;
  if (arguments.find("--exit-after=") == std::string::npos) line += " --exit-after=300";
  std::vector<char> commandLine(line.begin(), line.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED, nullptr, folder.c_str(), &startup, &info)) {
    return nullptr;
  }
  if (HANDLE job = playerJob()) AssignProcessToJobObject(job, info.hProcess);
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  ResumeThread(thread.get());
  std::unique_ptr<SimPlayer> player(new SimPlayer(std::move(process), info.dwProcessId));
  if (!sendCommand(player->pid(), "position", 15000)) return nullptr;  // destroying it ends the process
  return player;
}

SimPlayer::~SimPlayer() { kill(); }

void SimPlayer::kill() {
  if (!process_) return;
  TerminateProcess(process_.get(), 0);
  WaitForSingleObject(process_.get(), 10000);
  process_.close();
}

std::optional<Position> SimPlayer::position() const {
  auto reply = command("position");
  return reply ? parsePosition(*reply) : std::nullopt;
}
std::optional<Position> SimPlayer::pause() const {
  auto reply = command("pause");
  return reply ? parsePosition(*reply) : std::nullopt;
}
std::optional<Position> SimPlayer::resume() const {
  auto reply = command("resume");
  return reply ? parsePosition(*reply) : std::nullopt;
}
std::optional<Position> SimPlayer::seek(int32_t positionMs) const {
  auto reply = command("seek " + std::to_string(positionMs));
  return reply ? parsePosition(*reply) : std::nullopt;
}
std::optional<PlayerAddresses> SimPlayer::addresses() const {
  auto reply = command("info");
  return reply ? parseAddresses(*reply) : std::nullopt;
}

}  // namespace quorvane::simplayer
