// The packet types of the replication protocol and the code tables carried inside payloads:
// connection and verification results, error codes with their log texts, technician commands.
#pragma once

#include <cstdint>
#include <string_view>

namespace tramolin {

// The type code is the first byte of a frame, written as a raw byte (10 is 0x0A).
enum PacketType : std::uint8_t {
  pkPolaczenie = 1,     // server: connection accepted ("0") or refused ("1")
  pkAutoryzacja = 2,    // client: authentication data
  pkWeryfikacja = 3,    // server: verification result
  pkGotowosc = 4,       // ready to receive the peer's changes
  pkZmiany = 5,         // a batch of changes
  pkPotwierdzenie = 6,  // a batch was imported
  pkBlad = 7,           // error report
  pkPolecenie = 8,      // technician command, its reply, or a forwarded log line
  pkAktywnosc = 9,      // activity request
  pkAktywnoscOdp = 10,  // activity reply
  pkAktualizacja = 11,  // the main database's structure is being upgraded
  // Ours, beyond the common catalogue: sent only to a peer that agreed on kFeatureTableCheck.
  pkSprawdzenie = 40,     // server: a step of a table check (protocol/consistency_payloads.h)
  pkSprawdzenieOdp = 41,  // client: its answer
};

inline constexpr std::uint8_t kLastPacketType = pkAktualizacja;

// Results of pkPolaczenie.
enum ConnectionResult : int { kConnectionAccepted = 0, kConnectionRefused = 1 };

// The texts of ConnectionResults; "" for a code outside the table.
std::string_view ConnectionResultText(int code);

// Results of pkWeryfikacja, as the server's client validation produces them.
enum VerificationResult : int {
  kVerificationOk = 0,
  kVerificationAuthFailed = 1,
  kVerificationNoServerDatabase = 2,
  kVerificationOtherDatabase = 3,
  kVerificationUnused = 4,
  kVerificationReplicating = 5,
  kVerificationNotActiveCopy = 6,
  kVerificationOtherDatabaseVersion = 7,
  kVerificationOtherProgramVersion = 8,
  kVerificationUnknownAnswer = 9,
  kVerificationMainStructureTooNew = 10,
  kVerificationOtherSupportedStructure = 11,
};

// The texts of VerificationResults; "" for code 4 and for a code outside 0-11.
std::string_view VerificationResultText(int code);

// Error codes of pkBlad.
enum ErrorCode : int {
  kErrorUnknown = 0,
  kErrorPreparingData = 1,
  kErrorImportingData = 2,
  kErrorDeletingJournal = 3,
  kErrorReceiveOverflow = 4,
  kErrorImportLocked = 5,
};

// True for the codes 0-5 that receivers act on; the others are ignored.
bool IsKnownErrorCode(int code);

// What a server logs after "Po stronie klienta " and the client's number; "" outside 0-5.
std::string_view ServerSideErrorText(int code);
// What a client logs before the detail; "" outside 0-5.
std::string_view ClientSideErrorText(int code);

// Technician commands of pkPolecenie from a client: their position in the console's list.
enum CommandCode : int {
  kCommandNone = -1,
  kCommandSendMessage = 0,
  kCommandServerStatus = 1,
  kCommandClientsStatus = 2,
  kCommandLogForwardingOn = 3,
  kCommandLogForwardingOff = 4,
  kCommandSaveLogs = 5,
  kCommandRemoveClient = 6,
  kCommandExecuteSql = 7,
  kCommandReserved = 8,
  // Ours, beyond the console's list: never sent to a server that is not ours.
  kCommandCopiesStatus = 20,  // the status of every copy, for a monitoring tool
  kCommandCheckTable = 21,    // "copy;table[;napraw]": compare a table with a copy's, and repair
};

// The fixed reply texts of the commands that have one.
std::string_view LogForwardingOnReply();
std::string_view LogForwardingOffReply();
std::string_view UnsupportedCommandReply();

}  // namespace tramolin
