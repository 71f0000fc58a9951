// Event names queued by the import and posted through the host database's procedure EVENT, which
// the tests make write each name into a table so that the calls and their order show.
#include "engine/database_events.h"

#include <optional>

#include "host_fixture.h"

namespace tramolin::testing {
namespace {

class DatabaseEventsTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    RecordEventCalls(MainPath());
    Open();
    ASSERT_TRUE(db_->ConnectDatabase());
    events_.emplace(*db_, host_);
  }
  void TearDown() override {
    events_.reset();
    HostFixture::TearDown();
  }

  void Queue(std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) events_->QueueEvent(name);
  }
  // The names EVENT received, in order, joined by ",".
  std::string Fired() { return RecordedEvents(MainPath()); }

  std::optional<TDatabaseEvents> events_;
};

TEST_F(DatabaseEventsTest, QueuedNamesFireOnceEachInOrderAndEmptyTheList) {
  Queue({"TOWAR", "ZAMOWIENIE", "towar", "", "   ", "Zamowienie", "WIADOMOSCHEAD"});
  EXPECT_EQ(events_->QueuedCount(), 3u);
  events_->FireQueuedEvents(true);
  EXPECT_EQ(Fired(), "TOWAR,ZAMOWIENIE,WIADOMOSCHEAD");
  EXPECT_EQ(events_->QueuedCount(), 0u);
  EXPECT_FALSE(Internals(*db_).IBTEvent().Active());
  events_->FireQueuedEvents(true);
  EXPECT_EQ(Count("EVENTLOG"), 3);
}

TEST_F(DatabaseEventsTest, WithoutItsOwnTransactionTheCallerCommits) {
  Queue({"TOWAR"});
  Internals(*db_).IBTEvent().Start();
  events_->FireQueuedEvents(false);
  EXPECT_EQ(Count("EVENTLOG"), 0);
  Internals(*db_).IBTEvent().Commit();
  EXPECT_EQ(Fired(), "TOWAR");
}

TEST_F(DatabaseEventsTest, EventsOptionOffQueuesAndFiresNothing) {
  Queue({"TOWAR"});
  host_.events_enabled = false;
  Queue({"ZAMOWIENIE"});
  events_->FireQueuedEvents(true);
  events_->FireEvent("KONTRAHENT", true);
  EXPECT_EQ(events_->QueuedCount(), 1u);
  EXPECT_EQ(Count("EVENTLOG"), 0);
}

TEST_F(DatabaseEventsTest, FailuresAreSwallowedAndALostConnectionKeepsTheNames) {
  events_->FireEvent("BOOM", true);
  events_->FireEvent("TOWAR", true);
  EXPECT_EQ(Fired(), "TOWAR");
  EXPECT_FALSE(Internals(*db_).IBTEvent().Active());

  Queue({"ZAMOWIENIE", "BOOM", "KONTRAHENT"});
  events_->FireQueuedEvents(true);
  EXPECT_EQ(Fired(), "TOWAR,ZAMOWIENIE,KONTRAHENT");
  EXPECT_EQ(events_->QueuedCount(), 0u);

  Queue({"ZAMOWIENIE", "BOOM"});
  db_->DisconnectDatabase(true);
  events_->FireQueuedEvents(true);
  EXPECT_EQ(events_->QueuedCount(), 2u);
  EXPECT_EQ(Count("EVENTLOG"), 3);
}

}  // namespace
}  // namespace tramolin::testing
