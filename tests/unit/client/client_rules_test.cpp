// The client's pure rules: the order of address sources, the day and night interval, the
// automatic start's clock, the server's error reports and the authentication payload.
#include "client/client_rules.h"

#include <gtest/gtest.h>

#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/log_level.h"

namespace tramolin {
namespace {

using Source = AddressSource;

ServerAddresses Addresses(bool service, bool alternative) {
  return {"10.0.0.1", 17846, alternative ? "10.0.0.2" : "", 17846,
          service ? "https://adresy.example/dyndns" : ""};
}

TEST(ClientRulesTest, AFailedSourceIsFollowedByLookupThenAlternativeThenThePause) {
  struct Case {
    Source failed;
    bool service;
    bool alternative;
    std::optional<Source> next;
  };
  const Case cases[] = {
      {Source::kPrimary, true, true, Source::kLookedUp},
      {Source::kPrimary, false, true, Source::kAlternative},
      {Source::kPrimary, false, false, std::nullopt},
      {Source::kLookedUp, true, true, Source::kAlternative},
      {Source::kLookedUp, true, false, std::nullopt},
      {Source::kAlternative, true, true, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextAddressSource(c.failed, Addresses(c.service, c.alternative)), c.next)
        << static_cast<int>(c.failed) << c.service << c.alternative;
  }
}

TEST(ClientRulesTest, AnAlternativeEqualToThePrimaryOrWithoutPortOrHostIsNeverTried) {
  ServerAddresses a = Addresses(false, true);
  EXPECT_TRUE(AlternativeUsable(a));
  a.host2 = a.host;
  EXPECT_FALSE(AlternativeUsable(a));
  a = Addresses(false, true);
  a.port2 = 0;
  EXPECT_FALSE(AlternativeUsable(a));
  a = Addresses(false, true);
  a.host2 = "10.0.0.1 ";  // compared byte by byte
  EXPECT_TRUE(AlternativeUsable(a));
}

double At(int hour, int minute, int second = 0) {
  return ToDayCount({2026, 12, 9, hour, minute, second, 0});
}

TEST(ClientRulesTest, TheIntervalIsTenTimesLongerAtNight) {
  EXPECT_EQ(NextSyncIntervalMs(At(12, 0), 1), 60'000);
  EXPECT_EQ(NextSyncIntervalMs(At(22, 0, 0), 1), 60'000);
  EXPECT_EQ(NextSyncIntervalMs(At(6, 0, 0), 5), 300'000);
  EXPECT_EQ(NextSyncIntervalMs(At(23, 0), 1), 600'000);
  EXPECT_EQ(NextSyncIntervalMs(At(22, 0, 1), 5), 3'000'000);
  EXPECT_EQ(NextSyncIntervalMs(At(5, 59, 59), 1), 600'000);
}

TEST(ClientRulesTest, TheAutomaticStartMatchesOnlyTwoDigitHours) {
  EXPECT_TRUE(AutoStartDue(At(7, 30, 40), "07:30"));
  EXPECT_FALSE(AutoStartDue(At(7, 30), "7:30"));
  EXPECT_FALSE(AutoStartDue(At(7, 31), "07:30"));
  EXPECT_FALSE(AutoStartDue(At(0, 0), ""));
}

TEST(ClientRulesTest, ServerErrorsEndTheConnectionExceptAUsersLock) {
  const ServerErrorReaction locked = ReactionToServerError(5, "w edycji");
  EXPECT_TRUE(locked.keeps_connection);
  EXPECT_EQ(locked.level, kLogProgress);
  EXPECT_EQ(locked.line, "Na serwerze wystąpił błąd w czasie importowania danych: w edycji"_cp);

  const ServerErrorReaction overflow = ReactionToServerError(4, "nieistotne");
  EXPECT_FALSE(overflow.keeps_connection);
  EXPECT_EQ(overflow.level, kLogError);
  EXPECT_EQ(overflow.line,
            "Na serwerze wystąpił błąd w czasie odbierania danych (przepełnienie)"_cp);

  EXPECT_FALSE(ReactionToServerError(6, "x").known);
  EXPECT_FALSE(ReactionToServerError(-1, "x").known);
}

TEST(ClientRulesTest, TheAuthenticationCarriesTheAccessKeyInTheUnusedField) {
  EXPECT_EQ(ClientAuthPayload({1, 4711, "klucz", "119.3", "2.1.5.7", false, true}),
            "1;4711;klucz;119.3;2.1.5.7;0;119;1;nulls,check;");
  EXPECT_EQ(ClientAuthPayload({0, 0, "", "", "2.1.5.7", true, false}),
            "0;0;;;2.1.5.7;1;119;0;nulls,check;");
}

}  // namespace
}  // namespace tramolin
