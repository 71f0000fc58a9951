// The server's side of the exchange with one client session: authentication and verification,
// the batches both ways with their confirmations, error reports and activity packets, and how the
// slot's status moves meanwhile. The database work of each step runs on the session's worker;
// the step goes on when its result comes back, while the client's next packets wait.
//
// Data packets (pkGotowosc, pkZmiany, pkPotwierdzenie) are acted on only from a slot logged in
// as a normal client, commands (pkPolecenie) only from a logged-in technician, error reports and
// activity requests only from a logged-in slot; anything else is dropped, and logged as a
// diagnostic at most once every ten seconds per address (ReplicationServer::LogFromPeer).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/change_batch.h"
#include "protocol/payloads.h"
#include "server/client_validation.h"
#include "server/table_check.h"
#include "worker/engine_worker.h"

namespace tramolin {

class ClientSession;
class ReplicationServer;

class ExchangeHandler {
 public:
  explicit ExchangeHandler(ReplicationServer& server) : server_(server), checks_(server) {}

  // One decoded packet from the session's connection.
  void Dispatch(ClientSession& session, std::uint8_t type, const std::string& payload);
  // The table checks run between the copies' cycles.
  TableChecks& Checks() { return checks_; }

 private:
  bool AcceptedFrom(const ClientSession& session, std::uint8_t type) const;

  // Authentication.
  void Authenticate(ClientSession& session, const std::string& payload);
  // The checks that need no database; nullopt when the database decides.
  std::optional<int> CheckWithoutDatabase(ClientSession& session, const TAUTHData& data);
  void TakeOverEarlierSlot(ClientSession& session, int dbnr);
  void CheckAgainstDatabase(ClientSession& session, const TAUTHData& data);
  void Verified(ClientSession& session, const TAUTHData& data, int result);

  // The server's batches.
  void RequestForChanges(ClientSession& session, std::string_view payload);
  void Confirmation(ClientSession& session, std::string_view payload);
  void SendNextBatch(ClientSession& session, bool name_client);
  void BatchPrepared(ClientSession& session, bool name_client, const PreparedChanges& batch);
  // While the client imports a batch cut by the limit, the next one is prepared.
  void PrepareAhead(ClientSession& session);
  // The confirmation was carried out and no batch was prepared ahead of it: what follows it.
  void JournalEntriesDeleted(ClientSession& session, std::int32_t removed);
  void SendAheadOrNext(ClientSession& session);
  void SendAhead(ClientSession& session, const PreparedChanges& batch);

  // The client's batches.
  void ClientBatch(ClientSession& session, std::string_view payload);
  void BatchImported(ClientSession& session, const ImportResult& result, JobReport report);

  void ErrorReport(ClientSession& session, std::string_view payload);
  void ActivityRequest(ClientSession& session);
  // An operation of the engine failed: the client hears why and the slot goes.
  void Fail(ClientSession& session, int code, JobReport report);

  // The values the engine reads of the session's slot for a job.
  JobSlot JobFor(const ClientSession& session) const;
  // How the slot's copy takes NULL columns: explicit when it agreed on them.
  static NullColumns NullsFor(const ClientSession& session);
  std::string Number(const ClientSession& session) const;

  ReplicationServer& server_;
  TableChecks checks_;
};

}  // namespace tramolin
