#include "shell/technician_console.h"

#include <QCoreApplication>
#include <iostream>
#include <optional>

#include "client/client_state.h"
#include "client/server_link.h"
#include "config/configuration.h"
#include "net/tls.h"
#include "platform/system_info.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"
#include "server/server_reports.h"
#include "server/technician_commands.h"
#include "shell/fleet_status_rules.h"
#include "shell/shutdown_signals.h"
#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/log_level.h"

namespace tramolin {

TechnicianConsole::TechnicianConsole(ConsoleRequest request, const ClientSettings& settings,
                                     const ClientCredentials& credentials, std::ostream& out,
                                     std::ostream& err, AnswerPrinter print_answer, QObject* parent)
    : QObject(parent),
      request_(std::move(request)),
      out_(out),
      err_(err),
      print_answer_(std::move(print_answer)),
      client_(*this) {
  if (!print_answer_) {
    print_answer_ = [this](std::string_view answer) {
      out_ << TerminalText(answer) << std::flush;
      return 0;
    };
  }
  client_.Configure(settings);
  client_.SetCredentials(credentials);
  ClientHooks hooks;
  hooks.state_changed = [this](int from, int to) { StateChanged(from, to); };
  hooks.packet_arrived = [this](std::uint8_t type, std::string_view payload) {
    PacketArrived(type, payload);
  };
  client_.SetHooks(std::move(hooks));
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    Finish(ConsoleOutcome::kTimedOut, std::to_string(request_.timeout_ms / 1000) + " s");
  });
}

void TechnicianConsole::Start() {
  if (phase_ == Phase::kFinished) return;  // stopped before the event loop got here
  deadline_.start(request_.timeout_ms);
  client_.Link().tmrKConnectTimer();
}

void TechnicianConsole::Interrupt() {
  Finish(phase_ == Phase::kListening ? ConsoleOutcome::kListened : ConsoleOutcome::kInterrupted);
}

void TechnicianConsole::Log(std::string_view message, int level, bool /*continue_line*/) {
  if (level == kLogError) last_error_ = message;
}

double TechnicianConsole::Now() const { return NowDayCount(); }

void TechnicianConsole::StateChanged(int from, int to) {
  if (phase_ == Phase::kFinished || from == to) return;
  if (to == kClientLoggedIn && phase_ == Phase::kLoggingIn) {
    SendCommand();
  } else if (to == kClientDisconnected) {
    const ConsoleOutcome outcome = OutcomeOfDrop(from, !refusal_.empty());
    Finish(outcome, outcome == ConsoleOutcome::kRefused ? refusal_ : last_error_);
  }
}

void TechnicianConsole::PacketArrived(std::uint8_t type, std::string_view payload) {
  if (phase_ == Phase::kFinished) return;
  switch (type) {
    case pkPolaczenie:
      if (ParseConnectionResult(payload) == kConnectionRefused) {
        refusal_ = ConnectionResultText(kConnectionRefused);
      }
      break;
    case pkWeryfikacja:
      if (const int code = ParseVerificationResult(payload); code != kVerificationOk) {
        refusal_ = VerificationRefusalText(code);
      }
      break;
    case pkPolecenie:
      ServerText(payload);
      break;
    case pkAktywnoscOdp:
      if (phase_ == Phase::kAwaitingAnswer &&
          AnswerOf(request_.command) == ConsoleAnswer::kAfterActivity) {
        Finish(ConsoleOutcome::kAnswered);
      }
      break;
    default:
      break;
  }
}

void TechnicianConsole::SendCommand() {
  phase_ = Phase::kAwaitingAnswer;
  bool sent = client_.SendTechnicianCommand(BuildCommand(request_.command, request_.argument));
  if (sent && AnswerOf(request_.command) == ConsoleAnswer::kAfterActivity) {
    sent = client_.Link().SendPacket(pkAktywnosc, "");
  }
  if (!sent) Finish(ConsoleOutcome::kDisconnected, last_error_);
}

// A reply, or a log line of the server once listening.
void TechnicianConsole::ServerText(std::string_view payload) {
  const CommandReply reply = ParseCommandReply(payload);
  if (reply.code != 0 || (phase_ != Phase::kAwaitingAnswer && phase_ != Phase::kListening)) return;
  if (phase_ == Phase::kAwaitingAnswer && AnswerOf(request_.command) == ConsoleAnswer::kReply) {
    answer_status_ = print_answer_(reply.text);
    Finish(ConsoleOutcome::kAnswered);
    return;
  }
  out_ << TerminalText(reply.text) << std::flush;
  if (phase_ == Phase::kListening) return;
  switch (AnswerOf(request_.command)) {
    case ConsoleAnswer::kReply:
      break;
    case ConsoleAnswer::kReplyThenLog:
      phase_ = Phase::kListening;
      deadline_.stop();
      break;
    case ConsoleAnswer::kAfterActivity:
      break;
  }
}

void TechnicianConsole::Finish(ConsoleOutcome outcome, std::string_view detail) {
  if (phase_ == Phase::kFinished) return;
  phase_ = Phase::kFinished;
  deadline_.stop();
  if (client_.ActivityState() != kClientDisconnected) client_.Link().ScheduleReconnect(false);
  const std::string failure = ConsoleFailureText(outcome, ServerAddress(), detail);
  if (!failure.empty()) err_ << Cp1250ToUtf8(failure) << std::endl;
  emit finished(outcome == ConsoleOutcome::kAnswered ? answer_status_ : ConsoleExitStatus(outcome));
}

std::string TechnicianConsole::ServerAddress() const {
  const bool ipv6 = request_.host.find(':') != std::string::npos;
  return (ipv6 ? "[" + request_.host + "]" : request_.host) + ":" + std::to_string(request_.port);
}

namespace {

// The settings of the program folder's configuration file.
TConfig SettingsOf(const CommandLine& command_line, const std::filesystem::path& app_dir) {
  Configuration configuration(app_dir.string());
  configuration.LoadConfiguration(command_line,
                                  [](const TConfig&) { return std::optional<std::string>(); });
  return configuration.config;
}

// Runs the console on a QCoreApplication until it finishes or a signal ends it.
int RunConsole(int argc, char** argv, const ConsoleRequest& request, const TConfig& config,
               AnswerPrinter print_answer = {}) {
  ShutdownSignals::BlockInAllThreads();
  QCoreApplication application(argc, argv);
  TechnicianConsole console(request, ConsoleClientSettings(config, request),
                            ConsoleCredentials(config, request, GetFileVersion(ProgramPath())),
                            std::cout, std::cerr, std::move(print_answer));
  ShutdownSignals shutdown;
  QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested, &console,
                   &TechnicianConsole::Interrupt);
  QObject::connect(&console, &TechnicianConsole::finished, &application,
                   [](int status) { QCoreApplication::exit(status); });
  QTimer::singleShot(0, &console, &TechnicianConsole::Start);
  return QCoreApplication::exec();
}

// The fingerprint of the certificate the server of this folder presents; a relative file name
// is taken from the program folder.
std::optional<std::string> OwnCertificateFingerprint(const TConfig& config,
                                                     const std::filesystem::path& app_dir) {
  if (config.ServerTlsCertificate.empty()) return std::nullopt;
  std::filesystem::path file(config.ServerTlsCertificate);
  if (file.is_relative()) file = app_dir / file;
  return CertificateFileFingerprint(file.string());
}

// Prints the copies' status as asked and gives the exit status their limits make.
AnswerPrinter StatusPrinter(const StatusRequest& request) {
  return [request](std::string_view answer) {
    const std::optional<std::vector<CopyStatus>> copies = ParseCopiesStatus(answer);
    if (!copies) {
      std::cerr << Cp1250ToUtf8("Serwer nie podał stanu kopii: "_cp) << TerminalText(answer);
      return ConsoleExitStatus(ConsoleOutcome::kDisconnected);
    }
    std::cout << (request.json ? StatusJson(*copies, request.limits)
                               : StatusText(*copies, request.limits));
    return StatusExitStatus(*copies, request.limits);
  };
}

}  // namespace

int RunTechnicianConsole(int argc, char** argv, const std::filesystem::path& app_dir) {
  const CommandLine command_line(argc, argv);
  std::string error;
  const std::optional<ConsoleRequest> request = ParseConsoleRequest(command_line, error);
  if (!request) {
    std::cerr << Cp1250ToUtf8(error);
    return ConsoleExitStatus(ConsoleOutcome::kWrongUsage);
  }
  return RunConsole(argc, argv, *request, SettingsOf(command_line, app_dir));
}

int RunFleetStatus(int argc, char** argv, const std::filesystem::path& app_dir) {
  const CommandLine command_line(argc, argv);
  const TConfig config = SettingsOf(command_line, app_dir);
  std::string error;
  const std::optional<StatusRequest> request =
      ParseStatusRequest(command_line, config, OwnCertificateFingerprint(config, app_dir), error);
  if (!request) {
    std::cerr << Cp1250ToUtf8(error);
    return ConsoleExitStatus(ConsoleOutcome::kWrongUsage);
  }
  return RunConsole(argc, argv, request->console, config, StatusPrinter(*request));
}

}  // namespace tramolin
