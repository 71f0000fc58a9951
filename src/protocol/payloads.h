// Builders and parsers of every packet payload: fields separated by ";", integers in decimal,
// flags "1"/"0". A parser takes a field that is missing or not an integer as the default of its
// packet; only the authentication data raise on a malformed number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tramolin {

// pkPolaczenie: "0" accepted, "1" refused; unreadable reads as refused.
std::string BuildConnectionResult(int result);
int ParseConnectionResult(std::string_view payload);

// pkAutoryzacja: a client's authentication data.
struct TAUTHData {
  std::int32_t DBNR = 0;          // the client's copy number
  std::int32_t DBID = 0;          // identity of the replicated database
  std::string Reserved;           // always empty
  std::string DBVer;              // structure version "major.minor"
  std::string RepVer;             // program version, four dotted numbers
  bool Serwisant = false;         // technician connection
  std::string BAZA_VER_HIGH;      // highest supported major structure version, decimal text
  bool SendNewDataFirst = false;  // the client sends its changes before asking for the server's
  // The ninth field of a client of ours: the protocol features it supports (features.h); nullopt
  // when the client sent eight fields.
  std::optional<std::string> Features;
};

// Eight fields, each followed by ";", and the features as a ninth when there are any.
std::string BuildAuthData(const TAUTHData& data);

// Fills data field by field. DBNR, DBID, Serwisant and (when any text is left after the seventh
// field) SendNewDataFirst must be integers; a ninth field is kept as Features; flags are set only
// by "1". On a malformed integer it throws ConversionError (util/fields.h) with Serwisant false,
// the fields before it filled.
void ParseAuthData(std::string_view payload, TAUTHData& data);

// pkWeryfikacja: the result code; unreadable reads as kVerificationUnknownAnswer.
std::string BuildVerificationResult(int result);
int ParseVerificationResult(std::string_view payload);

// pkGotowosc from a client: its pending journal entries; unreadable reads as 0. The server's
// pkGotowosc carries nothing and is sent with an empty payload.
std::string BuildReadySignal(int pending_changes);
int ParsePendingChanges(std::string_view payload);

// pkZmiany: "count;total;" (util/change_payload_header.h) followed by the records, which end
// with their own ";". Unreadable counts read as 0.
struct ChangeBatch {
  int count = 0;             // records in this batch; 0 says the sender has nothing more
  int total = 0;             // changes pending for the receiver when the batch was made
  std::string_view records;  // a view into the parsed payload
};
std::string BuildChangeBatch(int count, int total, std::string_view records);
ChangeBatch ParseChangeBatch(std::string_view payload);

// pkPotwierdzenie: records imported from the receiver's last batch; unreadable reads as 1.
std::string BuildConfirmation(int imported);
int ParseConfirmation(std::string_view payload);

// pkBlad: "code;" followed by the detail without a closing ";". Code 4 carries no detail.
struct ErrorReport {
  int code = 0;             // unreadable reads as kErrorUnknown
  std::string_view detail;  // up to the detail's first ";"
};
std::string BuildErrorReport(int code, std::string_view detail);
ErrorReport ParseErrorReport(std::string_view payload);

// pkPolecenie from a technician: "command;" and, when there is one, "argument;".
struct Command {
  int code = -1;              // unreadable reads as kCommandNone
  std::string_view argument;  // up to its first ";"; empty when none was sent
};
std::string BuildCommand(int code, std::string_view argument);
Command ParseCommand(std::string_view payload);

// pkPolecenie from the server: "0;" followed by a reply or a forwarded log line.
struct CommandReply {
  int code = -1;          // 0 for a text to show; unreadable reads as -1
  std::string_view text;  // up to its first ";"
};
std::string BuildCommandReply(std::string_view text);
CommandReply ParseCommandReply(std::string_view payload);

// The text of a log line forwarded to a technician: " Serwer: [level] text".
std::string ForwardedLogLine(int level, std::string_view text);

}  // namespace tramolin
