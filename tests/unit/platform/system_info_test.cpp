#include "platform/system_info.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

TEST(SystemInfoTest, ComputerNameIsCutToFifteenCharacters) {
  EXPECT_LE(ComputerName().size(), 15u);
}

TEST(SystemInfoTest, DescriptionIsNameThenAddressesInParentheses) {
  EXPECT_EQ(ComputerDescription(), ComputerName() + " (" + LocalAddresses() + ")");
  const std::string addresses = LocalAddresses();
  EXPECT_EQ(addresses.find("//"), std::string::npos);
  EXPECT_FALSE(addresses.ends_with('/'));
}

TEST(SystemInfoTest, AppDirectoryIsTheChosenFolderElseTheExecutables) {
  const std::filesystem::path program = "/opt/t/tramolin2";
  EXPECT_EQ(AppDirectory("", program), "/opt/t");
  EXPECT_EQ(AppDirectory("/var/lib/tramolin2/a/", program), "/var/lib/tramolin2/a");
  EXPECT_EQ(AppDirectory("/srv//x/../y", program), "/srv/y");
  EXPECT_EQ(AppDirectory("rep", program), std::filesystem::current_path() / "rep");
}

TEST(SystemInfoTest, OnlyTheOwnExecutableHasTheBuildVersion) {
  EXPECT_EQ(GetFileVersion(ProgramPath()), TRAMOLIN_VERSION);
  EXPECT_EQ(GetFileVersion("/bin/sh"), "");
  EXPECT_EQ(GetFileVersion("/no/such/file"), "");
}

}  // namespace
}  // namespace tramolin
