// The server's slot book: the engine's reports land in the slot they name, the program-wide text
// takes the negative index, and an index beyond the slots reads as nothing and writes nowhere.
#include "server/replication_server.h"

#include <gtest/gtest.h>

#include "engine/recording_host.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class ReplicationServerTest : public ::testing::Test {
 protected:
  ReplicationServerTest() {
    server_.AddSlotWithoutConnection();
    server_.AddSlotWithoutConnection();
    server_.SessionAt(1)->Slot().DBNR = 7;
    server_.SessionAt(1)->Slot().LastTransID = 1234;
  }
  RecordingHost host_;
  ReplicationServer server_{host_};
};

TEST_F(ReplicationServerTest, ReportsLandInTheNamedSlot) {
  server_.SetErrorText(1, "zły rekord");
  server_.SetProgress(1, 40);
  EXPECT_EQ(server_.GetErrorText(1), "zły rekord");
  EXPECT_EQ(server_.SessionAt(1)->Slot().Postep, 40);
  EXPECT_EQ(server_.GetErrorText(0), "");
  EXPECT_EQ(server_.GetSlotDBNR(1), 7);
  EXPECT_EQ(server_.GetSlotLastTransID(1), 1234);
}

TEST_F(ReplicationServerTest, NegativeIndexIsTheProgramWideText) {
  server_.SetErrorText(-1, "brak bazy");
  EXPECT_EQ(server_.GetErrorText(-1), "brak bazy");
  EXPECT_EQ(server_.SessionAt(0)->Slot().LastErrorMsg, "");
}

TEST_F(ReplicationServerTest, IndexBeyondTheSlotsReadsAsNothingAndWritesNowhere) {
  server_.SetErrorText(2, "x");
  server_.SetProgress(2, 10);
  EXPECT_EQ(server_.GetErrorText(2), "");
  EXPECT_EQ(server_.GetSlotDBNR(2), -1);
  EXPECT_EQ(server_.GetSlotLastTransID(2), -1);
  EXPECT_EQ(server_.GetSlotLastTransID(-1), -1);
}

// Slots made by the server itself, with no connection behind them.
class SlotOperationsTest : public ::testing::Test {
 protected:
  SlotOperationsTest() {
    server_.SetHooks({nullptr, [this] { ++stops_; }, [this](int ms) { restarts_.push_back(ms); }});
    for (int dbnr : {10, 11, 12}) {
      server_.AddSlotWithoutConnection().Slot().DBNR = dbnr;
    }
  }
  RecordingHost host_;
  ReplicationServer server_{host_};
  int stops_ = 0;
  std::vector<int> restarts_;
};

TEST_F(SlotOperationsTest, RemovingASlotMovesTheLastIntoItsPlace) {
  EXPECT_EQ(stops_, 3);
  server_.CloseSlot(0, true);
  ASSERT_EQ(server_.SlotCount(), 2U);
  EXPECT_EQ(server_.GetSlotDBNR(0), 12);
  EXPECT_EQ(server_.GetSlotDBNR(1), 11);
  server_.CloseSlot(1, true);
  server_.CloseSlot(5, true);
  ASSERT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(server_.GetSlotDBNR(0), 12);
}

TEST_F(SlotOperationsTest, NewSlotIsUnverifiedAndLoggingInMarksItAuthorised) {
  server_.AddSlotWithoutConnection();
  EXPECT_EQ(server_.GetSlotDBNR(3), -1);
  EXPECT_EQ(server_.SessionAt(3)->Slot().CzasStart, host_.now);
  EXPECT_FALSE(server_.SessionAt(3)->Slot().Autoryzowany);
  server_.SetSlotStatus(*server_.SessionAt(3), SlotStatus::kAwaitingData);
  EXPECT_FALSE(server_.SessionAt(3)->Slot().Autoryzowany);
  server_.SetSlotStatus(*server_.SessionAt(3), SlotStatus::kLoggedIn);
  server_.SetSlotStatus(*server_.SessionAt(3), SlotStatus::kImporting);
  EXPECT_TRUE(server_.SessionAt(3)->Slot().Autoryzowany);
}

TEST_F(SlotOperationsTest, SweepGoesDownwardsAndKeepsRecentSlots) {
  host_.now = 45200.0;
  server_.SessionAt(0)->Slot().OstAktyw = host_.now - 61.0 / 1440;
  server_.SessionAt(1)->Slot().OstAktyw = host_.now - 59.0 / 1440;
  server_.SessionAt(2)->Slot().OstAktyw = host_.now - 2.0;
  server_.tmrZombieTimer();
  ASSERT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(server_.GetSlotDBNR(0), 11);
  EXPECT_EQ(host_.CountLines("Brak aktywności klienta 3 (> 01:00:00) usuwam klienta."_cp), 1);
  EXPECT_EQ(host_.CountLines("Brak aktywności klienta 1 (> 01:00:00) usuwam klienta."_cp), 1);
}

TEST_F(SlotOperationsTest, SweepDoesNothingInClientMode) {
  host_.server_mode = false;
  server_.SessionAt(0)->Slot().OstAktyw = host_.now - 2.0;
  server_.tmrZombieTimer();
  EXPECT_EQ(server_.SlotCount(), 3U);
}

TEST_F(SlotOperationsTest, ProgressIsKeptPerSlotAndProgramWideForSlotMinusOne) {
  server_.SetProgress(1, 55);
  server_.SetProgress(-1, 30);
  EXPECT_EQ(server_.SessionAt(1)->Slot().Postep, 55);
  EXPECT_EQ(server_.Progress(), 30);
}

TEST(SlotStatusNameTest, NamesEveryStatusAndNothingElse) {
  EXPECT_EQ(SlotStatusName(static_cast<int>(SlotStatus::kLoggedIn)), "zalogowany");
  EXPECT_EQ(SlotStatusName(6), "czeka na potw.");
  EXPECT_EQ(SlotStatusName(7), "");
  EXPECT_EQ(SlotStatusName(-1), "");
}

// Strangers are bounded per address (the server's own computer only in all) and in all; a full
// gate still takes a newcomer by pushing out the oldest connection of the address that holds the
// most, never one from an address that holds no more than the newcomer's would.
TEST(PreLoginGateTest, BoundsPerAddressAndInAllPushingOutTheHeaviestAddress) {
  PreLoginGate gate;
  int keys[PreLoginGate::kTotal + 2] = {};
  for (int i = 0; i < PreLoginGate::kPerAddress; ++i) {
    EXPECT_TRUE(gate.Admit(&keys[i], "10.0.0.1").admitted);
  }
  EXPECT_FALSE(gate.Admit(&keys[PreLoginGate::kTotal], "10.0.0.1").admitted);
  int local[PreLoginGate::kPerAddress + 1] = {};
  for (int& key : local) EXPECT_TRUE(gate.Admit(&key, "127.0.0.1", true).admitted);
  for (int& key : local) gate.Remove(&key);
  for (int i = PreLoginGate::kPerAddress; i < PreLoginGate::kTotal; ++i) {
    EXPECT_TRUE(gate.Admit(&keys[i], "10.1.0." + std::to_string(i)).admitted);
  }
  const PreLoginGate::Admission pushed = gate.Admit(&keys[PreLoginGate::kTotal], "10.2.0.1");
  EXPECT_TRUE(pushed.admitted);
  EXPECT_EQ(pushed.evicted, &keys[0]) << "the oldest of the address holding eight";
  EXPECT_EQ(gate.Count(), PreLoginGate::kTotal);
  gate.Remove(&keys[1]);
  gate.Remove(&keys[1]);
  EXPECT_EQ(gate.Count(), PreLoginGate::kTotal - 1);
  EXPECT_TRUE(gate.Admit(&keys[1], "10.3.0.1").admitted);
  // Now every address holds at most its share: a newcomer from one more address waits outside.
  for (int i = 2; i < PreLoginGate::kPerAddress; ++i) gate.Remove(&keys[i]);
  for (int i = 2; i < PreLoginGate::kPerAddress; ++i) {
    EXPECT_TRUE(gate.Admit(&keys[i], "10.4.0." + std::to_string(i)).admitted);
  }
  EXPECT_FALSE(gate.Admit(&keys[PreLoginGate::kTotal + 1], "10.5.0.1").admitted);
}

}  // namespace
}  // namespace tramolin::testing
