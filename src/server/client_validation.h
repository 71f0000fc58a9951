// The verification of a client's authentication data against the server's own database and
// program: the access key, the structure versions, the database identity and the copy's row.
// Free of sockets and slots, so every rule is tested without a network.
#pragma once

#include <string>
#include <string_view>

#include "engine/database_identity.h"
#include "engine/host_services.h"
#include "protocol/payloads.h"

namespace tramolin {

// The text of a structure version up to and including its first "."; empty without a ".".
std::string_view MajorVersionPrefix(std::string_view version);
// The number before the first "."; 0 when it is not a decimal integer.
int MajorVersionNumber(std::string_view version);

// Compares in time that depends only on the lengths, never on where the texts differ.
bool AccessKeyMatches(std::string_view offered, std::string_view expected);

// The server's database as the verification reads it.
class VerificationDatabase {
 public:
  virtual ~VerificationDatabase() = default;
  virtual bool ConnectDatabase() = 0;
  virtual std::string GetDatabaseVersion() = 0;
  // True when REPKOPIE has the copy; description is its OPIS (empty otherwise).
  virtual bool ReadCopyDescription(std::string& description, int number) = 0;
};

struct ServerIdentity {
  int database_id = 0;           // LocalDatabaseId
  std::string program_version;   // four dotted numbers
  std::string database_version;  // LocalDatabaseVersion, refreshed by every verification
};

// What the checks found out besides the result.
struct VerificationFindings {
  std::string database_version;  // the server database's version read during the checks
  std::string copy_description;  // OPIS of the client's copy
  bool copy_looked_up = false;   // the copy's row was asked for (copy_description is its answer)
};

// The database checks of a normal client in their order; the first that fails gives the
// result: 2 no database, 10 the server's structure too new (logged), 3 another database, 6 no
// such copy, 7 another major structure version, 11 another highest supported version, 8 another
// program version; 0 when all pass. An error raised by the database gives 1, or the result a
// check had already set.
int CheckClientAgainstServer(const TAUTHData& data, const ServerIdentity& server,
                             VerificationDatabase& database, HostServices& host,
                             VerificationFindings& findings);

}  // namespace tramolin
