#include "engine/attachment_folders.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

TEST(AttachmentFoldersTest, AFileIsInsideOnlyUnderAWholeFolderComponent) {
  const std::vector<std::filesystem::path> folders = {"/srv/inne", "/srv/att/"};
  for (const char* file : {"/srv/att/umowa.pdf", "/srv/att/2024/umowa.pdf", "/srv/inne/a"}) {
    EXPECT_TRUE(LiesInside(file, folders)) << file;
  }
  for (const char* file : {"/srv/att2/umowa.pdf", "/srv/at", "/srv/umowa.pdf", "/etc/shadow"}) {
    EXPECT_FALSE(LiesInside(file, folders)) << file;
  }
  EXPECT_FALSE(LiesInside("/srv/att/umowa.pdf", {}));
}

}  // namespace
}  // namespace tramolin
