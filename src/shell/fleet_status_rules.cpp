#include "shell/fleet_status_rules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "protocol/packet_types.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kJsonSwitch = "-json";
constexpr std::string_view kMaxBacklogSwitch = "-max-backlog";
constexpr std::string_view kMaxSilenceSwitch = "-max-silence";
constexpr std::string_view kPortSwitch = "-port";
constexpr int kLargestLimit = 2'000'000'000;
constexpr int kLongestSilenceMinutes = 1'000'000;

constexpr auto kStatusUsage =
    "Użycie: tramolin2 --status [--json] [--max-backlog=WPISY] [--max-silence=MINUTY] "
    "[--port=PORT] [--key=KLUCZ] [--timeout=SEKUNDY]"_cp;

// The value of a numeric switch into `value`; "" when it is absent or right, else what is wrong.
std::string ReadNumber(const CommandLine& command_line, std::string_view name, int lowest,
                       int highest, std::optional<std::int64_t>& value) {
  if (!command_line.HasSwitch(name)) return {};
  const std::optional<int> number = NumberIn(command_line.SwitchValue(name), lowest, highest);
  if (!number) {
    return Concat({"-", name, " przyjmuje liczbę od "_cp, std::to_string(lowest), " do ",
                   std::to_string(highest), "."});
  }
  value = *number;
  return {};
}

// Where the server of this folder listens, as its settings say, and how it is reached.
ConsoleRequest ServerOfThisFolder(const TConfig& config,
                                  const std::optional<std::string>& certificate_fingerprint) {
  ConsoleRequest request;
  request.host = "127.0.0.1";
  request.port = config.ServerPort;
  request.command = kCommandCopiesStatus;
  request.access_key = config.ServerAccessKey;
  request.tls = !config.ServerTlsCertificate.empty() && !config.ServerTlsKey.empty();
  if (*request.tls && certificate_fingerprint) request.fingerprint = certificate_fingerprint;
  return request;
}

std::string ReadStatusSwitches(const CommandLine& command_line, StatusRequest& request) {
  std::optional<std::int64_t> port;
  std::optional<std::int64_t> silence_minutes;
  for (std::string error :
       {ReadNumber(command_line, kPortSwitch, 1, 65535, port),
        ReadNumber(command_line, kMaxBacklogSwitch, 0, kLargestLimit, request.limits.backlog),
        ReadNumber(command_line, kMaxSilenceSwitch, 1, kLongestSilenceMinutes, silence_minutes),
        ReadConnectionSwitches(command_line, request.console)}) {
    if (!error.empty()) return error;
  }
  if (port) request.console.port = static_cast<int>(*port);
  if (silence_minutes) request.limits.silence = *silence_minutes * 60;
  request.json = command_line.HasSwitch(kJsonSwitch);
  return {};
}

std::string LastExchangeText(const CopyStatus& copy) {
  return copy.last_exchange.empty() ? std::string("brak od startu serwera") : copy.last_exchange;
}

std::string CopyLine(const CopyStatus& copy, const StatusLimits& limits) {
  const LimitsPassed passed = PassedLimits(copy, limits);
  std::string line = Concat(
      {"kopia ", std::to_string(copy.copy), " (", copy.description, "): zaległość "_cp,
       copy.backlog < 0 ? std::string("nie policzona"_cp) : std::to_string(copy.backlog),
       ", ost. wymiana ", LastExchangeText(copy), ", cisza "_cp, std::to_string(copy.silence),
       " s, ", copy.connected ? std::string("połączona"_cp) : std::string("niepołączona"_cp)});
  if (!copy.error.empty()) line += Concat({", błąd: "_cp, copy.error});
  if (passed.backlog) {
    line += Concat({" [ZALEGŁOŚĆ PONAD "_cp, std::to_string(*limits.backlog), "]"});
  }
  if (passed.silence) {
    line += Concat({" [CISZA PONAD "_cp, std::to_string(*limits.silence / 60), " MIN]"});
  }
  return line + "\n";
}

QString JsonText(std::string_view cp1250) { return QString::fromStdString(Cp1250ToUtf8(cp1250)); }

QJsonObject CopyJson(const CopyStatus& copy, const StatusLimits& limits) {
  const LimitsPassed passed = PassedLimits(copy, limits);
  QJsonObject object;
  object["copy"] = copy.copy;
  object["description"] = JsonText(copy.description);
  object["backlog"] =
      copy.backlog < 0 ? QJsonValue() : QJsonValue(static_cast<double>(copy.backlog));
  object["backlog_age_s"] =
      copy.backlog_age < 0 ? QJsonValue() : QJsonValue(static_cast<double>(copy.backlog_age));
  object["last_exchange"] =
      copy.last_exchange.empty() ? QJsonValue() : QJsonValue(JsonText(copy.last_exchange));
  object["silence_s"] = static_cast<double>(copy.silence);
  object["connected"] = copy.connected;
  object["error"] = JsonText(copy.error);
  object["backlog_over_limit"] = passed.backlog;
  object["silence_over_limit"] = passed.silence;
  return object;
}

}  // namespace

bool AsksForStatus(const CommandLine& command_line) {
  return command_line.HasSwitch(kStatusSwitch);
}

std::optional<StatusRequest> ParseStatusRequest(
    const CommandLine& command_line, const TConfig& config,
    const std::optional<std::string>& certificate_fingerprint, std::string& error) {
  StatusRequest request;
  request.console = ServerOfThisFolder(config, certificate_fingerprint);
  error = ReadStatusSwitches(command_line, request);
  if (error.empty()) return request;
  error += Concat({"\n", kStatusUsage, "\n"});
  return std::nullopt;
}

LimitsPassed PassedLimits(const CopyStatus& copy, const StatusLimits& limits) {
  return {limits.backlog && copy.backlog > *limits.backlog,
          limits.silence && copy.silence > *limits.silence};
}

std::string StatusText(const std::vector<CopyStatus>& copies, const StatusLimits& limits) {
  if (copies.empty()) return Cp1250ToUtf8("Serwer nie zna żadnej kopii.\n"_cp);
  std::string text;
  for (const CopyStatus& copy : copies) text += CopyLine(copy, limits);
  return TerminalText(text);
}

std::string StatusJson(const std::vector<CopyStatus>& copies, const StatusLimits& limits) {
  QJsonArray array;
  for (const CopyStatus& copy : copies) array.append(CopyJson(copy, limits));
  QJsonObject document;
  document["copies"] = array;
  document["over_limits"] = StatusExitStatus(copies, limits) != 0;
  return QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}

int StatusExitStatus(const std::vector<CopyStatus>& copies, const StatusLimits& limits) {
  const bool over = std::any_of(copies.begin(), copies.end(), [&limits](const CopyStatus& copy) {
    return PassedLimits(copy, limits).Any();
  });
  return over ? kStatusBeyondLimits : 0;
}

}  // namespace tramolin
