#include "python/access_marker.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace ephemeris {
namespace {

TEST(AccessMarker, SharedUsesCoexistAnExclusiveUseStandsAlone) {
  AccessMarker marker;
  std::optional<AccessMarker::Guard> first(*marker.share()), second(*marker.share());
  EXPECT_FALSE(first->exclusive());
  EXPECT_EQ(marker.state(), 2);
  EXPECT_EQ(marker.take_exclusive().error(), "Already borrowed");
  { const auto moved = std::move(*first); }  // a moved guard gives the access back once
  first.reset();
  EXPECT_EQ(marker.state(), 1);
  second.reset();
  std::optional<AccessMarker::Guard> exclusive(*marker.take_exclusive());
  EXPECT_TRUE(exclusive->exclusive());
  EXPECT_EQ(marker.state(), -1);
  EXPECT_EQ(marker.share().error(), "Already mutably borrowed");
  EXPECT_EQ(marker.take_exclusive().error(), "Already borrowed");
  exclusive.reset();
  EXPECT_EQ(marker.state(), 0);
  EXPECT_TRUE(marker.share());
}

}  // namespace
}  // namespace ephemeris
