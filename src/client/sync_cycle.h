// The client's half of the conversation once the connection stands: the reaction to the server's
// acceptance, the authentication, and the synchronisation cycle repeated while the connection
// lasts (the client's newest changes first when asked, the ready signal, the server's batches
// imported and confirmed one by one, the client's own batch sent and its journal entries deleted
// once confirmed), then the wait for the next cycle. Also the packets that may come at any time
// (activity requests, messages, error reports, the server's structure upgrade) and the automatic
// start at a set hour.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "client/resent_records.h"
#include "client/table_check_answers.h"
#include "engine/change_batch.h"
#include "engine/sending_cycle.h"
#include "protocol/features.h"

namespace tramolin {

class ReplicationClient;
class ReplicationData;

class SyncCycle {
 public:
  explicit SyncCycle(ReplicationClient& client) : client_(client) {}

  // A complete packet from the server.
  void PacketArrived(std::uint8_t type, const std::string& payload);
  // tmrKReplikuj: a synchronisation step of a logged-in client.
  void tmrKReplikujTimer();
  // Ends a cycle: the next one after the interval, or in on-demand mode the disconnection.
  void ScheduleNextSync();

  // Journal entries of this database waiting for the main database (shown in the window).
  int LocalChangeCount() const { return local_change_count_; }
  // Changes the server had for this copy when it made its last batch.
  int RemoteChangeCount() const { return remote_change_count_; }
  // When the last complete packet arrived (day count); 0 before any.
  double LastServerActivity() const { return last_server_activity_; }

 private:
  void CheckStep(const std::string& payload);
  void AnswerCheckStep(std::string_view payload);
  void Acceptance(std::string_view payload);
  void Authenticate();
  void Verification(std::string_view payload);
  void StartCycle(const ChangeCounts& counts);
  void SendNewChangesFirst();
  void GoAhead();
  void ServerBatch(std::string_view payload);
  void ImportServerBatch(int count, int total, std::string_view records);
  void SendOwnChanges();
  void ServerConfirmation(std::string_view payload);
  // The confirmed entries deleted on the worker; `then` gets how many, a failure disconnects.
  void DeleteConfirmedEntries(std::function<void(std::int32_t)> then);
  // True when the next cycle starts without waiting for that deletion (see
  // SendingCycle::ConfirmedBeforeDeletion); StartCycleAtOnce starts it.
  bool TakeConfirmationEarly();
  void StartCycleAtOnce();
  void ServerError(std::string_view payload);
  void Message(std::string_view payload);
  void ActivityRequest();
  void UpgradeAnnounced();

  void ServerBatchImported(const ImportResult& result, ResentRecords::Digests digests, int repeats);

  // How a batch of this database's changes offered to the server ended.
  enum class Offer {
    kSettled,  // awaiting the confirmation, or nothing sent (failure reported, cycle ended)
    kEmpty,    // sent with no records; the client is still preparing
    kFailed,   // sent, but the client's state changed meanwhile
  };
  // Prepares this database's changes (only the new ones when `new_only`) with `status` in the
  // status bar and sends them; a batch with records then awaits the server's confirmation.
  // `then` learns how the offer ended. A batch still being prepared ahead is waited for.
  void OfferChanges(bool new_only, std::string_view status, std::function<void(Offer)> then);
  void PrepareAndOffer(bool new_only, std::function<void(Offer)> then);
  Offer Offered(const std::optional<PreparedChanges>& batch);
  // While the server imports a batch cut by the limit, the next one is prepared; it leaves when
  // the server, after the confirmation and the next ready signal, has nothing for this copy.
  void PrepareAhead();
  // The batch ahead will not leave: it, an offer waiting for it and the kept count are dropped.
  void ForgetAhead();
  // How this connection's batches carry NULL columns.
  NullColumns Nulls() const;
  // Database work of the cycle on the client's worker; `done` is dropped when the connection it
  // was for has gone meanwhile (then `dropped` runs, if given).
  template <typename Result>
  void Job(std::function<Result(ReplicationData&)> work, std::function<void(Result)> done,
           Result unavailable, std::function<void()> dropped = nullptr);
  void Send(std::uint8_t type, std::string_view payload);
  // pkBlad with the code and the client's error text, then the disconnection.
  void ReportAndDisconnect(int code);
  void Reconnect();
  void LogDatabaseUnavailable();

  ReplicationClient& client_;
  int local_change_count_ = 0;
  int remote_change_count_ = 0;
  double last_server_activity_ = 0;
  ResentRecords resent_;   // the server's records whose confirmation may not have arrived
  SendingCycle outgoing_;  // this database's batches to the main database
  // A cycle that starts right after a confirmation of this database's batch goes on with the
  // count of the cycle before, less what the confirmations deleted, instead of counting again.
  std::optional<std::int32_t> kept_count_;
  std::function<void(Offer)> offer_awaiting_ahead_;  // until the batch ahead is prepared
  FeatureSet agreed_features_ = 0;                   // with the server, for this connection
  TableCheckAnswers check_;
  bool starting_ = false;  // a cycle's start waits for the database
};

}  // namespace tramolin
