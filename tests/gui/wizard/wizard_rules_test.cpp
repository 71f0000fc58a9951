#include "ui/wizard_rules.h"

#include <gtest/gtest.h>

#include "ui/service_setup.h"
#include "unit/util/temp_dir.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

TEST(WizardRulesTest, HostGetsItsColonOnceAndAnEmptyHostStaysEmbedded) {
  EXPECT_EQ(StoredHost("srv"), "srv:");
  EXPECT_EQ(StoredHost("srv:"), "srv:");
  EXPECT_EQ(StoredHost("127.0.0.1/3051"), "127.0.0.1/3051:");
  EXPECT_EQ(StoredHost(""), "");
}

TEST(WizardRulesTest, DatabaseFieldsAreTrimmedAndTheDirectoryNormalised) {
  struct Case {
    DatabaseFields typed;
    DatabaseFieldsCheck check;
    std::string directory;
  };
  const Case cases[] = {
      {{"srv", "C:\\Bazy", "x.fdb"}, DatabaseFieldsCheck::kUsable, "C:\\Bazy\\"},
      {{"srv", "C:\\Bazy\\", "x.fdb"}, DatabaseFieldsCheck::kUsable, "C:\\Bazy\\"},
      {{"srv", " /var/db ", " x.fdb"}, DatabaseFieldsCheck::kUsable, "/var/db/"},
      {{"srv", "/var/db/", "x.fdb"}, DatabaseFieldsCheck::kUsable, "/var/db/"},
      {{"srv", "baza", ""}, DatabaseFieldsCheck::kUsable, "baza"},  // an alias
      {{"srv", "", "x.fdb"}, DatabaseFieldsCheck::kUsable, ""},
      {{"srv", "  ", " "}, DatabaseFieldsCheck::kDirectoryMissing, ""},
  };
  for (const Case& c : cases) {
    DatabaseFields fields = c.typed;
    EXPECT_EQ(CheckDatabaseFields(fields), c.check) << c.typed.directory;
    EXPECT_EQ(fields.directory, c.directory);
  }
  DatabaseFields padded{" srv ", "d", " f "};
  CheckDatabaseFields(padded);
  EXPECT_EQ(padded.host, "srv");
  EXPECT_EQ(padded.file, "f");
}

TEST(WizardRulesTest, PortFieldsMustBeIntegers) {
  EXPECT_FALSE(IntegerError("17846").has_value());
  ASSERT_TRUE(IntegerError("abc").has_value());
  EXPECT_NE(IntegerError("abc")->find("'abc'"), std::string::npos);
  EXPECT_TRUE(IntegerError("12a").has_value());
  EXPECT_EQ(PortOrDefault(""), 17846);
  EXPECT_EQ(PortOrDefault("abc"), 17846);
  EXPECT_EQ(PortOrDefault("3051"), 3051);
}

TEST(WizardRulesTest, AutoHourMustBeExactlyItsFormattedTime) {
  struct Case {
    const char* text;
    AutoHourCheck::Result result;
  };
  const Case cases[] = {
      {"07:05", AutoHourCheck::kValid},           {"23:59", AutoHourCheck::kValid},
      {"00:00", AutoHourCheck::kValid},           {" 7:05", AutoHourCheck::kNotCanonical},
      {"25:00", AutoHourCheck::kConversionError}, {"12:60", AutoHourCheck::kConversionError},
      {"  :  ", AutoHourCheck::kConversionError}, {"1 :05", AutoHourCheck::kConversionError},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckAutoHour(c.text).result, c.result) << c.text;
  EXPECT_FALSE(CheckAutoHour("25:00").error.empty());
}

TEST(WizardRulesTest, StoredAutoHourCountsUnlessBlankOrAnEmptyMask) {
  for (const char* unset : {"", "  ", ":", " : ", "__:__"}) EXPECT_FALSE(AutoHourSet(unset));
  EXPECT_TRUE(AutoHourSet("07:30"));
}

TEST(WizardRulesTest, ServiceNameNeedsTextWithoutBlanks) {
  EXPECT_TRUE(CheckServiceName("RepA"));
  EXPECT_TRUE(CheckServiceName(" RepA "));
  EXPECT_FALSE(CheckServiceName(""));
  EXPECT_FALSE(CheckServiceName("   "));
  EXPECT_FALSE(CheckServiceName("Rep A"));
}

TEST(WizardRulesTest, FingerprintNeedsExactly32HexBytesAndIsWrittenAsTheScriptPrintsIt) {
  const std::string hex = "3a7fc219e45b08d16c92af304eb7158dc621f90a73be54e81d962c4fa067db38";
  const std::string pinned =
      "3A:7F:C2:19:E4:5B:08:D1:6C:92:AF:30:4E:B7:15:8D:C6:21:F9:0A:73:BE:54:E8:1D:96:2C:4F:A0:67:"
      "DB:38";
  for (const std::string& typed : {hex, pinned, " 3a 7f:c2" + hex.substr(6) + " "}) {
    EXPECT_EQ(NormalisedFingerprint(typed), pinned) << typed;
  }
  // 31 and 33 bytes, an odd digit, a letter beyond F, another separator.
  for (const std::string& bad : {std::string(), hex.substr(2), hex + "00", hex.substr(1),
                                 "g" + hex.substr(1), hex.substr(2) + "-1"}) {
    EXPECT_FALSE(NormalisedFingerprint(bad).has_value()) << bad;
  }
}

TEST(WizardRulesTest, VelmoIniFillsOnlyTheKeysItHas) {
  testing::TempDir dir;
  testing::WriteFile(dir / "velmo.ini",
                     "[Inne]\r\nSQLHost=zly\r\n[Baza Danych]\r\nSQLHost=serwer\r\n"
                     "SQLPath=D:\\Dane\\"_cp +
                         "\r\n");
  const DatabaseFields fields = ReadVelmoIni(dir / "velmo.ini", {"127.0.0.1:", "x", "baza.fdb"});
  EXPECT_EQ(fields.host, "serwer");
  EXPECT_EQ(fields.directory, "D:\\Dane\\");
  EXPECT_EQ(fields.file, "baza.fdb");
}

TEST(WizardRulesTest, ChosenFileIsALocalDatabase) {
  const DatabaseFields fields = FieldsOfChosenFile("/srv/bazy/main.fdb");
  EXPECT_EQ(fields.host, "127.0.0.1");
  EXPECT_EQ(fields.directory, "/srv/bazy/");
  EXPECT_EQ(fields.file, "main.fdb");
}

}  // namespace
}  // namespace tramolin
