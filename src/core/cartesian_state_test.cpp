#include "core/cartesian_state.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

CartesianState state(double x, double y, double z, double vx = 0, double vy = 0, double vz = 0) {
  return CartesianState{{x, y, z}, {vx, vy, vz}};
}

TEST(ToSpherical, RejectsOriginZAxisAndNonFiniteVelocity) {
  EXPECT_EQ(to_spherical(state(0, 0, 0, 1, 2, 3)).error(), CoordinateError::AtOrigin);
  EXPECT_EQ(to_spherical(state(0, 0, 5)).error(), CoordinateError::OnZAxis);
  EXPECT_EQ(to_spherical(state(1, 0, 0, 0, 0, std::nan(""))).error(), CoordinateError::NonFinite);
  EXPECT_EQ(to_spherical(state(std::numeric_limits<double>::infinity(), 0, 0)).error(), CoordinateError::NonFinite);
}

TEST(ToSpherical, LongitudeIsInZeroTo360) {
  EXPECT_EQ(to_spherical(state(1, 0, 0))->longitude_deg, 0.0);
  EXPECT_EQ(to_spherical(state(1, 0, 0))->latitude_deg, 0.0);
  EXPECT_EQ(to_spherical(state(0, -1, 0))->longitude_deg, 270.0);
  EXPECT_EQ(to_spherical(state(-1, 0.0, 0))->longitude_deg, 180.0);
  // atan2(-0, -1) is -pi; one turn is added back.
  EXPECT_EQ(to_spherical(state(-1, -0.0, 0))->longitude_deg, 180.0);
}

TEST(ToSpherical, LatitudeAndDistance) {
  const auto s = to_spherical(state(1, 1, std::sqrt(2.0))).value();
  EXPECT_DOUBLE_EQ(s.latitude_deg, 45.0);
  EXPECT_DOUBLE_EQ(s.distance, 2.0);
}

TEST(ToSpherical, LongitudeSpeedIsDegreesPerDay) {
  const auto s = to_spherical(state(1, 0, 0, 0, 1, 0)).value();
  EXPECT_EQ(s.longitude_speed_deg_per_day, 57.29577951308232 * 86400.0);
}

TEST(ToJ2000Ecliptic, RotatesAboutXByTheJ2000Obliquity) {
  const auto r = to_j2000_ecliptic(state(0, 0, 1, 0, 0, 2)).value();
  EXPECT_EQ(r.position_km[0], 0.0);
  EXPECT_EQ(r.position_km[1], 0.39777715593191365);
  EXPECT_EQ(r.position_km[2], 0.9174820620691818);
  EXPECT_EQ(r.velocity_km_per_s[1], 2 * 0.39777715593191365);
  EXPECT_EQ(to_j2000_ecliptic(state(1, 0, 0, std::nan(""), 0, 0)).error(), CoordinateError::NonFinite);
}

}  // namespace
}  // namespace ephemeris
