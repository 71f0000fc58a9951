// Real databases for engine tests: a main database and two copies made from schema/ by
// scripts/make-databases.sh once per build (shared by every test process, rebuilt when the
// schema changes), and copied fresh into a private directory for every test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fb/attachment.h"
#include "engine/fb/result_set.h"
#include "engine/fb/statement.h"
#include "engine/fb/transaction.h"

namespace tramolin::testing {

// The connection parameter lines of the test databases' administrator (embedded connections
// do not check the password; the private server's administrator has this one).
std::string AdminParams();
std::string AdminPassword();

// Keeps the libraries an attachment loads from the Firebird root in use (FIREBIRD, else the
// system's) loaded until the process ends; the test environment does it for the system's root, a
// test that chooses another root calls it after setting FIREBIRD.
void PinFirebirdPlugins();

class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Fresh files of this test: main.fdb (number 0) and copy1.fdb, copy2.fdb.
  std::string MainPath() const { return (dir_ / "main.fdb").string(); }
  std::string CopyPath(int number) const {
    return (dir_ / ("copy" + std::to_string(number) + ".fdb")).string();
  }
  const std::filesystem::path& Dir() const { return dir_; }

  // Runs statements on a database in one committed transaction of a connection of its own.
  void Exec(const std::string& database, std::string_view sql);
  // The first column of the first row of a query as text ("" when there is no row).
  std::string Query(const std::string& database, std::string_view sql);
  long long QueryInt(const std::string& database, std::string_view sql);
  // Every row of a table ordered by `key`, each value as text ("<NULL>", floating values with
  // all their digits), for comparing tables between databases.
  std::vector<std::vector<std::string>> TableRows(const std::string& database,
                                                  std::string_view table,
                                                  std::string_view key = "ID");

  // Makes the procedure EVENT of a database write every name it receives into a table, where
  // RecordedEvents reads them back in order, joined by ",". The name BOOM fails, for the tests
  // of failures.
  void RecordEventCalls(const std::string& database);
  std::string RecordedEvents(const std::string& database);

 private:
  std::filesystem::path dir_;
};

// A connection with one read-committed transaction, for tests that drive the fb layer directly.
struct TestConnection {
  explicit TestConnection(const std::string& database);
  fb::Attachment attachment;
  fb::Transaction transaction{attachment,
                              {fb::TransactionItem::kReadCommitted,
                               fb::TransactionItem::kRecVersion, fb::TransactionItem::kNowait}};
};

}  // namespace tramolin::testing
