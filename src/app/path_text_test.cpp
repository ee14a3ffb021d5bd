#include "app/path_text.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(PathText, SplitsAtTheLastBackslashThatIsACharacter) {
  struct Case { const char* path; const char* head; const char* tail; };
  const Case cases[] = {
      {"SOFTWARE\\Orlenna\\Quorvane\\size", "SOFTWARE\\Orlenna\\Quorvane", "size"},
      {"size", "", "size"},
      {"\\size", "", "size"},
      {"key\\", "key", ""},
      // 0x95 0x5C and 0xB1 0x5C are single characters: their 0x5C is not a separator.
      {"key\\\x95\x5C", "key", "\x95\x5C"},
      {"\xB1\x5C\\name", "\xB1\x5C", "name"},
      {"\xB1\x5C", "", "\xB1\x5C"},
      // A lead byte at the very end has no trail byte to swallow.
      {"a\\b\xB1", "a", "b\xB1"},
  };
  for (const auto& c : cases) {
    const PathSplit split = splitAtLastBackslash(c.path);
    EXPECT_EQ(split.head, c.head) << c.path;
    EXPECT_EQ(split.tail, c.tail) << c.path;
  }
}

TEST(PathText, SingleBytePagesSeeEveryBackslash) {
  // In code page 1252 0xE9 is a letter of its own.
  const auto noLeadBytes = [](unsigned char) { return false; };
  EXPECT_EQ(folderOfPath("C:\\Caf\xE9\\a.srt", noLeadBytes), "C:\\Caf\xE9\\");
  EXPECT_EQ(folderOfPath("C:\\x\xE9\\a.srt", noLeadBytes), "C:\\x\xE9\\");
}

TEST(PathText, FolderOfAFileKeepsItsBackslash) {
  EXPECT_EQ(folderOfPath("D:\\Subs\\Movie.srt"), "D:\\Subs\\");
  EXPECT_EQ(folderOfPath("D:\\Movie.srt"), "D:\\");
  EXPECT_EQ(folderOfPath("Movie.srt"), "");
  EXPECT_EQ(folderOfPath(""), "");
  EXPECT_EQ(folderOfPath("D:\\\xD7\xD6\xC4\xBB\\\xB1\x5C.srt"), "D:\\\xD7\xD6\xC4\xBB\\");
}

TEST(PathText, FolderQueryListsTheParent) {
  struct Case { const char* folder; const char* pattern; const char* name; };
  const Case cases[] = {
      {"D:\\Subs\\", "D:\\*.*", "Subs"},
      {"D:\\Subs", "D:\\*.*", "Subs"},
      {"D:\\Subs\\Old\\", "D:\\Subs\\*.*", "Old"},
      {"D:\\", "*.*", "D:"},  // a root is never among its parent's entries
      {"Subs", "*.*", "Subs"},
      {"", "*.*", ""},
      {"D:\\\x95\x5C", "D:\\*.*", "\x95\x5C"},  // its last byte is a trail byte, not dropped
  };
  for (const auto& c : cases) {
    const FolderQuery query = folderQueryFor(c.folder);
    EXPECT_EQ(query.pattern, c.pattern) << c.folder;
    EXPECT_EQ(query.name, c.name) << c.folder;
  }
}

}  // namespace
}  // namespace quorvane
