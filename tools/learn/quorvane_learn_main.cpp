// quorvane-learn --process NAME [--typed H:MM:SS] [--wait SECONDS] [--ask-position CMD]
//                [--on-pause CMD] [--on-play CMD] [--on-seek CMD]
// quorvane-learn --check PROFILE
//
// Learns where a running player keeps its playback position: a first scan of its memory for
// the position it shows, then steps while it plays, stands paused, plays again and is seeked,
// each narrowing the values that follow the film; then the pointer paths to the survivors, and
// the profile the best one would make. Each thing the player must do is asked of the person at
// the console (Enter when done), or done by running the command given for it: --ask-position
// and --on-seek commands may print "position=MS" (as simplayer-ctl does), which stands for what
// the person would have typed. Exit status 0 with a profile printed, 2 when the player cannot
// be learnt here, 3 when nothing followed the film.
//
// --check follows a saved profile's path in the running player it names and prints the position
// it leads to as "position=MS": 0 when it leads to one, 2 when the profile or the player cannot
// be read, 3 when the path leads nowhere.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "memory_player/learn_modules.h"
#include "memory_player/learn_pointer_paths.h"
#include "memory_player/learn_profile.h"
#include "memory_player/learn_scan.h"
#include "memory_player/process_memory.h"
#include "platform/process_handles_win.h"

namespace quorvane::learn {
namespace {

struct Options {
  std::string process;
  std::string typed;
  int waitSeconds = 3;
  std::map<std::string, std::string> commands;  // ask-position, on-pause, on-play, on-seek
};

// Runs a command and gives the position it printed as "position=MS", if any.
std::optional<int64_t> runCommand(const std::string& command) {
  std::FILE* pipe = _popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  _pclose(pipe);
  const size_t at = output.find("position=");
  if (at == std::string::npos) return std::nullopt;
  return std::strtoll(output.c_str() + at + 9, nullptr, 10);
}

// What the player shows after the person (or the command) did `what`, in ms; nothing when not
// told. A position a command printed is cut to whole seconds, as a display shows it.
std::optional<int64_t> ask(const Options& options, const std::string& key, const char* what, bool wantsPosition) {
  if (const auto it = options.commands.find(key); it != options.commands.end()) {
    const auto ms = runCommand(it->second);
    return ms ? std::optional<int64_t>(*ms / 1000 * 1000) : std::nullopt;
  }
  for (;;) {
    std::printf("%s%s: ", what, wantsPosition ? ", then type the position the player shows (H:MM:SS)" : ", then press Enter");
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line) || !wantsPosition) return std::nullopt;
    if (const auto ms = parseShownPosition(line)) return ms;
    std::printf("not a position: %s\n", line.c_str());
  }
}

int check(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Profile profile;
  ProfileError error;
  if (!in || !parseProfile(text.str(), profile, error)) {
    std::fprintf(stderr, "%s\n", in ? describeProfileError(error, file).c_str() : ("cannot read " + file).c_str());
    return 2;
  }
  auto access = makeSystemProcessAccess();
  const uint32_t pid = findProcessId(*access, profile.executable);
  const auto modules = pid ? listModules(pid) : std::nullopt;
  if (!modules) return std::fprintf(stderr, "no process %s\n", profile.executable.c_str()), 2;
  const ProcessMemoryReader reader(*access);
  const auto at = resolvePath(reader, pid, *modules, profile.path, profile.pointerBytes);
  if (!at) return std::fprintf(stderr, "the path leads nowhere\n"), 3;
  const uint32_t width = encodingWidth(profile.encoding.type);
  const auto value = decodePositionMs(profile.encoding, reader.readBytes(pid, *at, width));
  if (!value) return std::fprintf(stderr, "no position at 0x%llx\n", static_cast<unsigned long long>(*at)), 3;
  std::printf("position=%lld\n", static_cast<long long>(*value));
  return 0;
}

int run(const Options& options) {
  auto access = makeSystemProcessAccess();
  const uint32_t pid = findProcessId(*access, options.process);
  if (pid == 0) {
    std::fprintf(stderr, "no process %s\n", options.process.c_str());
    return 2;
  }
  const auto pointerBytes = processPointerBytes(pid);
  if (!pointerBytes) return std::fprintf(stderr, "cannot open %s\n", options.process.c_str()), 2;
  if (*pointerBytes > sizeof(void*)) {
    std::fprintf(stderr, "%s is a 64-bit program: learn it with the 64-bit build of Quorvane\n", options.process.c_str());
    return 2;
  }
  const auto process = access->open(pid);
  const UniqueKernelHandle lifetime(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process) return std::fprintf(stderr, "cannot open %s\n", options.process.c_str()), 2;

  const auto origin = std::chrono::steady_clock::now();
  const HANDLE alive = lifetime.get();
  const ScanControl control{[origin] {
                              return std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - origin)
                                  .count();
                            },
                            {},
                            [alive] { return alive && WaitForSingleObject(alive, 0) == WAIT_OBJECT_0; }};
  const auto wait = [&] { std::this_thread::sleep_for(std::chrono::seconds(options.waitSeconds)); };
  const auto said = [](ScanOutcome outcome) {
    switch (outcome) {
      case ScanOutcome::Done: return "done";
      case ScanOutcome::Cancelled: return "cancelled";
      case ScanOutcome::PlayerGone: return "the player exited";
      case ScanOutcome::TooMany: return "too many values: try again at a later position";
    }
    return "";
  };

  std::optional<int64_t> shown = options.typed.empty() ? std::nullopt : parseShownPosition(options.typed);
  if (!options.typed.empty() && !shown) return std::fprintf(stderr, "not a position: %s\n", options.typed.c_str()), 2;
  const int64_t askedAt = control.nowMs();
  if (!shown) shown = ask(options, "ask-position", "Let the film play", true);
  if (!shown) return std::fprintf(stderr, "no position given\n"), 2;
  const TypedPosition typed{*shown, askedAt, true};

  const auto start = std::chrono::steady_clock::now();
  ScanResult scan = firstScan(*process, typed, control);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("first scan: %.0f MiB in %u regions (%u skipped), %.1f s, %zu candidates, %s\n",
              scan.stats.bytesRead / 1048576.0, scan.stats.regionsScanned, scan.stats.regionsSkipped, seconds,
              scan.candidates.size(), said(scan.outcome));
  if (scan.outcome != ScanOutcome::Done) return 3;
  auto& candidates = scan.candidates;
  const auto step = [&](const char* name, const Step& s) {
    const StepResult result = narrow(*process, candidates, s, control);
    std::printf("%s: %zu -> %zu, %s\n", name, result.before, result.after, said(result.outcome));
    return result.outcome == ScanOutcome::Done && result.after > 0;
  };

  wait();
  if (!step("played", {.kind = Step::Kind::Played})) return 3;
  ask(options, "on-pause", "Pause the player", false);
  if (!step("paused now", {.kind = Step::Kind::Reread})) return 3;
  wait();
  if (!step("stood", {.kind = Step::Kind::Paused})) return 3;
  ask(options, "on-play", "Play again", false);
  if (!step("playing again", {.kind = Step::Kind::Reread})) return 3;
  wait();
  if (!step("played", {.kind = Step::Kind::Played})) return 3;
  const int64_t seekAskedAt = control.nowMs();
  const auto afterSeek = ask(options, "on-seek", "Seek at least a minute away", true);
  std::optional<TypedPosition> typedAfterSeek;
  if (afterSeek) typedAfterSeek = TypedPosition{*afterSeek, seekAskedAt, true};
  if (!step("seeked", {.kind = Step::Kind::Seeked, .minChangeMs = 5000, .typed = typedAfterSeek})) return 3;
  wait();
  if (!step("played", {.kind = Step::Kind::Played})) return 3;

  const auto modules = listModules(pid);
  if (!modules || modules->empty()) return std::fprintf(stderr, "cannot list the player's modules\n"), 2;
  // The paths of all survivors in one search: each level reads the player's memory once.
  std::vector<uint64_t> addresses;
  for (const Candidate& c : candidates) addresses.push_back(c.address());
  const PathResult found =
      findPointerPaths(*process, *modules, addresses, {.pointerBytes = *pointerBytes, .maxPaths = 3}, control);
  if (found.outcome != ScanOutcome::Done) return std::fprintf(stderr, "path search: %s\n", said(found.outcome)), 3;
  std::optional<Profile> best;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    const auto& paths = found.paths[i];
    std::printf("0x%llx %s scale %.9g: %zu paths\n", static_cast<unsigned long long>(c.address()),
                std::string(valueTypeName(c.encoding().type)).c_str(), c.encoding().unitMs, paths.size());
    for (const PointerPath& path : paths) std::printf("  %s\n", formatPath(path).c_str());
    if (!paths.empty() && (!best || paths[0].offsets.size() < best->path.offsets.size())) {
      best = Profile{options.process, *pointerBytes, 0, paths[0], c.encoding()};
    }
  }
  if (!best) return std::fprintf(stderr, "no path leads to a value that follows the film\n"), 3;
  const std::vector<uint8_t> headers = ProcessMemoryReader(*access).readBytes(pid, modules->front().base, 4096);
  best->checksum = moduleChecksum(headers);
  std::printf("\n%s", formatProfile(*best).c_str());
  return 0;
}

}  // namespace
}  // namespace quorvane::learn

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--check") == 0) return quorvane::learn::check(argv[2]);
  quorvane::learn::Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--process") {
      options.process = value;
    } else if (key == "--typed") {
      options.typed = value;
    } else if (key == "--wait") {
      options.waitSeconds = std::clamp(std::atoi(value.c_str()), 1, 60);
    } else if (key == "--ask-position" || key == "--on-pause" || key == "--on-play" || key == "--on-seek") {
      options.commands[key.substr(2)] = value;
    } else {
      std::fprintf(stderr, "unknown option %s\n", key.c_str());
      return 2;
    }
  }
  if (options.process.empty() || argc % 2 == 0) {
    std::fprintf(stderr,
                 "usage: quorvane-learn --process NAME [--typed H:MM:SS] [--wait SECONDS] [--ask-position CMD]\n"
                 "                      [--on-pause CMD] [--on-play CMD] [--on-seek CMD]\n"
                 "       quorvane-learn --check PROFILE\n");
    return 2;
  }
  return quorvane::learn::run(options);
}
