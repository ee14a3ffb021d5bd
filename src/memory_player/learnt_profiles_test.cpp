#include "memory_player/learnt_profiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

learn::Profile profileOf(std::string executable) {
  learn::Profile profile;
  profile.executable = std::move(executable);
  profile.checksum = 0x1a2b3c4d;
  profile.path = {profile.executable, 0x1a2b0, {0x58, 0x1a0}};
  profile.encoding = {learn::ValueType::Int64, 0.0001};
  return profile;
}

// The profile's line of `key` written as `line`.
std::string withLine(std::string text, const std::string& key, const std::string& line) {
  const size_t at = text.find("\n" + key + "=") + 1;
  return text.replace(at, text.find('\n', at) - at, line);
}

// Each file of the folder is read on its own: the broken ones are refused with what is wrong,
// the sound ones load whatever comes before or after them.
TEST(LoadProfiles, RefusesEachBrokenFileAndLoadsTheOthers) {
  const std::string good = learn::formatProfile(profileOf("Alpha.exe"));
  const std::string other = learn::formatProfile(profileOf("Beta.exe"));
  const std::vector<ProfileFile> files = {
      {"alpha.profile", good},
      {"badpath.profile", withLine(good, "path", "path=Alpha.exe+0x1a2b0 > 88")},
      {"encoding.profile", withLine(good, "encoding", "encoding=int128")},
      {"scale.profile", withLine(good, "scale", "scale=1e9")},
      {"held.profile", "", false},
      {"huge.profile", good + std::string(kMaxProfileBytes, '#')},
      {"beta.profile", other},
  };
  const LoadedProfiles loaded = loadProfiles(files);
  ASSERT_EQ(loaded.profiles.size(), 2u);
  EXPECT_EQ(loaded.profiles[0], profileOf("Alpha.exe"));
  EXPECT_EQ(loaded.profiles[1], profileOf("Beta.exe"));
  struct Refusal {
    std::string file, key, value;
    learn::ProfileError::Kind kind;
  };
  const Refusal expected[] = {
      {"badpath.profile", "path", "Alpha.exe+0x1a2b0 > 88", learn::ProfileError::Kind::BadValue},
      {"encoding.profile", "encoding", "int128", learn::ProfileError::Kind::BadValue},
      {"scale.profile", "scale", "1e9", learn::ProfileError::Kind::BadValue},
      {"held.profile", "", "", learn::ProfileError::Kind::Unreadable},
      {"huge.profile", "", "", learn::ProfileError::Kind::Unreadable},
  };
  ASSERT_EQ(loaded.refused.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].file);
    EXPECT_EQ(loaded.refused[i].fileName, expected[i].file);
    EXPECT_EQ(loaded.refused[i].error.key, expected[i].key);
    EXPECT_EQ(loaded.refused[i].error.value, expected[i].value);
    EXPECT_EQ(loaded.refused[i].error.kind, expected[i].kind);
  }
}

// What the user reads names the file, the line and the value, in each language.
TEST(LoadProfiles, TheRefusalNamesFileLineAndValueInEachLanguage) {
  using Kind = learn::ProfileError::Kind;
  struct Case {
    learn::ProfileError error;
    UiLanguage language;
    std::string expected;
  };
  const Case cases[] = {
      {{Kind::BadValue, 8, "scale", "1e9"}, UiLanguage::English,
       "Learnt player not loaded: player profile p.profile, line 8: scale \"1e9\" is not valid."},
      {{Kind::BadValue, 8, "scale", "1e9"}, UiLanguage::SimplifiedChinese,
       "未载入学习到的播放器：播放器配置 p.profile，第 8 行：scale 的值“1e9”无效。"},
      {{Kind::BadValue, 7, "encoding", "int128"}, UiLanguage::TraditionalChinese,
       "未載入學習到的播放器：播放器設定檔 p.profile，第 7 行：encoding 的值「int128」無效。"},
      {{Kind::Missing, 0, "path", ""}, UiLanguage::SimplifiedChinese,
       "未载入学习到的播放器：播放器配置 p.profile：缺少 path=。"},
      {{Kind::Unreadable, 0, "", ""}, UiLanguage::TraditionalChinese,
       "未載入學習到的播放器：播放器設定檔 p.profile：無法讀取。"},
      {{Kind::Unreadable, 0, "", ""}, UiLanguage::English,
       "Learnt player not loaded: player profile p.profile: cannot be read."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describeProfileError(c.error, "p.profile", c.language), c.expected);
  }
}

TEST(LoadProfiles, NamesAndFilesOfLearntPlayers) {
  struct Case {
    const char* executable;
    const char* name;
    const char* file;
  };
  const Case cases[] = {
      {"SimPlayer.exe", "SimPlayer", "simplayer.exe.profile"},
      {"PLAYER.EXE", "PLAYER", "player.exe.profile"},
      {"player", "player", "player.profile"},
      {"\xE6\x92\xAD.exe", "\xE6\x92\xAD", "\xE6\x92\xAD.exe.profile"},  // not ASCII: kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.executable);
    EXPECT_EQ(learntPlayerName(c.executable), c.name);
    EXPECT_EQ(profileFileName(c.executable), c.file);
  }
  // A hand-made profile's executable that is no file name in the players folder gets none.
  for (const char* executable : {"", "..", "a\\b.exe", "..\\..\\x.exe", "a:b.exe", "a/b"}) {
    EXPECT_EQ(profileFileName(executable), "") << executable;
  }
}

}  // namespace
}  // namespace quorvane
