#include "protocol/payloads.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/features.h"
#include "protocol/packet_types.h"
#include "util/change_payload_header.h"
#include "util/cp1250.h"
#include "util/fields.h"

namespace tramolin {
namespace {

TAUTHData SampleClient() {
  TAUTHData data;
  data.DBNR = 3;
  data.DBID = 1000;
  data.DBVer = "119.4";
  data.RepVer = "2.1.5.100";
  data.BAZA_VER_HIGH = "119";
  data.SendNewDataFirst = true;
  return data;
}

TAUTHData Parsed(std::string_view payload) {
  TAUTHData data;
  ParseAuthData(payload, data);
  return data;
}

TEST(AuthDataTest, BuildsEightFieldsEachClosedBySeparator) {
  EXPECT_EQ(BuildAuthData(SampleClient()), "3;1000;;119.4;2.1.5.100;0;119;1;");
}

TEST(AuthDataTest, ParsesWhatItBuilds) {
  const TAUTHData data = Parsed("3;1000;;119.4;2.1.5.100;1;119;1;");
  EXPECT_EQ(data.DBNR, 3);
  EXPECT_EQ(data.DBID, 1000);
  EXPECT_EQ(data.DBVer, "119.4");
  EXPECT_EQ(data.RepVer, "2.1.5.100");
  EXPECT_TRUE(data.Serwisant);
  EXPECT_EQ(data.BAZA_VER_HIGH, "119");
  EXPECT_TRUE(data.SendNewDataFirst);
}

TEST(AuthDataTest, OnlyOneSetsAFlag) {
  EXPECT_FALSE(Parsed("3;1000;;119.4;2.1.5.100;2;119;2;").Serwisant);
  EXPECT_FALSE(Parsed("3;1000;;119.4;2.1.5.100;0;119;2;").SendNewDataFirst);
}

TEST(AuthDataTest, SevenFieldsLeaveSendNewDataFirstFalse) {
  TAUTHData data;
  data.SendNewDataFirst = true;
  ParseAuthData("3;1000;;119.4;2.1.5.100;0;119;", data);
  EXPECT_FALSE(data.SendNewDataFirst);
  EXPECT_EQ(data.BAZA_VER_HIGH, "119");
}

// A ninth field lists the features of a client of ours; a server of ours answers it "0" with the
// features both support, and an eight-field client the bare "0".
TEST(AuthDataTest, ANinthFieldListsFeaturesAndTheAnswerAgreesOnTheKnownOnes) {
  TAUTHData ours = SampleClient();
  ours.Features = FeatureListText(kSupportedFeatures);
  EXPECT_EQ(BuildAuthData(ours), "3;1000;;119.4;2.1.5.100;0;119;1;nulls,check;");
  EXPECT_EQ(Parsed("3;1000;;119.4;2.1.5.100;0;119;1;nulls;").Features, "nulls");
  EXPECT_EQ(Parsed("3;1000;;119.4;2.1.5.100;0;119;1;").Features, std::nullopt);
  EXPECT_EQ(ParseFeatureList("future,nulls,,x y"), kFeatureExplicitNulls);
  EXPECT_EQ(ParseFeatureList("null"), 0U);
  EXPECT_EQ(BuildVerificationAgreement(true, kFeatureExplicitNulls), "0;nulls");
  EXPECT_EQ(BuildVerificationAgreement(true, 0), "0;");
  EXPECT_EQ(BuildVerificationAgreement(false, kFeatureExplicitNulls), "0");
  EXPECT_EQ(ParseVerificationResult("0;nulls"), kVerificationOk);
  EXPECT_EQ(ParseAgreedFeatures("0;nulls"), kFeatureExplicitNulls);
  EXPECT_EQ(ParseAgreedFeatures("0"), 0U);
}

TEST(AuthDataTest, MalformedIntegerRaisesAndClearsTheTechnicianFlag) {
  for (std::string_view payload :
       {"x;1000;;119.4;2.1.5.100;1;119;1;", "3;1000;;119.4;2.1.5.100;1;119;x;",
        "3;1000;;119.4;2.1.5.100;", ""}) {
    TAUTHData data;
    data.Serwisant = true;
    EXPECT_THROW(ParseAuthData(payload, data), ConversionError) << payload;
    EXPECT_FALSE(data.Serwisant) << payload;
  }
}

TEST(PayloadDefaultsTest, UnreadableNumbersTakeTheDefaultsOfTheirPacket) {
  EXPECT_EQ(ParseConnectionResult("x"), kConnectionRefused);
  EXPECT_EQ(ParseConnectionResult("2"), 2);
  EXPECT_EQ(ParseVerificationResult("nie"), kVerificationUnknownAnswer);
  EXPECT_EQ(ParseVerificationResult(""), kVerificationUnknownAnswer);
  EXPECT_EQ(ParsePendingChanges("abc"), 0);
  EXPECT_EQ(ParseConfirmation(""), 1);
  EXPECT_EQ(ParseErrorReport("x;detail").code, kErrorUnknown);
  EXPECT_EQ(ParseCommand("abc;").code, kCommandNone);
  EXPECT_EQ(ParseCommandReply("x;text").code, -1);
}

TEST(PayloadDefaultsTest, NumbersOutOfThirtyTwoBitsAreUnreadable) {
  EXPECT_EQ(ParsePendingChanges("2147483648"), 0);
  EXPECT_EQ(ParsePendingChanges("2147483647"), 2147483647);
}

TEST(ChangeBatchTest, SplitsCountTotalAndRecords) {
  const std::string payload = BuildChangeBatch(2, 17, "a;1;b;2;");
  EXPECT_EQ(payload, "2;17;a;1;b;2;");
  const ChangeBatch batch = ParseChangeBatch(payload);
  EXPECT_EQ(batch.count, 2);
  EXPECT_EQ(batch.total, 17);
  EXPECT_EQ(batch.records, "a;1;b;2;");
}

TEST(ChangeBatchTest, UnreadableCountIsTheEndOfChanges) {
  const ChangeBatch batch = ParseChangeBatch("abc;5;");
  EXPECT_EQ(batch.count, 0);
  EXPECT_EQ(batch.total, 5);
  EXPECT_EQ(ParseChangeBatch("0;0;").records, "");
}

// The export writes the header in front of its record texts; the receiver reads it here.
TEST(ChangeBatchTest, HeaderWrittenByTheExportIsReadBack) {
  std::string payload = "513;29;2;";
  PrependChangePayloadHeader(payload, {.count = 1, .total = 2147483647});
  EXPECT_EQ(payload, BuildChangeBatch(1, 2147483647, "513;29;2;"));
  const ChangeBatch batch = ParseChangeBatch(payload);
  EXPECT_EQ(batch.count, 1);
  EXPECT_EQ(batch.total, 2147483647);
  EXPECT_EQ(batch.records, "513;29;2;");
}

TEST(ChangeBatchTest, MissingOrGarbledCountsReadAsZeroWithoutFailing) {
  struct Case {
    std::string_view payload;
    int count;
    int total;
    std::string_view records;
  };
  const Case cases[] = {
      {"", 0, 0, ""},
      {"3", 3, 0, ""},
      {";;", 0, 0, ""},
      {"2147483648;4;1;29;2;", 0, 4, "1;29;2;"},  // beyond 32 bits
      {" 2;x;1;29;2;", 0, 0, "1;29;2;"},
      {"-1;0;", -1, 0, ""},  // below 1 ends the sender's changes like 0
  };
  for (const Case& c : cases) {
    const ChangeBatch batch = ParseChangeBatch(c.payload);
    EXPECT_EQ(batch.count, c.count) << c.payload;
    EXPECT_EQ(batch.total, c.total) << c.payload;
    EXPECT_EQ(batch.records, c.records) << c.payload;
  }
}

TEST(ErrorReportTest, DetailEndsAtItsFirstSeparator) {
  EXPECT_EQ(BuildErrorReport(kErrorImportingData, "klucz;wartosc"), "2;klucz;wartosc");
  const ErrorReport report = ParseErrorReport("2;klucz;wartosc");
  EXPECT_EQ(report.code, kErrorImportingData);
  EXPECT_EQ(report.detail, "klucz");
}

TEST(ErrorReportTest, OverflowCarriesNoDetail) {
  EXPECT_EQ(BuildErrorReport(kErrorReceiveOverflow, "ignored"), "4;");
  EXPECT_EQ(ParseErrorReport("4;").detail, "");
}

TEST(ErrorReportTest, OnlyCodesZeroToFiveAreActedOn) {
  EXPECT_FALSE(IsKnownErrorCode(ParseErrorReport("7;x").code));
  EXPECT_FALSE(IsKnownErrorCode(-1));
  EXPECT_TRUE(IsKnownErrorCode(ParseErrorReport("5;").code));
  EXPECT_EQ(ServerSideErrorText(7), "");
  EXPECT_EQ(ClientSideErrorText(4),
            "Na serwerze wystąpił błąd w czasie odbierania danych (przepełnienie)"_cp);
  EXPECT_EQ(ServerSideErrorText(5), ServerSideErrorText(2));
}

TEST(CommandTest, ArgumentIsSentOnlyWhenThereIsOne) {
  EXPECT_EQ(BuildCommand(kCommandServerStatus, ""), "1;");
  EXPECT_EQ(BuildCommand(kCommandExecuteSql, "select 1 from rdb$database"),
            "7;select 1 from rdb$database;");
  const Command command = ParseCommand("7;delete from x; drop table y;");
  EXPECT_EQ(command.code, kCommandExecuteSql);
  EXPECT_EQ(command.argument, "delete from x");
}

TEST(CommandReplyTest, ForwardedLogLineAndItsCode) {
  const std::string payload = BuildCommandReply(ForwardedLogLine(4, "Start"));
  EXPECT_EQ(payload, "0; Serwer: [4] Start");
  const CommandReply reply = ParseCommandReply(payload);
  EXPECT_EQ(reply.code, 0);
  EXPECT_EQ(reply.text, " Serwer: [4] Start");
  EXPECT_EQ(ParseCommandReply("1;text").code, 1);
}

TEST(ResultTextsTest, TablesKeepTheirCodesAndTexts) {
  EXPECT_EQ(ConnectionResultText(kConnectionRefused), "nieznany host");
  EXPECT_EQ(VerificationResultText(kVerificationUnknownAnswer),
            "błąd autoryzacji - nieznana odpowiedź serwera"_cp);
  EXPECT_EQ(VerificationResultText(kVerificationOtherProgramVersion),
            "rózne wersje programu Tramolin"_cp);
  EXPECT_EQ(VerificationResultText(kVerificationUnused), "");
  EXPECT_EQ(VerificationResultText(12), "");
  EXPECT_EQ(VerificationResultText(-1), "");
}

}  // namespace
}  // namespace tramolin
