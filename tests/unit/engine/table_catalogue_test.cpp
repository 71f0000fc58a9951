#include "engine/table_catalogue.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

TEST(TableCatalogueTest, EveryNumberHasAUsableEntryWhoseNameLeadsBackToIt) {
  ASSERT_EQ(TableCatalogue().size(), 137u);
  for (std::int32_t number = 0; number < kTableCount; ++number) {
    const TTableInfo* info = TableInfo(number);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->IsUsable()) << number;
    EXPECT_EQ(TableNumber(info->name), number) << info->name;
  }
}

TEST(TableCatalogueTest, NumbersOutsideTheCatalogueHaveNoEntry) {
  EXPECT_EQ(TableInfo(-1), nullptr);
  EXPECT_EQ(TableInfo(137), nullptr);
  EXPECT_EQ(TableNumber("NIEISTNIEJE"), std::nullopt);
  EXPECT_EQ(TableNumber(""), std::nullopt);
}

TEST(TableCatalogueTest, NamesAreFoundIgnoringCase) {
  EXPECT_EQ(TableNumber("towary"), 29);
  EXPECT_EQ(TableNumber("Plany_Wagi"), 115);
  EXPECT_EQ(TableNumber("AIKBDETAIL"), 136);
}

TEST(TableCatalogueTest, EntriesCarryTheirLockingAndImportRules) {
  const TTableInfo& urzadzenia = *TableInfo(55);
  EXPECT_EQ(urzadzenia.name, "URZADZENIA");
  EXPECT_EQ(urzadzenia.event_name, "URZADZENIE");
  EXPECT_EQ(urzadzenia.lock_object_type, 62);
  EXPECT_EQ(urzadzenia.lock_id_column, "IDURZADZENIADANE");
  EXPECT_TRUE(urzadzenia.log_conflicts);
  EXPECT_FALSE(urzadzenia.commit_each);

  const TTableInfo& blokady = *TableInfo(53);
  EXPECT_EQ(blokady.key_column, "IDBLOKADY");
  EXPECT_TRUE(blokady.commit_each);
  EXPECT_EQ(blokady.lock_object_type, -1);
  EXPECT_FALSE(blokady.log_conflicts);

  EXPECT_TRUE(TableInfo(109)->commit_each);  // POCZTAPRZYP
  EXPECT_TRUE(TableInfo(110)->commit_each);  // KONTRAHENTTOWARY
  EXPECT_EQ(TableInfo(32)->event_name, "WIADOMOSCHEAD");
  EXPECT_FALSE(TableInfo(32)->log_conflicts);
  EXPECT_TRUE(TableInfo(22)->log_conflicts);  // OPERATOR: no event, no lock
  EXPECT_EQ(TableInfo(22)->event_name, "");
  EXPECT_EQ(TableInfo(136)->lock_object_type, 135);
  EXPECT_FALSE(TableInfo(136)->log_conflicts);
}

TEST(TableCatalogueTest, UnlistedTablesHaveThePlainDefaults) {
  for (std::int32_t number : {4, 20, 24, 70, 112}) {
    const TTableInfo& info = *TableInfo(number);
    EXPECT_EQ(info.key_column, "ID") << info.name;
    EXPECT_EQ(info.event_name, "") << info.name;
    EXPECT_FALSE(info.commit_each) << info.name;
    EXPECT_EQ(info.lock_object_type, -1) << info.name;
    EXPECT_EQ(info.lock_id_column, "") << info.name;
    EXPECT_FALSE(info.log_conflicts) << info.name;
  }
}

TEST(TableCatalogueTest, CountsOfSpecialEntries) {
  int with_event = 0, commit_each = 0, locked = 0, logging = 0;
  for (const TTableInfo& info : TableCatalogue()) {
    with_event += !info.event_name.empty();
    commit_each += info.commit_each;
    locked += info.lock_object_type != -1;
    logging += info.log_conflicts;
  }
  EXPECT_EQ(commit_each, 3);
  EXPECT_EQ(with_event, 28);
  EXPECT_EQ(locked, 29);
  EXPECT_EQ(logging, 30);
}

}  // namespace
}  // namespace tramolin
