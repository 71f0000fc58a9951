#include "util/files.h"

#include <gtest/gtest.h>

#include "unit/util/temp_dir.h"
#include "util/day_time.h"

namespace tramolin {
namespace {

using testing::ReadFile;

class AppendLineToFileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  const double now_ = ToDayCount({2011, 3, 7, 14, 5, 9, 42});
};

TEST_F(AppendLineToFileTest, AppendsLinesWithCrLfAndOptionalStamp) {
  const auto file = dir_ / "Tramolin2_error.log";
  AppendLineToFile(file, "pierwsza", false, now_);
  AppendLineToFile(file, "druga \xB9", true, now_);
  EXPECT_EQ(ReadFile(file), "pierwsza\r\n2011.03.07 14:05:09.042 druga \xB9\r\n");
}

TEST_F(AppendLineToFileTest, BlankNameOrMissingDirectoryDoesNothingQuietly) {
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  AppendLineToFile("   ", "x", true, now_);
  AppendLineToFile(dir_ / "missing" / "a.log", "x", true, now_);
  std::filesystem::current_path(before);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

}  // namespace
}  // namespace tramolin
