#include <gtest/gtest.h>

#include "platform/autostart.h"
#include "platform/registry.h"
#include "unit/util/temp_dir.h"

namespace tramolin {
namespace {

constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistryTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  Registry registry_{dir_ / "registry"};
};

TEST_F(RegistryTest, MissingKeyOrValueReadsEmpty) {
  EXPECT_EQ(registry_.ReadRegistryString(kRunKey, "Tramolin2", RegistryRoot::kCurrentUser), "");
  EXPECT_FALSE(registry_.KeyExists(kRunKey, RegistryRoot::kCurrentUser));
  registry_.DeleteRegistryValue(kRunKey, "Tramolin2", RegistryRoot::kCurrentUser);
}

TEST_F(RegistryTest, WriteCreatesAndRootsAreSeparate) {
  registry_.WriteRegistryString(kRunKey, "Tramolin2", "\"/opt/t/Tramolin2\" -min",
                                RegistryRoot::kCurrentUser);
  EXPECT_EQ(registry_.ReadRegistryString(kRunKey, "tramolin2", RegistryRoot::kCurrentUser),
            "\"/opt/t/Tramolin2\" -min");
  EXPECT_EQ(registry_.ReadRegistryString(kRunKey, "Tramolin2", RegistryRoot::kLocalMachine), "");
  EXPECT_TRUE(registry_.KeyExists(kRunKey, RegistryRoot::kCurrentUser));
}

TEST_F(RegistryTest, DeleteRemovesOnlyThatValue) {
  registry_.WriteRegistryString("K", "A", "1", RegistryRoot::kLocalMachine);
  registry_.WriteRegistryString("K", "B", "2", RegistryRoot::kLocalMachine);
  registry_.DeleteRegistryValue("K", "A", RegistryRoot::kLocalMachine);
  EXPECT_EQ(registry_.ReadRegistryString("K", "A", RegistryRoot::kLocalMachine), "");
  EXPECT_EQ(registry_.ReadRegistryString("K", "B", RegistryRoot::kLocalMachine), "2");
}

TEST(AutostartTest, EntryQuotesThePathAndCarriesMin) {
  const testing::TempDir dir;
  const Autostart autostart(dir / "autostart");
  EXPECT_FALSE(autostart.IsAutostartEnabled());
  ASSERT_TRUE(autostart.SetAutostart(true, "/opt/my apps/Tramolin2"));
  EXPECT_TRUE(autostart.IsAutostartEnabled());
  EXPECT_NE(
      testing::ReadFile(autostart.EntryFile()).find("\nExec=\"/opt/my apps/Tramolin2\" -min\n"),
      std::string::npos);
  ASSERT_TRUE(autostart.SetAutostart(false, ""));
  EXPECT_FALSE(autostart.IsAutostartEnabled());
}

TEST(AutostartTest, SpecialCharactersAreEscapedTwice) {
  EXPECT_EQ(AutostartCommand("/a$b\\c"), "\"/a\\\\$b\\\\\\\\c\" -min");
}

}  // namespace
}  // namespace tramolin
