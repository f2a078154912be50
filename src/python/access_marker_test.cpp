#include "python/access_marker.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace ephemeris {
namespace {

TEST(AccessMarker, SharedUsesCoexistAndAreCounted) {
  AccessMarker marker;
  auto first = marker.share();
  auto second = marker.share();
  ASSERT_TRUE(first && second);
  EXPECT_FALSE(first->exclusive());
  EXPECT_EQ(marker.state(), 2);
  {
    auto moved = std::move(*first);  // a moved guard gives the access back once
    EXPECT_EQ(marker.state(), 2);
  }
  EXPECT_EQ(marker.state(), 1);
}

TEST(AccessMarker, ExclusiveWantedDuringSharedIsAlreadyBorrowed) {
  AccessMarker marker;
  std::optional<AccessMarker::Guard> shared;
  shared.emplace(*marker.share());
  const auto refused = marker.take_exclusive();
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), "Already borrowed");
  shared.reset();
  auto exclusive = marker.take_exclusive();
  ASSERT_TRUE(exclusive);
  EXPECT_TRUE(exclusive->exclusive());
  EXPECT_EQ(marker.state(), -1);
}

TEST(AccessMarker, AnyAccessDuringExclusiveIsRefused) {
  AccessMarker marker;
  std::optional<AccessMarker::Guard> exclusive;
  exclusive.emplace(*marker.take_exclusive());
  const auto shared = marker.share();
  ASSERT_FALSE(shared);
  EXPECT_EQ(shared.error(), "Already mutably borrowed");
  const auto second = marker.take_exclusive();
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error(), "Already borrowed");
  exclusive.reset();
  EXPECT_EQ(marker.state(), 0);
  EXPECT_TRUE(marker.share());
}

}  // namespace
}  // namespace ephemeris
