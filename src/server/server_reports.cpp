#include "server/server_reports.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <utility>

#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/fields.h"
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

// A line of the copies' status carries no separator of its own inside a text.
std::string FieldText(std::string_view text) {
  std::string field(text);
  std::replace_if(
      field.begin(), field.end(),
      [](char c) { return c == kStatusSeparator || c == '\r' || c == '\n'; }, ' ');
  return field;
}

std::optional<std::int64_t> Integer(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<CopyStatus> ParseCopyLine(std::string_view line) {
  std::array<std::string_view, 8> fields;
  for (std::string_view& field : fields) field = NextField(line, kStatusSeparator);
  const auto copy = Integer(fields[0]);
  const auto backlog = Integer(fields[1]);
  const auto backlog_age = Integer(fields[2]);
  const auto silence = Integer(fields[4]);
  if (!copy || !backlog || !backlog_age || !silence || (fields[5] != "0" && fields[5] != "1")) {
    return std::nullopt;
  }
  CopyStatus status;
  status.copy = static_cast<std::int32_t>(*copy);
  status.backlog = *backlog;
  status.backlog_age = *backlog_age;
  status.last_exchange = fields[3];
  status.silence = *silence;
  status.connected = fields[5] == "1";
  status.description = fields[6];
  status.error = fields[7];
  return status;
}

void AppendCopy(ReportText& report, const CopyStatus& copy) {
  report.Line("Kopia " + std::to_string(copy.copy) + " (" + copy.description + ")");
  report.YesNo("  połączona: "_cp, copy.connected);
  report.Line("  zaległość: "_cp, copy.backlog < 0
                                      ? std::string("nie policzona"_cp)
                                      : Concat({std::to_string(copy.backlog), " (policzona "_cp,
                                                std::to_string(copy.backlog_age), " s temu)"}));
  report.Line("  ost. wymiana: ", copy.last_exchange.empty() ? std::string("brak od startu serwera")
                                                             : copy.last_exchange);
  report.Line("  ost. błąd: "_cp, copy.error);
  if (!copy.last_check.empty()) report.Line("  ost. porównanie: "_cp, copy.last_check);
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

std::string ClientsReport(const std::vector<TKlientInfo>& clients,
                          const std::vector<CopyStatus>& copies, double now) {
  ReportText report;
  report.Line("Raport dotyczący aktywnych klientów:"_cp);
  report.EmptyLine();
  for (std::size_t i = 0; i < clients.size(); ++i) AppendClient(report, i, clients[i], now);
  if (copies.empty()) return report.Take();
  report.Line(kCopiesStatusTitle);
  for (const CopyStatus& copy : copies) AppendCopy(report, copy);
  return report.Take();
}

std::string CopiesStatusReply(const std::vector<CopyStatus>& copies) {
  ReportText report;
  report.Line(kCopiesStatusTitle);
  const std::string separator(1, kStatusSeparator);
  for (const CopyStatus& copy : copies) {
    report.Line(
        Concat({std::to_string(copy.copy), separator, std::to_string(copy.backlog), separator,
                std::to_string(copy.backlog_age), separator, copy.last_exchange, separator,
                std::to_string(copy.silence), separator, copy.connected ? "1" : "0", separator,
                FieldText(copy.description), separator, FieldText(copy.error)}));
  }
  return report.Take();
}

std::optional<std::vector<CopyStatus>> ParseCopiesStatus(std::string_view reply) {
  std::string_view rest = reply;
  if (NextField(rest, '\n') != Concat({kCopiesStatusTitle, "\r"})) return std::nullopt;
  std::vector<CopyStatus> copies;
  while (!rest.empty()) {
    std::string_view line = NextField(rest, '\n');
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::optional<CopyStatus> copy = ParseCopyLine(line);
    if (!copy) return std::nullopt;
    copies.push_back(std::move(*copy));
  }
  return copies;
}

}  // namespace tramolin
