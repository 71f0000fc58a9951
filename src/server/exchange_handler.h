// The server's side of the exchange: what it does with each packet a client slot sends
// (authentication and verification, the batches both ways with their confirmations, error
// reports, activity packets) and how the slot's status moves meanwhile.
//
// Data packets (pkGotowosc, pkZmiany, pkPotwierdzenie) are acted on only from a slot logged in
// as a normal client, commands (pkPolecenie) only from a logged-in technician; anything else is
// logged as a diagnostic and dropped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/change_batch.h"
#include "protocol/payloads.h"

namespace tramolin {

class PacketConnection;
class ReplicationServer;

class ExchangeHandler {
 public:
  explicit ExchangeHandler(ReplicationServer& server) : server_(server) {}

  // One decoded packet from the connection of slot `slot`. May throw (a malformed
  // authentication field); the caller logs it.
  void Dispatch(PacketConnection* connection, int slot, std::uint8_t type,
                const std::string& payload);

  // The verification of a client's authentication data; `slot` follows the connection when a
  // reconnecting client takes over its earlier slot. Returns a VerificationResult code.
  int ValidateClient(int& slot, const TAUTHData& data, PacketConnection* connection);

 private:
  bool AcceptedFrom(int slot, std::uint8_t type) const;
  void Authenticate(PacketConnection* connection, int slot, const std::string& payload);
  bool TakeOverEarlierSlot(int& slot, int dbnr, PacketConnection* connection);
  int CheckAgainstDatabase(int slot, const TAUTHData& data);
  void RequestForChanges(PacketConnection* connection, int slot, std::string_view payload);
  void Confirmation(PacketConnection* connection, int slot, std::string_view payload);
  // Prepares and sends the next batch; false when the export failed (the slot is then closed).
  void SendNextBatch(PacketConnection* connection, int slot, bool name_client);
  void ClientBatch(PacketConnection* connection, int slot, std::string_view payload);
  void ImportClientBatch(PacketConnection* connection, int slot, const ChangeBatch& batch);
  void ErrorReport(PacketConnection* connection, int slot, std::string_view payload);
  void ActivityRequest(int slot);
  // How the slot's copy takes NULL columns: explicit when it agreed on them.
  NullColumns NullsFor(int slot) const;
  void Fail(PacketConnection* connection, int code);

  ReplicationServer& server_;
};

}  // namespace tramolin
