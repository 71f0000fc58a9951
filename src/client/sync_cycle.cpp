#include "client/sync_cycle.h"

#include <optional>
#include <utility>

#include "client/client_state.h"
#include "client/replication_client.h"
#include "client/server_link.h"
#include "engine/change_batch.h"
#include "engine/database_identity.h"
#include "engine/replication_data.h"
#include "net/restart_timer.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr int kNextStepDelayMs = 50;
// Between batches the database work runs on the worker, so the event loop needs no breather.
constexpr int kNextBatchDelayMs = 1;
constexpr double kDayMs = 86'400'000.0;
constexpr int kMainDatabase = 0;
constexpr int kOwnSlot = -1;
// A report of a server with many clients runs to a few hundred lines.
constexpr std::size_t kLongestReplyInLog = 200'000;

std::string Number(int value) { return std::to_string(value); }

std::string Quoted(std::string_view text) { return Concat({"\"", text, "\""}); }

// This database's changes with their packet, built on the worker beside the export.
std::optional<PreparedChanges> PreparedBatch(ReplicationData& data, bool new_only,
                                             NullColumns nulls, ExportCycle cycle) {
  PreparedChanges batch;
  if (!data.PrepareChanges(kMainDatabase, new_only, kOwnSlot, batch, nulls, cycle)) {
    return std::nullopt;
  }
  batch.frame = BuildPacketFrom(pkZmiany, std::exchange(batch.payload, {}));
  return batch;
}

RecordsByTable RecordsOf(const ResentRecords::Digests& digests) {
  RecordsByTable records;
  for (const auto& [key, digest] : digests) records[key.first].push_back(key.second);
  return records;
}

std::string SentLine(const PreparedChanges& batch) {
  return Concat({"Wysłano "_cp, Number(batch.count), " z ", Number(batch.total), " zmian"});
}

}  // namespace

template <typename Result>
void SyncCycle::Job(std::function<Result(ReplicationData&)> work, std::function<void(Result)> done,
                    Result unavailable, std::function<void()> dropped) {
  const int epoch = client_.Link().Epoch();
  client_.RunJob<Result>(
      std::move(work),
      [this, epoch, done = std::move(done), dropped = std::move(dropped)](Result result) {
        if (client_.Link().Epoch() == epoch) {
          done(std::move(result));
        } else if (dropped) {
          dropped();
        }
      },
      std::move(unavailable));
}

void SyncCycle::PacketArrived(std::uint8_t type, const std::string& payload) {
  HostServices& host = client_.Host();
  last_server_activity_ = host.Now();
  if (host.Closing()) return;
  switch (type) {
    case pkPolaczenie:
      Acceptance(payload);
      break;
    case pkWeryfikacja:
      Verification(payload);
      break;
    case pkGotowosc:
      resent_.ConfirmationTaken();
      GoAhead();
      break;
    case pkZmiany:
      resent_.ConfirmationTaken();
      ServerBatch(payload);
      break;
    case pkPotwierdzenie:
      ServerConfirmation(payload);
      break;
    case pkBlad:
      ServerError(payload);
      break;
    case pkPolecenie:
      Message(payload);
      break;
    case pkAktywnosc:
      ActivityRequest();
      break;
    case pkAktywnoscOdp:
      host.Log("Odebrano sygnał aktywności od serwera"_cp, kLogDiagnostic);
      break;
    case pkAktualizacja:
      UpgradeAnnounced();
      break;
    case pkSprawdzenie:
      CheckStep(payload);
      break;
    default:
      break;
  }
}

// ---- Acceptance and authentication ------------------------------------------------------------

void SyncCycle::Acceptance(std::string_view payload) {
  HostServices& host = client_.Host();
  const int result = ParseConnectionResult(payload);
  if (result == kConnectionRefused) {
    host.Log("Serwer odrzucił połączenie: "_cp + Quoted(ConnectionResultText(result)), kLogError);
    Reconnect();
    return;
  }
  if (result != kConnectionAccepted) return;
  resent_.ConnectionAccepted();
  agreed_features_ = 0;
  check_.Drop();
  outgoing_.Restart();
  ForgetAhead();
  host.Log("Serwer zakceptował połączenie, weryfikacja ..."_cp, kLogProgress);
  if (client_.Settings().technician) {
    Authenticate();
    return;
  }
  // The database's structure version, read now: an upgrade may have changed it.
  Job<std::optional<std::string>>(
      [](ReplicationData& data) -> std::optional<std::string> {
        if (!data.ConnectDatabase()) return std::nullopt;
        return data.GetDatabaseVersion();
      },
      [this](std::optional<std::string> version) {
        if (!version) {
          LogDatabaseUnavailable();
          Reconnect();
          return;
        }
        client_.Credentials().database_version = *version;
        if (!SupportedDatabaseVersion(*version)) {
          client_.Host().Log(UnsupportedStructureText(*version), kLogError);
          Reconnect();
          return;
        }
        Authenticate();
      },
      std::optional<std::string>());
}

void SyncCycle::Authenticate() {
  client_.SetActivityState(kClientAuthorising);
  Send(pkAutoryzacja, ClientAuthPayload(client_.Credentials()));
}

void SyncCycle::Verification(std::string_view payload) {
  HostServices& host = client_.Host();
  const int code = ParseVerificationResult(payload);
  if (code == kVerificationOk) {
    host.Log("Weryfikacja OK", kLogProgress);
    agreed_features_ = ParseAgreedFeatures(payload) & client_.Credentials().features;
    if (client_.ActivityState() != kClientAuthorising) return;
    client_.SetActivityState(kClientLoggedIn);
    if (!client_.Settings().technician) RestartTimer(client_.tmrKReplikuj, kNextStepDelayMs);
    return;
  }
  if (code == kVerificationNotActiveCopy) {
    client_.RunJob<bool>(
        [](ReplicationData& data) {
          data.ResetVersionGenerators();
          return true;
        },
        [](bool) {}, false);
  }
  host.Log("Weryfikacja zakończona niepowodzeniem: "_cp + Quoted(VerificationRefusalText(code)),
           kLogProgress);
  Reconnect();
}

// ---- The cycle --------------------------------------------------------------------------------

void SyncCycle::tmrKReplikujTimer() {
  HostServices& host = client_.Host();
  if (host.ServerMode() || client_.ActivityState() != kClientLoggedIn || starting_) return;
  client_.tmrKReplikuj.stop();
  host.Log("Rozpoczynanie procesu synchronizacji ..."_cp, kLogDiagnostic);
  client_.KeepEventsSubscribed();
  starting_ = true;
  const std::optional<std::int32_t> kept = std::exchange(kept_count_, std::nullopt);
  Job<std::optional<ChangeCounts>>(
      [kept](ReplicationData& data) -> std::optional<ChangeCounts> {
        if (!data.ConnectDatabase()) return std::nullopt;
        if (kept) return ChangeCounts{*kept, 0};
        return data.CountChanges(kMainDatabase);
      },
      [this](std::optional<ChangeCounts> counts) {
        starting_ = false;
        if (!counts) {
          LogDatabaseUnavailable();
          if (client_.ActivityState() == kClientLoggedIn) ScheduleNextSync();
          return;
        }
        if (client_.ActivityState() == kClientLoggedIn) StartCycle(*counts);
      },
      std::optional<ChangeCounts>(), [this] { starting_ = false; });
}

void SyncCycle::StartCycle(const ChangeCounts& counts) {
  HostServices& host = client_.Host();
  host.Log(" połączono z bazą ..."_cp, kLogDiagnostic, true);
  local_change_count_ = counts.all;
  outgoing_.Counted(counts.all);
  check_.Drop();
  if (client_.Settings().send_new_data_first && counts.new_count > 0) {
    SendNewChangesFirst();
    return;
  }
  Send(pkGotowosc, BuildReadySignal(local_change_count_));
  host.Log(" wysłano sygnał gotowości ("_cp + Number(local_change_count_) + ")", kLogDiagnostic,
           true);
  if (client_.ActivityState() == kClientLoggedIn) client_.SetActivityState(kClientWaiting);
}

void SyncCycle::SendNewChangesFirst() {
  client_.Host().Log("Sprawdzenie nowych zmian dla serwera ... "_cp, kLogProgress);
  OfferChanges(true, "Przygotowywanie nowych danych dla serwera ... "_cp, [this](Offer offer) {
    if (offer == Offer::kSettled) return;
    client_.Host().Log(
        Concat({"Wystąpił problem w czasie wysyłania nowych zmian do serwera - brak danych do "
                "wysłania lub błędny status ("_cp,
                Number(client_.ActivityState()), ")"}),
        kLogProgress, true);
    Reconnect();
  });
}

void SyncCycle::GoAhead() {
  HostServices& host = client_.Host();
  host.Log("Serwer oczekuje na dane", kLogProgress);
  if (client_.ActivityState() == kClientWaiting) {
    client_.SetActivityState(kClientLoggedIn);
    if (!client_.Settings().technician) RestartTimer(client_.tmrKReplikuj, kNextBatchDelayMs);
    return;
  }
  host.Log("Nieprawidłowy status klienta ("_cp + Number(client_.ActivityState()) + ")",
           kLogProgress);
  Reconnect();
}

void SyncCycle::ServerBatch(std::string_view payload) {
  const ChangeBatch batch = ParseChangeBatch(payload);
  remote_change_count_ = batch.total;
  if (batch.count >= 1) {
    ImportServerBatch(batch.count, batch.total, batch.records);
  } else {
    resent_.NothingLeft();
    SendOwnChanges();
  }
}

void SyncCycle::ImportServerBatch(int count, int total, std::string_view records) {
  ForgetAhead();  // the import may change what it holds
  HostServices& host = client_.Host();
  host.Log(Concat({"Serwer przysłał "_cp, Number(count), " z ", Number(total),
                   " zmian, importowanie ... "_cp}),
           kLogProgress);
  client_.SetActivityState(kClientProcessing);
  host.Log("Importowanie przysłanych rekordów ..."_cp, kLogStatus);
  int repeats = 0;
  auto fresh = std::make_shared<const std::string>(resent_.WithoutRepeats(records, repeats));
  auto digests = std::make_shared<ResentRecords::Digests>();
  ImportResult failed;
  Job<ImportResult>(
      [fresh](ReplicationData& data) {
        std::string_view rest = *fresh;
        return data.ImportChanges(rest, kMainDatabase, kOwnSlot);
      },
      [this, digests, repeats](ImportResult result) {
        ServerBatchImported(result, std::move(*digests), repeats);
      },
      failed);
  // While the worker imports: the digests are needed only once the import is done.
  *digests = ResentRecords::DigestsOf(records);
}

void SyncCycle::ServerBatchImported(const ImportResult& result, ResentRecords::Digests digests,
                                    int repeats) {
  HostServices& host = client_.Host();
  host.Log("", kLogStatus);
  if (result.outcome == ImportOutcome::kLocked) {
    Send(pkBlad, BuildErrorReport(kErrorImportLocked, client_.GetErrorText(kOwnSlot)));
    client_.HoldBack();
    ScheduleNextSync();
    return;
  }
  if (result.outcome != ImportOutcome::kDone) {
    ReportAndDisconnect(kErrorImportingData);
    return;
  }
  host.Log(
      Concat({"Zaimportowano "_cp, Number(result.count),
              result.conflicts > 0 ? " (konfliktów "_cp + Number(result.conflicts) + " !!!)" : ""}),
      kLogProgress, client_.ActivityState() == kClientProcessing);
  if (repeats > 0) {
    host.Log(Concat({"Pominięto "_cp, Number(repeats),
                     " rekordów zaimportowanych wcześniej (serwer nie otrzymał potwierdzenia)"_cp}),
             kLogProgress);
  }
  if (host.Closing() || client_.ActivityState() != kClientProcessing) return;
  auto imported = std::make_shared<const RecordsByTable>(RecordsOf(digests));
  resent_.ConfirmationSent(std::move(digests));
  Send(pkPotwierdzenie, BuildConfirmation(result.count));
  if (client_.ActivityState() == kClientProcessing && !host.Closing()) {
    client_.SetActivityState(kClientWaiting);
  }
  // While the server answers; the next import follows in the worker's queue.
  Job<bool>(
      [imported](ReplicationData& data) {
        data.SweepImportedEntries(kMainDatabase, *imported);
        return true;
      },
      [](bool) {}, false);
}

void SyncCycle::SendOwnChanges() {
  HostServices& host = client_.Host();
  host.Log("Brak zmian po stronie serwera", kLogProgress);
  host.Log("Sprawdzenie zmian dla serwera ... "_cp, kLogProgress);
  OfferChanges(false, "Przygotowywanie danych dla serwera ... "_cp, [this](Offer offer) {
    if (offer == Offer::kSettled) return;
    HostServices& log = client_.Host();
    if (offer == Offer::kEmpty) {
      log.Log("Brak zmian", kLogProgress, true);
      ScheduleNextSync();
    } else {
      log.Log("Wystąpił problem w czasie wysyłania zmian do serwera"_cp, kLogProgress, true);
      Reconnect();
    }
  });
}

void SyncCycle::OfferChanges(bool new_only, std::string_view status,
                             std::function<void(Offer)> then) {
  client_.SetActivityState(kClientPreparing);
  client_.Host().Log(status, kLogStatus);
  if (!new_only && outgoing_.AheadBeingPrepared()) {
    offer_awaiting_ahead_ = std::move(then);
    return;
  }
  PrepareAndOffer(new_only, std::move(then));
}

void SyncCycle::PrepareAndOffer(bool new_only, std::function<void(Offer)> then) {
  if (!new_only) {
    if (std::optional<PreparedChanges> ahead = outgoing_.TakeAhead()) {
      then(Offered(ahead));
      return;
    }
  }
  const NullColumns nulls = Nulls();
  const ExportCycle cycle = outgoing_.NextExport();
  Job<std::optional<PreparedChanges>>(
      [new_only, nulls, cycle](ReplicationData& data) -> std::optional<PreparedChanges> {
        return PreparedBatch(data, new_only, nulls, cycle);
      },
      [this, then = std::move(then)](std::optional<PreparedChanges> batch) {
        then(Offered(batch));
      },
      std::optional<PreparedChanges>());
}

SyncCycle::Offer SyncCycle::Offered(const std::optional<PreparedChanges>& batch) {
  HostServices& host = client_.Host();
  host.Log("", kLogStatus);
  if (!batch) {
    ReportAndDisconnect(kErrorPreparingData);
    return Offer::kSettled;
  }
  client_.ClientTransactionId = batch->transaction_number;
  if (host.Closing() || client_.ActivityState() != kClientPreparing) return Offer::kSettled;
  client_.Link().SendFrame(batch->frame);
  outgoing_.Sent(*batch);
  const bool still_preparing = client_.ActivityState() == kClientPreparing;
  if (batch->count > 0 && still_preparing) {
    host.Log(SentLine(*batch), kLogProgress, true);
    client_.SetActivityState(kClientAwaitingConfirmation);
    if (!client_.Settings().send_new_data_first && outgoing_.WorthPreparingAhead(*batch)) {
      PrepareAhead();
    }
    return Offer::kSettled;
  }
  return batch->count == 0 && still_preparing ? Offer::kEmpty : Offer::kFailed;
}

// A confirmation deletes the entries of the client's last batch, whatever the state.
void SyncCycle::ServerConfirmation(std::string_view payload) {
  client_.Host().Log(
      "Serwer zaimportował: "_cp + Number(ParseConfirmation(payload)) + " rekordów."_cp,
      kLogProgress);
  if (TakeConfirmationEarly()) {
    DeleteConfirmedEntries([](std::int32_t) {});
    client_.SetActivityState(kClientLoggedIn);
    StartCycleAtOnce();
    return;
  }
  client_.SetActivityState(kClientUnmarking);
  DeleteConfirmedEntries([this](std::int32_t removed) {
    outgoing_.Confirmed(removed);
    // The cycle goes on with this count; new changes first need a count of their own.
    if (!client_.Settings().send_new_data_first) kept_count_ = outgoing_.Pending();
    if (client_.ActivityState() != kClientUnmarking) return;
    client_.SetActivityState(kClientLoggedIn);
    if (!client_.Settings().technician) RestartTimer(client_.tmrKReplikuj, kNextBatchDelayMs);
  });
}

void SyncCycle::DeleteConfirmedEntries(std::function<void(std::int32_t)> then) {
  Job<std::optional<std::int32_t>>(
      [](ReplicationData& data) { return data.DeleteJournalEntries(kOwnSlot); },
      [this, then = std::move(then)](std::optional<std::int32_t> removed) {
        if (!removed) {
          ReportAndDisconnect(kErrorDeletingJournal);
          return;
        }
        then(*removed);
      },
      std::optional<std::int32_t>());
}

// With a batch ahead, ready or being prepared, the next cycle need not wait for the deletion:
// the confirmed batch counts as confirmed now, with the entries it marked, and whatever the next
// cycle asks of the database (the import of a server batch, a new export) follows the deletion in
// the worker's queue.
bool SyncCycle::TakeConfirmationEarly() {
  const ClientSettings& settings = client_.Settings();
  return !settings.send_new_data_first && !settings.technician &&
         client_.ActivityState() == kClientAwaitingConfirmation &&
         outgoing_.ConfirmedBeforeDeletion();
}

void SyncCycle::StartCycleAtOnce() {
  client_.Host().Log("Rozpoczynanie procesu synchronizacji ..."_cp, kLogDiagnostic);
  client_.KeepEventsSubscribed();
  StartCycle({outgoing_.Pending().value_or(0), 0});
}

// Beside the server's import; the confirmation's deletion and the next cycle's count follow it in
// the worker's queue.
void SyncCycle::PrepareAhead() {
  const ExportCycle cycle = outgoing_.BeginAhead();
  const SendingCycle::Ticket ticket = outgoing_.AheadTicket();
  const NullColumns nulls = Nulls();
  Job<std::optional<PreparedChanges>>(
      [nulls, cycle](ReplicationData& data) -> std::optional<PreparedChanges> {
        return PreparedBatch(data, false, nulls, cycle);
      },
      [this, ticket](std::optional<PreparedChanges> batch) {
        if (ticket != outgoing_.AheadTicket()) return;  // dropped meanwhile
        outgoing_.AheadPrepared(ticket, std::move(batch));
        if (offer_awaiting_ahead_) {
          PrepareAndOffer(false, std::exchange(offer_awaiting_ahead_, nullptr));
        }
      },
      std::optional<PreparedChanges>());
}

void SyncCycle::ForgetAhead() {
  outgoing_.DropAhead();
  offer_awaiting_ahead_ = nullptr;
  kept_count_.reset();
}

NullColumns SyncCycle::Nulls() const {
  return (agreed_features_ & kFeatureExplicitNulls) != 0 ? NullColumns::kWritten
                                                         : NullColumns::kLeftOut;
}

void SyncCycle::ScheduleNextSync() {
  ForgetAhead();
  const ClientSettings& settings = client_.Settings();
  if (settings.on_demand) {
    Reconnect();
    return;
  }
  client_.SetActivityState(kClientLoggedIn);
  if (settings.technician) return;
  const int interval = NextSyncIntervalMs(client_.Host().Now(), settings.interval_minutes);
  RestartTimer(client_.tmrKReplikuj, interval);
  client_.Host().Log("Następna synchronizacja za: "_cp + DurationText(interval / kDayMs),
                     kLogProgress);
}

// ---- Packets at any time ----------------------------------------------------------------------

void SyncCycle::ServerError(std::string_view payload) {
  const ErrorReport report = ParseErrorReport(payload);
  const ServerErrorReaction reaction = ReactionToServerError(report.code, report.detail);
  if (!reaction.known) return;
  client_.Host().Log(reaction.line, reaction.level);
  if (reaction.keeps_connection) {
    client_.HoldBack();
    ScheduleNextSync();
  } else {
    Reconnect();
  }
}

void SyncCycle::Message(std::string_view payload) {
  const CommandReply reply = ParseCommandReply(payload);
  if (reply.code == -1) {
    client_.Host().Log("Nieznane polecenie z serwera", kLogProgress);
  } else if (reply.code == 0) {
    client_.Host().Log(LoggablePeerLines(reply.text, kLongestReplyInLog), kLogProgress);
  }
}

void SyncCycle::ActivityRequest() {
  if (client_.ActivityState() != kClientLoggedIn) return;
  client_.Host().Log("Wysyłanie sygnału aktywności do serwera"_cp, kLogDiagnostic);
  Send(pkAktywnoscOdp, "");
}

void SyncCycle::UpgradeAnnounced() {
  client_.Host().Log("Aktualizacja struktury głównej bazy danych. Rozłączanie z serwerem."_cp,
                     kLogProgress);
  Reconnect();
}

// ---- A table check of the server's, between cycles ------------------------------------------

// Only with the feature agreed and between cycles: a step that comes during a cycle goes
// unanswered, and the server gives the check up when the cycle's ready signal reaches it.
void SyncCycle::CheckStep(const std::string& payload) {
  if ((agreed_features_ & kFeatureTableCheck) == 0 || client_.ActivityState() != kClientLoggedIn ||
      starting_) {
    return;
  }
  const std::optional<std::int32_t> table = check_.TableToRead(payload);
  if (!table) {
    AnswerCheckStep(payload);
    return;
  }
  Job<std::optional<TDigestSet>>(
      [table = *table](ReplicationData& data) {
        return data.ReadTableDigestSet(table, kMainDatabase);
      },
      [this, table = *table, payload](std::optional<TDigestSet> digests) {
        check_.Read(table, std::move(digests));
        AnswerCheckStep(payload);
      },
      std::nullopt);
}

void SyncCycle::AnswerCheckStep(std::string_view payload) {
  if (const std::optional<std::string> answer = check_.Answer(payload)) {
    Send(pkSprawdzenieOdp, *answer);
  }
}

void SyncCycle::Send(std::uint8_t type, std::string_view payload) {
  client_.Link().SendPacket(static_cast<PacketType>(type), payload);
}

void SyncCycle::ReportAndDisconnect(int code) {
  Send(pkBlad, BuildErrorReport(code, client_.GetErrorText(kOwnSlot)));
  Reconnect();
}

void SyncCycle::Reconnect() {
  outgoing_.Restart();
  ForgetAhead();
  client_.Link().ScheduleReconnect(false);
}

void SyncCycle::LogDatabaseUnavailable() {
  client_.Host().Log("Nie udało się nawiązać połączenia z bazą danych: "_cp +
                         Quoted(client_.GetErrorText(kOwnSlot)),
                     kLogError);
}

}  // namespace tramolin
