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

}  // namespace
}  // namespace quorvane
