// The export by sets (records found by walking the journal) against the reference (the grouped
// select, one record at a time), on two copies of one database with a randomised journal: every
// batch must give the same payload and mark the same entries, until nothing is left to send. Also
// the set export's own paths with quiet logging: the snapshot, the error path and the columns that
// travel as exact text.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/fb/statement.h"
#include "engine/key_set.h"
#include "engine/sending_cycle.h"
#include "export_fixture.h"

namespace tramolin::testing {
namespace {

namespace fs = std::filesystem;

// A database module with its own host and an export of one method.
struct Exporter {
  Exporter(const fs::path& file, ExportMethod method) : path(file.string()) {
    host.full_log = false;
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = file.parent_path().string();
    settings.file = file.filename().string();
    db = std::make_unique<TDMDB>(host, host, pass_dm, settings);
    EXPECT_TRUE(db->ConnectDatabase());
    db->ReadIdentity();
    exporter = std::make_unique<TChangeExport>(*db, host, host, method);
    cleanup = std::make_unique<TJournalCleanup>(*db, host, host);
  }

  PreparedChanges Prepare(bool new_only, const ExportCycle& cycle = {}) {
    PreparedChanges out;
    EXPECT_TRUE(exporter->PrepareChanges(1, new_only, 0, out, NullColumns::kLeftOut, cycle))
        << host.GetErrorText(0);
    return out;
  }
  std::int32_t Confirm(const PreparedChanges& changes) {
    host.slot_dbnr = 1;
    host.slot_last_trans_id = changes.transaction_number;
    const std::optional<std::int32_t> removed = cleanup->DeleteJournalEntries(0);
    EXPECT_TRUE(removed.has_value());
    return removed.value_or(0);
  }

  std::string path;
  ExportHost host;
  TPassDM pass_dm;
  std::unique_ptr<TDMDB> db;
  std::unique_ptr<TChangeExport> exporter;
  std::unique_ptr<TJournalCleanup> cleanup;
};

// Tables of three priorities (OPERATOR 9, KONTRAHENT 7, TOWARY 7, DOKUMENTY 5).
constexpr std::string_view kTables[] = {"OPERATOR", "KONTRAHENT", "TOWARY", "DOKUMENTY"};
constexpr int kTableNumbers[] = {22, 15, 29, 0};

// Writes a random history of changes to the main database of the fixture.
class JournalWriter {
 public:
  JournalWriter(const std::string& path, unsigned seed) : db_(path), random_(seed) {}

  void Write(int changes) {
    db_.transaction.Start();
    for (int i = 0; i < changes; ++i) Change();
    db_.transaction.Commit();
  }

 private:
  int Pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }

  void Change() {
    const int table = Pick(4);
    const int id = 1 + Pick(60);
    const int what = Pick(10);
    if (what < 5) {
      Run("UPDATE OR INSERT INTO " + std::string(kTables[table]) + " (ID, NAZWA) VALUES (" +
          std::to_string(id) + ", 'n" + std::to_string(Pick(1000)) + "') MATCHING (ID)");
    } else if (what < 7) {
      Run("DELETE FROM " + std::string(kTables[table]) + " WHERE ID = " + std::to_string(id));
    } else if (what < 8) {
      Picture(id);  // large enough that batches are cut by size
    } else {
      HandWrittenEntry(table, id);
    }
  }

  void Picture(int id) {
    fb::Statement update(db_.transaction,
                         "UPDATE OR INSERT INTO TOWARY (ID, ZDJECIE, RABAT, CENANETTO) "
                         "VALUES (:ID, :Z, -0.05, 12.34) MATCHING (ID)");
    update.ParamByName("ID").SetInt(id);
    update.ParamByName("Z").SetBlob(
        std::string(150000 + Pick(100000), static_cast<char>('a' + Pick(26))));
    update.Execute();
  }

  // Entries whose record may not exist, of another priority, or of an unknown table.
  void HandWrittenEntry(int table, int id) {
    const int number = Pick(8) == 0 ? 137 : kTableNumbers[table];
    const int priority = Pick(2) == 0 ? 1 : 9;
    Run("INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY, PRIORYTET) "
        "VALUES (GEN_ID(REPZMIANY_ID, 1), 1, " +
        std::to_string(number) + ", " + std::to_string(id + Pick(2) * 1000) + ", " +
        std::to_string(Pick(3)) + ", " + std::to_string(priority) + ")");
  }

  void Run(const std::string& sql) {
    fb::Statement statement(db_.transaction, sql);
    statement.Execute();
  }

  TestConnection db_;
  std::mt19937 random_;
};

struct Journal {
  unsigned seed;
  bool new_only;
  int lost = -1;  // the batch whose confirmation is lost
};

class ExportEquivalenceTest : public EngineFixture, public ::testing::WithParamInterface<Journal> {
 protected:
  // The ids of the entries an export marked.
  std::vector<long long> Marked(const Exporter& side, const PreparedChanges& changes) {
    return Ids(side.path, "IDTRANSAKCJI = " + std::to_string(changes.transaction_number));
  }
  std::vector<long long> Ids(const std::string& path, const std::string& where) {
    TestConnection db(path);
    db.transaction.Start();
    fb::Statement select(db.transaction,
                         "SELECT ID FROM REPZMIANY WHERE " + where + " ORDER BY ID");
    fb::ResultSet rows = select.Open();
    std::vector<long long> ids;
    while (rows.Next()) ids.push_back(rows.GetInt(0));
    rows.Close();
    db.transaction.Commit();
    return ids;
  }

  // Exports batch after batch from the main database and from copies of it, by sets, by sets
  // pipelined as a sender does (each batch cut by size prepared while the one before awaits its
  // confirmation, the cycle counted once, and some sent before that confirmation is carried out)
  // and by the reference, comparing each batch, until
  // nothing is left to send. The confirmation of batch `lost` never comes: every side starts
  // over. Gives the number of batches cut by size.
  int ExportUntilEmpty(bool new_only, int lost = -1) {
    const fs::path copy = Dir() / "reference.fdb";
    const fs::path pipelined_copy = Dir() / "pipelined.fdb";
    fs::copy_file(MainPath(), copy);
    fs::copy_file(MainPath(), pipelined_copy);
    Exporter sets(MainPath(), ExportMethod::kInSets);
    Exporter reference(copy, ExportMethod::kPerRecord);
    Exporter pipelined(pipelined_copy, ExportMethod::kInSets);
    SendingCycle cycle;
    PreparedChanges sent = pipelined.Prepare(new_only, cycle.NextExport());
    cycle.Sent(sent);
    int cut_batches = 0;
    for (int batch = 0;; ++batch) {
      SCOPED_TRACE("batch " + std::to_string(batch));
      EXPECT_LT(batch, 50);
      if (batch >= 50) break;
      const PreparedChanges expected = reference.Prepare(new_only);
      const PreparedChanges actual = sets.Prepare(new_only);
      EXPECT_EQ(actual.payload, expected.payload);
      EXPECT_EQ(actual.count, expected.count);
      EXPECT_EQ(Marked(sets, actual), Marked(reference, expected));
      EXPECT_EQ(sent.payload, expected.payload);
      EXPECT_EQ(Marked(pipelined, sent), Marked(reference, expected));
      if (expected.payload.size() > kPayloadLimit) ++cut_batches;
      // A batch ahead leaves once the confirmation is carried out (way 0), as it arrives (1), or
      // after it arrived while the batch was still being prepared, its deletion queued behind (2).
      const int way = batch % 3;
      std::optional<ExportCycle> ahead_export;
      SendingCycle::Ticket ticket = 0;
      if (cycle.WorthPreparingAhead(sent)) {
        ahead_export = cycle.BeginAhead();
        ticket = cycle.AheadTicket();
      }
      const auto prepare_ahead = [&] {
        if (!ahead_export) return false;
        const bool leaves = cycle.AheadPrepared(ticket, pipelined.Prepare(new_only, *ahead_export));
        ahead_export.reset();
        return leaves;
      };
      if (way != 2) {
        EXPECT_FALSE(prepare_ahead()) << "waits for the confirmation";
      }
      std::optional<PreparedChanges> ahead;
      bool confirmed = false;
      if (batch == lost) {
        cycle.Restart();
        prepare_ahead();
      } else {
        EXPECT_EQ(reference.Confirm(expected), sets.Confirm(actual));
        if (way == 1 && cycle.ConfirmedBeforeDeletion()) ahead = cycle.TakeAhead();
        if (way == 2) {
          confirmed = cycle.ConfirmedBeforeDeletion();
          EXPECT_EQ(confirmed, ahead_export.has_value());
        }
        if (ahead_export) {
          EXPECT_EQ(prepare_ahead(), confirmed) << "leaves once prepared";
        }
        const std::int32_t removed = pipelined.Confirm(sent);
        if (!ahead && !confirmed) cycle.Confirmed(removed);
      }
      if (expected.count == 0 || ::testing::Test::HasFailure()) break;
      sent = ahead ? *ahead : cycle.TakeAhead().value_or(PreparedChanges{});
      if (sent.transaction_number == 0) sent = pipelined.Prepare(new_only, cycle.NextExport());
      cycle.Sent(sent);
    }
    EXPECT_EQ(Ids(sets.path, "1 = 1"), Ids(reference.path, "1 = 1"));
    EXPECT_EQ(Ids(pipelined.path, "1 = 1"), Ids(reference.path, "1 = 1"));
    return cut_batches;
  }
};

TEST_P(ExportEquivalenceTest, SetsPipelinedOrNotAndTheReferenceSendAndMarkTheSame) {
  JournalWriter(MainPath(), GetParam().seed).Write(400);
  EXPECT_GT(ExportUntilEmpty(GetParam().new_only, GetParam().lost), 0);
}

// A host that leaves the priority empty: such entries come after all others.
TEST_F(ExportEquivalenceTest, EntriesWithoutAPriorityComeLastAsInTheReference) {
  Exec(MainPath(), "ALTER TABLE REPZMIANY ALTER PRIORYTET DROP NOT NULL");
  for (int id = 1; id <= 3; ++id) {
    Exec(MainPath(), "INSERT INTO TOWARY (ID, NAZWA) VALUES (" + std::to_string(id) + ", 'a')");
  }
  Exec(MainPath(), "UPDATE TOWARY SET NAZWA = 'b' WHERE ID = 3");
  Exec(MainPath(), "UPDATE REPZMIANY SET PRIORYTET = NULL WHERE IDREKORDU <> 2");
  ExportUntilEmpty(true);
  fs::remove(Dir() / "reference.fdb");
  fs::remove(Dir() / "pipelined.fdb");
  ExportUntilEmpty(false);
}

INSTANTIATE_TEST_SUITE_P(RandomJournals, ExportEquivalenceTest,
                         ::testing::Values(Journal{1, false, 1}, Journal{2, false, 2},
                                           Journal{3, true}, Journal{4, false},
                                           Journal{5, true, 1}));

// The set export with quiet logging, where the entries are marked after the records are read.
class QuietExportTest : public ExportFixture {
 protected:
  void SetUp() override {
    ExportFixture::SetUp();
    host_.full_log = false;
  }
};

TEST_F(QuietExportTest, EntriesWrittenAfterTheSnapshotBeganStayUnmarked) {
  Open();
  Sql("INSERT INTO TOWARY (ID, NAZWA) VALUES (1, 'a')");
  Sql("INSERT INTO TOWARY (ID, NAZWA) VALUES (2, 'b')");
  bool changed = false;
  host_.on_progress = [&] {
    if (!changed && host_.history.size() == 2) {
      changed = true;
      Sql("UPDATE TOWARY SET NAZWA = 'c' WHERE ID = 1");
      Sql("INSERT INTO TOWARY (ID) VALUES (3)");
    }
  };
  const PreparedChanges changes = Prepare();
  ASSERT_TRUE(changed);
  EXPECT_EQ(changes.payload, "2;2;1;29;0;2;ID;1;1;NAZWA;0;1;a;2;29;0;2;ID;1;2;NAZWA;0;1;b;");
  EXPECT_TRUE(Confirm(changes));
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND IDTRANSAKCJI = 0"), 2);
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 2);
}

// The grouped select would make an entry without a record a row of its own, read as record 0;
// there is nothing to send for it, so it is passed over and, like there, never marked.
TEST_F(QuietExportTest, AnEntryWithoutARecordIsNeitherSentNorMarked) {
  Open();
  Sql("ALTER TABLE REPZMIANY ALTER IDREKORDU DROP NOT NULL");
  Sql("INSERT INTO TOWARY (ID, NAZWA) VALUES (1, 'a')");
  Sql("INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY, PRIORYTET) "
      "VALUES (GEN_ID(REPZMIANY_ID, 1), 1, 29, NULL, 1, 9)");
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.payload, "1;2;1;29;0;2;ID;1;1;NAZWA;0;1;a;");
  EXPECT_TRUE(Confirm(changes));
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND IDREKORDU IS NULL AND IDTRANSAKCJI = 0"), 1);
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 1);
}

TEST_F(QuietExportTest, AFailedRecordRollsBackWithTheOneRecordMessage) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("DROP TABLE KSEF");
  Entry(1, 128, 3, 1, 1);
  PreparedChanges changes;
  EXPECT_FALSE(export_->PrepareChanges(1, false, 4, changes));
  EXPECT_EQ(changes.payload, "");
  EXPECT_EQ(Count("IDTRANSAKCJI <> 0"), 0);
  EXPECT_EQ(host_.GetErrorText(4).rfind("PrzygotujRekord(3,128,1){012345} \"", 0), 0u)
      << host_.GetErrorText(4);
}

TEST_F(QuietExportTest, ScaledIntegersTravelAsTheirExactDecimalText) {
  Open();
  Sql("INSERT INTO TOWARY (ID, RABAT, CENANETTO, ILOSCMIN) VALUES (1, 12.34, -0.05, 7)");
  Sql("INSERT INTO TOWARY (ID, RABAT, CENANETTO) VALUES (2, -99.99, 9999999.99)");
  Sql("INSERT INTO TOWARY (ID, CENANETTO, ILOSCMIN) VALUES (3, 0, -999999999)");
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.payload,
            "3;3;"
            "1;29;0;4;ID;1;1;RABAT;0;5;12.34;CENANETTO;0;5;-0.05;ILOSCMIN;1;7;"
            "2;29;0;3;ID;1;2;RABAT;0;6;-99.99;CENANETTO;0;10;9999999.99;"
            "3;29;0;3;ID;1;3;CENANETTO;0;4;0.00;ILOSCMIN;1;-999999999;");
  EXPECT_EQ(
      Count("IDREPKOPIE = 1 AND " + ("IDTRANSAKCJI=" + std::to_string(changes.transaction_number))),
      3);
}

TEST(KeySetTest, KeysLieCloseWhileTheirSpanIsUnderTwoValuesAPlace) {
  const std::vector<std::pair<std::vector<std::int32_t>, bool>> cases = {
      {{}, true},
      {{7}, true},
      {{40, 9}, true},
      {{9, 41}, false},
      {{1, 2, 3, 500001}, false},
      {{std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}, false},
  };
  for (const auto& [keys, close] : cases) EXPECT_EQ(KeysLieClose(keys, 16), close) << keys.size();
}

}  // namespace
}  // namespace tramolin::testing
