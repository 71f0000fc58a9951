#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace tramolin {

// The server's batches may come again when the connection ended before the server's answer to
// a confirmation. A record sent again unchanged is what this database already holds, and
// importing it again would undo what changed here since (a row deleted here would come back,
// an edit would be overwritten): such records are left out of the import.
class ResentRecords {
 public:
  // A record's text in 128 bits: records that differ have the same digest by chance only
  // (one in 2^128), and nothing stores or sends it.
  struct Digest {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    friend bool operator==(const Digest&, const Digest&) = default;
  };
  // Records by table number and key, with a digest of their text.
  using Digests = std::map<std::pair<std::int32_t, std::int32_t>, Digest>;

  // Every record's digest, kept for when the batch comes again.
  static Digests DigestsOf(std::string_view records);

  // The records of a server batch less those it sends again unchanged.
  std::string WithoutRepeats(std::string_view records, int& repeats) const;
  // The confirmation of a batch with these records is on its way.
  void ConfirmationSent(Digests digests);
  // The server answered the last confirmation: it has deleted the entries of that batch.
  void ConfirmationTaken();
  // A new connection: the confirmation of the last one stays unanswered.
  void ConnectionAccepted() { confirmation_sent_ = false; }
  // The server has nothing left that could come again.
  void NothingLeft();

 private:
  // Records imported here whose confirmation the server may not have had; bounded in size.
  Digests unconfirmed_;
  Digests confirming_;  // the records of the confirmation awaiting the server's answer
  bool confirmation_sent_ = false;
};

}  // namespace tramolin
