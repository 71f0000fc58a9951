#include "server/exchange_handler.h"

#include <utility>

#include "engine/replication_data.h"
#include "net/packet_connection.h"
#include "protocol/features.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "server/client_session.h"
#include "server/replication_server.h"
#include "server/server_state.h"
#include "server/technician_sink.h"
#include "util/cp1250.h"
#include "util/fields.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

void BuildFrame(PreparedChanges& batch) {
  batch.frame = BuildPacketFrom(pkZmiany, std::exchange(batch.payload, {}));
}

std::string NumberText(int value) { return std::to_string(value); }

// The server's database as the verification reads it on a worker.
class EngineVerificationDatabase final : public VerificationDatabase {
 public:
  explicit EngineVerificationDatabase(ReplicationData& data) : data_(data) {}
  bool ConnectDatabase() override { return data_.ConnectDatabase(); }
  std::string GetDatabaseVersion() override { return data_.GetDatabaseVersion(); }
  bool ReadCopyDescription(std::string& description, int number) override {
    return data_.ReadCopyDescription(description, number);
  }

 private:
  ReplicationData& data_;
};

struct Verification {
  int result = kVerificationAuthFailed;
  VerificationFindings findings;
};

bool IsDataPacket(std::uint8_t type) {
  return type == pkGotowosc || type == pkZmiany || type == pkPotwierdzenie;
}

// Packets a connection may send before it has logged in: its authentication and the answer to
// an activity request; everything else waits for the login.
bool NeedsLogin(std::uint8_t type) { return type != pkAutoryzacja && type != pkAktywnoscOdp; }

}  // namespace

void ExchangeHandler::Dispatch(ClientSession& session, std::uint8_t type,
                               const std::string& payload) {
  if (!AcceptedFrom(session, type)) {
    server_.LogFromPeer(session, ReplicationServer::PeerLine::kIgnoredPacket,
                        "Pominięto pakiet typu "_cp + NumberText(type) + " od klienta nr " +
                            Number(session) + " (niedozwolony przed zalogowaniem)"_cp,
                        kLogDiagnostic);
    return;
  }
  switch (type) {
    case pkAutoryzacja:
      Authenticate(session, payload);
      break;
    case pkGotowosc:
      RequestForChanges(session, payload);
      break;
    case pkZmiany:
      ClientBatch(session, payload);
      break;
    case pkPotwierdzenie:
      Confirmation(session, payload);
      break;
    case pkBlad:
      ErrorReport(session, payload);
      break;
    case pkPolecenie:
      if (TechnicianCommandSink* sink = server_.TechnicianSink())
        sink->HandleCommand(session, payload);
      break;
    case pkAktywnosc:
      ActivityRequest(session);
      break;
    case pkAktywnoscOdp:
      server_.Host().Log("Odebrano sygnał aktywności od klienta nr "_cp + Number(session),
                         kLogDiagnostic);
      break;
    case pkSprawdzenieOdp:
      checks_.Answered(session, payload);
      break;
    default:
      break;
  }
}

bool ExchangeHandler::AcceptedFrom(const ClientSession& session, std::uint8_t type) const {
  if (!NeedsLogin(type)) return true;
  const TKlientInfo& client = session.Slot();
  if (!client.Autoryzowany) return false;
  if (type == pkPolecenie) return client.Serwisant == 1;
  return !IsDataPacket(type) || client.Serwisant != 1;
}

std::string ExchangeHandler::Number(const ClientSession& session) const {
  return NumberText(server_.IndexOf(session) + 1);
}

JobSlot ExchangeHandler::JobFor(const ClientSession& session) const {
  return {server_.IndexOf(session), session.Slot().DBNR, session.Slot().LastTransID};
}

NullColumns ExchangeHandler::NullsFor(const ClientSession& session) {
  return (session.Slot().Features & kFeatureExplicitNulls) != 0 ? NullColumns::kWritten
                                                                : NullColumns::kLeftOut;
}

// ---- Authentication --------------------------------------------------------------------------

void ExchangeHandler::Authenticate(ClientSession& session, const std::string& payload) {
  server_.SetSlotStatus(session, SlotStatus::kAuthorising);
  TAUTHData data;
  try {
    ParseAuthData(payload, data);
  } catch (const ConversionError&) {
    Verified(session, data, kVerificationAuthFailed);  // a field that is no number
    return;
  }
  if (const std::optional<int> result = CheckWithoutDatabase(session, data)) {
    Verified(session, data, *result);
    return;
  }
  TakeOverEarlierSlot(session, data.DBNR);
  CheckAgainstDatabase(session, data);
}

std::optional<int> ExchangeHandler::CheckWithoutDatabase(ClientSession& session,
                                                         const TAUTHData& data) {
  HostServices& host = server_.Host();
  const std::string& key = server_.Settings().access_key;
  if (!key.empty() && !AccessKeyMatches(data.Reserved, key)) {
    host.Log("Niezgodny klucz dostępu klienta "_cp + Number(session), kLogProgress);
    return kVerificationAuthFailed;
  }
  if (!data.Serwisant) return std::nullopt;
  if (key.empty() && !ReplicationServer::FromLoopback(session)) {
    host.Log("Odrzucono logowanie serwisanta spoza komputera serwera: ustaw [Server] AccessKey"_cp,
             kLogDiagnostic);
    return kVerificationAuthFailed;
  }
  session.Slot().Opis = "Serwisant";
  session.Slot().Serwisant = 1;
  server_.SlotChanged(session);
  return kVerificationOk;
}

// A copy that connects again while its earlier connection still holds a slot continues in that
// slot (its start time and counters stay); the new slot goes and the old connection is closed.
void ExchangeHandler::TakeOverEarlierSlot(ClientSession& session, int dbnr) {
  ClientSession* earlier = nullptr;
  for (int i = 0; i < static_cast<int>(server_.SlotCount()) && earlier == nullptr; ++i) {
    ClientSession* other = server_.SessionAt(i);
    if (other != &session && dbnr >= 0 && other->Slot().DBNR == dbnr) earlier = other;
  }
  if (earlier == nullptr) return;
  HostServices& host = server_.Host();
  host.Log(Concat({"Ponowione połączenie klienta "_cp, Number(*earlier), " z adresu \"",
                   session.PeerHostAndAddress(), "\""}),
           kLogProgress);
  const std::string old_peer = earlier->Connection() != nullptr ? earlier->PeerText() : "";
  host.Log("Zamykanie poprzedniego połączenia "_cp + (old_peer.empty() ? "" : "(" + old_peer + ")"),
           kLogProgress);
  server_.TakeOver(*earlier, session);
}

void ExchangeHandler::CheckAgainstDatabase(ClientSession& session, const TAUTHData& data) {
  WorkerPool* workers = server_.Workers();
  if (workers == nullptr) {
    Verified(session, data, kVerificationNoServerDatabase);
    return;
  }
  const ServerIdentity identity = server_.Identity();
  session.RunJob<Verification>(
      *workers, JobFor(session),
      [data, identity](ReplicationData& database, HostServices& host) {
        EngineVerificationDatabase checked(database);
        Verification verification;
        verification.result =
            CheckClientAgainstServer(data, identity, checked, host, verification.findings);
        return verification;
      },
      [this, &session, data](Verification verification, JobReport) {
        const VerificationFindings& findings = verification.findings;
        if (!findings.database_version.empty()) {
          server_.RefreshDatabaseVersion(findings.database_version);
        }
        if (findings.copy_looked_up) session.Slot().Opis = findings.copy_description;
        Verified(session, data, verification.result);
      });
}

void ExchangeHandler::Verified(ClientSession& session, const TAUTHData& data, int result) {
  HostServices& host = server_.Host();
  const bool has_slot = server_.IndexOf(session) != -1;
  if (result == kVerificationOk && !has_slot) result = kVerificationAuthFailed;
  if (result != kVerificationOk) {
    host.Log(Concat({"Odrzucenie połączenia: \""_cp, VerificationResultText(result), "\""}),
             kLogProgress);
    if (has_slot) session.Send(pkWeryfikacja, BuildVerificationResult(result), host.Closing());
    server_.CloseSession(session, true);
    server_.ShowActivity();
    return;
  }
  TKlientInfo& client = session.Slot();
  if (!data.Serwisant) {
    client.DBNR = data.DBNR;
    client.SendNewDataFirst = data.SendNewDataFirst;
    server_.RecallCopyError(session);
  }
  client.Features = data.Features ? ParseFeatureList(*data.Features) & kSupportedFeatures : 0;
  server_.SetSlotStatus(session, SlotStatus::kLoggedIn);
  server_.ConnectionLoggedIn(session);
  session.Send(pkWeryfikacja,
               BuildVerificationAgreement(data.Features.has_value(), client.Features),
               host.Closing());
  server_.ShowActivity();
}

// ---- The server's batches --------------------------------------------------------------------

void ExchangeHandler::RequestForChanges(ClientSession& session, std::string_view payload) {
  checks_.GiveWay(session);
  session.Outgoing().Restart();
  session.Slot().DoOdebrZmian = ParsePendingChanges(payload);
  server_.SetSlotStatus(session, SlotStatus::kAwaitingData);
  SendNextBatch(session, true);
}

void ExchangeHandler::SendNextBatch(ClientSession& session, bool name_client) {
  HostServices& host = server_.Host();
  host.Log("Przygotowywanie danych dla klienta "_cp + Number(session) + " ... ", kLogStatus);
  WorkerPool* workers = server_.Workers();
  if (workers == nullptr) {
    Fail(session, kErrorPreparingData, {});
    return;
  }
  server_.WorkStarted(DatabaseWork::kPreparing);
  const int copy = session.Slot().DBNR;
  const NullColumns nulls = NullsFor(session);
  const int slot = server_.IndexOf(session);
  const ExportCycle cycle = session.Outgoing().NextExport();
  session.RunJob<std::pair<bool, PreparedChanges>>(
      *workers, JobFor(session),
      [copy, nulls, slot, cycle](ReplicationData& data, HostServices&) {
        std::pair<bool, PreparedChanges> prepared;
        prepared.first = data.PrepareChanges(copy, false, slot, prepared.second, nulls, cycle);
        if (prepared.first) BuildFrame(prepared.second);
        return prepared;
      },
      [this, &session, name_client](std::pair<bool, PreparedChanges> prepared, JobReport report) {
        server_.WorkEnded(DatabaseWork::kPreparing);
        if (!prepared.first) {
          Fail(session, kErrorPreparingData, std::move(report));
          return;
        }
        BatchPrepared(session, name_client, prepared.second);
      });
}

// Both halves of the line are written once the batch is there, so that the lines of other
// clients' work never come between them.
void ExchangeHandler::BatchPrepared(ClientSession& session, bool name_client,
                                    const PreparedChanges& batch) {
  HostServices& host = server_.Host();
  const std::string number = Number(session);
  session.Slot().LastTransID = batch.transaction_number;
  host.Log("Sprawdzenie zmian dla klienta "_cp + number + " ... ", kLogProgress);
  host.Log("", kLogStatus);
  if (host.Closing() || server_.IndexOf(session) == -1) return;
  session.Slot().DoWyslZmian = batch.total;
  server_.BacklogCounted(session, batch.total);
  server_.SlotChanged(session);
  session.SendFrame(batch.frame);
  session.Outgoing().Sent(batch);
  if (batch.count < 1) {
    host.Log("Brak zmian", kLogProgress, true);
    server_.ExchangeSucceeded(session);
    server_.SetSlotStatus(session, SlotStatus::kLoggedIn);
    return;
  }
  host.Log(Concat({"Wysłano "_cp, NumberText(batch.count), " z ", NumberText(batch.total), " zmian",
                   name_client ? " do klienta " + number : ""}),
           kLogProgress, true);
  server_.SetSlotStatus(session, SlotStatus::kImporting);
  if (!session.Slot().SendNewDataFirst && session.Outgoing().WorthPreparingAhead(batch)) {
    PrepareAhead(session);
  }
}

// Runs beside the client's import without holding its packets; the batch leaves as soon as it is
// there and the client's confirmation has come, before the worker carries that confirmation out.
void ExchangeHandler::PrepareAhead(ClientSession& session) {
  WorkerPool* workers = server_.Workers();
  if (workers == nullptr) return;
  SendingCycle& outgoing = session.Outgoing();
  const ExportCycle cycle = outgoing.BeginAhead();
  const SendingCycle::Ticket ticket = outgoing.AheadTicket();
  const int copy = session.Slot().DBNR;
  const NullColumns nulls = NullsFor(session);
  const int slot = server_.IndexOf(session);
  const QPointer<ClientSession> self(&session);
  session.Worker(*workers).Run<std::optional<PreparedChanges>>(
      JobFor(session),
      [copy, nulls, slot, cycle](ReplicationData& data,
                                 HostServices&) -> std::optional<PreparedChanges> {
        PreparedChanges batch;
        if (!data.PrepareChanges(copy, false, slot, batch, nulls, cycle)) return std::nullopt;
        BuildFrame(batch);
        return batch;
      },
      [this, self, ticket](std::optional<PreparedChanges> batch, JobReport) {
        if (self.isNull()) return;
        if (self->Outgoing().AheadPrepared(ticket, std::move(batch))) SendAheadOrNext(*self);
      });
}

void ExchangeHandler::Confirmation(ClientSession& session, std::string_view payload) {
  HostServices& host = server_.Host();
  host.Log("Klient "_cp + Number(session) + " zaimportował: "_cp +
               NumberText(ParseConfirmation(payload)) + " rekordów."_cp,
           kLogProgress);
  server_.SetSlotStatus(session, SlotStatus::kAwaitingData);
  WorkerPool* workers = server_.Workers();
  if (workers == nullptr) {
    Fail(session, kErrorDeletingJournal, {});
    return;
  }
  // A batch prepared ahead leaves as soon as it is there, while the worker carries out the
  // confirmation: the deletion takes the confirmed batch's number now, and whatever the worker
  // prepares next comes after it in its queue.
  const bool ahead =
      !session.Slot().SendNewDataFirst && session.Outgoing().ConfirmedBeforeDeletion();
  const int slot = server_.IndexOf(session);
  session.RunJob<std::optional<std::int32_t>>(
      *workers, JobFor(session),
      [slot](ReplicationData& data, HostServices&) { return data.DeleteJournalEntries(slot); },
      [this, &session, ahead](std::optional<std::int32_t> removed, JobReport report) {
        if (!removed) {
          Fail(session, kErrorDeletingJournal, std::move(report));
          return;
        }
        server_.ClearCopyError(session);
        server_.ExchangeSucceeded(session);
        if (!ahead) JournalEntriesDeleted(session, *removed);
      });
  if (ahead && !session.Outgoing().AheadBeingPrepared()) SendAheadOrNext(session);
}

void ExchangeHandler::JournalEntriesDeleted(ClientSession& session, std::int32_t removed) {
  session.Outgoing().Confirmed(removed);
  HostServices& host = server_.Host();
  if (!session.Slot().SendNewDataFirst) {
    SendNextBatch(session, false);
    return;
  }
  host.Log("Wysyłanie sygnału gotowości dla klienta "_cp + Number(session) + " ... ", kLogProgress);
  if (server_.IndexOf(session) == -1) return;
  session.Send(pkGotowosc, "", host.Closing());
  host.Log("wysłano"_cp, kLogProgress, true);
  server_.SetSlotStatus(session, SlotStatus::kLoggedIn);
}

// The batch prepared ahead, or a new one where preparing it failed.
void ExchangeHandler::SendAheadOrNext(ClientSession& session) {
  if (std::optional<PreparedChanges> ahead = session.Outgoing().TakeAhead()) {
    SendAhead(session, *ahead);
  } else {
    SendNextBatch(session, false);
  }
}

void ExchangeHandler::SendAhead(ClientSession& session, const PreparedChanges& batch) {
  server_.Host().Log("Przygotowywanie danych dla klienta "_cp + Number(session) + " ... ",
                     kLogStatus);
  BatchPrepared(session, false, batch);
}

// ---- The client's batches --------------------------------------------------------------------

void ExchangeHandler::ClientBatch(ClientSession& session, std::string_view payload) {
  checks_.GiveWay(session);
  session.Outgoing().Restart();
  const ChangeBatch batch = ParseChangeBatch(payload);
  HostServices& host = server_.Host();
  if (batch.count < 1) {
    host.Log("Brak zmian po stronie klienta "_cp + Number(session), kLogProgress);
    server_.ExchangeSucceeded(session);
    server_.SetSlotStatus(session, SlotStatus::kLoggedIn);
    server_.RestartIdleDisconnect();
    return;
  }
  server_.SetSlotStatus(session, SlotStatus::kAwaitingConfirmation);
  host.Log(Concat({"Klient "_cp, Number(session), " przysłał "_cp, NumberText(batch.count), " z ",
                   NumberText(batch.total), " zmian, importowanie ... "_cp}),
           kLogProgress);
  WorkerPool* workers = server_.Workers();
  if (host.Closing()) return;
  host.Log("Importowanie przysłanych rekordów ..."_cp, kLogStatus);
  if (workers == nullptr) {
    Fail(session, kErrorImportingData, {});
    return;
  }
  server_.WorkStarted(DatabaseWork::kImporting);
  auto records = std::make_shared<const std::string>(batch.records);
  const int copy = session.Slot().DBNR;
  const int slot = server_.IndexOf(session);
  session.RunJob<ImportResult>(
      *workers, JobFor(session),
      [records, copy, slot](ReplicationData& data, HostServices&) {
        std::string_view rest = *records;
        return data.ImportChanges(rest, copy, slot);
      },
      [this, &session](ImportResult result, JobReport report) {
        server_.WorkEnded(DatabaseWork::kImporting);
        BatchImported(session, result, std::move(report));
      });
}

void ExchangeHandler::BatchImported(ClientSession& session, const ImportResult& result,
                                    JobReport report) {
  HostServices& host = server_.Host();
  if (result.outcome == ImportOutcome::kFailed) {
    Fail(session, kErrorImportingData, std::move(report));
    return;
  }
  host.Log("", kLogStatus);
  if (report.error_text) session.Slot().LastErrorMsg = *report.error_text;
  if (result.outcome == ImportOutcome::kLocked) {
    session.Send(pkBlad, BuildErrorReport(kErrorImportLocked, session.Slot().LastErrorMsg),
                 host.Closing());
    server_.SetSlotStatus(session, SlotStatus::kLoggedIn);
    return;
  }
  if (host.Closing() || server_.IndexOf(session) == -1) return;
  server_.ClearCopyError(session);
  server_.ExchangeSucceeded(session);
  host.Log(
      Concat({"Zaimportowano "_cp, NumberText(result.count),
              result.conflicts > 0 ? " (konfliktów "_cp + NumberText(result.conflicts) + " !!!)"
                                   : ""}),
      kLogProgress, true);
  session.Send(pkPotwierdzenie, BuildConfirmation(result.count), host.Closing());
  server_.SetSlotStatus(session, SlotStatus::kLoggedIn);
}

// ---- Reports and activity --------------------------------------------------------------------

void ExchangeHandler::ErrorReport(ClientSession& session, std::string_view payload) {
  const struct ErrorReport report = ParseErrorReport(payload);
  if (!IsKnownErrorCode(report.code)) return;
  session.Outgoing().Restart();
  const std::string detail = LoggablePeerText(report.detail);
  const std::string prefix = "Po stronie klienta "_cp + Number(session);
  const std::string_view text = ServerSideErrorText(report.code);
  HostServices& host = server_.Host();
  // Kept with the slot, and with the copy when the slot goes: the clients report shows it.
  session.Slot().LastErrorMsg = Concat({text, detail});
  server_.SlotChanged(session);
  if (report.code == kErrorImportLocked) {
    host.Log(Concat({prefix, text, detail}), kLogSerious);
    server_.SetSlotStatus(session, SlotStatus::kLoggedIn);
    return;
  }
  host.Log(Concat({prefix, text, report.code == kErrorReceiveOverflow ? "" : detail}), kLogError);
  server_.CloseSession(session, true);
}

void ExchangeHandler::ActivityRequest(ClientSession& session) {
  server_.Host().Log("Wysyłanie sygnału aktywności do klienta nr "_cp + Number(session),
                     kLogDiagnostic);
  session.Send(pkAktywnoscOdp, "", server_.Host().Closing());
}

void ExchangeHandler::Fail(ClientSession& session, int code, JobReport report) {
  server_.Host().Log("", kLogStatus);
  if (report.error_text) session.Slot().LastErrorMsg = *report.error_text;
  session.Send(pkBlad, BuildErrorReport(code, session.Slot().LastErrorMsg),
               server_.Host().Closing());
  server_.CloseSession(session, true);
}

}  // namespace tramolin
