// Records read from a real database as record text: the format's reference example, number
// texts, texts and BLOBs of any bytes, NULL against empty, the decimal aliases, vanished records,
// unknown tables and the error path with its progress trace.
#include "engine/record_reader.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine_fixture.h"

namespace tramolin::testing {
namespace {

using fb::TransactionItem;

class RecordReaderTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    db_ = std::make_unique<Db>(MainPath());
  }
  void TearDown() override {
    db_.reset();
    EngineFixture::TearDown();
  }

  struct Db {
    explicit Db(const std::string& path) {
      attachment.Open(path, AdminParams());
      tool_transaction.Start();
      LoadDecimalFields(tool, decimals);
      tool_transaction.Commit();
    }
    fb::Attachment attachment;
    fb::Transaction get_data{attachment, {TransactionItem::kConcurrency, TransactionItem::kNowait}};
    fb::Transaction tool_transaction{
        attachment,
        {TransactionItem::kReadCommitted, TransactionItem::kRecVersion, TransactionItem::kNowait}};
    fb::Statement tool{tool_transaction};
    TDecimalManager decimals;
    TRecordReader reader{get_data, decimals};
  };

  std::string Read(std::int32_t id, std::int32_t table = 29, std::int32_t change = 1) {
    return db_->reader.PrzygotujRekord(id, table, true, change);
  }
  // Reads and expects the error path; returns the message.
  std::string ReadError(std::int32_t id, std::int32_t table, std::int32_t change = 1) {
    try {
      Read(id, table, change);
    } catch (const RecordReadError& e) {
      EXPECT_FALSE(db_->get_data.Active());
      return e.what();
    }
    ADD_FAILURE() << "no error";
    return {};
  }
  void Towar(std::string_view columns, std::string_view values) {
    Exec(MainPath(),
         "INSERT INTO TOWARY (" + std::string(columns) + ") VALUES (" + std::string(values) + ")");
  }

  std::unique_ptr<Db> db_;
};

TEST_F(RecordReaderTest, TheReferenceRecordIsWrittenByteForByte) {
  Towar("ID, CENA, NAZWA", "512, 12.5, 'Sruba'");
  EXPECT_EQ(Read(512), "512;29;1;3;CENA;2;12.5;ID;1;512;NAZWA;0;5;Sruba;");
  EXPECT_EQ(Read(513, 29, 2), "513;29;2;");
  EXPECT_FALSE(db_->get_data.Active());
}

TEST_F(RecordReaderTest, DoublePrecisionColumnsTravelOnceThroughTheirAliases) {
  EXPECT_TRUE(db_->decimals.IsDecimalField("TOWARY", "CENA"));
  EXPECT_TRUE(db_->decimals.IsDecimalField("towary", "CENAZAKUPU"));  // NUMERIC(18,2)
  EXPECT_FALSE(db_->decimals.IsDecimalField("TOWARY", "NAZWA"));
  Towar("ID, CENA, CENAZAKUPU", "7, 0.1, 7.25");
  EXPECT_EQ(Read(7), "7;29;1;3;CENA;2;0.1;CENAZAKUPU;2;7.25;ID;1;7;");
  EXPECT_EQ(db_->reader.StatementText(),
            "SELECT CAST(X.CENA AS DECIMAL(18,18)) CENA$,CAST(X.CENAZAKUPU AS DECIMAL(18,18)) "
            "CENAZAKUPU$,X.* FROM TOWARY X WHERE X.ID=:ID");
}

TEST_F(RecordReaderTest, NumbersAndDatesUseTheShortestFifteenDigitText) {
  Towar("ID, CENA, DATAUTW", "1, 45123.5, '2023-07-16 12:00'");
  Towar("ID, CENA", "2, 0.0001");
  Towar("ID, CENA", "3, 0.00005");
  Towar("ID, CENA", "4, 1.5e-6");
  Towar("ID, CENA", "5, 1e20");
  Towar("ID, CENA", "6, -1234567.875");
  EXPECT_EQ(Read(1), "1;29;1;3;CENA;2;45123.5;ID;1;1;DATAUTW;3;45123.5;");
  EXPECT_EQ(Read(2), "2;29;1;2;CENA;2;0.0001;ID;1;2;");
  EXPECT_EQ(Read(3), "3;29;1;2;CENA;2;5E-5;ID;1;3;");
  EXPECT_EQ(Read(4), "4;29;1;2;CENA;2;1.5E-6;ID;1;4;");
  EXPECT_EQ(Read(5), "5;29;1;2;CENA;2;1E20;ID;1;5;");
  EXPECT_EQ(Read(6), "6;29;1;2;CENA;2;-1234567.875;ID;1;6;");
}

TEST_F(RecordReaderTest, TextsAndBlobsCarryAnyBytesAndEmptyDiffersFromNull) {
  {
    TestConnection db(MainPath());
    db.transaction.Start();
    fb::Statement insert(db.transaction,
                         "INSERT INTO TOWARY (ID, NAZWA, KOD, OPIS, ZDJECIE) "
                         "VALUES (9, :NAZWA, :KOD, :OPIS, :ZDJECIE)");
    insert.ParamByName("NAZWA").SetString("a;b\r\nc");
    insert.ParamByName("KOD").SetString("");
    insert.ParamByName("OPIS").SetString("");
    insert.ParamByName("ZDJECIE").SetBlob(std::string("x\0;", 3));
    insert.Execute();
    db.transaction.Commit();
  }
  // KOD is CHAR(20): its padding is part of the value.
  EXPECT_EQ(Read(9), "9;29;1;5;ID;1;9;NAZWA;0;6;a;b\r\nc;KOD;0;20;" + std::string(20, ' ') +
                         ";OPIS;4;0;ZDJECIE;4;3;" + std::string("x\0;", 3) + ";");
  Towar("ID, NAZWA", "10, ''");
  EXPECT_EQ(Read(10), "10;29;1;2;ID;1;10;NAZWA;0;0;");
  Towar("ID", "11");
  EXPECT_EQ(Read(11), "11;29;1;1;ID;1;11;");
}

TEST_F(RecordReaderTest, AVanishedRecordGivesNothingUnlessDeleted) {
  EXPECT_EQ(Read(404, 29, 0), "");
  EXPECT_EQ(Read(404, 29, 1), "");
  EXPECT_EQ(Read(404, 29, 2), "404;29;2;");
}

TEST_F(RecordReaderTest, TableNumbersOutsideTheCatalogueGiveNothingWithoutError) {
  Towar("ID", "1");
  EXPECT_EQ(Read(1, 137), "");
  EXPECT_EQ(Read(1, -1), "");
  EXPECT_EQ(Read(1, 137, 2), "");
}

TEST_F(RecordReaderTest, WithoutOwnTransactionTheCallersSnapshotIsRead) {
  db_->get_data.Start();
  Towar("ID", "21");  // committed after the snapshot began
  EXPECT_EQ(db_->reader.PrzygotujRekord(21, 29, false, 0), "");
  EXPECT_TRUE(db_->get_data.Active());
  db_->get_data.Commit();
  EXPECT_EQ(db_->reader.PrzygotujRekord(21, 29, true, 0), "21;29;0;1;ID;1;21;");
}

TEST_F(RecordReaderTest, AMissingTableFailsWithTheTraceOfWhereItStopped) {
  Exec(MainPath(), "DROP TABLE KSEF");
  const std::string message = ReadError(3, 128);
  EXPECT_EQ(message.rfind("PrzygotujRekord(3,128,1){012345} \"", 0), 0u) << message;
  EXPECT_NE(message.find("KSEF"), std::string::npos) << message;
  EXPECT_EQ(message.back(), '"');
}

TEST_F(RecordReaderTest, ScaledIntegersTravelAsExactTextAndNullsAreLeftOut) {
  Exec(MainPath(), "ALTER TABLE TYP ADD UDZIAL NUMERIC(9,2)");
  Exec(MainPath(), "INSERT INTO TYP (ID, NAZWA) VALUES (1, 'x')");
  EXPECT_EQ(Read(1, 30), "1;30;1;2;ID;1;1;NAZWA;0;1;x;");
  Exec(MainPath(), "UPDATE TYP SET UDZIAL = -1.5");
  EXPECT_EQ(Read(1, 30), "1;30;1;3;ID;1;1;NAZWA;0;1;x;UDZIAL;0;5;-1.50;");
  Towar("ID, RABAT, CENANETTO, ILOSCMIN", "2, 0.07, 1234567.89, 42");
  EXPECT_EQ(Read(2), "2;29;1;4;ID;1;2;RABAT;0;4;0.07;CENANETTO;0;10;1234567.89;ILOSCMIN;1;42;");
}

TEST_F(RecordReaderTest, AnArrayColumnFailsTheWholeRecordAndIsNamed) {
  Exec(MainPath(), "ALTER TABLE TYP ADD TABELA INTEGER[3]");
  Exec(MainPath(), "INSERT INTO TYP (ID, NAZWA) VALUES (1, 'x')");
  // Even a NULL value: the table's rows cannot travel whole, so none goes half.
  const std::string message = ReadError(1, 30);
  EXPECT_NE(message.find("TABELA: ARRAY"), std::string::npos) << message;
  EXPECT_NE(message.find("_ID_NAZWA"), std::string::npos) << message;
  // A delete needs no columns.
  EXPECT_EQ(Read(1, 30, 2), "1;30;2;");
}

}  // namespace
}  // namespace tramolin::testing
