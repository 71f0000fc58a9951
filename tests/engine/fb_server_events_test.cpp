// Event subscriptions on a connection through the private Firebird server
// (TRAMOLIN_FB_SERVER=127.0.0.1/port, see scripts/firebird-server.sh). The server connection's
// client library holds the events callback until the connection is detached, so these tests
// end a subscription and its connection in both orders.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "engine/fb/events.h"
#include "engine_fixture.h"
#include "event_collector.h"

namespace tramolin::testing {
namespace {

class FbServerEventsTest : public EngineFixture {
 protected:
  void SetUp() override {
    const char* server = std::getenv("TRAMOLIN_FB_SERVER");
    const char* password = std::getenv("TRAMOLIN_FB_PASSWORD");
    if (server == nullptr || password == nullptr) {
      GTEST_SKIP() << "no private Firebird server (run scripts/firebird-server.sh start <dir>)";
    }
    EngineFixture::SetUp();
    attachment_.Open(std::string(server) + ":" + MainPath(),
                     std::string("user_name=SYSDBA\npassword=") + password + "\nlc_ctype=WIN1250");
  }

  void Subscribe() {
    events_.emplace(attachment_, std::vector<std::string>{"DBUPGRADE"},
                    [this](const std::string& name, unsigned count) { log_.Add(name, count); });
  }

  // Posts the event through the server connection itself (the server holds the file).
  void PostEvent() {
    fb::Transaction transaction(attachment_, {fb::TransactionItem::kConcurrency});
    transaction.Start();
    fb::Statement(transaction, "EXECUTE PROCEDURE POST_DBUPGRADE").Execute();
    transaction.Commit();
  }

  // What the handler got, after a moment for a late notification to arrive.
  unsigned SettledCount() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return log_.WaitFor("DBUPGRADE", 0);
  }

  EventCollector log_;
  fb::Attachment attachment_;
  std::optional<fb::EventSubscription> events_;
};

TEST_F(FbServerEventsTest, ASubscriptionEndedBeforeDetachIsSilentAndDetachIsSafe) {
  Subscribe();
  PostEvent();
  EXPECT_EQ(log_.WaitFor("DBUPGRADE", 1), 1u);
  events_.reset();
  PostEvent();
  EXPECT_EQ(SettledCount(), 1u);
  attachment_.Detach();
  EXPECT_FALSE(attachment_.IsOpen());
}

TEST_F(FbServerEventsTest, ASubscriptionOutlivingItsConnectionEndsWithIt) {
  Subscribe();
  attachment_.Detach();
  events_.reset();
  EXPECT_EQ(SettledCount(), 0u);
}

TEST_F(FbServerEventsTest, ResubscribingOnTheSameConnectionReportsOnlyNewPostings) {
  Subscribe();
  events_.reset();
  Subscribe();
  PostEvent();
  EXPECT_EQ(log_.WaitFor("DBUPGRADE", 1), 1u);
  events_.reset();
  attachment_.Detach();
  EXPECT_EQ(SettledCount(), 1u);
}

}  // namespace
}  // namespace tramolin::testing
