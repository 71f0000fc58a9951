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

TEST(SystemInfoTest, OnlyTheOwnExecutableHasTheBuildVersion) {
  EXPECT_EQ(GetFileVersion(ProgramPath()), TRAMOLIN_VERSION);
  EXPECT_EQ(GetFileVersion("/bin/sh"), "");
  EXPECT_EQ(GetFileVersion("/no/such/file"), "");
}

}  // namespace
}  // namespace tramolin
