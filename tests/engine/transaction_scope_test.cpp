// A unit of work commits only what it started, and rolls back what it started unless it
// committed.
#include "engine/transaction_scope.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine_fixture.h"

namespace tramolin::testing {
namespace {

class TransactionScopeTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    connection_ = std::make_unique<TestConnection>(MainPath());
  }
  void TearDown() override {
    connection_.reset();
    EngineFixture::TearDown();
  }
  fb::Transaction& Transaction() { return connection_->transaction; }
  void Insert(int id) {
    fb::Statement insert(Transaction(),
                         "INSERT INTO SLOWNIK (ID) VALUES (" + std::to_string(id) + ")");
    insert.Execute();
  }
  long long Rows() { return QueryInt(MainPath(), "SELECT COUNT(*) FROM SLOWNIK"); }

  std::unique_ptr<TestConnection> connection_;
};

TEST_F(TransactionScopeTest, CommittedWorkStays) {
  {
    TransactionScope work(Transaction());
    Insert(1);
    work.Commit();
  }
  EXPECT_FALSE(Transaction().Active());
  EXPECT_EQ(Rows(), 1);
}

TEST_F(TransactionScopeTest, WorkLeftByAnExceptionIsRolledBack) {
  try {
    TransactionScope work(Transaction());
    Insert(1);
    throw std::runtime_error("failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(Transaction().Active());
  EXPECT_EQ(Rows(), 0);
}

TEST_F(TransactionScopeTest, AnInnerScopeLeavesTheOuterTransactionToItsOwner) {
  TransactionScope outer(Transaction());
  {
    TransactionScope inner(Transaction());
    Insert(1);
    inner.Commit();
  }
  EXPECT_TRUE(Transaction().Active());
  { TransactionScope failing(Transaction()); }
  EXPECT_TRUE(Transaction().Active());
  outer.Commit();
  EXPECT_EQ(Rows(), 1);
}

}  // namespace
}  // namespace tramolin::testing
