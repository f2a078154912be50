// Astrological house cusps: Placidus, Campanus, Equal and Whole Sign.
#pragma once

#include <array>
#include <cstdint>
#include <expected>

#include "core/errors.h"
#include "core/observer.h"

namespace ephemeris {

enum class HouseSystem : std::uint8_t { Placidus, Campanus, Equal, WholeSign };

// The cusps and angles of one chart; every angle in degrees.
struct HouseCusps {
  std::array<double, 12> cusp_ecliptic_longitude_deg{};  // houses 1 to 12, each in [0, 360)
  double ascendant_deg = 0.0;                            // [0, 360)
  double midheaven_deg = 0.0;                            // [0, 360)
  double ramc_deg = 0.0;                                 // right ascension of the MC, [0, 360)
  double local_sidereal_time_deg = 0.0;                  // the same value as ramc_deg
  double true_obliquity_deg = 0.0;                       // epsilon_A + delta epsilon, not reduced
  HouseSystem system = HouseSystem::Placidus;
};

// House cusps for `observer` at UT1 Julian date `ut1_jd` and TT Julian date
// `tt_jd`. The RAMC is the local apparent sidereal time (IAU 2006/2000B, no
// polar motion); the obliquity is the true obliquity of date. The height is
// validated but not used.
//
// Errors: NonFinite for a non-finite coordinate or date; InvalidLatitude for
// |latitude| > 90; UndefinedHouseCusps for Placidus where a cusp's semi-arc
// does not exist (circumpolar ecliptic points, in practice beyond about
// 66 degrees of latitude).
std::expected<HouseCusps, CoordinateError> house_cusps(const GeodeticObserver& observer, HouseSystem system,
                                                       double ut1_jd, double tt_jd);

// The same from the sidereal angle directly: `ramc_rad` (any value, radians)
// is the right ascension of the MC, `true_obliquity_rad` the obliquity and
// `latitude_rad` the geodetic latitude, within [-pi/2, pi/2].
// Errors: NonFinite for a non-finite argument; InvalidLatitude for
// |latitude_rad| > pi/2; UndefinedHouseCusps as above.
std::expected<HouseCusps, CoordinateError> house_cusps_from_ramc(double ramc_rad, double true_obliquity_rad,
                                                                 double latitude_rad, HouseSystem system);

}  // namespace ephemeris
