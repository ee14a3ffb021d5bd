#include "sync/player_ui_trim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sync/fake_process_terminator.h"

namespace quorvane {
namespace {

struct DwordWrite {
  RegistryRoot root;
  std::string key;
  std::string value;
  uint32_t data;
};

// Records DWORD writes; every other call is a fault in this code path.
class RecordingRegistry : public Registry {
 public:
  std::optional<std::string> readText(RegistryRoot, std::string_view,
                                      std::string_view) const override {
    ADD_FAILURE() << "trimming reads nothing";
    return std::nullopt;
  }
  bool writeText(RegistryRoot, std::string_view, std::string_view, std::string_view) override {
    ADD_FAILURE() << "trimming writes DWORDs only";
    return false;
  }
  bool writeDword(RegistryRoot root, std::string_view key, std::string_view value,
                  uint32_t data) override {
    writes.push_back({root, std::string(key), std::string(value), data});
    return succeed;
  }
  bool canWrite(RegistryRoot, std::string_view) const override {
    ADD_FAILURE() << "trimming just writes";
    return false;
  }
  std::vector<DwordWrite> writes;
  bool succeed = true;
};

const std::vector<std::string> kExpectedValueNames = {
    "showTVLib",          "showMovieLib",       "showMoovieLive",       "enableMusicLibrary",
    "enablePhotoLibrary", "enableVideoLibrary", "showHelpBtn",          "enableComputerModule",
    "enablePlaylistModule", "showSwitchCinemaMode",
};

struct TrimCase {
  TrimAction action;
  uint32_t expected;
  bool registrySucceeds;
};

class PlayerUiTrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(PlayerUiTrimTest, EndsBothPlayerNamesThreeTimesThenWritesTheTenValues) {
  RecordingTerminator terminator;
  RecordingRegistry registry;
  registry.succeed = GetParam().registrySucceeds;

  applyPlayerUiTrim(GetParam().action, terminator, registry);

  const std::vector<std::string> expectedNames = {"PowerDVD.exe", "PowerDVDMovie.exe",
                                                  "PowerDVD.exe", "PowerDVDMovie.exe",
                                                  "PowerDVD.exe", "PowerDVDMovie.exe"};
  EXPECT_EQ(terminator.names, expectedNames);
  // Failed writes do not stop the others.
  ASSERT_EQ(registry.writes.size(), kExpectedValueNames.size());
  for (size_t i = 0; i < registry.writes.size(); ++i) {
    const DwordWrite& w = registry.writes[i];
    EXPECT_EQ(w.root, RegistryRoot::CurrentUser);
    EXPECT_EQ(w.key, "Software\\CyberLink\\PowerDVD15\\UISettings\\customize");
    EXPECT_EQ(w.value, kExpectedValueNames[i]);
    EXPECT_EQ(w.data, GetParam().expected) << w.value;
  }
}

INSTANTIATE_TEST_SUITE_P(Actions, PlayerUiTrimTest,
                         ::testing::Values(TrimCase{TrimAction::Trim, 0, true},
                                           TrimCase{TrimAction::Restore, 1, true},
                                           TrimCase{TrimAction::Trim, 0, false}));

// The terminations all happen before the first registry write.
TEST(PlayerUiTrimOrder, TerminatesBeforeWriting) {
  struct Log {
    std::vector<std::string> events;
  } log;
  struct Terminator : ProcessTerminator {
    explicit Terminator(Log& l) : log(l) {}
    void terminateByName(std::string_view n) override { log.events.push_back("end " + std::string(n)); }
    Log& log;
  } terminator(log);
  struct Reg : RecordingRegistry {
    explicit Reg(Log& l) : log(l) {}
    bool writeDword(RegistryRoot, std::string_view, std::string_view v, uint32_t) override {
      log.events.push_back("write " + std::string(v));
      return true;
    }
    Log& log;
  } registry(log);

  applyPlayerUiTrim(TrimAction::Restore, terminator, registry);

  ASSERT_EQ(log.events.size(), 16u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(log.events[i].rfind("end ", 0), 0u) << i;
  for (size_t i = 6; i < 16; ++i) EXPECT_EQ(log.events[i].rfind("write ", 0), 0u) << i;
}

}  // namespace
}  // namespace quorvane
