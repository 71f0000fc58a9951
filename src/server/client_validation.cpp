#include "server/client_validation.h"

#include <charconv>
#include <exception>

#include "protocol/packet_types.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

void LogStructureTooNew(HostServices& host, std::string_view version) {
  host.Log(UnsupportedStructureText(version), kLogError);
}

int RunChecks(const TAUTHData& data, const ServerIdentity& server, VerificationDatabase& database,
              HostServices& host, VerificationFindings& findings) {
  if (!database.ConnectDatabase()) return kVerificationNoServerDatabase;
  findings.database_version = database.GetDatabaseVersion();
  if (MajorVersionNumber(findings.database_version) > BAZA_VER_HIGH) {
    LogStructureTooNew(host, findings.database_version);
    return kVerificationMainStructureTooNew;
  }
  if (server.database_id != data.DBID) return kVerificationOtherDatabase;
  findings.copy_looked_up = true;
  if (!database.ReadCopyDescription(findings.copy_description, data.DBNR)) {
    findings.copy_description.clear();
    return kVerificationNotActiveCopy;
  }
  if (MajorVersionPrefix(data.DBVer) != MajorVersionPrefix(findings.database_version)) {
    return kVerificationOtherDatabaseVersion;
  }
  if (data.BAZA_VER_HIGH != std::to_string(BAZA_VER_HIGH)) {
    return kVerificationOtherSupportedStructure;
  }
  if (!SameVersionPrefix(data.RepVer, server.program_version)) {
    return kVerificationOtherProgramVersion;
  }
  return kVerificationOk;
}

}  // namespace

std::string_view MajorVersionPrefix(std::string_view version) {
  const std::size_t dot = version.find('.');
  return dot == std::string_view::npos ? std::string_view() : version.substr(0, dot + 1);
}

int MajorVersionNumber(std::string_view version) {
  const std::size_t dot = version.find('.');
  if (dot == std::string_view::npos) return 0;
  const std::string_view major = version.substr(0, dot);
  int number = 0;
  const auto [end, error] = std::from_chars(major.data(), major.data() + major.size(), number);
  if (error != std::errc() || end != major.data() + major.size()) return 0;
  return number;
}

bool AccessKeyMatches(std::string_view offered, std::string_view expected) {
  const std::size_t length = offered.size() > expected.size() ? offered.size() : expected.size();
  unsigned difference = offered.size() == expected.size() ? 0U : 1U;
  for (std::size_t i = 0; i < length; ++i) {
    const auto a = static_cast<unsigned char>(i < offered.size() ? offered[i] : 0);
    const auto b = static_cast<unsigned char>(i < expected.size() ? expected[i] : 0);
    difference |= static_cast<unsigned>(a ^ b);
  }
  return difference == 0;
}

int CheckClientAgainstServer(const TAUTHData& data, const ServerIdentity& server,
                             VerificationDatabase& database, HostServices& host,
                             VerificationFindings& findings) {
  try {
    return RunChecks(data, server, database, host, findings);
  } catch (const std::exception&) {
    return kVerificationAuthFailed;  // a database error: the result tells, the log does not
  }
}

}  // namespace tramolin
