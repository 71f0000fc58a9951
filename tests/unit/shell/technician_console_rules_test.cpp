// The technician's console on a terminal: its command line, the client it connects as, when an
// answer is complete and how a run ends.
#include "shell/technician_console_rules.h"

#include <gtest/gtest.h>

#include "client/client_state.h"
#include "protocol/packet_types.h"
#include "shell/fleet_status_rules.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

std::optional<ConsoleRequest> Parse(std::vector<std::string> args, std::string& error) {
  args.insert(args.begin(), "--technician");
  return ParseConsoleRequest(CommandLine(std::move(args)), error);
}

TEST(ConsoleRulesTest, TheCommandLineGivesAddressCommandArgumentAndSwitches) {
  std::string error;
  const auto ipv6 = Parse({"[::1]:9", "7", "SELECT 'ą' FROM RDB$DATABASE", "--TLS=1"}, error);
  ASSERT_TRUE(ipv6) << error;
  EXPECT_EQ(ipv6->host, "::1");
  EXPECT_EQ(ipv6->port, 9);
  EXPECT_EQ(ipv6->command, 7);
  EXPECT_EQ(ipv6->argument, "SELECT 'ą' FROM RDB$DATABASE"_cp);
  EXPECT_EQ(ipv6->tls, true);
  EXPECT_EQ(ipv6->access_key, std::nullopt);
  EXPECT_EQ(ipv6->timeout_ms, kDefaultConsoleTimeoutMs);
  const auto with = Parse({"--key=zażółć", "serwer.firma.pl:17846", "--timeout=5", "1"}, error);
  ASSERT_TRUE(with) << error;
  EXPECT_EQ(with->host, "serwer.firma.pl");
  EXPECT_EQ(with->access_key, "zażółć"_cp);
  EXPECT_EQ(with->timeout_ms, 5000);

  const struct {
    std::vector<std::string> args;
    const char* error;
  } wrong[] = {
      {{}, "Brak adresu"},
      {{"serwer", "1"}, "adres serwera \"serwer\""},
      {{"serwer:0", "1"}, "adres serwera"},
      {{"serwer:65536", "1"}, "adres serwera"},
      {{"-d", "serwer:1", "1"},
       "adres serwera \"-d\""},  // the program's other switches are not taken
      {{"serwer:1"}, "Brak polecenia"},
      {{"serwer:1", "8"}, "Nieznane polecenie \"8\""},
      {{"serwer:1", "status"}, "Nieznane polecenie"},
      {{"serwer:1", "7"}, "Polecenie 7 wymaga argumentu"},
      {{"serwer:1", "6", ""}, "Polecenie 6 wymaga argumentu"},
      {{"serwer:1", "3", "x"}, "Polecenie 3 nie przyjmuje argumentu"},
      {{"serwer:1", "0", "a", "b"}, "Za dużo argumentów: \"b\""},
      {{"serwer:1", "1", "--tls=tak"}, "--tls"},
      {{"serwer:1", "1", "--timeout=0"}, "--timeout"},
  };
  for (const auto& c : wrong) {
    EXPECT_FALSE(Parse(c.args, error));
    EXPECT_NE(Cp1250ToUtf8(error).find(c.error), std::string::npos) << Cp1250ToUtf8(error);
    EXPECT_NE(Cp1250ToUtf8(error).find("Użycie: tramolin2 --technician"), std::string::npos);
  }
}

// Only the address of the command line is tried; the switches win over the file.
TEST(ConsoleRulesTest, TheClientIsTheWindowsTechnicianAtTheGivenAddressOnly) {
  TConfig config;
  config.ClientHost = "glowny";
  config.ClientHost2 = "zapasowy";
  config.ClientPort2 = 17847;
  config.DynDNSServer = "https://adresy.example/dyndns";
  config.ClientAccessKey = "z pliku";
  config.ClientTls = true;
  ConsoleRequest request;
  request.host = "serwer";
  request.port = 9;
  ClientSettings settings = ConsoleClientSettings(config, request);
  EXPECT_EQ(settings.addresses.host, "serwer");
  EXPECT_EQ(settings.addresses.port, 9);
  EXPECT_FALSE(AlternativeUsable(settings.addresses));
  EXPECT_EQ(settings.addresses.address_service, "");
  EXPECT_TRUE(settings.technician && settings.on_demand && settings.tls);
  EXPECT_EQ(ConsoleCredentials(config, request, "2.0.0.1").access_key, "z pliku");
  EXPECT_TRUE(ConsoleCredentials(config, request, "2.0.0.1").technician);

  request.access_key = "";
  request.tls = false;
  EXPECT_FALSE(ConsoleClientSettings(config, request).tls);
  EXPECT_EQ(ConsoleCredentials(config, request, "2.0.0.1").access_key, "");
  request.fingerprint = "AB:CD";
  settings = ConsoleClientSettings(config, request);
  EXPECT_TRUE(settings.tls);
  EXPECT_EQ(settings.tls_fingerprint, "AB:CD");
}

// A command without a reply waits for the activity reply, or the console would wait in vain.
TEST(ConsoleRulesTest, EachCommandIsCompleteWithItsOwnAnswer) {
  const ConsoleAnswer answers[] = {ConsoleAnswer::kAfterActivity, ConsoleAnswer::kReply,
                                   ConsoleAnswer::kReply,         ConsoleAnswer::kReplyThenLog,
                                   ConsoleAnswer::kReply,         ConsoleAnswer::kAfterActivity,
                                   ConsoleAnswer::kAfterActivity, ConsoleAnswer::kReply};
  for (int command = 0; command < 8; ++command) EXPECT_EQ(AnswerOf(command), answers[command]);
}

TEST(ConsoleRulesTest, ARunEndsWithTheStatusAndTheReasonOfItsOutcome) {
  EXPECT_EQ(OutcomeOfDrop(kClientConnecting, false), ConsoleOutcome::kCannotConnect);
  EXPECT_EQ(OutcomeOfDrop(kClientConnected, true), ConsoleOutcome::kRefused);
  EXPECT_EQ(OutcomeOfDrop(kClientAuthorising, true), ConsoleOutcome::kRefused);
  EXPECT_EQ(OutcomeOfDrop(kClientLoggedIn, false), ConsoleOutcome::kDisconnected);
  const struct {
    ConsoleOutcome outcome;
    int status;
    const char* text;
  } cases[] = {
      {ConsoleOutcome::kAnswered, 0, ""},
      {ConsoleOutcome::kListened, 0, ""},
      {ConsoleOutcome::kWrongUsage, 2, "powód"},
      {ConsoleOutcome::kCannotConnect, 1, "Nie można połączyć się z serwerem h:1: powód"},
      {ConsoleOutcome::kRefused, 1, "Serwer h:1 odmówił logowania: powód"},
      {ConsoleOutcome::kDisconnected, 1, "Serwer h:1 zakończył połączenie: powód"},
      {ConsoleOutcome::kTimedOut, 1, "Serwer h:1 nie odpowiedział w wyznaczonym czasie: powód"},
      {ConsoleOutcome::kInterrupted, 1, "Przerwano przed odpowiedzią serwera h:1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConsoleExitStatus(c.outcome), c.status);
    EXPECT_EQ(Cp1250ToUtf8(ConsoleFailureText(c.outcome, "h:1", "powód"_cp)), c.text);
  }
}

TEST(ConsoleRulesTest, ServerTextReachesTheTerminalAsLinesWithoutControlCharacters) {
  EXPECT_EQ(TerminalText("Raport:\r\n\r\nKlient[0]\r\n"), "Raport:\n\nKlient[0]\n");
  EXPECT_EQ(TerminalText("ł\x1b[2J\ra"_cp), "ł [2J\na\n");
  EXPECT_EQ(TerminalText(""), "\n");
}

// --status reaches the server of its own folder as the folder's [Server] settings say.
TEST(StatusRulesTest, TheServerOfTheFolderIsAskedWithItsOwnPortKeyAndCertificate) {
  TConfig config;
  config.ServerPort = 4000;
  config.ServerAccessKey = "sezam";
  std::string error;
  const auto plain =
      ParseStatusRequest(CommandLine({"--status", "--max-silence=10"}), config, "AB:CD", error);
  ASSERT_TRUE(plain) << error;
  EXPECT_EQ(plain->console.host, "127.0.0.1");
  EXPECT_EQ(plain->console.port, 4000);
  EXPECT_EQ(plain->console.command, kCommandCopiesStatus);
  EXPECT_EQ(plain->console.access_key, "sezam");
  EXPECT_EQ(plain->console.tls, false);
  EXPECT_EQ(plain->console.fingerprint, std::nullopt);
  EXPECT_EQ(plain->limits.silence, 600);
  EXPECT_EQ(plain->limits.backlog, std::nullopt);
  config.ServerTlsCertificate = "serwer.pem";
  config.ServerTlsKey = "serwer.key";
  const auto tls = ParseStatusRequest(
      CommandLine({"--status", "--port=5000", "--key=inny", "--json"}), config, "AB:CD", error);
  ASSERT_TRUE(tls) << error;
  EXPECT_EQ(tls->console.port, 5000);
  EXPECT_EQ(tls->console.access_key, "inny");
  EXPECT_EQ(tls->console.fingerprint, "AB:CD");
  EXPECT_TRUE(tls->json);
  for (const char* wrong : {"--max-backlog=-1", "--max-silence=0", "--port=70000"}) {
    EXPECT_FALSE(ParseStatusRequest(CommandLine({"--status", wrong}), config, {}, error)) << wrong;
    EXPECT_NE(error.find("Użycie: tramolin2 --status"_cp), std::string::npos);
  }
}

TEST(StatusRulesTest, ACopyBeyondALimitIsMarkedAndFailsTheRun) {
  const std::vector<CopyStatus> copies = {
      {1, "Sklep", 120, 5, "2026-12-10 10:00:00", 7200, false, Utf8ToCp1250("błąd"), ""},
      {2, "Magazyn", -1, -1, "", 30, true, "", ""}};
  const StatusLimits none;
  const StatusLimits limits{100, 3600};
  EXPECT_EQ(StatusExitStatus(copies, none), 0);
  EXPECT_EQ(StatusExitStatus(copies, limits), kStatusBeyondLimits);
  EXPECT_EQ(StatusExitStatus({copies[1]}, limits), 0) << "an uncounted backlog passes nothing";
  EXPECT_EQ(StatusText(copies, limits),
            "kopia 1 (Sklep): zaległość 120, ost. wymiana 2026-12-10 10:00:00, cisza 7200 s, "
            "niepołączona, błąd: błąd [ZALEGŁOŚĆ PONAD 100] [CISZA PONAD 60 MIN]\n"
            "kopia 2 (Magazyn): zaległość nie policzona, ost. wymiana brak od startu serwera, "
            "cisza 30 s, połączona\n");
  const std::string json = StatusJson(copies, limits);
  EXPECT_NE(json.find("\"backlog\": null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"over_limits\": true"), std::string::npos) << json;
}

}  // namespace
}  // namespace tramolin
