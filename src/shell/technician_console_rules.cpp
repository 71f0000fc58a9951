#include "shell/technician_console_rules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

#include "client/client_configuration.h"
#include "client/client_state.h"
#include "engine/database_identity.h"
#include "protocol/packet_types.h"
#include "server/technician_commands.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kKeySwitch = "-key";
constexpr std::string_view kTlsSwitch = "-tls";
constexpr std::string_view kFingerprintSwitch = "-fingerprint";
constexpr std::string_view kTimeoutSwitch = "-timeout";
constexpr std::array<std::string_view, 5> kOwnSwitches = {kConsoleSwitch, kKeySwitch, kTlsSwitch,
                                                          kFingerprintSwitch, kTimeoutSwitch};
constexpr int kLongestTimeoutSeconds = 86'400;

constexpr auto kUsage =
    "Użycie: tramolin2 --technician HOST:PORT POLECENIE [ARGUMENT] [--key=KLUCZ] [--tls=0|1] "
    "[--fingerprint=ODCISK] [--timeout=SEKUNDY]"_cp;

bool IsOwnSwitch(std::string_view parameter) {
  return std::any_of(kOwnSwitches.begin(), kOwnSwitches.end(),
                     [parameter](std::string_view name) { return IsSwitch(parameter, name); });
}

std::string Quoted(std::string_view text) { return Concat({"\"", text, "\""}); }

// "host:port" or "[IPv6]:port".
bool ReadAddress(std::string_view text, ConsoleRequest& request) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string_view host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::optional<int> port = NumberIn(text.substr(colon + 1), 1, 65535);
  if (host.empty() || !port) return false;
  request.host = std::string(host);
  request.port = *port;
  return true;
}

bool TakesArgument(int command) {
  return command == kCommandSendMessage || command == kCommandRemoveClient ||
         command == kCommandExecuteSql || command == kCommandCheckTable;
}

// The window's list, and the commands of ours a terminal may send.
std::optional<int> ConsoleCommand(std::string_view text) {
  const std::optional<int> command = NumberIn(text, 0, kCommandCheckTable);
  if (!command || (*command >= kTechnicianCommandCount && *command != kCommandCopiesStatus &&
                   *command != kCommandCheckTable)) {
    return std::nullopt;
  }
  return command;
}

// The address, the command and its argument; "" when they are right, else what is wrong.
std::string ReadPositional(const std::vector<std::string>& positional, ConsoleRequest& request) {
  if (positional.empty()) return std::string("Brak adresu serwera."_cp);
  if (!ReadAddress(positional[0], request)) {
    return "Nieprawidłowy adres serwera "_cp + Quoted(positional[0]) + ".";
  }
  if (positional.size() < 2) return std::string("Brak polecenia."_cp);
  const std::optional<int> command = ConsoleCommand(positional[1]);
  if (!command) return "Nieznane polecenie "_cp + Quoted(positional[1]) + ".";
  request.command = *command;
  if (positional.size() > 3) return "Za dużo argumentów: "_cp + Quoted(positional[3]) + ".";
  if (positional.size() == 3) request.argument = Utf8ToCp1250(positional[2]);
  if (TakesArgument(*command) == request.argument.empty()) {
    return "Polecenie "_cp + std::to_string(*command) +
           (request.argument.empty() ? " wymaga argumentu."_cp : " nie przyjmuje argumentu."_cp);
  }
  return {};
}

// A client with the technician flag: no database, and no reconnection after the command.
RunFlags ConsoleFlags() {
  RunFlags flags;
  flags.ServerMode = false;
  flags.TechnicianMode = true;
  flags.OnDemand = true;
  return flags;
}

}  // namespace

std::optional<int> NumberIn(std::string_view text, int lowest, int highest) {
  int value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size() || value < lowest ||
      value > highest) {
    return std::nullopt;
  }
  return value;
}

std::string ReadConnectionSwitches(const CommandLine& command_line, ConsoleRequest& request) {
  if (command_line.HasSwitch(kKeySwitch)) {
    request.access_key = Utf8ToCp1250(command_line.SwitchValue(kKeySwitch));
  }
  if (command_line.HasSwitch(kTlsSwitch)) {
    const std::optional<int> tls = NumberIn(command_line.SwitchValue(kTlsSwitch), 0, 1);
    if (!tls) return std::string("--tls przyjmuje wartość 0 albo 1."_cp);
    request.tls = *tls == 1;
  }
  if (command_line.HasSwitch(kFingerprintSwitch)) {
    request.fingerprint = command_line.SwitchValue(kFingerprintSwitch);
  }
  if (command_line.HasSwitch(kTimeoutSwitch)) {
    const std::optional<int> seconds =
        NumberIn(command_line.SwitchValue(kTimeoutSwitch), 1, kLongestTimeoutSeconds);
    if (!seconds) return std::string("--timeout przyjmuje liczbę sekund od 1 do 86400."_cp);
    request.timeout_ms = *seconds * 1000;
  }
  return {};
}

bool AsksForConsole(const CommandLine& command_line) {
  return command_line.HasSwitch(kConsoleSwitch);
}

std::optional<ConsoleRequest> ParseConsoleRequest(const CommandLine& command_line,
                                                  std::string& error) {
  std::vector<std::string> positional;
  std::copy_if(command_line.Args().begin(), command_line.Args().end(),
               std::back_inserter(positional),
               [](const std::string& parameter) { return !IsOwnSwitch(parameter); });
  ConsoleRequest request;
  error = ReadPositional(positional, request);
  if (error.empty()) error = ReadConnectionSwitches(command_line, request);
  if (error.empty()) return request;
  error += Concat({"\n", kUsage, "\n"});
  return std::nullopt;
}

ConsoleAnswer AnswerOf(int command) {
  switch (command) {
    case kCommandSendMessage:
    case kCommandSaveLogs:
    case kCommandRemoveClient:
      return ConsoleAnswer::kAfterActivity;
    case kCommandLogForwardingOn:
      return ConsoleAnswer::kReplyThenLog;
    default:
      return ConsoleAnswer::kReply;
  }
}

ConsoleOutcome OutcomeOfDrop(int from_state, bool refused) {
  if (from_state == kClientConnecting) return ConsoleOutcome::kCannotConnect;
  return refused ? ConsoleOutcome::kRefused : ConsoleOutcome::kDisconnected;
}

int ConsoleExitStatus(ConsoleOutcome outcome) {
  switch (outcome) {
    case ConsoleOutcome::kAnswered:
    case ConsoleOutcome::kListened:
      return 0;
    case ConsoleOutcome::kWrongUsage:
      return 2;
    default:
      return 1;
  }
}

std::string ConsoleFailureText(ConsoleOutcome outcome, std::string_view server,
                               std::string_view detail) {
  const std::string reason = detail.empty() ? "" : Concat({": ", detail});
  switch (outcome) {
    case ConsoleOutcome::kCannotConnect:
      return Concat({"Nie można połączyć się z serwerem "_cp, server, reason});
    case ConsoleOutcome::kRefused:
      return Concat({"Serwer "_cp, server, " odmówił logowania"_cp, reason});
    case ConsoleOutcome::kDisconnected:
      return Concat({"Serwer "_cp, server, " zakończył połączenie"_cp, reason});
    case ConsoleOutcome::kTimedOut:
      return Concat({"Serwer "_cp, server, " nie odpowiedział w wyznaczonym czasie"_cp, reason});
    case ConsoleOutcome::kInterrupted:
      return Concat({"Przerwano przed odpowiedzią serwera "_cp, server});
    case ConsoleOutcome::kWrongUsage:
      return std::string(detail);
    default:
      return {};
  }
}

ClientSettings ConsoleClientSettings(const TConfig& config, const ConsoleRequest& request) {
  ClientSettings settings = ClientSettingsFrom(config, ConsoleFlags());
  settings.addresses = {request.host, request.port, "", 0, ""};
  if (request.access_key) settings.access_key = *request.access_key;
  if (request.tls) settings.tls = *request.tls;
  if (request.fingerprint) {
    settings.tls = true;
    settings.tls_fingerprint = *request.fingerprint;
  }
  return settings;
}

ClientCredentials ConsoleCredentials(const TConfig& config, const ConsoleRequest& request,
                                     const std::string& program_version) {
  ClientCredentials credentials =
      ClientCredentialsFrom(config, ConsoleFlags(), DatabaseIdentity{}, program_version);
  if (request.access_key) credentials.access_key = *request.access_key;
  return credentials;
}

std::string TerminalText(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back('\n');
    } else {
      lines.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c);
    }
  }
  if (lines.empty() || lines.back() != '\n') lines.push_back('\n');
  return Cp1250ToUtf8(lines);
}

}  // namespace tramolin
