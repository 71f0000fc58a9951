// The link between a real client and a real server broken on purpose by a proxy: inside a large
// batch, or just around a confirmation; and a record the receiving database refuses. After the
// reconnection both databases hold the same rows, both journals are empty, and every change
// arrived exactly once: no row lost, doubled or brought back after its deletion.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "client_harness.h"
#include "server/server_reports.h"
#include "tcp_proxy.h"

namespace tramolin::testing {
namespace {

constexpr int kCopyIds = 10'500'000;  // the first copy's own key range

std::string Id(int id) { return std::to_string(id); }

class FaultTest : public ClientServerFixture {
 protected:
  void SetUp() override {
    ClientServerFixture::SetUp();
    proxy_ = std::make_unique<TcpProxy>(server_.ListeningPort());
    Configure([this](ClientSettings& s) { s.addresses.port = proxy_->Port(); });
  }
  void TearDown() override {
    client_.Link().ScheduleReconnect(false);
    proxy_.reset();
    ClientServerFixture::TearDown();
  }

  // Connects through the proxy armed by the caller and waits until the link is cut and the
  // client has noticed.
  void ConnectUntilCut() {
    const int cuts = proxy_->Cuts();
    client_.Link().tmrKConnectTimer();
    ASSERT_TRUE(RunUntil([&] { return proxy_->Cuts() > cuts; }, 20'000)) << "no cut";
    ASSERT_TRUE(WaitForState(kClientDisconnected));
    ASSERT_TRUE(client_.tmrKConnect.isActive()) << "the next attempt is scheduled";
  }

  // `count` documents from `first` with text that does not compress away, so that the batch is
  // a large one; ILOSC starts at 0 and counts later updates.
  void InsertDocuments(const std::string& database, int first, int count) {
    Exec(database,
         "INSERT INTO DOKUMENTY (ID, NAZWA, ILOSC, OPIS) SELECT N, 'dokument ' || N, 0, "
         "UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) FROM (SELECT CAST(" +
             Id(first - 1) +
             " + ROW_NUMBER() OVER () AS INTEGER) N FROM RDB$TYPES A CROSS JOIN RDB$TYPES B "
             "ROWS " +
             Id(count) + ")");
  }
  void Increment(const std::string& database, int id, int times = 1) {
    for (int i = 0; i < times; ++i) {
      Exec(database, "UPDATE DOKUMENTY SET ILOSC = ILOSC + 1 WHERE ID = " + Id(id));
    }
  }
  std::string Name(const std::string& database, int id) {
    return Query(database, "SELECT NAZWA FROM DOKUMENTY WHERE ID = " + Id(id));
  }
  long long Counter(const std::string& database, int id) {
    return QueryInt(database, "SELECT ILOSC FROM DOKUMENTY WHERE ID = " + Id(id));
  }
  long long Documents(const std::string& database) {
    return QueryInt(database, "SELECT COUNT(*) FROM DOKUMENTY");
  }
  bool Exists(const std::string& database, int id) {
    return !Query(database, "SELECT ID FROM DOKUMENTY WHERE ID = " + Id(id)).empty();
  }
  // Whether a log line contains all the parts.
  static bool Logged(const RecordingHost& host, std::initializer_list<std::string_view> parts) {
    return std::any_of(host.lines.begin(), host.lines.end(), [&](const LogLine& line) {
      return std::all_of(parts.begin(), parts.end(), [&](std::string_view part) {
        return line.text.find(part) != std::string::npos;
      });
    });
  }
  long long Pending(const std::string& database, int destination, int id) {
    return QueryInt(database,
                    "SELECT COUNT(*) FROM REPZMIANY WHERE IDTABELI = 0 AND IDREPKOPIE = " +
                        Id(destination) + " AND IDREKORDU = " + Id(id));
  }

  std::unique_ptr<TcpProxy> proxy_;
};

struct FaultCase {
  const char* name;
  Direction batch;  // the way the batch under test travels
  FrameFate fate = FrameFate::kDelivered;
};

// The sides of the case's batch: the database it comes from and the one it goes to, and the
// sender's own key range.
class FaultCaseTest : public FaultTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    from_main_ = GetParam().batch == Direction::kServerToClient;
    sender_ = from_main_ ? MainPath() : CopyPath(1);
    receiver_ = from_main_ ? CopyPath(1) : MainPath();
    b_ = from_main_ ? 0 : kCopyIds;
  }
  // The pending journal entries of one of the sender's records for the receiver.
  long long SenderPending(int id) { return Pending(sender_, from_main_ ? 1 : 0, id); }

  bool from_main_ = true;
  std::string sender_;
  std::string receiver_;
  int b_ = 0;
};

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; }

// ---- A cut inside a large batch ---------------------------------------------------------------

class CutBatchTest : public FaultCaseTest {};

TEST_P(CutBatchTest, ALinkCutInsideALargeBatchLosesAndDoublesNothing) {
  constexpr int kDocuments = 3000;
  const int counter = b_ + kDocuments + 1;
  InsertDocuments(sender_, b_ + 1, kDocuments + 1);
  Increment(sender_, counter, 5);

  proxy_->CutAfterBytes(GetParam().batch, 20'000);
  ConnectUntilCut();
  ASSERT_EQ(proxy_->LastCut().frame_type, pkZmiany) << "the cut fell inside the batch";
  ASSERT_LT(proxy_->LastCut().passed, proxy_->LastCut().frame_bytes);

  // Meanwhile the sender goes on: the counter moves and a document goes.
  Increment(sender_, counter, 2);
  Exec(sender_, "DELETE FROM DOKUMENTY WHERE ID = " + Id(b_ + 7));

  ASSERT_TRUE(Synchronise());
  ExpectConverged();
  EXPECT_EQ(proxy_->Links(), 2);
  EXPECT_EQ(Documents(MainPath()), kDocuments);
  EXPECT_EQ(Counter(MainPath(), counter), 7);
  EXPECT_FALSE(Exists(CopyPath(1), b_ + 7));
}

INSTANTIATE_TEST_SUITE_P(Way, CutBatchTest,
                         ::testing::Values(FaultCase{"MainToCopy", Direction::kServerToClient},
                                           FaultCase{"CopyToMain", Direction::kClientToServer}),
                         CaseName);

// ---- A confirmation that does not arrive (or arrives just before the cut) ----------------------

// The confirmation travels against the batch: dropped, or delivered just before the cut.
class ConfirmationTest : public FaultCaseTest {
 protected:
  Direction Confirmation() const {
    return from_main_ ? Direction::kClientToServer : Direction::kServerToClient;
  }
};

// Rows of the batch (by offset from the sender's base): 1 stays, 2 goes at the sender and 3 at
// the receiver after the first import, 4 is edited at the receiver, 5 counts the sender's
// updates.
TEST_P(ConfirmationTest, AReSentBatchChangesNothingTwiceAndBringsNothingBack) {
  InsertDocuments(sender_, b_ + 1, 5);
  Increment(sender_, b_ + 5, 3);

  proxy_->CutAtFrame(Confirmation(), pkPotwierdzenie, GetParam().fate);
  ConnectUntilCut();
  ASSERT_EQ(Documents(receiver_), 5) << "the batch was imported";
  if (GetParam().fate == FrameFate::kDropped) {
    EXPECT_GT(SenderPending(b_ + 1), 0) << "the sender never heard of the import";
  }

  Exec(sender_, "DELETE FROM DOKUMENTY WHERE ID = " + Id(b_ + 2));
  Increment(sender_, b_ + 5, 2);
  Exec(receiver_, "DELETE FROM DOKUMENTY WHERE ID = " + Id(b_ + 3));
  Exec(receiver_, "UPDATE DOKUMENTY SET NAZWA = 'poprawiony' WHERE ID = " + Id(b_ + 4));

  ASSERT_TRUE(Synchronise());
  ExpectConverged();
  EXPECT_EQ(Documents(MainPath()), 3) << "1, 4 and 5 remain, none doubled";
  EXPECT_FALSE(Exists(MainPath(), b_ + 2));
  EXPECT_FALSE(Exists(MainPath(), b_ + 3)) << "a row deleted after the import came back";
  EXPECT_EQ(Name(MainPath(), b_ + 4), "poprawiony") << "an edit after the import was lost";
  EXPECT_EQ(Counter(MainPath(), b_ + 5), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Lost, ConfirmationTest,
    ::testing::Values(
        FaultCase{"ToServerLost", Direction::kServerToClient, FrameFate::kDropped},
        FaultCase{"ToClientLost", Direction::kClientToServer, FrameFate::kDropped},
        FaultCase{"ToServerThenCut", Direction::kServerToClient, FrameFate::kDelivered},
        FaultCase{"ToClientThenCut", Direction::kClientToServer, FrameFate::kDelivered}),
    CaseName);

// ---- A record the receiving database refuses ---------------------------------------------------

class RefusedRecordTest : public FaultCaseTest {
 protected:
  // The side that failed to import logs the record; the other side hears it.
  RecordingHost& ReceiverHost() { return from_main_ ? client_host_ : host_; }
  RecordingHost& SenderHost() { return from_main_ ? host_ : client_host_; }
};

TEST_P(RefusedRecordTest, ARefusedRecordIsReportedKeptAndSentAgainOnceAccepted) {
  const int refused = b_ + 3;
  Exec(receiver_, "ALTER TABLE DOKUMENTY ADD CONSTRAINT CHK_FAULT_ILOSC CHECK (ILOSC >= 0)");
  InsertDocuments(sender_, b_ + 1, 5);
  Exec(sender_, "UPDATE DOKUMENTY SET ILOSC = -1 WHERE ID = " + Id(refused));

  client_.Link().tmrKConnectTimer();
  const std::string record = "(ID=" + Id(refused) + ") do tabeli DOKUMENTY";
  ASSERT_TRUE(RunUntil(
      [&] {
        return Logged(ReceiverHost(), {record, "CHK_FAULT_ILOSC"});
      },
      20'000))
      << "the receiving side names the record and the constraint";
  ASSERT_TRUE(RunUntil([&] { return Logged(SenderHost(), {record}); }, 5000))
      << "the sending side hears which record failed";
  ASSERT_TRUE(WaitForState(kClientDisconnected));
  EXPECT_GT(SenderPending(refused), 0) << "the entries stay";
  EXPECT_EQ(Documents(receiver_), 0) << "the batch is rolled back whole, to come again";
  client_.Link().tmrKConnectTimer();
  ASSERT_TRUE(RunUntil([&] {
    return ClientsReport(*server_.Clients(), {}, 0).find(record) != std::string::npos;
  })) << "the clients report shows the copy's last failure";

  Exec(receiver_, "ALTER TABLE DOKUMENTY DROP CONSTRAINT CHK_FAULT_ILOSC");
  ASSERT_TRUE(Synchronise());
  ExpectConverged();
  EXPECT_EQ(ClientsReport(*server_.Clients(), {}, 0).find(record), std::string::npos);
  EXPECT_EQ(Documents(receiver_), 5);
  EXPECT_EQ(Counter(receiver_, refused), -1);
}

INSTANTIATE_TEST_SUITE_P(Way, RefusedRecordTest,
                         ::testing::Values(FaultCase{"ByTheCopy", Direction::kServerToClient},
                                           FaultCase{"ByMain", Direction::kClientToServer}),
                         CaseName);

}  // namespace
}  // namespace tramolin::testing
