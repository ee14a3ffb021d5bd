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

}  // namespace
}  // namespace quorvane
