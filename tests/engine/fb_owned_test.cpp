// Ownership of Firebird interfaces: a successful ending call leaves nothing to release, a
// failed one leaves the interface owned, and a forced end only releases.
#include <gtest/gtest.h>

#include "engine/fb/owned.h"

namespace tramolin::fb {
namespace {

struct Counters {
  int releases = 0;
  int ends = 0;
};

// Stands in for a reference-counted Firebird interface.
class FakeInterface {
 public:
  explicit FakeInterface(Counters& counters) : counters_(counters) {}
  void release() { ++counters_.releases; }
  void End(bool succeed) {
    ++counters_.ends;
    if (!succeed) throw Error("refused");
  }

 private:
  Counters& counters_;
};

class OwnedTest : public ::testing::Test {
 protected:
  Counters counters_;
  FakeInterface fake_{counters_};
  Owned<FakeInterface> handle_{&fake_};
};

TEST_F(OwnedTest, GoingOutOfScopeReleasesOnce) {
  { Owned<FakeInterface> scoped = std::move(handle_); }
  EXPECT_EQ(counters_.releases, 1);
}

TEST_F(OwnedTest, ASuccessfulEndDropsThePointerWithoutARelease) {
  EndInterface(handle_, [](FakeInterface* i) { i->End(true); });
  EXPECT_EQ(handle_, nullptr);
  handle_.reset();
  EXPECT_EQ(counters_.releases, 0);
}

TEST_F(OwnedTest, AFailedEndKeepsTheInterfaceOwned) {
  EXPECT_THROW(EndInterface(handle_, [](FakeInterface* i) { i->End(false); }), Error);
  EXPECT_EQ(handle_.get(), &fake_);
  handle_.reset();
  EXPECT_EQ(counters_.releases, 1);
}

TEST_F(OwnedTest, EndOrReleaseLeavesTheHandleEmptyAndReleasesOnlyWhatWasNotEnded) {
  struct Case {
    bool force;
    bool succeed;
    int ends;
    int releases;
  };
  for (const Case c : {Case{false, true, 1, 0}, Case{false, false, 1, 1}, Case{true, true, 0, 1}}) {
    handle_.reset(&fake_);
    counters_ = {};
    EndOrRelease(handle_, c.force, [&](FakeInterface* i) { i->End(c.succeed); });
    EXPECT_EQ(handle_, nullptr);
    EXPECT_EQ(counters_.ends, c.ends) << c.force << c.succeed;
    EXPECT_EQ(counters_.releases, c.releases) << c.force << c.succeed;
  }
  EndOrRelease(handle_, false, [](FakeInterface*) { FAIL() << "nothing to end"; });
}

}  // namespace
}  // namespace tramolin::fb
