#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/registry_key_win.h"
#include "platform/registry_rights_win_test.h"

namespace quorvane {
namespace {

// Each test works in a key of its own below HKEY_LOCAL_MACHINE and removes it afterwards, so
// the program's real settings stay untouched. The test's own access goes to the registry's 32-bit
// view, where the registry seam keeps HKEY_LOCAL_MACHINE in either build.
class SystemRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key = "SOFTWARE\\Orlenna\\QuorvaneTests\\" + std::to_string(GetCurrentProcessId());
    deleteKeyTree(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY);
  }
  void TearDown() override {
    setWritable(true);
    deleteKeyTree(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orlenna\\QuorvaneTests", KEY_WOW64_32KEY, 0);  // only if empty
  }
  void setRaw(const char* name, DWORD type, const void* data, DWORD size) {
    RegistryKey h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_32KEY, nullptr, h.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  std::optional<std::string> read(const char* name) const {
    return registry->readText(RegistryRoot::LocalMachine, key, name);
  }
  bool write(const std::string& keyPath, const char* name, const char* text) {
    return registry->writeText(RegistryRoot::LocalMachine, keyPath, name, text);
  }
  // Gives everyone the right to read the key only (and to change its rights back), or all rights.
  void setWritable(bool writable) { setKeyWritable(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, writable); }

  std::unique_ptr<Registry> registry = makeSystemRegistry();
  std::string key;
};

TEST_F(SystemRegistryTest, WritingCreatesTheKeyAndStoresRegSz) {
  EXPECT_EQ(read("left"), std::nullopt);  // missing key
  ASSERT_TRUE(write(key, "left", "240"));
  EXPECT_EQ(read("left"), "240");
  EXPECT_EQ(read("top"), std::nullopt);  // missing value in an existing key

  RegistryKey h;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, h.put()),
            ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(h.get(), "left", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 4u);  // text and its NUL
}

TEST_F(SystemRegistryTest, KeyNamesIgnoreLetterCase) {
  std::string lowerKey = key;
  lowerKey.replace(lowerKey.find("Orlenna"), 7, "orlenna");
  ASSERT_TRUE(write(lowerKey, "font", "SimHei"));
  EXPECT_EQ(read("font"), "SimHei");
  ASSERT_TRUE(write(key, "FONT", "Arial"));
  EXPECT_EQ(read("font"), "Arial");
}

TEST_F(SystemRegistryTest, ExpandableTextHasItsVariablesExpanded) {
  SetEnvironmentVariableA("QUORVANE_TEST_DIR", "C:\\Subs");
  const char text[] = "%QUORVANE_TEST_DIR%\\x";
  setRaw("directory", REG_EXPAND_SZ, text, sizeof text);
  EXPECT_EQ(read("directory"), "C:\\Subs\\x");
}

TEST_F(SystemRegistryTest, EveryOtherTypeReadsAsMissing) {
  const DWORD number = 500;
  setRaw("dword", REG_DWORD, &number, sizeof number);
  const unsigned char blob[] = {0x31, 0x00, 0xFF};
  setRaw("binary", REG_BINARY, blob, sizeof blob);
  const char multi[] = "a\0b\0";
  setRaw("multi", REG_MULTI_SZ, multi, sizeof multi);
  const ULONGLONG wide = 7;
  setRaw("qword", REG_QWORD, &wide, sizeof wide);
  for (const char* name : {"dword", "binary", "multi", "qword"}) {
    EXPECT_EQ(read(name), std::nullopt) << name;
  }
}

TEST_F(SystemRegistryTest, OddTextValuesReadWithoutFault) {
  setRaw("empty", REG_SZ, "", 0);  // no bytes at all, not even a NUL
  EXPECT_EQ(read("empty"), "");
  setRaw("unterminated", REG_SZ, "12", 2);
  EXPECT_EQ(read("unterminated"), "12");
  setRaw("inner", REG_SZ, "12\0" "34", 6);
  EXPECT_EQ(read("inner"), "12");
  const std::string huge(64 * 1024, '7');
  setRaw("huge", REG_SZ, huge.c_str(), static_cast<DWORD>(huge.size() + 1));
  EXPECT_EQ(read("huge"), huge);
}

TEST_F(SystemRegistryTest, AKeyThatRefusesWritesSaysSoAndKeepsItsValues) {
  EXPECT_TRUE(registry->canWrite(RegistryRoot::LocalMachine, key));  // missing: may be created
  ASSERT_TRUE(write(key, "size", "36"));
  EXPECT_TRUE(registry->canWrite(RegistryRoot::LocalMachine, key));
  setWritable(false);
  EXPECT_FALSE(registry->canWrite(RegistryRoot::LocalMachine, key));
  EXPECT_FALSE(registry->canWrite(RegistryRoot::LocalMachine, key + "\\below"));
  EXPECT_FALSE(write(key, "size", "44"));
  EXPECT_FALSE(registry->writeDword(RegistryRoot::LocalMachine, key, "n", 1));
  EXPECT_EQ(read("size"), "36");
  setWritable(true);
  EXPECT_TRUE(registry->canWrite(RegistryRoot::LocalMachine, key));
  EXPECT_TRUE(write(key, "size", "44"));
}

// The 64-bit program finds what the 32-bit one stored: HKEY_LOCAL_MACHINE\SOFTWARE's 32-bit
// view, not the 64-bit one.
TEST_F(SystemRegistryTest, MachineKeysAreTheThirtyTwoBitProgramsInEveryBuild) {
  const char text[] = "from the 32-bit program";
  setRaw("left", REG_SZ, text, sizeof text);
  EXPECT_EQ(read("left"), text);
  if (sizeof(void*) == 8) {
    RegistryKey h;
    const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, h.put());
    EXPECT_TRUE(rc != ERROR_SUCCESS ||
                RegQueryValueExA(h.get(), "left", nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        << "the value landed in the 64-bit view: the test proves nothing";
  }
}

}  // namespace
}  // namespace quorvane
