#include "util/wildcard.h"

#include <gtest/gtest.h>

#include <string>

#include "util/cp1250.h"

namespace tramolin {
namespace {

TEST(WildcardTest, StarAndQuestionMarkCoverTheWholeText) {
  EXPECT_TRUE(MatchesWildcard("10.0.0.15", "10.0.0.*"));
  EXPECT_TRUE(MatchesWildcard("", "*"));
  EXPECT_TRUE(MatchesWildcard("biuro1", "biuro?"));
  EXPECT_FALSE(MatchesWildcard("biuro", "biuro?"));
  EXPECT_FALSE(MatchesWildcard("biuro12", "biuro?"));
  EXPECT_FALSE(MatchesWildcard("10.0.0.15x", "10.0.0.1?"));
  EXPECT_TRUE(MatchesWildcard("abcbcd", "*bc*d"));
  EXPECT_FALSE(MatchesWildcard("abc", ""));
}

TEST(WildcardTest, SetsRangesAndNegation) {
  EXPECT_TRUE(MatchesWildcard("host7", "host[0-9]"));
  EXPECT_FALSE(MatchesWildcard("hostx", "host[0-9]"));
  EXPECT_TRUE(MatchesWildcard("hostx", "host[!0-9]"));
  EXPECT_FALSE(MatchesWildcard("host7", "host[!0-9]"));
  EXPECT_TRUE(MatchesWildcard("b", "[abc]"));
  EXPECT_TRUE(MatchesWildcard("-", "[a-]"));
  EXPECT_FALSE(MatchesWildcard("b", "[a-]"));
}

TEST(WildcardTest, LettersIgnoreCaseIncludingPolish) {
  EXPECT_TRUE(MatchesWildcard("BIURO", "bi*o"));
  EXPECT_TRUE(MatchesWildcard("Q", "[p-r]"));
  EXPECT_TRUE(MatchesWildcard("ŁÓDŹ"_cp, "łódź"_cp));
  EXPECT_TRUE(MatchesWildcard("ą"_cp, "[Ą]"_cp));
}

TEST(WildcardTest, MalformedMasksRaiseWithPosition) {
  auto message = [](std::string_view mask) {
    try {
      MatchesWildcard("x", mask);
    } catch (const InvalidMaskError& error) {
      return std::string(error.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("ab[cd"), "'ab[cd' is an invalid mask at (3)");
  EXPECT_EQ(message("[-a]"), "'[-a]' is an invalid mask at (2)");
  EXPECT_EQ(message("[!-a]"), "'[!-a]' is an invalid mask at (3)");
  EXPECT_EQ(message(std::string(31, '*')),
            "'" + std::string(31, '*') + "' is an invalid mask at (31)");
  EXPECT_EQ(message(std::string(30, '*')), "no error");
}

TEST(WildcardTest, ManyStarsOnALongMissStayFast) {
  const std::string text(20'000, 'a');
  std::string mask;
  for (int i = 0; i < 30; ++i) mask += "*a";
  EXPECT_FALSE(MatchesWildcard(text, mask + "b"));
  EXPECT_TRUE(MatchesWildcard(text, mask));
}

}  // namespace
}  // namespace tramolin
