#include "memory_player/learn_profile.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane::learn {
namespace {

const std::string good =
    "# Quorvane player profile\n"
    "format=1\n"
    "executable=SomePlayer.exe\n"
    "architecture=x64\n"
    "checksum=1a2b3c4d\n"
    "path=SomePlayer.exe+0x1a2b0 > 0x58 > 0x1a0\n"
    "encoding=int64\n"
    "scale=0.0001\n";

// The good profile with one line replaced (or, with an empty replacement, removed).
std::string with(std::string_view key, std::string_view line) {
  std::string text = good;
  std::string needle = "\n";
  needle.append(key).append("=");
  const size_t at = text.find(needle) + 1;
  text.replace(at, text.find('\n', at) + 1 - at, line.empty() ? "" : std::string(line) + "\n");
  return text;
}

TEST(ProfileTest, RoundTripsEveryEncodingAndArchitecture) {
  for (const Encoding& encoding : scannedEncodings()) {
    for (const uint32_t pointerBytes : {4u, 8u}) {
      const Profile profile{"Player One.exe", pointerBytes, 0xDEADBEEF,
                            {"core+x.dll", 0xFFFFFFFF, {0, 0x1000, 0x58, 0x7}}, encoding};
      Profile read;
      ProfileError error;
      ASSERT_TRUE(parseProfile(formatProfile(profile), read, error)) << formatProfile(profile);
      EXPECT_EQ(read, profile);
    }
  }
}

TEST(ProfileTest, ReadsWhatAPersonMayWriteAndRefusesWhatCannotBeRightNamingIt) {
  using Kind = ProfileError::Kind;
  const struct {
    const char* what;
    std::string text;
    bool ok;
    Kind kind;
    std::string key;
    int line;
  } cases[] = {
      {"as written", good, true, {}, "", 0},
      {"Windows line ends, BOM, spaces, comments, unknown keys",
       "\xEF\xBB\xBF" "format = 1\r\n# a note\r\n\r\nexecutable=SomePlayer.exe\r\narchitecture=x86\r\n"
       "checksum=0\r\npath= SomePlayer.exe + 0x10 \r\nencoding=utf16-h:mm:ss\r\nscale=1\r\nlearnt=2026-12-09\r\n",
       true, {}, "", 0},
      {"static path", with("path", "path=SomePlayer.exe+0x10"), true, {}, "", 0},
      {"no path", with("path", ""), false, Kind::Missing, "path", 0},
      {"twice", good + "scale=1\n", false, Kind::Duplicate, "scale", 9},
      {"no equals", good + "scale 1\n", false, Kind::Malformed, "", 9},
      {"later format", with("format", "format=2"), false, Kind::BadFormat, "format", 2},
      {"folder in executable", with("executable", "executable=C:\\P\\p.exe"), false, Kind::BadValue, "executable", 3},
      {"empty executable", with("executable", "executable="), false, Kind::BadValue, "executable", 3},
      {"architecture", with("architecture", "architecture=arm64"), false, Kind::BadValue, "architecture", 4},
      {"checksum not hex", with("checksum", "checksum=xyz"), false, Kind::BadValue, "checksum", 5},
      {"checksum too long", with("checksum", "checksum=123456789"), false, Kind::BadValue, "checksum", 5},
      {"path without module", with("path", "path=0x1a2b0 > 0x58"), false, Kind::BadValue, "path", 6},
      {"path offset in decimal", with("path", "path=P.exe+0x10 > 88"), false, Kind::BadValue, "path", 6},
      {"path offset too far", with("path", "path=P.exe+0x10 > 0x1001"), false, Kind::BadValue, "path", 6},
      {"path too deep", with("path", "path=P.exe+0x10 > 0 > 0 > 0 > 0 > 0"), false, Kind::BadValue, "path", 6},
      {"path ends in >", with("path", "path=P.exe+0x10 >"), false, Kind::BadValue, "path", 6},
      {"module offset past 4 GB", with("path", "path=P.exe+0x100000000"), false, Kind::BadValue, "path", 6},
      {"unknown encoding", with("encoding", "encoding=int128"), false, Kind::BadValue, "encoding", 7},
      {"scale not a number", with("scale", "scale=fast"), false, Kind::BadValue, "scale", 8},
      {"scale zero", with("scale", "scale=0"), false, Kind::BadValue, "scale", 8},
      {"scale negative", with("scale", "scale=-1"), false, Kind::BadValue, "scale", 8},
      {"scale absurd", with("scale", "scale=1e9"), false, Kind::BadValue, "scale", 8},
      {"scale NaN", with("scale", "scale=nan"), false, Kind::BadValue, "scale", 8},
      {"text scaled", with("encoding", "encoding=ascii-mm:ss") , false, Kind::BadValue, "scale", 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Profile profile;
    ProfileError error;
    EXPECT_EQ(parseProfile(c.text, profile, error), c.ok);
    if (c.ok) continue;
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(error.key, c.key);
    EXPECT_EQ(error.line, c.line);
  }
  Profile profile;
  ProfileError error;
  ASSERT_FALSE(parseProfile(with("scale", "scale=1e9"), profile, error));
  EXPECT_EQ(describeProfileError(error, "SomePlayer.exe.txt"),
            "player profile SomePlayer.exe.txt, line 8: scale \"1e9\" is not valid");
}

TEST(ModuleChecksumTest, IsTheStandardCrc32) {
  const std::string_view check = "123456789";
  EXPECT_EQ(moduleChecksum({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
}

}  // namespace
}  // namespace quorvane::learn
