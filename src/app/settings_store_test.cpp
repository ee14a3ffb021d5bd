#include "app/settings_store.h"

#include <gtest/gtest.h>

#include "platform/fake_registry.h"

namespace quorvane {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  FakeRegistry registry;
  SettingsStore store{registry};
};

TEST_F(SettingsStoreTest, MissingOrNonTextValuesGiveTheDefault) {
  EXPECT_EQ(store.readText(setting::kLeft, "240"), "240");
  registry.setDword(setting::kKey, "left", 500);
  EXPECT_EQ(store.readText(setting::kLeft, "240"), "240");
  registry.setText(setting::kKey, "left", "");
  EXPECT_EQ(store.readText(setting::kLeft, "240"), "");  // empty text is a value, not a miss
}

TEST_F(SettingsStoreTest, WritesTextUnderTheKeyAndReadsItBack) {
  EXPECT_TRUE(store.writeText(setting::kSize, "36"));
  const auto* value = registry.find(RegistryRoot::LocalMachine, setting::kKey, "size");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->text, "36");
  EXPECT_EQ(store.readText(setting::kSize, "0"), "36");
}

TEST_F(SettingsStoreTest, BothSpellingsOfTheFontPathAddressOneValue) {
  store.writeText(setting::kFontWrite, "\xCB\xCE\xCC\xE5");
  EXPECT_EQ(store.readText(setting::kFont, "x"), "\xCB\xCE\xCC\xE5");
  EXPECT_EQ(registry.values.size(), 1u);
}

TEST_F(SettingsStoreTest, APathWithoutBackslashNamesAValueUnderTheRoot) {
  store.writeText("top", "1");
  EXPECT_NE(registry.find(RegistryRoot::LocalMachine, "", "top"), nullptr);
}

TEST_F(SettingsStoreTest, FailedWritesReportFalseAndLeaveTheOldValue) {
  store.writeText(setting::kProcess, "a.exe");
  registry.failWrites = true;
  EXPECT_FALSE(store.writeText(setting::kProcess, "b.exe"));
  EXPECT_EQ(store.readText(setting::kProcess, ""), "a.exe");
}

TEST_F(SettingsStoreTest, SettingsTheSessionKnowsComeBackWhenTheKeyIsDeleted) {
  registry.setText(setting::kKey, "left", "100");
  registry.setText(setting::kKey, "size", "40");
  EXPECT_EQ(store.readText(setting::kLeft, "240"), "100");
  EXPECT_EQ(store.readText(setting::kSize, "36"), "40");
  EXPECT_EQ(store.readText(setting::kWidth, "1440"), "1440");  // missing: a default, not a setting
  store.writeText(setting::kTop, "500");
  registry.values.clear();  // the key deleted under the running program

  EXPECT_TRUE(store.writeText(setting::kShadow, "1"));
  auto text = [&](const char* name) {
    const auto* value = registry.find(RegistryRoot::LocalMachine, setting::kKey, name);
    return value ? value->text : std::string("(missing)");
  };
  EXPECT_EQ(text("shadow"), "1");
  EXPECT_EQ(text("left"), "100");
  EXPECT_EQ(text("size"), "40");
  EXPECT_EQ(text("top"), "500");
  EXPECT_EQ(text("width"), "(missing)");
}

TEST_F(SettingsStoreTest, AWriteTheKeyRefusedIsMadeByTheNextWriteThatSucceeds) {
  registry.setText(setting::kKey, "size", "36");
  store.readText(setting::kSize, "36");
  registry.failWrites = true;  // the key made read-only
  EXPECT_FALSE(store.writeText(setting::kSize, "44"));
  EXPECT_EQ(store.readText(setting::kSize, "36"), "36");  // reads give what is stored
  registry.failWrites = false;
  EXPECT_TRUE(store.writeText(setting::kTop, "3"));
  const auto* size = registry.find(RegistryRoot::LocalMachine, setting::kKey, "size");
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->text, "44");
}

TEST_F(SettingsStoreTest, TheFontComesBackAsLastWrittenUnderEitherSpelling) {
  registry.setText(setting::kKey, "font", "old");
  store.readText(setting::kFont, "x");
  store.writeText(setting::kFontWrite, "new");
  registry.values.clear();
  store.writeText(setting::kLeft, "1");
  const auto* font = registry.find(RegistryRoot::LocalMachine, setting::kKey, "font");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->text, "new");
  EXPECT_EQ(registry.values.size(), 2u);
}

constexpr auto hklm = RegistryRoot::LocalMachine;
constexpr auto hkcu = RegistryRoot::CurrentUser;
// Where registry virtualisation keeps the 32-bit program's writes for a user who may not write
// HKEY_LOCAL_MACHINE, as 64-bit Windows lays it out.
constexpr std::string_view kVirtualKey =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Orlenna\\Quorvane";

TEST_F(SettingsStoreTest, LaterPlacesOverrideEarlierOnes) {
  const struct {
    const char* what;
    const char* machine;  // nullptr: not there
    const char* virtualCopy;
    const char* userCopy;
    bool machineWritable;
    const char* expected;
  } cases[] = {
      {"machine only", "1", nullptr, nullptr, true, "1"},
      {"virtual copy of a user who may write the machine's key: not this user's", "1", "2", nullptr, true, "1"},
      {"virtual copy of a user who may not", "1", "2", nullptr, false, "2"},
      {"virtual copy alone", nullptr, "2", nullptr, false, "2"},
      {"user's copy over both", "1", "2", "3", false, "3"},
      {"user's copy over the machine's", "1", nullptr, "3", true, "3"},
      {"nowhere", nullptr, nullptr, nullptr, false, "default"},
  };
  for (const auto& c : cases) {
    FakeRegistry registry;
    if (c.machine) registry.setText(setting::kKey, "size", c.machine);
    if (c.virtualCopy) registry.setText(kVirtualKey, "size", c.virtualCopy, hkcu);
    if (c.userCopy) registry.setText(setting::kKey, "size", c.userCopy, hkcu);
    if (!c.machineWritable) registry.refuseWrites(hklm, setting::kKey);
    SettingsStore store{registry};
    EXPECT_EQ(store.readText(setting::kSize, "default"), c.expected) << c.what;
  }
}

TEST_F(SettingsStoreTest, AWriteTheMachineKeyRefusesGoesToTheUsersCopy) {
  registry.setText(setting::kKey, "size", "36");
  registry.setText(kVirtualKey, "size", "40", hkcu);
  registry.refuseWrites(hklm, setting::kKey);
  EXPECT_EQ(store.readText(setting::kSize, "0"), "40");
  EXPECT_TRUE(store.writeText(setting::kSize, "44"));
  EXPECT_EQ(registry.find(hklm, setting::kKey, "size")->text, "36");
  const auto* own = registry.find(hkcu, setting::kKey, "size");
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->text, "44");
  EXPECT_EQ(SettingsStore(registry).readText(setting::kSize, "0"), "44");  // the next start

  registry.refuseWrites(hkcu, setting::kKey);  // nowhere to keep it: a failure, said as one
  EXPECT_FALSE(store.writeText(setting::kSize, "48"));
  EXPECT_EQ(SettingsStore(registry).readText(setting::kSize, "0"), "44");
}

TEST_F(SettingsStoreTest, AWriteTheMachineKeyTakesAlsoRenewsTheUsersCopy) {
  registry.setText(setting::kKey, "left", "100", hkcu);  // left by a run that could not write HKLM
  EXPECT_TRUE(store.writeText(setting::kLeft, "200"));
  EXPECT_TRUE(store.writeText(setting::kTop, "300"));
  EXPECT_EQ(registry.find(hklm, setting::kKey, "left")->text, "200");
  EXPECT_EQ(registry.find(hkcu, setting::kKey, "left")->text, "200");
  EXPECT_EQ(registry.find(hkcu, setting::kKey, "top"), nullptr);  // no copy made where none was
  EXPECT_EQ(SettingsStore(registry).readText(setting::kLeft, "0"), "200");

  registry.refuseWrites(hkcu, setting::kKey);  // the copy would now override with "200"
  EXPECT_FALSE(store.writeText(setting::kLeft, "250"));
}

}  // namespace
}  // namespace quorvane
