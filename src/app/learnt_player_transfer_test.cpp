#include "app/learnt_player_transfer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

TEST(LearntPlayerTransfer, ExportTakesThePinnedThenTheFollowedThenTheOnlyPlayer) {
  struct Case {
    const char* what;
    const char* pinned;
    const char* followed;
    std::vector<std::string> learnt;
    std::optional<std::string> exported;
  };
  const Case cases[] = {
      {"pinned", "b.exe", "a.exe", {"A.exe", "B.exe"}, "B.exe"},
      {"followed", "", "a.exe", {"A.exe", "B.exe"}, "A.exe"},
      {"the only one", "", "", {"A.exe"}, "A.exe"},
      {"a choice is left", "", "", {"A.exe", "B.exe"}, std::nullopt},
      {"the pinned one has no profile any more", "c.exe", "", {"A.exe", "B.exe"}, std::nullopt},
      {"none learnt", "a.exe", "a.exe", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(playerToExport(c.pinned, c.followed, c.learnt), c.exported);
  }
}

// An import is checked before anything is copied: a broken file is refused naming it and what
// is wrong; a sound one goes to its player's file, and says whether it replaces a profile.
TEST(LearntPlayerTransfer, ImportValidatesAndSaysWhatItReplaces) {
  learn::Profile profile;
  profile.executable = "SimPlayer.exe";
  profile.path = {"SimPlayer.exe", 0x100, {0x40}};
  const std::string good = learn::formatProfile(profile);
  learn::Profile other = profile;
  other.executable = "Other.exe";
  const std::vector<ProfileFile> empty, same{{"simplayer.exe.profile", good}},
      byHand{{"my player.profile", good}}, unrelated{{"other.exe.profile", learn::formatProfile(other)}};
  struct Case {
    const char* what;
    ProfileFile file;
    const std::vector<ProfileFile>& folder;
    bool accepted;
    bool replaces;
    std::string refusal;
  };
  const Case cases[] = {
      {"new", {"shared.profile", good}, empty, true, false, ""},
      {"replaces the player's file", {"shared.profile", good}, same, true, true, ""},
      {"replaces a file of another name", {"shared.profile", good}, byHand, true, true, ""},
      {"another player's file stays", {"shared.profile", good}, unrelated, true, false, ""},
      {"broken", {"shared.profile", "format=1\nexecutable=a.exe\n"}, empty, false, false,
       "Learnt player not loaded: player profile shared.profile: no architecture=."},
      {"unreadable", {"shared.profile", "", false}, same, false, false,
       "Learnt player not loaded: player profile shared.profile: cannot be read."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ImportPlan plan = planImport(c.file, c.folder, UiLanguage::English);
    EXPECT_EQ(plan.profile.has_value(), c.accepted);
    EXPECT_EQ(plan.replaces, c.replaces);
    EXPECT_EQ(plan.refusal, c.refusal);
    EXPECT_EQ(plan.fileName, c.accepted ? "simplayer.exe.profile" : "");
  }
}

}  // namespace
}  // namespace quorvane
