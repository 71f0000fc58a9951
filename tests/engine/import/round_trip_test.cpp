// Round trips main -> copy -> main through the export, the import and the confirmation: both
// journals end empty and every table holds the same rows on both sides.
#include <gtest/gtest.h>

#include "import_fixture.h"

namespace tramolin::testing {
namespace {

constexpr std::string_view kTables[] = {"DOKUMENTY", "TOWARY", "FAKHEAD", "BLOKADY", "URZADZENIA"};

class RoundTripTest : public ImportFixture {
 protected:
  void Run(Side& side, std::initializer_list<std::string_view> statements) {
    for (std::string_view sql : statements) Exec(side.path, sql);
  }
  void ExpectSameTables() {
    for (std::string_view table : kTables) {
      const std::string_view key = table == "BLOKADY" ? "IDBLOKADY" : "ID";
      EXPECT_EQ(Rows(*main_, table, key), Rows(*copy_, table, key)) << table;
    }
    EXPECT_EQ(Journal(*main_), 0);
    EXPECT_EQ(Journal(*copy_), 0);
  }
};

TEST_F(RoundTripTest, BothWaysLeaveEqualTablesAndEmptyJournals) {
  Run(*main_,
      {"INSERT INTO DOKUMENTY (ID, NAZWA, ILOSC, WARTOSC, IDKONTRAHENTA, DATA, DANE, OPIS, "
       "DATAUTW) VALUES (1, 'Pierwszy; z ' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'linia', "
       "12.5, 0.1, 7, '2023-07-16', ASCII_CHAR(0) || 'bin' || ASCII_CHAR(255), '', "
       "'2023-07-16 12:34:56.789')",
       "INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC) VALUES (2, 'Drugi', -1.5E-6)",
       "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (3, 'Trzeci')",
       "INSERT INTO TOWARY (ID, NAZWA, CENA, CENAZAKUPU, KOD, JM, STAWKAVAT, OPIS, ZDJECIE, RABAT, "
       "CENANETTO, ILOSCMIN) VALUES (10, 'Sruba', 12.5, 8.25, 'K1', 'szt', 23, 'opis; towaru', '', "
       "12.34, 1234567.89, 5)",
       "INSERT INTO FAKHEAD (ID, NAZWA, SYMBOL, WARTOSC, STATUS, UWAGI, KWOTA) "
       "VALUES (20, 'FV', 'FV/1', 1E20, 1, 'Uwagi', 3.5)",
       "INSERT INTO URZADZENIA (ID, IDURZADZENIADANE, NAZWA) VALUES (30, 31, 'Kocioł')",
       "INSERT INTO BLOKADY (IDBLOKADY, IDSESJI, TYPOBIEKTU, IDOBIEKTU) VALUES (40, 1, 1, 3)",
       "UPDATE DOKUMENTY SET OPIS = 'zmieniony' WHERE ID = 2",
       "DELETE FROM DOKUMENTY WHERE ID = 3"});
  ASSERT_TRUE(Replicate(*main_, *copy_));
  ExpectSameTables();

  // Values cleared to NULL travel too between our own sites, in both directions: text, number,
  // date and BLOB.
  Run(*copy_, {"UPDATE DOKUMENTY SET OPIS = NULL, DANE = NULL, DATA = NULL, WARTOSC = 2.75 "
               "WHERE ID = 1",
               "UPDATE TOWARY SET CENA = NULL WHERE ID = 10",
               "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (10500001, 'z kopii')",
               "DELETE FROM BLOKADY WHERE IDBLOKADY = 40"});
  ASSERT_TRUE(Replicate(*copy_, *main_));
  EXPECT_EQ(Query(main_->path, "SELECT COALESCE(OPIS, 'NULL') FROM DOKUMENTY WHERE ID = 1"),
            "NULL");
  ExpectSameTables();

  Run(*main_, {"UPDATE DOKUMENTY SET NAZWA = NULL, WARTOSC = NULL WHERE ID = 2",
               "UPDATE FAKHEAD SET UWAGI = NULL WHERE ID = 20"});
  ASSERT_TRUE(Replicate(*main_, *copy_));
  EXPECT_EQ(Query(copy_->path, "SELECT COALESCE(NAZWA, 'NULL') FROM DOKUMENTY WHERE ID = 2"),
            "NULL");
  ExpectSameTables();

  // To a peer that has not agreed on explicit NULLs a cleared column is absent: left as it is.
  Run(*main_, {"UPDATE DOKUMENTY SET OPIS = NULL, NAZWA = 'bez NULL' WHERE ID = 2"});
  const PreparedChanges plain = main_->Export(NullColumns::kLeftOut);
  EXPECT_EQ(plain.payload.find(";5;"), std::string::npos);
  ASSERT_EQ(copy_->ImportPayload(plain.payload), ImportOutcome::kDone) << copy_->Error();
  EXPECT_EQ(Query(copy_->path, "SELECT NAZWA || '|' || OPIS FROM DOKUMENTY WHERE ID = 2"),
            "bez NULL|zmieniony");
}

TEST_F(RoundTripTest, ApplyingABatchTwiceChangesNothing) {
  Run(*main_, {"INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC) VALUES (1, 'a', 1.25)",
               "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (2, 'b')",
               "UPDATE DOKUMENTY SET NAZWA = 'c' WHERE ID = 1"});
  ASSERT_TRUE(Replicate(*main_, *copy_));
  Run(*copy_, {"UPDATE DOKUMENTY SET NAZWA = 'd', WARTOSC = NULL WHERE ID = 1",
               "DELETE FROM DOKUMENTY WHERE ID = 2"});
  const PreparedChanges changes = copy_->Export();
  ASSERT_EQ(main_->ImportPayload(changes.payload), ImportOutcome::kDone) << main_->Error();
  ASSERT_EQ(main_->ImportPayload(changes.payload), ImportOutcome::kDone) << main_->Error();
  EXPECT_EQ(main_->count, 1);  // the update again; the delete of a missing record is skipped
  ASSERT_TRUE(copy_->Confirm(changes));
  ExpectSameTables();
}

// A batch whose records all vanished at the sender carries no record text; it is confirmed all
// the same, so its entries are not sent forever.
TEST_F(RoundTripTest, EntriesOfVanishedRecordsAreClearedByAnEmptyBatch) {
  Exec(main_->path,
       "INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY, PRIORYTET) "
       "VALUES (GEN_ID(REPZMIANY_ID, 1), 1, 0, 999, 1, 5)");
  const PreparedChanges changes = main_->Export();
  ASSERT_EQ(changes.count, 1);
  std::string_view records = changes.payload;
  CutChangePayloadHeader(records);
  ASSERT_TRUE(records.empty());
  ASSERT_EQ(copy_->Import(records), ImportOutcome::kDone);
  EXPECT_EQ(copy_->count, 0);
  ASSERT_TRUE(main_->Confirm(changes));
  EXPECT_EQ(Journal(*main_), 0);
  EXPECT_EQ(main_->Export().count, 0);
}

}  // namespace
}  // namespace tramolin::testing
