// The verification rules without a network: the order of the checks, the version texts, the
// allow list and the access key.
#include "server/client_validation.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/recording_host.h"
#include "server/address_allow_list.h"

namespace tramolin::testing {
namespace {

class ScriptedDatabase : public VerificationDatabase {
 public:
  bool ConnectDatabase() override { return connects; }
  std::string GetDatabaseVersion() override {
    if (throws) throw std::runtime_error("zerwane połączenie");
    return version;
  }
  bool ReadCopyDescription(std::string& description, int number) override {
    ++copy_reads;
    description = number == 1 ? "Kopia nr 1" : "";
    return number == 1;
  }
  bool connects = true;
  bool throws = false;
  std::string version = "119.2";
  int copy_reads = 0;
};

struct CheckCase {
  const char* name;
  void (*change)(TAUTHData&, ScriptedDatabase&);
  int expected;
};

class ClientCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ClientCheckTest, FirstFailingCheckGivesTheResult) {
  TAUTHData data{1, 1000, "", "119.1", "2.1.5.7", false, "119", false, std::nullopt};
  ScriptedDatabase database;
  GetParam().change(data, database);
  RecordingHost host;
  VerificationFindings findings;
  EXPECT_EQ(CheckClientAgainstServer(data, {1000, "2.1.5.100", ""}, database, host, findings),
            GetParam().expected);
  if (database.throws) {
    EXPECT_TRUE(host.lines.empty()) << "a database error is not logged";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Checks, ClientCheckTest,
    ::testing::Values(CheckCase{"AllPass", [](TAUTHData&, ScriptedDatabase&) {}, 0},
                      CheckCase{"NoDatabaseBeforeAll",
                                [](TAUTHData& d, ScriptedDatabase& db) {
                                  db.connects = false;
                                  d.DBID = 1;
                                },
                                2},
                      CheckCase{"ServerTooNewBeforeIdentity",
                                [](TAUTHData& d, ScriptedDatabase& db) {
                                  db.version = "120.0";
                                  d.DBID = 1;
                                },
                                10},
                      CheckCase{"IdentityBeforeCopy",
                                [](TAUTHData& d, ScriptedDatabase&) {
                                  d.DBID = 1;
                                  d.DBNR = 5;
                                },
                                3},
                      CheckCase{"CopyBeforeVersions",
                                [](TAUTHData& d, ScriptedDatabase&) {
                                  d.DBNR = 5;
                                  d.DBVer = "118.9";
                                },
                                6},
                      CheckCase{"MajorStructureDiffers",
                                [](TAUTHData& d, ScriptedDatabase&) { d.DBVer = "118.9"; }, 7},
                      CheckCase{"VersionWithoutDotDiffers",
                                [](TAUTHData& d, ScriptedDatabase&) { d.DBVer = "119"; }, 7},
                      CheckCase{"HighestSupportedBeforeProgram",
                                [](TAUTHData& d, ScriptedDatabase&) {
                                  d.BAZA_VER_HIGH = "120";
                                  d.RepVer = "2.1.6.100";
                                },
                                11},
                      CheckCase{"ProgramVersionDiffers",
                                [](TAUTHData& d, ScriptedDatabase&) { d.RepVer = "2.1.6.100"; }, 8},
                      CheckCase{"ErrorGivesAuthFailure",
                                [](TAUTHData&, ScriptedDatabase& db) { db.throws = true; }, 1}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ClientCheckTest, TooNewServerStructureIsLoggedAsAnError) {
  TAUTHData data{1, 1000, "", "119.1", "2.1.5.7", false, "119", false, std::nullopt};
  ScriptedDatabase database;
  database.version = "121.3";
  RecordingHost host;
  VerificationFindings findings;
  CheckClientAgainstServer(data, {1000, "2.1.5.100", ""}, database, host, findings);
  ASSERT_EQ(host.lines.size(), 1U);
  EXPECT_EQ(host.lines[0].level, 1);
  EXPECT_TRUE(host.lines[0].text.find("zastana: 121.3)\r\n") != std::string::npos);
  EXPECT_FALSE(findings.copy_looked_up);
}

TEST(VersionTextTest, MajorPartAndNumber) {
  EXPECT_EQ(MajorVersionPrefix("119.2"), "119.");
  EXPECT_EQ(MajorVersionPrefix("119"), "");
  EXPECT_EQ(MajorVersionNumber("120.1"), 120);
  EXPECT_EQ(MajorVersionNumber("abc.1"), 0);
  EXPECT_EQ(MajorVersionNumber(""), 0);
  EXPECT_EQ(MajorVersionNumber("120"), 0) << "without a dot there is no major version";
}

TEST(AccessKeyTest, OnlyTheSameBytesMatch) {
  EXPECT_TRUE(AccessKeyMatches("tajny", "tajny"));
  EXPECT_FALSE(AccessKeyMatches("tajna", "tajny"));
  EXPECT_FALSE(AccessKeyMatches("tajny1", "tajny"));
  EXPECT_FALSE(AccessKeyMatches("", "tajny"));
  EXPECT_FALSE(AccessKeyMatches(std::string("tajny\0", 6), "tajny"));
}

struct AllowCase {
  const char* host;
  const char* address;
  bool allowed;
};

TEST(AllowListTest, HostOrAddressMustMatchAnEntry) {
  const std::vector<std::string> list = {"192.168.1.*", "biuro?", "[", "10.0.[0-3].*"};
  for (const AllowCase& c :
       {AllowCase{"", "192.168.1.77", true}, AllowCase{"BIURO1", "10.9.0.1", true},
        AllowCase{"serwer", "10.0.0.5", true}, AllowCase{"serwer", "10.0.4.5", false},
        AllowCase{"biuro", "10.9.0.1", false}, AllowCase{"", "127.0.0.1", true},
        AllowCase{"x", "172.16.0.1", false}}) {
    EXPECT_EQ(IsAddressAllowed(c.host, c.address, list), c.allowed) << c.host << " " << c.address;
  }
  EXPECT_TRUE(IsAddressAllowed("x", "172.16.0.1", {}));
  EXPECT_TRUE(IsAddressAllowed("x", "172.16.0.1", list, "172.16.0.1"));
}

}  // namespace
}  // namespace tramolin::testing
