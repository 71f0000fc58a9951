#include "engine/record_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "util/change_payload_header.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

using ::testing::HasSubstr;

constexpr std::string_view kTowaryUpdate = "512;29;1;3;CENA;2;12.5;ID;1;512;NAZWA;0;5;Sruba;";

TRekord Record(std::int32_t id, std::int32_t change_type, std::vector<TPole> fields) {
  return {
      .record_id = id, .table_number = 29, .change_type = change_type, .fields = std::move(fields)};
}

TRekord TowaryUpdate() {
  return Record(512, kChangeUpdate,
                {FloatField("CENA", 12.5), IntegerField("ID", 512), TextField("NAZWA", "Sruba")});
}

// Parses exactly one record that must take the whole text.
TRekord ParseWhole(std::string_view text) {
  TRekord record;
  ParseRecord(text, record);
  EXPECT_TRUE(text.empty()) << "left over: " << text;
  return record;
}

TRekord RoundTrip(const TRekord& record) { return ParseWhole(RecordText(record)); }

// The message of the error parsing raises, or "" when it parses.
std::string ParseFailure(std::string_view text) {
  TRekord record;
  try {
    ParseRecord(text, record);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "";
}

TEST(RecordTextTest, TowaryUpdateAndDeleteAreWrittenByteForByte) {
  EXPECT_EQ(RecordText(TowaryUpdate()), kTowaryUpdate);
  // A delete is its header alone, whatever fields the record holds.
  EXPECT_EQ(RecordText(Record(513, kChangeDelete, {IntegerField("ID", 513)})), "513;29;2;");
}

TEST(RecordTextTest, PayloadCarriesCountTotalAndRecordsBackToBack) {
  std::string payload = RecordText(TowaryUpdate());
  AppendRecordText(Record(513, kChangeDelete, {}), payload);
  PrependChangePayloadHeader(payload, {.count = 2, .total = 7});
  EXPECT_EQ(payload, "2;7;" + std::string(kTowaryUpdate) + "513;29;2;");

  std::string_view rest = payload;
  const ChangePayloadHeader header = CutChangePayloadHeader(rest);
  EXPECT_EQ(header.count, 2);
  EXPECT_EQ(header.total, 7);
  TRekord first, second;
  ParseRecord(rest, first);
  ParseRecord(rest, second);
  EXPECT_EQ(first, TowaryUpdate());
  EXPECT_EQ(second, Record(513, kChangeDelete, {}));
  EXPECT_TRUE(rest.empty());
}

TEST(NumberTextTest, FifteenDigitsFixedOrScientific) {
  const std::vector<std::pair<double, std::string>> cases = {
      {45123.5, "45123.5"},  // 2023-07-16 12:00
      {0.0001, "0.0001"},
      {0.00005, "5E-5"},
      {1.5e-6, "1.5E-6"},
      {1e20, "1E20"},
      {0, "0"},
      {-12.5, "-12.5"},
      {100, "100"},
      {1e14, "100000000000000"},
      {999999999999999, "999999999999999"},
      {1e15, "1E15"},
      {123456789012345678.0, "1.23456789012346E17"},
      {-0.00001234, "-1.234E-5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {0.0000999999999999999999, "0.0001"},              // rounds up into fixed notation
      {9.9999999999999999e14, "1E15"},                   // rounds up out of it
      {1.7976931348623157e308, "1.79769313486231E308"},  // still reads back as finite
      {-1.7976931348623157e308, "-1.79769313486231E308"},
      {1.79769313486231e308, "1.79769313486231E308"},
      {1.7976931348623e308, "1.7976931348623E308"},
      {4.9406564584124654e-324, "4.94065645841247E-324"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(NumberText(value), text) << "value " << value;
  }
}

TEST(NumberTextTest, ReaderTakesNumbersWithOrWithoutExponent) {
  EXPECT_EQ(ParseNumberText("12.5"), 12.5);
  EXPECT_EQ(ParseNumberText("5E-5"), 0.00005);
  EXPECT_EQ(ParseNumberText("1.5e-6"), 1.5e-6);
  EXPECT_EQ(ParseNumberText("1E20"), 1e20);
  EXPECT_EQ(ParseNumberText("-3"), -3);
  EXPECT_EQ(ParseNumberText("+2.5"), 2.5);
  EXPECT_EQ(ParseNumberText("1.79769313486231E308"), 1.79769313486231e308);
  for (const char* bad : {"", "1,5", "abc", "1e", "e5", ".", "-", "inf", "nan", "1.5x", "--1", " 1",
                          "0x10", "1e999"}) {
    EXPECT_THROW(ParseNumberText(bad), RecordFormatError) << "'" << bad << "'";
  }
}

// Writers of 15 significant digits may give the largest double as 1.79769313486232E308.
TEST(NumberTextTest, LargestDoubleRoundedToFifteenDigitsReadsAsTheLargestDouble) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  const std::vector<std::pair<std::string_view, double>> cases = {
      {"1.79769313486232E308", kLargest},
      {"-1.79769313486232E308", -kLargest},
      {"+1.79769313486232e+308", kLargest},
      {"1.797693134862316E308", kLargest},  // between the largest double and its rounding
      {"179769313486232E294", kLargest},
      {"-0.00179769313486232000E311", -kLargest},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(ParseNumberText(text), value) << text;
  }
  EXPECT_EQ(ParseWhole("1;29;0;1;CENA;2;-1.79769313486232E308;").fields[0].float_value, -kLargest);
}

TEST(NumberTextTest, NumbersBeyondTheRoundedLargestDoubleStillFail) {
  for (const char* text :
       {"1E309", "2E308", "-2E308", "1.79769313486233E308", "-1.797693134862321E308",
        "17976931348623201E292", "1.8E4294967604", "1E99999999999999999999"}) {
    EXPECT_THROW(ParseNumberText(text), RecordFormatError) << text;
  }
  EXPECT_THAT(ParseFailure("1;29;0;1;CENA;2;2E308;"), HasSubstr("'2E308'"));
}

TEST(NumberTextTest, FifteenDigitValuesSurviveTheRoundTrip) {
  for (double value : {45123.5, 0.0001, 5e-5, 1.5e-6, 1e20, -98765.4321, 123456789012345.0,
                       0.000123456789012345, 3.14159265358979, 1.79769313486231e308}) {
    EXPECT_EQ(ParseNumberText(NumberText(value)), value) << NumberText(value);
  }
}

TEST(RecordTextTest, TextValuesAreLengthDelimitedAndKeepEveryByte) {
  const TRekord record =
      Record(7, kChangeInsert,
             {TextField("UWAGI", "a;b\r\nc;"), BlobField("DANE", std::string("x\0y", 3)),
              TextField("OPIS", std::string("Zażółć gęślą"_cp) + "\xff")});
  const std::string text = RecordText(record);
  EXPECT_THAT(text, HasSubstr("UWAGI;0;7;a;b\r\nc;;"));
  EXPECT_THAT(text, HasSubstr(std::string("DANE;4;3;x\0y;", 13)));
  EXPECT_EQ(ParseWhole(text), record);
}

TEST(RecordTextTest, EmptyTextIsWrittenAndNullIsLeftOut) {
  const TRekord record =
      Record(8, kChangeUpdate,
             {IntegerField("ID", 8), TextField("PUSTY", ""), NullField("BRAK", FieldType::kText),
              BlobField("ZDJECIE", ""), NullField("CENA", FieldType::kFloat)});
  EXPECT_EQ(RecordText(record), "8;29;1;3;ID;1;8;PUSTY;0;0;ZDJECIE;4;0;");
  const TRekord parsed = ParseWhole(RecordText(record));
  ASSERT_EQ(parsed.fields.size(), 3u);
  EXPECT_EQ(parsed.fields[1], TextField("PUSTY", ""));
  EXPECT_EQ(parsed.fields[2], BlobField("ZDJECIE", ""));
  // Between our own sites a NULL travels as an explicit NULL and parses back as one.
  const std::string explicit_nulls = RecordText(record, NullColumns::kWritten);
  EXPECT_EQ(explicit_nulls, "8;29;1;5;ID;1;8;PUSTY;0;0;BRAK;5;ZDJECIE;4;0;CENA;5;");
  const TRekord with_nulls = ParseWhole(explicit_nulls);
  ASSERT_EQ(with_nulls.fields.size(), 5u);
  EXPECT_EQ(with_nulls.fields[2], NullField("BRAK", FieldType::kText));
  EXPECT_TRUE(with_nulls.fields[4].is_null);
}

TEST(RecordTextTest, MixedRecordSurvivesTheRoundTrip) {
  const TRekord record =
      Record(-10500123, kChangeInsert,
             {IntegerField("ID", -10500123), IntegerField("ILOSC", std::numeric_limits<int>::min()),
              FloatField("CENA", 1234567.89012345), DateTimeField("DATA", 45123.5),
              DateTimeField("PRZED", -1.25), FloatField("MALA", 1.5e-6), TextField("KOD", "A;B"),
              BlobField("PLIK", std::string("\0\r\n;\xff", 5)), TextField("ID2", "0;")});
  EXPECT_EQ(RoundTrip(record), record);
}

TEST(RecordTextTest, WriterFailsWholeRecordAndAppendsNothing) {
  std::string out = "before;";
  TRekord bad_number = TowaryUpdate();
  bad_number.fields.push_back(FloatField("ZLA", std::numeric_limits<double>::quiet_NaN()));
  EXPECT_THROW(AppendRecordText(bad_number, out), RecordFormatError);
  TRekord bad_name = TowaryUpdate();
  bad_name.fields.push_back(IntegerField("A;B", 1));
  EXPECT_THROW(AppendRecordText(bad_name, out), RecordFormatError);
  TRekord bad_type = TowaryUpdate();
  bad_type.fields[0].type = static_cast<FieldType>(7);
  EXPECT_THROW(AppendRecordText(bad_type, out), RecordFormatError);
  EXPECT_EQ(out, "before;");
}

TEST(ParseRecordTest, GarbledOrTruncatedTextsFailWithAnError) {
  const std::vector<std::string_view> texts = {
      "",
      "512;29;",
      "512;x;1;",
      "512;29;1;3;CENA;2;12.5;ID;1;512;",  // ends before its last field
      "512;29;1;1;NAZWA;0;5;Sru",          // ends inside a value
      "512;29;1;1;NAZWA;0;5;Sruba",        // the closing ";" is missing
      "512;29;1;1;NAZWA;0;3;Sruba;",       // length shorter than the value
      "512;29;1;1;NAZWA;0;99999999;Sruba;",
      "512;29;1;1;NAZWA;0;-1;x;",
      "512;29;1;1;NAZWA;7;5;",
      "512;29;1;1;NAZWA;260;5;Sruba;",  // not wrapped into code 4
      "512;29;1;-1;",
      "512;29;1;2147483647;ID;1;1;",
      "512;29;1;1;CENA;2;12,5;",
      "512;29;1;1;CENA;2;;",
      "512;29;1;1;ID;1;99999999999;",
      "512;29;1;1;ID;1;",
  };
  for (std::string_view text : texts) {
    EXPECT_NE(ParseFailure(text), "") << "'" << text << "'";
  }
}

TEST(ParseRecordTest, EveryCutOffRecordFails) {
  const TRekord mixed = Record(512, kChangeInsert,
                               {TextField("NAZWA", "Sruba"), BlobField("DANE", "x;y"),
                                FloatField("CENA", 12.5), IntegerField("ID", 512)});
  for (const std::string& text : {RecordText(mixed), RecordText(Record(513, kChangeDelete, {}))}) {
    for (std::size_t length = 0; length < text.size(); ++length) {
      EXPECT_NE(ParseFailure(std::string_view(text).substr(0, length)), "")
          << "'" << text.substr(0, length) << "'";
    }
  }
}

TEST(ParseRecordTest, ErrorsNameTheOffendingFieldOrText) {
  EXPECT_THAT(ParseFailure("512;29;1;1;NAZWA;0;5;Sru"), HasSubstr("NAZWA"));
  EXPECT_THAT(ParseFailure("512;29;1;1;NAZWA;9;5;Sruba;"), HasSubstr("NAZWA"));
  EXPECT_THAT(ParseFailure("512;29;1;1;CENA;2;12,5;"), HasSubstr("'12,5'"));
  EXPECT_THAT(ParseFailure("512;x;1;"), HasSubstr("'x' is not a valid integer value"));
}

TEST(ParseRecordTest, StopsAtTheEndOfItsRecord) {
  const std::string payload = std::string(kTowaryUpdate) + "513;29;2;";
  std::string_view rest = payload;
  TRekord record;
  ParseRecord(rest, record);
  EXPECT_EQ(rest, "513;29;2;");
}

// A payload of about 1 MB with tens of thousands of records: every parse must consume exactly
// its own record from the same buffer (a moving view, no copy of the remainder), which keeps the
// whole payload one linear pass.
TEST(ParseRecordTest, LargePayloadIsCutInPlaceRecordByRecord) {
  std::string payload;
  std::vector<std::size_t> ends;
  for (int i = 0; payload.size() < 1'000'000; ++i) {
    TRekord record = Record(i, i % 3,
                            {IntegerField("ID", i), FloatField("CENA", i * 0.25),
                             TextField("NAZWA", "Towar;" + std::to_string(i))});
    AppendRecordText(record, payload);
    ends.push_back(payload.size());
  }
  ASSERT_GT(ends.size(), 20'000u);

  std::string_view rest = payload;
  TRekord record;
  for (std::size_t i = 0; i < ends.size(); ++i) {
    ParseRecord(rest, record);
    ASSERT_EQ(rest.data(), payload.data() + ends[i]) << "record " << i;
    ASSERT_EQ(record.record_id, static_cast<std::int32_t>(i));
  }
  EXPECT_TRUE(rest.empty());
}

TEST(RecordFieldTest, AccessorsUseTheFirstFieldOfTheExactName) {
  TRekord record = Record(1, kChangeInsert,
                          {IntegerField("STATUS", 4), TextField("TYP", "x"),
                           IntegerField("STATUS", 9), TextField("OUTPARAM1", "")});
  EXPECT_EQ(GetIntField(record, "STATUS"), 4);
  EXPECT_EQ(GetIntField(record, "TYP"), 0);      // not an integer field
  EXPECT_EQ(GetIntField(record, "status"), -1);  // names compare exactly
  EXPECT_EQ(GetIntField(record, "BRAK"), -1);

  SetIntField(record, "STATUS", 5);
  SetStringField(record, "OUTPARAM1", "wynik");
  SetStringField(record, "BRAK", "nic");
  EXPECT_EQ(record.fields[0].int_value, 5);
  EXPECT_EQ(record.fields[2].int_value, 9);
  EXPECT_EQ(record.fields[3].text_value, "wynik");
  EXPECT_EQ(record.fields.size(), 4u);
}

}  // namespace
}  // namespace tramolin
