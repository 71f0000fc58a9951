// The server's slot book: the engine's reports land in the slot they name, the program-wide text
// takes the negative index, and an index beyond the slots reads as nothing and writes nowhere.
#include "server/replication_server.h"

#include <gtest/gtest.h>

#include "engine/recording_host.h"

namespace tramolin::testing {
namespace {

class ReplicationServerTest : public ::testing::Test {
 protected:
  ReplicationServerTest() {
    server_.Clients.resize(2);
    server_.Clients[1].DBNR = 7;
    server_.Clients[1].LastTransID = 1234;
  }
  RecordingHost host_;
  ReplicationServer server_{host_};
};

TEST_F(ReplicationServerTest, ReportsLandInTheNamedSlot) {
  server_.SetErrorText(1, "zły rekord");
  server_.SetProgress(1, 40);
  EXPECT_EQ(server_.GetErrorText(1), "zły rekord");
  EXPECT_EQ(server_.Clients[1].Postep, 40);
  EXPECT_EQ(server_.GetErrorText(0), "");
  EXPECT_EQ(server_.GetSlotDBNR(1), 7);
  EXPECT_EQ(server_.GetSlotLastTransID(1), 1234);
}

TEST_F(ReplicationServerTest, NegativeIndexIsTheProgramWideText) {
  server_.SetErrorText(-1, "brak bazy");
  EXPECT_EQ(server_.GetErrorText(-1), "brak bazy");
  EXPECT_EQ(server_.Clients[0].LastErrorMsg, "");
}

TEST_F(ReplicationServerTest, IndexBeyondTheSlotsReadsAsNothingAndWritesNowhere) {
  server_.SetErrorText(2, "x");
  server_.SetProgress(2, 10);
  EXPECT_EQ(server_.GetErrorText(2), "");
  EXPECT_EQ(server_.GetSlotDBNR(2), -1);
  EXPECT_EQ(server_.GetSlotLastTransID(2), -1);
  EXPECT_EQ(server_.GetSlotLastTransID(-1), -1);
}

TEST(SlotStatusNameTest, NamesEveryStatusAndNothingElse) {
  EXPECT_EQ(SlotStatusName(static_cast<int>(SlotStatus::kLoggedIn)), "zalogowany");
  EXPECT_EQ(SlotStatusName(6), "czeka na potw.");
  EXPECT_EQ(SlotStatusName(7), "");
  EXPECT_EQ(SlotStatusName(-1), "");
}

}  // namespace
}  // namespace tramolin::testing
