#include "core/errors.h"

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

TEST(CoordinateErrorMessage, EveryVariant) {
  EXPECT_EQ(message(CoordinateError::NonFinite), "Cartesian state must be finite");
  EXPECT_EQ(message(CoordinateError::AtOrigin), "spherical position is undefined at origin");
  EXPECT_EQ(message(CoordinateError::OnZAxis), "spherical longitude is undefined on the z axis");
  EXPECT_EQ(message(CoordinateError::InvalidLatitude),
            "geodetic latitude must be finite and within [-90, 90] degrees");
  EXPECT_EQ(message(CoordinateError::UndefinedHouseCusps),
            "house cusps are undefined for this system at the requested latitude");
}

TEST(TimeConversionErrorMessage, EveryVariant) {
  EXPECT_EQ(message(TimeConversionError::non_finite_julian_day()), "Julian day must be finite");
  EXPECT_EQ(message(TimeConversionError::unsupported(TimeScale::Ut1)),
            "conversion from Ut1 to TDB is not implemented");
  EXPECT_EQ(message(TimeConversionError::unsupported(TimeScale::Utc)),
            "conversion from Utc to TDB is not implemented");
}

TEST(EphemerisErrorMessage, EveryVariant) {
  EXPECT_EQ(message(EphemerisError::unsupported_body(Body::Mars)), "unsupported body: Mars");
  EXPECT_EQ(message(EphemerisError::out_of_range(2500000.25, 2414864.5, 2471184.5, TimeScale::Tdb)),
            "Julian day 2500000.25 is outside kernel range 2414864.5..2471184.5 Tdb");
  EXPECT_EQ(message(EphemerisError::invalid_request("bad option")), "bad option");
  EXPECT_EQ(message(EphemerisError::time_conversion("no leap seconds")), "no leap seconds");
  EXPECT_EQ(message(EphemerisError::backend("SPK kernel has no segments")), "SPK kernel has no segments");
  EXPECT_EQ(EphemerisError::backend("x").kind(), EphemerisError::Kind::Backend);
}

}  // namespace
}  // namespace ephemeris
