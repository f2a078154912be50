#include "engine/sidereal_position.h"

#include <string>

#include "core/angle_reduction.h"

namespace ephemeris {

std::expected<Position, EphemerisError> sidereal_position(const SpkEphemeris& engine, Body body,
                                                          const Instant& instant, const PositionOptions& options,
                                                          SiderealMode mode) {
  if (options.coordinate_system != CoordinateSystem::Ecliptic || options.reference_epoch != ReferenceEpoch::OfDate) {
    return std::unexpected(EphemerisError::invalid_request("sidereal longitudes require ecliptic of date"));
  }
  const auto tropical = engine.position(body, instant, options);
  if (!tropical) return std::unexpected(tropical.error());
  const auto tt = engine.time_kernels().tt_julian_day(instant);
  if (!tt) return std::unexpected(tt.error());
  const auto ayanamsha = ayanamsha_deg(mode, *tt);
  if (!ayanamsha) return std::unexpected(EphemerisError::invalid_request(std::string(message(ayanamsha.error()))));
  const auto rate = ayanamsha_rate_deg_per_day(*tt);
  if (!rate) return std::unexpected(EphemerisError::invalid_request(std::string(message(rate.error()))));

  Position sidereal = *tropical;
  sidereal.longitude_deg = reduce_angle(tropical->longitude_deg - *ayanamsha, 360.0);
  sidereal.longitude_speed_deg_per_day = tropical->longitude_speed_deg_per_day - *rate;
  return sidereal;
}

}  // namespace ephemeris
