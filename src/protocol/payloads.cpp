#include "protocol/payloads.h"

#include "protocol/packet_types.h"
#include "util/change_payload_header.h"
#include "util/fields.h"

namespace tramolin {
namespace {

constexpr char kSeparator = ';';

// The next field as an integer, or fallback when it is missing or not one. The field is cut
// off either way.
int IntFieldOr(std::string_view& text, int fallback) {
  const std::string_view field = NextField(text);
  try {
    return ParseInt32(field);
  } catch (const ConversionError&) {
    return fallback;
  }
}

std::string Field(std::string_view text) {
  std::string out(text);
  out.push_back(kSeparator);
  return out;
}

std::string IntField(int value) { return Field(std::to_string(value)); }

std::string FlagField(bool flag) { return Field(flag ? "1" : "0"); }

void ReadAuthFields(std::string_view& rest, TAUTHData& data) {
  data.DBNR = NextIntField(rest);
  data.DBID = NextIntField(rest);
  data.Reserved = NextField(rest);
  data.DBVer = NextField(rest);
  data.RepVer = NextField(rest);
  data.Serwisant = NextIntField(rest) == 1;
  data.BAZA_VER_HIGH = NextField(rest);
  data.SendNewDataFirst = !rest.empty() && NextIntField(rest) == 1;
  data.Features.reset();
  if (!rest.empty()) data.Features = std::string(NextField(rest));
}

}  // namespace

std::string BuildConnectionResult(int result) { return std::to_string(result); }

int ParseConnectionResult(std::string_view payload) {
  return IntFieldOr(payload, kConnectionRefused);
}

std::string BuildAuthData(const TAUTHData& data) {
  return IntField(data.DBNR) + IntField(data.DBID) + Field(data.Reserved) + Field(data.DBVer) +
         Field(data.RepVer) + FlagField(data.Serwisant) + Field(data.BAZA_VER_HIGH) +
         FlagField(data.SendNewDataFirst) + (data.Features ? Field(*data.Features) : std::string());
}

void ParseAuthData(std::string_view payload, TAUTHData& data) {
  try {
    ReadAuthFields(payload, data);
  } catch (...) {
    data.Serwisant = false;
    throw;
  }
}

std::string BuildVerificationResult(int result) { return std::to_string(result); }

int ParseVerificationResult(std::string_view payload) {
  return IntFieldOr(payload, kVerificationUnknownAnswer);
}

std::string BuildReadySignal(int pending_changes) { return std::to_string(pending_changes); }

int ParsePendingChanges(std::string_view payload) { return IntFieldOr(payload, 0); }

std::string BuildChangeBatch(int count, int total, std::string_view records) {
  std::string payload = ChangePayloadHeaderText({.count = count, .total = total});
  payload += records;
  return payload;
}

ChangeBatch ParseChangeBatch(std::string_view payload) {
  const ChangePayloadHeader header = CutChangePayloadHeader(payload);
  return {.count = header.count, .total = header.total, .records = payload};
}

std::string BuildConfirmation(int imported) { return std::to_string(imported); }

int ParseConfirmation(std::string_view payload) { return IntFieldOr(payload, 1); }

std::string BuildErrorReport(int code, std::string_view detail) {
  std::string payload = IntField(code);
  if (code != kErrorReceiveOverflow) payload += detail;
  return payload;
}

ErrorReport ParseErrorReport(std::string_view payload) {
  ErrorReport report;
  report.code = IntFieldOr(payload, kErrorUnknown);
  report.detail = NextField(payload);
  return report;
}

std::string BuildCommand(int code, std::string_view argument) {
  std::string payload = IntField(code);
  if (!argument.empty()) payload += Field(argument);
  return payload;
}

Command ParseCommand(std::string_view payload) {
  Command command;
  command.code = IntFieldOr(payload, kCommandNone);
  command.argument = NextField(payload);
  return command;
}

std::string BuildCommandReply(std::string_view text) {
  std::string payload = IntField(0);
  payload += text;
  return payload;
}

CommandReply ParseCommandReply(std::string_view payload) {
  CommandReply reply;
  reply.code = IntFieldOr(payload, -1);
  reply.text = NextField(payload);
  return reply;
}

std::string ForwardedLogLine(int level, std::string_view text) {
  std::string line = " Serwer: [" + std::to_string(level) + "] ";
  line += text;
  return line;
}

}  // namespace tramolin
