#include "util/fields.h"

#include <gtest/gtest.h>

#include <string>

namespace tramolin {
namespace {

TEST(NextFieldTest, CutsFieldsIncludingEmptyOnesThenYieldsEmptyText) {
  std::string_view text = "12;abc;;x";
  EXPECT_EQ(NextField(text), "12");
  EXPECT_EQ(NextField(text), "abc");
  EXPECT_EQ(NextField(text), "");
  EXPECT_EQ(NextField(text), "x");
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(NextField(text), "");
  EXPECT_TRUE(text.empty());
}

TEST(NextFieldTest, TrailingSeparatorLeavesNoEmptyLastField) {
  std::string_view text = "a;";
  EXPECT_EQ(NextField(text), "a");
  EXPECT_TRUE(text.empty());
}

TEST(NextIntFieldTest, ReadsSignedThirtyTwoBitValues) {
  std::string_view text = "-2147483648;2147483647;+7;0";
  EXPECT_EQ(NextIntField(text), INT32_MIN);
  EXPECT_EQ(NextIntField(text), INT32_MAX);
  EXPECT_EQ(NextIntField(text), 7);
  EXPECT_EQ(NextIntField(text), 0);
  EXPECT_TRUE(text.empty());
}

TEST(NextIntFieldTest, BadFieldRaisesAndLeavesTextUnchanged) {
  for (const std::string_view bad : {"x1;2", ";2", "2147483648;2", "1 ;2", "+-1;2", "0x10;2"}) {
    std::string_view text = bad;
    EXPECT_THROW(NextIntField(text), ConversionError) << bad;
    EXPECT_EQ(text, bad);
  }
}

TEST(NextIntFieldTest, ErrorNamesTheField) {
  std::string_view text = "x1;2";
  try {
    NextIntField(text);
    FAIL();
  } catch (const ConversionError& error) {
    EXPECT_STREQ(error.what(), "'x1' is not a valid integer value");
  }
}

TEST(NextIntFieldTest, LongPayloadIsCutInOnePass) {
  std::string payload;
  constexpr int kFields = 200'000;
  for (int i = 0; i < kFields; ++i) payload += std::to_string(i) + ";";
  std::string_view text = payload;
  int64_t sum = 0;
  for (int i = 0; i < kFields; ++i) sum += NextIntField(text);
  EXPECT_EQ(sum, int64_t{kFields} * (kFields - 1) / 2);
  EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace tramolin
