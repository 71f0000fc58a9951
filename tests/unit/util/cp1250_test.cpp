#include "util/cp1250.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

TEST(Cp1250Test, LiteralsAreConvertedAtCompileTime) {
  constexpr std::string_view text = "Łączenie źle"_cp;
  static_assert(text.size() == 12);
  EXPECT_EQ(text, "\xA3\xB9\x63zenie \x9F\x6C\x65");
}

TEST(Cp1250Test, RoundTripThroughUtf8KeepsPolishLetters) {
  const std::string utf8 = "Zażółć gęślą jaźń ĄĘŚĆŻŹŃÓŁ";
  EXPECT_EQ(Cp1250ToUtf8(Utf8ToCp1250(utf8)), utf8);
}

TEST(Cp1250Test, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1250("a€b漢c"),
            "a\x80"
            "b?c");
  EXPECT_EQ(Utf8ToCp1250("\xFF"), "?");
}

TEST(Cp1250Test, CaseMappingCoversPolishLetters) {
  EXPECT_EQ(UpperCase("zażółć"_cp), "ZAŻÓŁĆ"_cp);
  EXPECT_EQ(LowerCase("ĄĘŚŹ"_cp), "ąęśź"_cp);
  EXPECT_TRUE(SameTextIgnoringCase("Łódź"_cp, "ŁÓDŹ"_cp));
  EXPECT_EQ(UpperCase("\xDF\xF7"), "\xDF\xF7");  // sharp s and division sign have no upper case
}

TEST(Cp1250Test, LiteralsJoinWithOtherTextIntoStrings) {
  const std::string name = "x.fdb";
  EXPECT_EQ("Łączenie z "_cp + name,
            "\xA3\xB9"
            "czenie z x.fdb");
  EXPECT_EQ(name + " żółw"_cp, "x.fdb \xBF\xF3\xB3w");
  EXPECT_EQ("a"_cp + "ą"_cp, "a\xB9");
}

}  // namespace
}  // namespace tramolin
