#include "import_fixture.h"

namespace tramolin::testing {

std::vector<std::vector<std::string>> ImportFixture::Rows(const Side& side, std::string_view table,
                                                          std::string_view key) {
  return TableRows(side.path, table, key);
}

bool ImportFixture::Replicate(Side& from, Side& to) {
  for (int batch = 0; batch < 100; ++batch) {
    const PreparedChanges changes = from.Export();
    if (changes.count == 0) return true;
    if (to.ImportPayload(changes.payload) != ImportOutcome::kDone) {
      ADD_FAILURE() << to.Error();
      return false;
    }
    if (!from.Confirm(changes)) return false;
  }
  return false;
}

}  // namespace tramolin::testing
