#include "server/server_reports.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Appends the key and the value as one line.
class ReportText {
 public:
  void EmptyLine() { text_.append(kLineEnd); }
  void Line(std::string_view key, std::string_view value = {}) {
    text_.append(key).append(value).append(kLineEnd);
  }
  void Number(std::string_view key, std::int64_t value) { Line(key, std::to_string(value)); }
  void YesNo(std::string_view key, bool value) { Line(key, value ? "tak" : "nie"); }
  void TrueFalse(std::string_view key, bool value) { Line(key, value ? "True" : "False"); }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

// The short date and the long time: "yyyy-mm-dd hh:nn:ss".
std::string DateTimeText(double day_count) {
  const LocalDateTime when = FromDayCount(day_count);
  char time[16];
  std::snprintf(time, sizeof time, " %02d:%02d:%02d", when.hour, when.minute, when.second);
  return ShortDateText(day_count) + time;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

void AppendRunFlags(ReportText& report, const ServerReportValues& v) {
  report.YesNo("AsService: ", v.RunningAsService);
  report.YesNo("DebugMode: ", v.DebugMode);
  report.YesNo("IsVisible: ", v.DesktopInteraction);
  report.YesNo("Closing: ", v.Closing);
}

void AppendDatabase(ReportText& report, const ServerReportValues& v) {
  report.Line("Host: ", v.ComputerDescription);
  report.Line("DB: ", v.DatabasePath);
  report.Number("DBID: ", v.LocalDatabaseId);
  report.Line("DBVer: ", v.LocalDatabaseVersion);
  report.Line("RepVer: ", v.ProgramVersion);
  report.Number("BAZA_VER_HIGH: ", v.BAZA_VER_HIGH);
  report.Number("DBTyp: ", v.LocalDatabaseType);
  report.Number("DBNR: ", v.LocalCopyNumber);
  report.Number("LastTransID: ", v.ClientTransactionId);
}

void AppendRuntime(ReportText& report, const ServerReportValues& v) {
  report.Number("Wyslano: ", v.Wyslano);
  report.Number("Odebrano: ", v.Odebrano);
  report.YesNo("FullLog: ", v.FullLog);
  report.TrueFalse("tmrKTimeOut.Enabled = ", v.ReplyTimeOutEnabled);
  report.Number("VelmoHandle: ", v.HostWindow);
  report.Line("Przełączniki: "_cp, v.CommandLineText);
  report.TrueFalse("IBE.Registered: ", v.EventsRegistered);
  report.TrueFalse("SendNewDataFirst: ", v.SendNewDataFirst);
  report.TrueFalse("Events: ", v.Events);
  report.Line("AutoNaZadanie: ", Quoted(v.AutoNaZadanie));
}

void AppendClient(ReportText& report, std::size_t index, const TKlientInfo& slot, double now) {
  report.Line("Klient[" + std::to_string(index) + "]");
  report.Number("  DBNR: ", slot.DBNR);
  report.Line("  opis: ", slot.Opis);
  report.Line("  status: ", SlotStatusName(static_cast<int>(slot.Status)));
  report.YesNo("  autoryzowany: ", slot.Autoryzowany);
  report.Line("  czas start: ", DateTimeText(slot.CzasStart));
  report.Line("  ost. aktyw.: ", DateTimeText(slot.OstAktyw));
  report.Line("  czas pracy: ", DurationText(now - slot.CzasStart));
  report.Line("  typ: ", slot.Serwisant == 0 ? "normalny" : "serwisant");
  report.Number("  wysłano: "_cp, slot.Wyslano);
  report.Number("  odebrano: ", slot.Odebrano);
  report.Number("  do wysł. zmian: "_cp, slot.DoWyslZmian);
  report.Number("  do odebr. zmian: ", slot.DoOdebrZmian);
  report.Line("  last ErrorMsg: ", slot.LastErrorMsg);
  report.EmptyLine();
}

}  // namespace

std::string ServerReport(const ServerReportValues& values) {
  ReportText report;
  report.Line("Raport stanu serwera:");
  report.EmptyLine();
  report.Line("Czas start: ", DateTimeText(values.StartTime));
  report.Line("Czas pracy: ", DurationText(values.Now - values.StartTime));
  AppendRunFlags(report, values);
  AppendDatabase(report, values);
  AppendRuntime(report, values);
  return report.Take();
}

std::string ClientsReport(const std::vector<TKlientInfo>& clients, double now) {
  ReportText report;
  report.Line("Raport dotyczący aktywnych klientów:"_cp);
  report.EmptyLine();
  for (std::size_t i = 0; i < clients.size(); ++i) AppendClient(report, i, clients[i], now);
  return report.Take();
}

}  // namespace tramolin
