#include "util/ini_file.h"

#include <gtest/gtest.h>

#include "unit/util/temp_dir.h"

namespace tramolin {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class IniFileTest : public ::testing::Test {
 protected:
  IniFile Load(const std::string& text) {
    WriteFile(file_, text);
    return IniFile(file_);
  }
  std::string SaveAndRead(const IniFile& ini) {
    ini.Save();
    return ReadFile(file_);
  }

  testing::TempDir dir_;
  const std::filesystem::path file_ = dir_ / "Tramolin2.ini";
};

TEST_F(IniFileTest, MissingFileReadsAsEmpty) {
  const IniFile ini(dir_ / "none.ini");
  EXPECT_EQ(ini.ReadString("DB", "DBHOST", "dflt"), "dflt");
  EXPECT_FALSE(ini.HasKey("DB", "DBHOST"));
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndValuesLoseSurroundingBlanks) {
  const IniFile ini = Load("[db]\r\n  dbhost = 10.0.0.1: \r\n[Klient]\nHost=a=b\n");
  EXPECT_EQ(ini.ReadString("DB", "DBHOST", ""), "10.0.0.1:");
  EXPECT_EQ(ini.ReadString("KLIENT", "host", ""), "a=b");
  EXPECT_EQ(ini.ReadString("DB", "Host", "none"), "none");
}

TEST_F(IniFileTest, IntegersDecimalOrHexMalformedGivesDefault) {
  const IniFile ini =
      Load("[S]\nA=42\nB=-5\nC=0x1F\nD=0x\nE=abc\nF=\nG=99999999999\nH=0XFFFFFFFF\nI=0xZZ\n");
  EXPECT_EQ(ini.ReadInteger("S", "A", 7), 42);
  EXPECT_EQ(ini.ReadInteger("S", "B", 7), -5);
  EXPECT_EQ(ini.ReadInteger("S", "C", 7), 31);
  EXPECT_EQ(ini.ReadInteger("S", "D", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "E", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "F", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "G", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "H", 7), -1);
  EXPECT_EQ(ini.ReadInteger("S", "I", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "missing", 7), 7);
}

TEST_F(IniFileTest, BooleansAreIntegers) {
  const IniFile ini = Load("[S]\nA=0\nB=1\nC=2\nD=x\n");
  EXPECT_FALSE(ini.ReadBool("S", "A", true));
  EXPECT_TRUE(ini.ReadBool("S", "B", false));
  EXPECT_TRUE(ini.ReadBool("S", "C", false));
  EXPECT_TRUE(ini.ReadBool("S", "D", true));
  EXPECT_FALSE(ini.ReadBool("S", "D", false));
}

TEST_F(IniFileTest, WritingChangesOnlyTheKeyLine) {
  IniFile ini = Load("; komentarz\n[DB]\nDBHOST=old\n# unknown\nOther=1\n\n[Server]\nPort=1\n");
  ini.WriteString("db", "dbhost", "new");
  EXPECT_EQ(
      SaveAndRead(ini),
      "; komentarz\r\n[DB]\r\nDBHOST=new\r\n# unknown\r\nOther=1\r\n\r\n[Server]\r\nPort=1\r\n");
}

TEST_F(IniFileTest, MissingKeyJoinsTheEndOfItsSection) {
  IniFile ini = Load("[DB]\nDBHOST=h\n\n[Server]\nPort=1\n");
  ini.WriteInteger("DB", "DBPORT", 3050);
  ini.WriteBool("Server", "Extra", true);
  EXPECT_EQ(SaveAndRead(ini),
            "[DB]\r\nDBHOST=h\r\nDBPORT=3050\r\n\r\n[Server]\r\nPort=1\r\nExtra=1\r\n");
}

TEST_F(IniFileTest, MissingSectionJoinsTheEndOfTheFile) {
  IniFile ini = Load("[DB]\nDBHOST=h");
  ini.WriteString("DynDNS", "Server", "s");
  ini.WriteBool("DynDNS", "Flag", false);
  EXPECT_EQ(SaveAndRead(ini), "[DB]\r\nDBHOST=h\r\n\r\n[DynDNS]\r\nServer=s\r\nFlag=0\r\n");
}

TEST_F(IniFileTest, FirstOfDuplicateSectionsAndKeysWins) {
  IniFile ini = Load("[A]\nK=1\nK=2\n[a]\nK=3\nL=4\n");
  EXPECT_EQ(ini.ReadInteger("A", "K", 0), 1);
  EXPECT_EQ(ini.ReadInteger("A", "L", 0), 0);
  ini.WriteInteger("A", "K", 9);
  EXPECT_EQ(SaveAndRead(ini), "[A]\r\nK=9\r\nK=2\r\n[a]\r\nK=3\r\nL=4\r\n");
}

TEST_F(IniFileTest, DeletingAKeyRemovesOnlyItsLine) {
  IniFile ini = Load("[A]\nK=1\nL=2\n");
  EXPECT_TRUE(ini.DeleteKey("a", "k"));
  EXPECT_FALSE(ini.DeleteKey("A", "K"));
  EXPECT_FALSE(ini.DeleteKey("B", "L"));
  EXPECT_EQ(SaveAndRead(ini), "[A]\r\nL=2\r\n");
}

TEST_F(IniFileTest, LineBreaksInAValueCannotAddKeys) {
  IniFile ini = Load("[A]\n");
  ini.WriteString("A", "Host", "x\r\n[B]\nMode=1");
  EXPECT_EQ(SaveAndRead(ini), "[A]\r\nHost=x  [B] Mode=1\r\n");
  EXPECT_FALSE(IniFile(file_).HasSection("B"));
}

TEST_F(IniFileTest, UnwritableFileRaises) {
  IniFile ini(dir_ / "missing" / "Tramolin2.ini");
  ini.WriteString("A", "B", "C");
  EXPECT_THROW(ini.Save(), std::system_error);
}

TEST(CommaTextTest, CommasAndBlanksSeparateQuotesKeepItemsWhole) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ParseCommaText("10.0.0.*,biuro?"), (V{"10.0.0.*", "biuro?"}));
  EXPECT_EQ(ParseCommaText(""), V{});
  EXPECT_EQ(ParseCommaText("  "), V{});
  EXPECT_EQ(ParseCommaText("a b, c"), (V{"a", "b", "c"}));
  EXPECT_EQ(ParseCommaText("a,,b,"), (V{"a", "", "b", ""}));
  EXPECT_EQ(ParseCommaText("\"x y\",\"say \"\"hi\"\"\""), (V{"x y", "say \"hi\""}));
}

TEST(CommaTextTest, QuotingRoundTrips) {
  const std::vector<std::string> items = {"10.0.0.*", "a b", "c,d", "e\"f", "", "biuro?"};
  EXPECT_EQ(CommaText(items), "10.0.0.*,\"a b\",\"c,d\",\"e\"\"f\",\"\",biuro?");
  EXPECT_EQ(ParseCommaText(CommaText(items)), items);
  EXPECT_EQ(CommaText({}), "");
}

}  // namespace
}  // namespace tramolin
