#include "util/command_line.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

CommandLine Args(std::vector<std::string> args) { return CommandLine(std::move(args)); }

TEST(CommandLineTest, SwitchMatchesAnyCaseWithOrWithoutValue) {
  EXPECT_TRUE(Args({"-SERWIS=0"}).HasSwitch("serwis"));
  EXPECT_TRUE(Args({"-Serwis"}).HasSwitch("serwis"));
  EXPECT_FALSE(Args({"/serwis"}).HasSwitch("serwis"));
  EXPECT_FALSE(Args({"-serwisant"}).HasSwitch("serwis"));
  EXPECT_FALSE(Args({"-m"}).HasSwitch("ms"));
  EXPECT_FALSE(Args({"-min"}).HasSwitch("m"));
}

TEST(CommandLineTest, SwitchValueIsEverythingAfterTheFirstEquals) {
  EXPECT_EQ(Args({"-H=5312"}).SwitchValue("h"), "5312");
  EXPECT_EQ(Args({"-h=a=b"}).SwitchValue("h"), "a=b");
  EXPECT_EQ(Args({"-h=Okno"}).SwitchValue("H"), "Okno");
  EXPECT_EQ(Args({"-h"}).SwitchValue("h"), "");
  EXPECT_EQ(Args({"-h="}).SwitchValue("h"), "");
  EXPECT_EQ(Args({"-hx=1", "-h=2", "-h=3"}).SwitchValue("h"), "2");
}

TEST(CommandLineTest, TextJoinsParametersWithBlanksAndTrims) {
  EXPECT_EQ(Args({}).CommandLineText(), "");
  EXPECT_EQ(Args({"-s", "-d"}).CommandLineText(), "-s -d");
  EXPECT_EQ(Args({" ", "-v "}).CommandLineText(), "-v");
}

TEST(CommandLineTest, MainArgumentsSkipTheProgramPath) {
  const char* argv[] = {"/opt/Tramolin2", "-k", "-min"};
  EXPECT_EQ(CommandLine(3, argv).Args(), (std::vector<std::string>{"-k", "-min"}));
}

}  // namespace
}  // namespace tramolin
