// The technician's status reports: every line, its order and its CR LF, for fixed values.
#include "server/server_reports.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "util/cp1250.h"
#include "util/day_time.h"

namespace tramolin::testing {
namespace {

// The report's lines in UTF-8; fails when a line break is not CR LF or the last line lacks one.
std::vector<std::string> Lines(std::string_view report) {
  std::vector<std::string> lines;
  while (!report.empty()) {
    const std::size_t end = report.find("\r\n");
    if (end == std::string_view::npos) {
      ADD_FAILURE() << "line without CR LF: " << report;
      break;
    }
    const std::string_view line = report.substr(0, end);
    EXPECT_EQ(line.find('\n'), std::string_view::npos) << line;
    lines.push_back(Cp1250ToUtf8(line));
    report.remove_prefix(end + 2);
  }
  return lines;
}

const double kStart = ToDayCount({2024, 3, 5, 8, 9, 10, 400});

ServerReportValues SampleValues() {
  ServerReportValues v;
  v.StartTime = kStart;
  v.Now = kStart + 2.25;
  v.RunningAsService = true;
  v.DesktopInteraction = true;
  v.ComputerDescription = "BIURO-1 (10.0.0.5/192.168.1.2)";
  v.DatabasePath = "serwer:/var/db/baza.fdb";
  v.LocalDatabaseId = 4711;
  v.LocalDatabaseVersion = "119.05";
  v.ProgramVersion = "2.1.5.100";
  v.BAZA_VER_HIGH = 119;
  v.LocalDatabaseType = 0;
  v.LocalCopyNumber = 0;
  v.ClientTransactionId = -1;
  v.Wyslano = 5'000'000'000;
  v.Odebrano = 12;
  v.FullLog = true;
  v.HostWindow = 5312;
  v.CommandLineText = Utf8ToCp1250("-s -d -h=5312 -żółw");
  v.EventsRegistered = true;
  v.Events = true;
  v.AutoNaZadanie = "22:30";
  return v;
}

TEST(ServerReportTest, ShowsEveryValueInOrder) {
  const std::vector<std::string> expected = {
      "Raport stanu serwera:",
      "",
      "Czas start: 2024-03-05 08:09:10",
      "Czas pracy: 2 dni 06:00:00",
      "AsService: tak",
      "DebugMode: nie",
      "IsVisible: tak",
      "Closing: nie",
      "Host: BIURO-1 (10.0.0.5/192.168.1.2)",
      "DB: serwer:/var/db/baza.fdb",
      "DBID: 4711",
      "DBVer: 119.05",
      "RepVer: 2.1.5.100",
      "BAZA_VER_HIGH: 119",
      "DBTyp: 0",
      "DBNR: 0",
      "LastTransID: -1",
      "Wyslano: 5000000000",
      "Odebrano: 12",
      "FullLog: tak",
      "tmrKTimeOut.Enabled = False",
      "VelmoHandle: 5312",
      "Przełączniki: -s -d -h=5312 -żółw",
      "IBE.Registered: True",
      "SendNewDataFirst: False",
      "Events: True",
      "AutoNaZadanie: \"22:30\"",
  };
  EXPECT_EQ(Lines(ServerReport(SampleValues())), expected);
}

TEST(ServerReportTest, FlagsFlipBothWaysAndAnEmptyOptionStaysQuoted) {
  ServerReportValues v = SampleValues();
  v.RunningAsService = false;
  v.DebugMode = true;
  v.ReplyTimeOutEnabled = true;
  v.Events = false;
  v.AutoNaZadanie.clear();
  const std::vector<std::string> lines = Lines(ServerReport(v));
  ASSERT_EQ(lines.size(), 27u);
  EXPECT_EQ(lines[4], "AsService: nie");
  EXPECT_EQ(lines[5], "DebugMode: tak");
  EXPECT_EQ(lines[20], "tmrKTimeOut.Enabled = True");
  EXPECT_EQ(lines[25], "Events: False");
  EXPECT_EQ(lines[26], "AutoNaZadanie: \"\"");
}

TKlientInfo Slot(SlotStatus status, std::int32_t serwisant) {
  TKlientInfo slot;
  slot.Status = status;
  slot.Serwisant = serwisant;
  slot.CzasStart = kStart;
  slot.OstAktyw = kStart + 1.0 / 24;
  return slot;
}

TEST(ClientsReportTest, WithoutSlotsOnlyTheHeading) {
  EXPECT_EQ(Cp1250ToUtf8(ClientsReport({}, {}, kStart)),
            "Raport dotyczący aktywnych klientów:\r\n\r\n");
}

TEST(ClientsReportTest, OneBlockPerSlotInIndexOrder) {
  TKlientInfo normal = Slot(SlotStatus::kLoggedIn, 0);
  normal.Autoryzowany = true;
  normal.DBNR = 12;
  normal.Opis = Utf8ToCp1250("Oddział Łódź");
  normal.Wyslano = 3'000'000'000;
  normal.Odebrano = 2048;
  normal.DoWyslZmian = 15;
  normal.DoOdebrZmian = 3;
  normal.LastErrorMsg = "brak";
  TKlientInfo technician = Slot(SlotStatus::kConnected, 1);
  technician.Opis = "Serwisant";
  technician.CzasStart = kStart + 1.0;

  const std::vector<std::string> expected = {
      "Raport dotyczący aktywnych klientów:",
      "",
      "Klient[0]",
      "  DBNR: 12",
      "  opis: Oddział Łódź",
      "  status: zalogowany",
      "  autoryzowany: tak",
      "  czas start: 2024-03-05 08:09:10",
      "  ost. aktyw.: 2024-03-05 09:09:10",
      "  czas pracy: 1 dzień 00:00:00",
      "  typ: normalny",
      "  wysłano: 3000000000",
      "  odebrano: 2048",
      "  do wysł. zmian: 15",
      "  do odebr. zmian: 3",
      "  last ErrorMsg: brak",
      "",
      "Klient[1]",
      "  DBNR: -1",
      "  opis: Serwisant",
      "  status: połączony",
      "  autoryzowany: nie",
      "  czas start: 2024-03-06 08:09:10",
      "  ost. aktyw.: 2024-03-05 09:09:10",
      "  czas pracy: 00:00:00",
      "  typ: serwisant",
      "  wysłano: 0",
      "  odebrano: 0",
      "  do wysł. zmian: 0",
      "  do odebr. zmian: 0",
      "  last ErrorMsg: ",
      "",
  };
  EXPECT_EQ(Lines(ClientsReport({normal, technician}, {}, kStart + 1.0)), expected);
}

TEST(ClientsReportTest, NamesEveryStatus) {
  std::vector<TKlientInfo> slots;
  for (int status = 0; status <= 6; ++status) {
    slots.push_back(Slot(static_cast<SlotStatus>(status), 0));
  }
  std::vector<std::string> names;
  for (const std::string& line : Lines(ClientsReport(slots, {}, kStart))) {
    if (line.starts_with("  status: ")) names.push_back(line.substr(10));
  }
  const std::vector<std::string> expected = {"połączony",     "autoryzowanie",  "zalogowany",
                                             "czeka na dane", "przygotowywuje", "przetwarza",
                                             "czeka na potw."};
  EXPECT_EQ(names, expected);
}

// What the fleet's status shows of each copy: counts of the whole journal, the exchange's own
// counts and successes, failures kept until a success, and a connected copy's live slot.
TEST(FleetBookTest, EveryCopyWithItsBacklogLastExchangeAndError) {
  const double minute = 1.0 / (24 * 60);
  FleetBook fleet(kStart);
  EXPECT_TRUE(fleet.CountDue(kStart));
  fleet.Counted({{1, "Sklep", 40}, {2, "Magazyn", 0}}, kStart + minute);
  EXPECT_FALSE(fleet.CountDue(kStart + 3.5 * minute));
  EXPECT_TRUE(fleet.CountDue(kStart + 4.5 * minute));
  fleet.RememberError(2, "zerwane");
  fleet.Checked(2, "OK");
  fleet.Exchanged(1, kStart + 2 * minute);
  fleet.BacklogSeen(1, 12, kStart + 2 * minute);
  TKlientInfo slot = Slot(SlotStatus::kLoggedIn, 0);
  slot.DBNR = 1;
  slot.Opis = "Sklep 1";
  slot.LastErrorMsg = "teraz";
  TKlientInfo technician = Slot(SlotStatus::kLoggedIn, 1);
  technician.DBNR = 3;
  const std::vector<CopyStatus> expected = {
      {1, "Sklep 1", 12, 60, "2024-03-05 08:11:10", 60, true, "teraz", ""},
      {2, "Magazyn", 0, 120, "", 180, false, "zerwane", "OK"}};
  EXPECT_EQ(fleet.Copies({slot, technician}, kStart + 3 * minute + 1e-9), expected);
  fleet.ClearError(2);
  EXPECT_EQ(fleet.RememberedError(2), std::nullopt);

  // The report's lines after the slots, and the tool's reply read back whole.
  std::vector<std::string> lines = Lines(ClientsReport({}, expected, kStart));
  lines.erase(lines.begin(), lines.begin() + 2);
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "Stan kopii:", "Kopia 1 (Sklep 1)", "  połączona: tak",
                "  zaległość: 12 (policzona 60 s temu)", "  ost. wymiana: 2024-03-05 08:11:10",
                "  ost. błąd: teraz", "Kopia 2 (Magazyn)", "  połączona: nie",
                "  zaległość: 0 (policzona 120 s temu)", "  ost. wymiana: brak od startu serwera",
                "  ost. błąd: zerwane", "  ost. porównanie: OK"}));
  std::vector<CopyStatus> hostile = expected;
  hostile[0].description = "a\tb\r\nc";
  const auto read = ParseCopiesStatus(CopiesStatusReply(hostile));
  ASSERT_TRUE(read);
  hostile[0].description = "a b  c";
  hostile[1].last_check.clear();  // the report's alone
  EXPECT_EQ(*read, hostile);
  for (const char* wrong : {"", "Stan kopii:\r\n1\t2\r\n", "polecenie nieobsługiwane"}) {
    EXPECT_EQ(ParseCopiesStatus(wrong), std::nullopt) << wrong;
  }
}

}  // namespace
}  // namespace tramolin::testing
