// Extra-column definitions add and drop USER<id> columns; attachment requests store a linked
// file's content inside the database.
#include "engine/schema_adaptation.h"

#include <gmock/gmock.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "host_fixture.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin::testing {
namespace {

class SchemaAdaptationTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    Open();
    ASSERT_TRUE(db_->ConnectDatabase());
    adaptation_.emplace(*db_, host_);
  }
  void TearDown() override {
    adaptation_.reset();
    HostFixture::TearDown();
  }

  long long ColumnCount(std::string_view table, std::string_view column) {
    return Count(Concat({"RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '", table,
                         "' AND RDB$FIELD_NAME = '", column, "'"}));
  }
  // Definition 512 as the import hands it over.
  void Adapt(int change_type, int deleted, int location = 8, int type = 2) {
    TRekord definition{512, 24, change_type, {}};
    if (deleted >= 0) definition.fields.push_back(IntegerField("USUNIETY", deleted));
    definition.fields.push_back(IntegerField("LOKALIZACJA", location));
    definition.fields.push_back(IntegerField("TYP", type));
    adaptation_->AdaptExtraColumn(definition, change_type, "3 ");
  }

  std::optional<TSchemaAdaptation> adaptation_;
};

TEST_F(SchemaAdaptationTest, DefinitionAddsAndDropsItsColumnOnce) {
  Adapt(kChangeInsert, 0);
  ASSERT_EQ(ColumnCount("TOWARY", "USER512"), 1);
  EXPECT_EQ(host_.lines.back().text, "3 PDNEW \"TOWARY USER512 VARCHAR(250) COLLATE PXW_PLK\"");
  EXPECT_EQ(host_.lines.back().level, 7);
  EXPECT_EQ(Query(MainPath(),
                  "SELECT F.RDB$FIELD_TYPE || ':' || F.RDB$CHARACTER_LENGTH || ':' || "
                  "TRIM(C.RDB$COLLATION_NAME) FROM RDB$RELATION_FIELDS R "
                  "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE "
                  "JOIN RDB$COLLATIONS C ON C.RDB$COLLATION_ID = R.RDB$COLLATION_ID "
                  "AND C.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID "
                  "WHERE R.RDB$RELATION_NAME = 'TOWARY' AND R.RDB$FIELD_NAME = 'USER512'"),
            "37:250:PXW_PLK");
  Adapt(kChangeInsert, 0);
  EXPECT_EQ(ColumnCount("TOWARY", "USER512"), 1);

  Adapt(kChangeUpdate, 1);
  EXPECT_EQ(ColumnCount("TOWARY", "USER512"), 0);
  EXPECT_EQ(host_.lines.back().text, "3 PDDEL \"TOWARY USER512\"");
  Adapt(kChangeUpdate, 1);
  EXPECT_EQ(ColumnCount("TOWARY", "USER512"), 0);
  EXPECT_FALSE(Internals(*db_).IBTTool().Active());
}

TEST_F(SchemaAdaptationTest, OtherCombinationsAndUnknownIndicesChangeNoColumn) {
  struct Case {
    int change_type, deleted, location, type;
    bool column_before;
  };
  const Case cases[] = {
      {kChangeInsert, 1, 8, 2, false},  {kChangeInsert, -1, 8, 2, false},
      {kChangeInsert, 0, 25, 2, false}, {kChangeInsert, 0, 0, 2, false},
      {kChangeInsert, 0, 8, 3, false},  {kChangeInsert, 0, 8, 13, false},
      {kChangeUpdate, 0, 8, 2, true},   {kChangeDelete, 1, 8, 2, true},
      {kChangeUpdate, 1, 25, 2, true},
  };
  for (const Case& c : cases) {
    if (c.column_before && ColumnCount("TOWARY", "USER512") == 0) {
      Sql("ALTER TABLE TOWARY ADD USER512 Integer");
    }
    const long long user_columns = Count("RDB$RELATION_FIELDS WHERE RDB$FIELD_NAME = 'USER512'");
    Adapt(c.change_type, c.deleted, c.location, c.type);
    EXPECT_EQ(Count("RDB$RELATION_FIELDS WHERE RDB$FIELD_NAME = 'USER512'"), user_columns)
        << c.change_type << " " << c.deleted << " " << c.location << " " << c.type;
  }
}

TEST_F(SchemaAdaptationTest, FailingAlterNamesTheOperationAndRollsBack) {
  const auto error_of = [](const std::function<void()>& work) -> std::string {
    try {
      work();
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_THAT(error_of([&] { adaptation_->DodajPole("BRAKTABELI", "USER7", "Integer"); }),
              ::testing::StartsWith("DodajPole(BRAKTABELI, USER7,Integer): \""));
  EXPECT_THAT(error_of([&] { adaptation_->UsunPole("TOWARY", "ID"); }),
              ::testing::StartsWith("UsunPole(ID, TOWARY): \""));
  EXPECT_FALSE(Internals(*db_).IBTTool().Active());
  EXPECT_EQ(ColumnCount("TOWARY", "ID"), 1);
}

class AttachmentTest : public SchemaAdaptationTest {
 protected:
  // Attachment 5 linking to `stored_path` (code page 1250).
  void Link(const std::string& stored_path, int kind = 1) {
    Sql("INSERT INTO ZALACZNIKI (ID, TYPZALACZNIKA, NAZWA) VALUES (5, " + std::to_string(kind) +
        ", '" + stored_path + "')");
  }
  std::string Write(const std::string& utf8_name, const std::string& content) {
    const std::filesystem::path path = Dir() / utf8_name;
    std::ofstream(path, std::ios::binary) << content;
    return Utf8ToCp1250(path.string());
  }
  void Import(int id = 5) { adaptation_->ImportAttachment(id, result_, message_); }

  int result_ = 0;
  std::string message_;
};

TEST_F(AttachmentTest, StoresTheWholeFileUnderItsUpperCasedBareName) {
  struct Case {
    std::string utf8_name;
    std::string stored_name;
  };
  std::string content(100'000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  for (const Case& c :
       {Case{"Dok\\umowa.pdf", "UMOWA.PDF"}, Case{"łódź.txt", std::string("ŁÓDŹ.TXT"_cp)}}) {
    Sql("DELETE FROM ZALACZNIKI");
    Link(Write(c.utf8_name, content));
    Import();
    EXPECT_EQ(result_, 1) << message_;
    EXPECT_EQ(message_, "");
    EXPECT_EQ(Query(MainPath(), "SELECT NAZWA FROM ZALACZNIKI WHERE ID = 5"), c.stored_name);
    EXPECT_EQ(Query(MainPath(), "SELECT TYPZALACZNIKA FROM ZALACZNIKI WHERE ID = 5"), "0");
    EXPECT_TRUE(Query(MainPath(), "SELECT ZALACZNIK FROM ZALACZNIKI WHERE ID = 5") == content);
  }
  EXPECT_EQ(host_.CountLines("Import załącznika ID=5"_cp), 2);
  EXPECT_EQ(host_.lines.back().text, "Przetworzono: [1] \"\"");
  EXPECT_FALSE(Internals(*db_).IBTSQL().Active());
}

TEST_F(AttachmentTest, RequestsThatCannotBeMetAnswerTwoWithTheReason) {
  const std::string missing = Utf8ToCp1250((Dir() / "brak.pdf").string());
  const std::string long_missing = missing + std::string(240 - missing.size(), 'x');
  struct Case {
    int id, kind;
    std::string stored_path, message;
  };
  const Case cases[] = {
      {9, 1, missing, std::string("Nie znaleziono załącznika o ID=9"_cp)},
      {5, 0, missing, std::string("Nieprawidłowy typu załącznika: 0"_cp)},
      {5, 1, missing, "Brak dostępu do pliku, lub plik nie istnieje: "_cp + "\"" + missing + "\""},
      {5, 1, Utf8ToCp1250(Dir().string()),
       "Brak dostępu do pliku, lub plik nie istnieje: "_cp + "\"" + Dir().string() + "\""},
      {5, 1, long_missing,
       ("Brak dostępu do pliku, lub plik nie istnieje: "_cp + "\"" + long_missing).substr(0, 250)},
  };
  for (const Case& c : cases) {
    Sql("DELETE FROM ZALACZNIKI");
    Link(c.stored_path, c.kind);
    Import(c.id);
    EXPECT_EQ(result_, 2);
    EXPECT_EQ(message_, c.message);
    EXPECT_EQ(host_.lines.back().text, "Przetworzono: [2] \"" + c.message + "\"");
    EXPECT_EQ(Query(MainPath(), "SELECT TYPZALACZNIKA FROM ZALACZNIKI"), std::to_string(c.kind));
  }
}

TEST_F(AttachmentTest, FilesOutsideTheAttachmentFoldersAreRefusedUnread) {
  namespace fs = std::filesystem;
  fs::create_directories(Dir() / "zal");
  fs::create_directories(Dir() / "zal2");
  const std::string inside = Write("zal/umowa.pdf", "umowa");
  fs::create_symlink(Dir() / "poza.pdf", Dir() / "zal" / "link.pdf");
  const std::string folder = Utf8ToCp1250((Dir() / "zal").string());
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{folder}, Write("poza.pdf", "tajne")},
      {{folder}, folder + "/../poza.pdf"},
      {{folder}, folder + "/link.pdf"},
      {{folder}, Write("zal2/umowa.pdf", "x")},
      {{folder}, Utf8ToCp1250((Dir() / "brak.pdf").string())},  // not even looked for
      {{}, inside},
      {{"zal"}, inside},  // a relative folder allows nothing
  };
  for (const auto& [folders, stored_path] : cases) {
    db_->Settings().attachment_folders = folders;
    Sql("DELETE FROM ZALACZNIKI");
    Link(stored_path);
    Import();
    EXPECT_EQ(result_, 2) << stored_path;
    EXPECT_EQ(message_, ("Brak dostępu do pliku spoza folderów załączników: \""_cp + stored_path +
                         "\" (ustaw [Tramolin] AttachmentFolders)")
                            .substr(0, 250));
    EXPECT_EQ(Query(MainPath(), "SELECT TYPZALACZNIKA FROM ZALACZNIKI"), "1");
  }
  fs::create_directory_symlink(Dir() / "zal", Dir() / "zal-link");
  db_->Settings().attachment_folders = {folder + "-link/"};  // counts as the folder it leads to
  Import();                                                  // of the last link, `inside`
  EXPECT_EQ(result_, 1) << message_;
}

TEST_F(AttachmentTest, UnreadableFileAnswersTwoWithTheSystemsReason) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  const std::string path = Write("tajne.pdf", "x");
  std::filesystem::permissions(Dir() / "tajne.pdf", std::filesystem::perms::none);
  Link(path);
  Import();
  EXPECT_EQ(result_, 2);
  EXPECT_EQ(message_, "Brak dostępu do pliku: "_cp + "\"" + path + "\" Permission denied");
}

}  // namespace
}  // namespace tramolin::testing
