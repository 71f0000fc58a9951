#include "platform/service_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "unit/util/temp_dir.h"

namespace tramolin {
namespace {

using testing::ReadFile;

// A stand-in systemctl that appends its arguments to a file.
class ServiceControlTest : public ::testing::Test {
 protected:
  ServiceControlTest() {
    std::filesystem::create_directory(dir_ / "units");
    testing::WriteFile(stub_, "#!/bin/sh\necho \"$@\" >> '" + calls_.string() + "'\n");
    std::filesystem::permissions(stub_, std::filesystem::perms::owner_all);
  }
  std::string CallsAfterWaiting(std::size_t lines) const {
    for (int i = 0; i < 100; ++i) {
      const std::string calls = ReadFile(calls_);
      if (static_cast<std::size_t>(std::count(calls.begin(), calls.end(), '\n')) >= lines) {
        return calls;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ReadFile(calls_);
  }

  testing::TempDir dir_;
  const std::filesystem::path stub_ = dir_ / "systemctl";
  const std::filesystem::path calls_ = dir_ / "calls";
  ServiceControl control_{dir_ / "units", stub_.string()};
};

TEST_F(ServiceControlTest, StopAndStartRunSystemctlWithTheUnitName) {
  ASSERT_TRUE(control_.StopService("Tramolin2"));
  EXPECT_EQ(CallsAfterWaiting(1), "stop Tramolin2.service\n");
  ASSERT_TRUE(control_.StartService("Tramolin2"));
  EXPECT_EQ(CallsAfterWaiting(2), "stop Tramolin2.service\nstart Tramolin2.service\n");
}

TEST_F(ServiceControlTest, InstallWritesTheUnitAndEnablesIt) {
  EXPECT_FALSE(control_.IsInstalled("Rep"));
  control_.InstallUnit("Rep", {"/opt/rep/Tramolin2", "/opt/rep/", {}, true});
  EXPECT_TRUE(control_.IsInstalled("Rep"));
  const std::string unit = ReadFile(dir_ / "units" / "Rep.service");
  EXPECT_NE(unit.find("\nExecStart=\"/opt/rep/Tramolin2\" -s -d\n"), std::string::npos);
  EXPECT_NE(unit.find("\nWorkingDirectory=/opt/rep/\n"), std::string::npos);
  EXPECT_EQ(unit.find("User="), std::string::npos);  // the account does not own /opt/rep/
  EXPECT_EQ(ReadFile(calls_), "daemon-reload\nenable Rep.service\n");
}

TEST_F(ServiceControlTest, WithoutDebugTheServiceRunsWithOnlyS) {
  EXPECT_NE(
      ServiceUnitText("Rep", {"/r/T", "/r/", {}, false}, "").find("\nExecStart=\"/r/T\" -s\n"),
      std::string::npos);
}

// The same hardened service for a folder of the wizard and for the package's instances; only
// the package's makes its folder for the account. "%" in a path is no specifier.
TEST(ServiceUnitTest, BothUnitsRunConfinedToTheirFolders) {
  const std::string folder = ServiceUnitText("Rep", {"/r/T", "/r 5%/", {"/db/"}, false}, "acc");
  const std::string packaged = ServiceTemplateUnitText("/usr/bin/tramolin2");
  for (const char* line : {"\nUser=acc\nGroup=acc\n", "\nEnvironment=\"TRAMOLIN2_DIR=/r 5%%/\"\n",
                           "\nReadWritePaths=\"/r 5%%/\" \"-/db/\"\n"}) {
    EXPECT_NE(folder.find(line), std::string::npos) << line;
  }
  for (const char* line :
       {"\nUser=tramolin2\nGroup=tramolin2\n", "\nExecStart=\"/usr/bin/tramolin2\" -s\n",
        "\nEnvironment=\"TRAMOLIN2_DIR=/var/lib/tramolin2/%i/\"\n",
        "\nStateDirectory=tramolin2/%i\n", "\nReadWritePaths=\"/var/lib/tramolin2/%i/\"\n"}) {
    EXPECT_NE(packaged.find(line), std::string::npos) << line;
  }
  for (const std::string& unit : {folder, packaged}) {
    for (const char* line : {"\nProtectSystem=strict\n", "\nPrivateTmp=yes\n",
                             "\nNoNewPrivileges=yes\n", "\nRestart=on-failure\n"}) {
      EXPECT_NE(unit.find(line), std::string::npos) << line;
    }
  }
}

TEST_F(ServiceControlTest, RemoveDisablesAndDeletesTheUnit) {
  control_.InstallUnit("Rep", {"/opt/rep/Tramolin2", "/opt/rep/", {}, false});
  control_.RemoveUnit("Rep");
  EXPECT_FALSE(control_.IsInstalled("Rep"));
  const std::string calls =
      "daemon-reload\nenable Rep.service\ndisable Rep.service\ndaemon-reload\n";
  EXPECT_EQ(ReadFile(calls_), calls);
  control_.RemoveUnit("Rep");  // nothing left to do
  EXPECT_EQ(ReadFile(calls_), calls);
}

TEST_F(ServiceControlTest, UnwritableUnitDirectoryRaises) {
  const ServiceControl control(dir_ / "missing", stub_.string());
  EXPECT_THROW(control.InstallUnit("Rep", {"/r/T", "/r/", {}, false}), std::system_error);
}

TEST(ServiceNameTest, OnlySystemdUnitNamesThatStayInTheUnitFolder) {
  const std::vector<std::string> valid = {"Tramolin2", "ok-name_1.2", "a:b\\c", "x",
                                          std::string(247, 'a')};  // 255 with ".service"
  const std::vector<std::string> invalid = {
      "",     "a/../../etc/x", "../x",   "a..b", "x y", "-x",  ".x",
      "x\ny", "x\ty",          "Usługa", "x@y",  "x;y", "x'y", std::string(248, 'a')};
  for (const std::string& name : valid) EXPECT_TRUE(IsValidServiceName(name)) << name;
  for (const std::string& name : invalid) EXPECT_FALSE(IsValidServiceName(name)) << name;
}

TEST_F(ServiceControlTest, InvalidNameIsRefusedByEveryOperation) {
  const std::string name = "../x";
  const auto outside = dir_ / "x.service";  // where the name leads from the unit folder
  testing::WriteFile(outside, "kept");
  EXPECT_THROW(control_.InstallUnit(name, {"/r/T", "/r/", {}, false}), std::invalid_argument);
  EXPECT_FALSE(control_.IsInstalled(name));
  EXPECT_FALSE(control_.StopService(name));
  EXPECT_FALSE(control_.StartService(name));
  control_.RemoveUnit(name);
  EXPECT_EQ(ReadFile(outside), "kept");
  EXPECT_EQ(ReadFile(calls_), "");
}

}  // namespace
}  // namespace tramolin
