// The conflict journal on a copy: which fields differ and how their values are written.
#include "engine/conflict_journal.h"

#include <gtest/gtest.h>

#include "import_fixture.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class ConflictJournalTest : public ImportFixture {
 protected:
  void SetUp() override {
    ImportFixture::SetUp();
    journal_ = std::make_unique<TConflictJournal>(copy_->Db(), copy_->host);
  }
  void TearDown() override {
    journal_.reset();
    ImportFixture::TearDown();
  }
  long long Heads() { return QueryInt(copy_->path, "SELECT COUNT(*) FROM REPKONFLHEAD"); }
  // VOLD|VNEW of one detail row, and whether its BLOBs are NULL.
  std::string Detail(std::string_view column) {
    return Query(copy_->path,
                 "SELECT VOLD || '|' || VNEW || '|' || "
                 "IIF(VOLDBLB IS NULL AND VNEWBLB IS NULL, 'NULL', 'BLOB') FROM REPKONFLDETAIL "
                 "WHERE NAZWAPOLA = '" +
                     std::string(column) + "'");
  }
  std::string Blob(std::string_view which, std::string_view column) {
    return Query(copy_->path, "SELECT " + std::string(which) +
                                  " FROM REPKONFLDETAIL WHERE NAZWAPOLA = '" + std::string(column) +
                                  "'");
  }

  std::unique_ptr<TConflictJournal> journal_;
};

TEST_F(ConflictJournalTest, EqualRecordsWriteNothing) {
  const TRekord local = Record(7, 0, 0,
                               {IntegerField("ID", 7), TextField("NAZWA", "a"),
                                FloatField("WARTOSC", 1.5), TextField("OPIS", "tylko")});
  TRekord incoming = local;
  incoming.fields.pop_back();  // NULL at the sender: not compared
  EXPECT_EQ(journal_->DetectConflict(local, incoming), 0);
  EXPECT_EQ(Heads(), 0);
  EXPECT_EQ(copy_->host.CountLines("REPKONFL 0"), 1);
}

TEST_F(ConflictJournalTest, EachDifferingFieldGetsOneDetailRowInItsFormat) {
  const TRekord local =
      Record(7, 0, 1,
             {IntegerField("ID", 7), IntegerField("IDOPERATORA", 3), FloatField("WARTOSC", 1.5),
              DateTimeField("DATA", 45123.5), BlobField("DANE", "old"), TextField("NAZWA", "a")});
  const TRekord incoming = Record(
      7, 0, 1,
      {IntegerField("ID", 7), IntegerField("IDOPERATORA", 4), FloatField("WARTOSC", 2.25),
       DateTimeField("DATA", 45124.75), BlobField("DANE", std::string("n\0w", 3)),
       TextField("NAZWA", "a"), TextField("OPIS", "nowy"), DateTimeField("DATAUTW", 45123.5)});
  EXPECT_EQ(journal_->DetectConflict(local, incoming), 1);
  EXPECT_EQ(Heads(), 1);
  EXPECT_EQ(QueryInt(copy_->path,
                     "SELECT COUNT(*) FROM REPKONFLDETAIL D JOIN REPKONFLHEAD H "
                     "ON H.ID = D.IDHEAD AND H.IDREKORDU = 7 AND H.IDTABELI = 0 "
                     "AND H.IDREPKOPIE = 1 AND H.IDOPERATORACZYTAJACEGO = -1"),
            6);
  EXPECT_EQ(Detail("IDOPERATORA"), "3|4|NULL");
  EXPECT_EQ(Detail("WARTOSC"), "1.5|2.25|NULL");
  EXPECT_EQ(Detail("DATA"), "2023.07.16 12:00:00|2023.07.17 18:00:00|NULL");
  EXPECT_EQ(Detail("DANE"), "||BLOB");
  EXPECT_EQ(Blob("VOLDBLB", "DANE"), "old");
  EXPECT_EQ(Blob("VNEWBLB", "DANE"), std::string("n\0w", 3));
  EXPECT_EQ(Detail("OPIS"), "|nowy|NULL");  // NULL locally: an empty old value
  EXPECT_EQ(Detail("DATAUTW"), "1899.12.30 00:00:00|2023.07.16 12:00:00|NULL");
  // A value an agreeing peer cleared overwrites this one: its new value is NULL.
  TRekord cleared = local;
  cleared.fields = {NullField("NAZWA", FieldType::kText), NullField("DANE", FieldType::kBlob),
                    NullField("OPIS", FieldType::kText)};
  EXPECT_EQ(FindDifferences(local, cleared).count, 2) << "OPIS is NULL on both sides";
  EXPECT_EQ(journal_->DetectConflict(local, cleared), 1);
  EXPECT_EQ(Query(copy_->path,
                  "SELECT VOLD || '|' || COALESCE(VNEW, '<NULL>') FROM REPKONFLDETAIL "
                  "WHERE NAZWAPOLA = 'NAZWA' AND VNEW IS NULL"),
            "a|<NULL>");
  EXPECT_EQ(copy_->host.CountLines("REPKONFL ID="), 2);
  EXPECT_TRUE(copy_->host.lines.back().text == "REPKONFL 1");
}

TEST_F(ConflictJournalTest, AFailedWriteIsRolledBackAndLogged) {
  TKonflikt conflict;
  conflict.record_id = 7;
  conflict.count = 1;
  conflict.old_fields = {TextField(std::string(150, 'X'), "a")};  // longer than NAZWAPOLA
  conflict.new_fields = conflict.old_fields;
  EXPECT_EQ(journal_->WriteConflict(conflict), 0);
  EXPECT_EQ(Heads(), 0);
  EXPECT_EQ(copy_->host.CountLines("Wystąpił błąd w czasie logowania konfliktów :\r\n"_cp), 1);
  EXPECT_EQ(copy_->host.lines.back().level, 1);
}

}  // namespace
}  // namespace tramolin::testing
