#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/directory_exists.h"

namespace quorvane {
namespace {

class DirectoryExistsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    base = std::string(temp) + "QuorvaneDirTest" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA((base + "Subs").c_str(), nullptr);
    CloseHandle(CreateFileA((base + "Movie.srt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  void TearDown() override {
    DeleteFileA((base + "Movie.srt").c_str());
    RemoveDirectoryA((base + "Subs").c_str());
    RemoveDirectoryA(base.c_str());
  }
  bool exists(const std::string& folder) { return directoryExists(folder, isSystemLeadByte); }

  std::string base;
};

TEST_F(DirectoryExistsTest, FindsAFolderAmongItsParentsEntries) {
  EXPECT_TRUE(exists(base + "Subs\\"));
  EXPECT_TRUE(exists(base + "Subs"));
  EXPECT_TRUE(exists(base));
}

TEST_F(DirectoryExistsTest, EverythingElseIsMissing) {
  EXPECT_FALSE(exists(base + "subs\\"));  // names compare byte for byte
  EXPECT_FALSE(exists(base + "Gone\\"));
  EXPECT_FALSE(exists(base + "Movie.srt"));  // a file, not a folder
  EXPECT_FALSE(exists(base + "Gone\\Subs\\"));
  EXPECT_FALSE(exists("C:\\"));  // a root is not among any entries
  EXPECT_FALSE(exists(""));
  EXPECT_FALSE(exists(std::string(300, 'x') + "\\"));
}

}  // namespace
}  // namespace quorvane
