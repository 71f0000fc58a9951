#include "engine/attachment_folders.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

TEST(AttachmentFoldersTest, AFileIsInsideOnlyUnderAWholeFolderComponent) {
  const struct {
    const char* file;
    std::vector<std::filesystem::path> folders;
    bool inside;
  } cases[] = {
      {"/srv/att/umowa.pdf", {"/srv/att"}, true},
      {"/srv/att/2024/umowa.pdf", {"/srv/att/"}, true},
      {"/srv/att/umowa.pdf", {"/srv/inne", "/srv/att"}, true},
      {"/srv/att2/umowa.pdf", {"/srv/att"}, false},
      {"/srv/at", {"/srv/att"}, false},
      {"/srv/umowa.pdf", {"/srv/att"}, false},
      {"/etc/shadow", {"/srv/att"}, false},
      {"/srv/att/umowa.pdf", {}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LiesInside(c.file, c.folders), c.inside) << c.file;
  }
}

}  // namespace
}  // namespace tramolin
