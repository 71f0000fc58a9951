#include "server/exchange_handler.h"

#include "engine/replication_data.h"
#include "net/packet_connection.h"
#include "protocol/packet_types.h"
#include "server/client_validation.h"
#include "server/replication_server.h"
#include "server/server_state.h"
#include "server/technician_sink.h"
#include "util/cp1250.h"
#include "util/fields.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

std::string Number(int value) { return std::to_string(value); }

// Whatever way the handling of a packet ends, the server is ready again afterwards.
class ReadyAtEnd {
 public:
  explicit ReadyAtEnd(ReplicationServer& server) : server_(server) {}
  ~ReadyAtEnd() { server_.SetActivityState(kServerReady); }
  ReadyAtEnd(const ReadyAtEnd&) = delete;
  ReadyAtEnd& operator=(const ReadyAtEnd&) = delete;

 private:
  ReplicationServer& server_;
};

// The server's database as the verification reads it; no data engine reads as no database.
class EngineVerificationDatabase final : public VerificationDatabase {
 public:
  explicit EngineVerificationDatabase(ReplicationData* data) : data_(data) {}
  bool ConnectDatabase() override { return data_ != nullptr && data_->ConnectDatabase(); }
  std::string GetDatabaseVersion() override { return data_->GetDatabaseVersion(); }
  bool ReadCopyDescription(std::string& description, int number) override {
    return data_->ReadCopyDescription(description, number);
  }

 private:
  ReplicationData* data_;
};

bool IsDataPacket(std::uint8_t type) {
  return type == pkGotowosc || type == pkZmiany || type == pkPotwierdzenie;
}

// Packets a connection may send before it has logged in: its authentication and the answer to
// an activity request; everything else waits for the login.
bool NeedsLogin(std::uint8_t type) { return type != pkAutoryzacja && type != pkAktywnoscOdp; }

}  // namespace

void ExchangeHandler::Dispatch(PacketConnection* connection, int slot, std::uint8_t type,
                               const std::string& payload) {
  if (!AcceptedFrom(slot, type)) {
    server_.Host().Log("Pominięto pakiet typu "_cp + Number(type) + " od klienta nr " +
                           Number(slot + 1) + " (niedozwolony przed zalogowaniem)"_cp,
                       kLogDiagnostic);
    return;
  }
  switch (type) {
    case pkAutoryzacja:
      Authenticate(connection, slot, payload);
      break;
    case pkGotowosc:
      RequestForChanges(connection, slot, payload);
      break;
    case pkZmiany:
      ClientBatch(connection, slot, payload);
      break;
    case pkPotwierdzenie:
      Confirmation(connection, slot, payload);
      break;
    case pkBlad:
      ErrorReport(connection, slot, payload);
      break;
    case pkPolecenie:
      if (TechnicianCommandSink* sink = server_.TechnicianSink())
        sink->HandleCommand(slot, payload);
      break;
    case pkAktywnosc:
      ActivityRequest(slot);
      break;
    case pkAktywnoscOdp:
      server_.Host().Log("Odebrano sygnał aktywności od klienta nr "_cp + Number(slot + 1),
                         kLogDiagnostic);
      break;
    default:
      break;
  }
}

bool ExchangeHandler::AcceptedFrom(int slot, std::uint8_t type) const {
  if (!NeedsLogin(type)) return true;
  const TKlientInfo& client = server_.Clients[static_cast<std::size_t>(slot)];
  if (!client.Autoryzowany) return false;
  if (type == pkPolecenie) return client.Serwisant == 1;
  return !IsDataPacket(type) || client.Serwisant != 1;
}

// ---- Authentication --------------------------------------------------------------------------

void ExchangeHandler::Authenticate(PacketConnection* connection, int slot,
                                   const std::string& payload) {
  server_.SetSlotStatus(slot, SlotStatus::kAuthorising);
  TAUTHData data;
  int r = slot;
  int result = kVerificationAuthFailed;
  try {
    ParseAuthData(payload, data);
    result = ValidateClient(r, data, connection);
  } catch (const ConversionError&) {
    // a field that is no number: refused like any other failed check
  }
  HostServices& host = server_.Host();
  if (result != kVerificationOk) {
    host.Log(Concat({"Odrzucenie połączenia: \""_cp, VerificationResultText(result), "\""}),
             kLogProgress);
    if (server_.FindSlot(connection) == r) {
      server_.SendPacket(r, pkWeryfikacja, BuildVerificationResult(result));
    }
    server_.CloseSlot(server_.FindSlot(connection), true);
  } else {
    server_.SetSlotStatus(server_.FindSlot(connection), SlotStatus::kLoggedIn);
    server_.ConnectionLoggedIn(connection);
    if (server_.FindSlot(connection) == r) {
      const FeatureSet agreed = server_.Clients[static_cast<std::size_t>(r)].Features;
      server_.SendPacket(r, pkWeryfikacja,
                         BuildVerificationAgreement(data.Features.has_value(), agreed));
      server_.RefreshClientRow(r);
    }
  }
  server_.SetActivityState(kServerReady);
}

int ExchangeHandler::ValidateClient(int& slot, const TAUTHData& data,
                                    PacketConnection* connection) {
  if (slot < 0 || static_cast<std::size_t>(slot) >= server_.Clients.size()) {
    return kVerificationAuthFailed;
  }
  const std::string& key = server_.Settings().access_key;
  if (!key.empty() && !AccessKeyMatches(data.Reserved, key)) {
    server_.Host().Log("Niezgodny klucz dostępu klienta "_cp + Number(slot + 1), kLogProgress);
    return kVerificationAuthFailed;
  }
  if (data.Serwisant && key.empty() && !server_.FromLoopback(connection)) {
    server_.Host().Log(
        "Odrzucono logowanie serwisanta spoza komputera serwera: ustaw [Server] AccessKey"_cp,
        kLogDiagnostic);
    return kVerificationAuthFailed;
  }
  if (data.Serwisant) {
    TKlientInfo& client = server_.Clients[static_cast<std::size_t>(slot)];
    client.Opis = "Serwisant";
    client.Serwisant = 1;
    server_.UpdateClientGrid();
    return kVerificationOk;
  }
  TakeOverEarlierSlot(slot, data.DBNR, connection);
  const int result = CheckAgainstDatabase(slot, data);
  if (result != kVerificationOk) return result;
  slot = server_.FindSlot(connection);
  if (slot == -1) return kVerificationAuthFailed;
  TKlientInfo& client = server_.Clients[static_cast<std::size_t>(slot)];
  client.DBNR = data.DBNR;
  client.SendNewDataFirst = data.SendNewDataFirst;
  client.Features = data.Features ? ParseFeatureList(*data.Features) & kSupportedFeatures : 0;
  server_.RecallCopyError(slot);
  server_.UpdateClientGrid();
  return kVerificationOk;
}

// A copy that connects again while its earlier connection still holds a slot continues in that
// slot (its start time and counters stay); the new slot goes and the old connection is closed.
bool ExchangeHandler::TakeOverEarlierSlot(int& slot, int dbnr, PacketConnection* connection) {
  std::vector<TKlientInfo>& clients = server_.Clients;
  int earlier = -1;
  for (std::size_t i = 0; i < clients.size() && earlier == -1; ++i) {
    if (static_cast<int>(i) != slot && dbnr >= 0 && clients[i].DBNR == dbnr) {
      earlier = static_cast<int>(i);
    }
  }
  if (earlier == -1) return false;
  HostServices& host = server_.Host();
  host.Log(Concat({"Ponowione połączenie klienta "_cp, Number(earlier + 1), " z adresu \"",
                   server_.PeerHostAndAddress(connection), "\""}),
           kLogProgress);
  PacketConnection* old_connection = clients[static_cast<std::size_t>(earlier)].Socket;
  const std::string old_peer = server_.PeerText(old_connection);
  host.Log("Zamykanie poprzedniego połączenia "_cp + (old_peer.empty() ? "" : "(" + old_peer + ")"),
           kLogProgress);
  clients[static_cast<std::size_t>(earlier)].Socket = connection;
  clients[static_cast<std::size_t>(earlier)].Status = SlotStatus::kAuthorising;
  server_.CloseSlot(slot, false);
  if (old_connection != nullptr) old_connection->Close();
  slot = server_.FindSlot(connection);
  if (TKlientInfo* client = slot >= 0 ? &clients[static_cast<std::size_t>(slot)] : nullptr) {
    client->Odbieranie = false;
    client->OstAktyw = host.Now();
  }
  return true;
}

int ExchangeHandler::CheckAgainstDatabase(int slot, const TAUTHData& data) {
  EngineVerificationDatabase database(server_.Data());
  VerificationFindings findings;
  const int result =
      CheckClientAgainstServer(data, server_.Identity(), database, server_.Host(), findings);
  if (!findings.database_version.empty()) {
    server_.RefreshDatabaseVersion(findings.database_version);
  }
  if (findings.copy_looked_up && slot >= 0 &&
      static_cast<std::size_t>(slot) < server_.Clients.size()) {
    server_.Clients[static_cast<std::size_t>(slot)].Opis = findings.copy_description;
  }
  return result;
}

// ---- The server's batches --------------------------------------------------------------------

void ExchangeHandler::RequestForChanges(PacketConnection* connection, int slot,
                                        std::string_view payload) {
  const ReadyAtEnd ready(server_);
  server_.SetSlotRemoteChanges(slot, ParsePendingChanges(payload));
  server_.SetActivityState(kServerPreparing);
  server_.SetSlotStatus(slot, SlotStatus::kAwaitingData);
  SendNextBatch(connection, slot, true);
}

void ExchangeHandler::SendNextBatch(PacketConnection* connection, int slot, bool name_client) {
  HostServices& host = server_.Host();
  const std::string number = Number(slot + 1);
  host.Log("Sprawdzenie zmian dla klienta "_cp + number + " ... ", kLogProgress);
  host.Log("Przygotowywanie danych dla klienta "_cp + number + " ... ", kLogStatus);
  PreparedChanges batch;
  ReplicationData* data = server_.Data();
  const bool ok = data != nullptr && data->PrepareChanges(server_.GetSlotDBNR(slot), false, slot,
                                                          batch, NullsFor(slot));
  if (!ok) {
    Fail(connection, kErrorPreparingData);
    return;
  }
  server_.SetSlotLastTransID(server_.FindSlot(connection), batch.transaction_number);
  host.Log("", kLogStatus);
  if (host.Closing() || server_.FindSlot(connection) != slot) return;
  server_.SetSlotLocalChanges(slot, batch.total);
  server_.SendPacket(slot, pkZmiany, batch.payload);
  if (batch.count < 1) {
    host.Log("Brak zmian", kLogProgress, true);
    server_.SetSlotStatus(slot, SlotStatus::kLoggedIn);
    return;
  }
  host.Log(Concat({"Wysłano "_cp, Number(batch.count), " z ", Number(batch.total), " zmian",
                   name_client ? " do klienta " + number : ""}),
           kLogProgress, true);
  server_.SetSlotStatus(slot, SlotStatus::kImporting);
}

void ExchangeHandler::Confirmation(PacketConnection* connection, int slot,
                                   std::string_view payload) {
  const ReadyAtEnd ready(server_);
  HostServices& host = server_.Host();
  const std::string number = Number(slot + 1);
  host.Log("Klient "_cp + number + " zaimportował: "_cp + Number(ParseConfirmation(payload)) +
               " rekordów."_cp,
           kLogProgress);
  server_.SetSlotStatus(slot, SlotStatus::kAwaitingData);
  ReplicationData* data = server_.Data();
  if (data == nullptr || !data->DeleteJournalEntries(slot)) {
    Fail(connection, kErrorDeletingJournal);
    return;
  }
  server_.ClearCopyError(server_.FindSlot(connection));
  if (server_.SlotSendsDataFirst(server_.FindSlot(connection))) {
    host.Log("Wysyłanie sygnału gotowości dla klienta "_cp + number + " ... ", kLogProgress);
    if (server_.FindSlot(connection) != slot) return;
    server_.SendPacket(slot, pkGotowosc, "");
    host.Log("wysłano"_cp, kLogProgress, true);
    server_.SetSlotStatus(slot, SlotStatus::kLoggedIn);
    return;
  }
  server_.SetActivityState(kServerPreparing);
  SendNextBatch(connection, slot, false);
}

// ---- The client's batches --------------------------------------------------------------------

void ExchangeHandler::ClientBatch(PacketConnection* connection, int slot,
                                  std::string_view payload) {
  const ChangeBatch batch = ParseChangeBatch(payload);
  if (batch.count < 1) {
    server_.Host().Log("Brak zmian po stronie klienta "_cp + Number(slot + 1), kLogProgress);
    server_.SetSlotStatus(slot, SlotStatus::kLoggedIn);
    server_.RestartIdleDisconnect();
    return;
  }
  server_.SetActivityState(kServerProcessing);
  const ReadyAtEnd ready(server_);
  ImportClientBatch(connection, slot, batch);
}

void ExchangeHandler::ImportClientBatch(PacketConnection* connection, int slot,
                                        const ChangeBatch& batch) {
  HostServices& host = server_.Host();
  server_.SetSlotStatus(slot, SlotStatus::kAwaitingConfirmation);
  host.Log(Concat({"Klient "_cp, Number(slot + 1), " przysłał "_cp, Number(batch.count), " z ",
                   Number(batch.total), " zmian, importowanie ... "_cp}),
           kLogProgress);
  if (host.Closing()) return;
  host.Log("Importowanie przysłanych rekordów ..."_cp, kLogStatus);
  int conflicts = 0;
  int imported = 0;
  std::string_view records = batch.records;
  ReplicationData* data = server_.Data();
  const int result = data == nullptr ? 0
                                     : data->ImportChanges(records, server_.GetSlotDBNR(slot),
                                                           conflicts, imported, slot);
  if (result == 0) {
    Fail(connection, kErrorImportingData);
    return;
  }
  host.Log("", kLogStatus);
  if (result == 2) {
    const int current = server_.FindSlot(connection);
    server_.SendPacket(current, pkBlad,
                       BuildErrorReport(kErrorImportLocked, server_.GetErrorText(current)));
    server_.SetSlotStatus(current, SlotStatus::kLoggedIn);
    return;
  }
  if (result != 1 || host.Closing() || server_.FindSlot(connection) != slot) return;
  server_.ClearCopyError(slot);
  host.Log(Concat({"Zaimportowano "_cp, Number(imported),
                   conflicts > 0 ? " (konfliktów "_cp + Number(conflicts) + " !!!)" : ""}),
           kLogProgress, true);
  server_.SendPacket(slot, pkPotwierdzenie, BuildConfirmation(imported));
  server_.SetSlotStatus(slot, SlotStatus::kLoggedIn);
}

// ---- Reports and activity --------------------------------------------------------------------

void ExchangeHandler::ErrorReport(PacketConnection* connection, int slot,
                                  std::string_view payload) {
  const struct ErrorReport report = ParseErrorReport(payload);
  if (!IsKnownErrorCode(report.code)) return;
  const std::string detail = LoggablePeerText(report.detail);
  const std::string prefix = "Po stronie klienta "_cp + Number(slot + 1);
  const std::string_view text = ServerSideErrorText(report.code);
  HostServices& host = server_.Host();
  // Kept with the slot, and with the copy when the slot goes: the clients report shows it.
  server_.SetErrorText(slot, Concat({text, detail}));
  if (report.code == kErrorImportLocked) {
    host.Log(Concat({prefix, text, detail}), kLogSerious);
    server_.SetSlotStatus(slot, SlotStatus::kLoggedIn);
    return;
  }
  host.Log(Concat({prefix, text, report.code == kErrorReceiveOverflow ? "" : detail}), kLogError);
  server_.CloseSlot(server_.FindSlot(connection), true);
}

void ExchangeHandler::ActivityRequest(int slot) {
  server_.Host().Log("Wysyłanie sygnału aktywności do klienta nr "_cp + Number(slot + 1),
                     kLogDiagnostic);
  server_.SendPacket(slot, pkAktywnoscOdp, "");
}

NullColumns ExchangeHandler::NullsFor(int slot) const {
  const bool agreed =
      slot >= 0 && static_cast<std::size_t>(slot) < server_.Clients.size() &&
      (server_.Clients[static_cast<std::size_t>(slot)].Features & kFeatureExplicitNulls) != 0;
  return agreed ? NullColumns::kWritten : NullColumns::kLeftOut;
}

// An operation of the engine failed: the client hears why and the slot goes.
void ExchangeHandler::Fail(PacketConnection* connection, int code) {
  server_.Host().Log("", kLogStatus);
  const int current = server_.FindSlot(connection);
  server_.SendPacket(current, pkBlad, BuildErrorReport(code, server_.GetErrorText(current)));
  server_.CloseSlot(current, true);
}

}  // namespace tramolin
