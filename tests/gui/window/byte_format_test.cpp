// Byte counts and number patterns as the window shows them, and when the process has a desktop.
#include "ui/byte_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "ui/desktop_application.h"

namespace tramolin {
namespace {

struct ByteCase {
  std::int64_t bytes;
  const char* text;
};

TEST(ByteFormatTest, GroupsDigitsByThreeAndKeepsTheLeadingBlanks) {
  const ByteCase cases[] = {
      {0, "   0 b"},
      {7, "   7 b"},
      {999, "   999 b"},
      {1000, "  1 000 b"},
      {1234567, " 1 234 567 b"},
      {999999999999, "999 999 999 999 b"},
      // More digits than positions: the rest stands at the first position.
      {1000000000000, "1000 000 000 000 b"},
      {std::numeric_limits<std::int64_t>::max(), "9223372036 854 775 807 b"},
      {-1234, "  -1 234 b"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036 854 775 808 b"},
  };
  for (const ByteCase& c : cases) EXPECT_EQ(ByteCountText(c.bytes), c.text) << c.bytes;
}

TEST(ByteFormatTest, ZeroPositionsAlwaysShowADigit) {
  EXPECT_EQ(FormatNumberPattern(5, "000"), "005");
  EXPECT_EQ(FormatNumberPattern(5, "0 000"), "0 005");
  EXPECT_EQ(FormatNumberPattern(1234, "#-###"), "1-234");
  EXPECT_EQ(FormatNumberPattern(0, "###"), "");
  EXPECT_EQ(FormatNumberPattern(42, "[#]"), "[42]");
}

TEST(DesktopAvailableTest, PlatformNameDecidesBeforeTheDisplayVariables) {
  struct Case {
    const char* platform;
    const char* display;
    const char* wayland;
    bool available;
  };
  const Case cases[] = {
      {"", "", "", false},          {"", ":0", "", true},
      {"", "", "wayland-0", true},  {"offscreen", ":0", "", false},
      {"minimal", ":0", "", false}, {"offscreen:size=800x600", "", "", false},
      {"xcb", "", "", true},        {"vnc:size=1024x768", "", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DesktopAvailable(c.platform, c.display, c.wayland), c.available)
        << c.platform << " / " << c.display << " / " << c.wayland;
  }
}

}  // namespace
}  // namespace tramolin
