// The settings' places against the real registry: the machine's key in its 32-bit view, the copy
// registry virtualisation keeps for a standard user, and the user's own copy.
#include "app/settings_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/registry_key_win.h"
#include "platform/registry_rights_win_test.h"

namespace quorvane {
namespace {

// A key of the test's own in each place, removed before and after.
class SettingsStoreWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rest = "Orlenna\\QuorvaneTests\\" + std::to_string(GetCurrentProcessId());
    machineKey = "SOFTWARE\\" + rest;
    virtualKey = "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\" + rest;
    removeAll();
  }
  void TearDown() override { removeAll(); }
  void removeAll() {
    setKeyWritable(HKEY_LOCAL_MACHINE, machineKey, KEY_WOW64_32KEY, true);
    deleteKeyTree(HKEY_LOCAL_MACHINE, machineKey, KEY_WOW64_32KEY);
    RegDeleteTreeA(HKEY_CURRENT_USER, machineKey.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, virtualKey.c_str());
  }
  // Stores a value as the 32-bit program (or Windows for it) does.
  void put(HKEY root, const std::string& key, const char* name, const std::string& text) {
    RegistryKey h;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0,
                              KEY_WRITE | (root == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0), nullptr,
                              h.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }
  std::optional<std::string> get(HKEY root, const std::string& key, const char* name) {
    RegistryKey h;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | (root == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0),
                      h.put()) != ERROR_SUCCESS)
      return std::nullopt;
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    if (RegQueryValueExA(h.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
      return std::nullopt;
    return std::string(buffer);
  }
  std::string path(const char* name) const { return machineKey + "\\" + name; }

  std::string rest, machineKey, virtualKey;
  std::unique_ptr<Registry> registry = makeSystemRegistry();
};

TEST_F(SettingsStoreWinTest, AStandardUsersSettingsComeFromTheVirtualCopyAndGoToTheUsersOwn) {
  put(HKEY_LOCAL_MACHINE, machineKey, "size", "36");
  put(HKEY_LOCAL_MACHINE, machineKey, "left", "100");
  put(HKEY_CURRENT_USER, virtualKey, "size", "40");  // the 32-bit program's write, virtualised
  SettingsStore store(*registry);
  EXPECT_EQ(store.readText(path("size"), "0"), "36") << "the virtual copy is not this user's";

  setKeyWritable(HKEY_LOCAL_MACHINE, machineKey, KEY_WOW64_32KEY, false);
  EXPECT_EQ(store.readText(path("size"), "0"), "40");
  EXPECT_EQ(store.readText(path("left"), "0"), "100");

  EXPECT_TRUE(store.writeText(path("size"), "44"));
  EXPECT_EQ(get(HKEY_LOCAL_MACHINE, machineKey, "size"), "36");
  EXPECT_EQ(get(HKEY_CURRENT_USER, machineKey, "size"), "44");
  EXPECT_EQ(SettingsStore(*registry).readText(path("size"), "0"), "44");

  // Once the machine's key takes writes again, a write there renews the user's copy too.
  setKeyWritable(HKEY_LOCAL_MACHINE, machineKey, KEY_WOW64_32KEY, true);
  EXPECT_TRUE(store.writeText(path("size"), "48"));
  EXPECT_EQ(get(HKEY_LOCAL_MACHINE, machineKey, "size"), "48");
  EXPECT_EQ(get(HKEY_CURRENT_USER, machineKey, "size"), "48");
  EXPECT_EQ(SettingsStore(*registry).readText(path("size"), "0"), "48");
}

}  // namespace
}  // namespace quorvane
