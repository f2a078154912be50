// Altitude and azimuth: the apparent place of date rotated into the ITRS and
// the site's horizon. Single and many instants share one path, so that both
// give the same numbers.
#include "engine/horizontal.h"

#include <array>
#include <cmath>

#include "core/angle_reduction.h"
#include "core/constants.h"
#include "core/horizon.h"
#include "core/sidereal_time.h"
#include "engine/horizon_events.h"

namespace ephemeris {
namespace {

std::expected<void, EphemerisError> validate(const AirConditions& air) {
  if (!(air.temperature_c >= -100.0 && air.temperature_c <= 60.0)) {
    return std::unexpected(
        EphemerisError::invalid_request("air temperature must be finite and within [-100, 60] degrees Celsius"));
  }
  if (!(air.pressure_mbar >= 0.0 && air.pressure_mbar <= 1200.0)) {
    return std::unexpected(
        EphemerisError::invalid_request("air pressure must be finite and within [0, 1200] millibars"));
  }
  return {};
}

// `place`: right ascension and declination (degrees) on the true equator and
// equinox of date, and the distance.
std::expected<HorizontalPosition, EphemerisError> to_horizon(const SpkEphemeris& engine, const Position& place,
                                                             const GeodeticObserver& observer, const Instant& instant,
                                                             const std::optional<AirConditions>& air) {
  const auto epochs = engine.time_kernels().earth_rotation_epochs(instant);
  if (!epochs) return std::unexpected(epochs.error());
  const auto pole = engine.time_kernels().polar_motion_arcsec(epochs->ut1_julian_day);
  if (!pole) return std::unexpected(pole.error());

  const double ra = place.longitude_deg * kRadiansPerDegree;
  const double dec = place.latitude_deg * kRadiansPerDegree;
  const std::array<double, 3> true_of_date = {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra),
                                              std::sin(dec)};
  // True equator and equinox of date to the TIRS: R3(GAST).
  const double gast = greenwich_apparent_sidereal_time_iau2006(epochs->ut1_julian_day, epochs->tt_julian_day);
  const double sin_gast = std::sin(gast);
  const double cos_gast = std::cos(gast);
  const std::array<double, 3> tirs = {cos_gast * true_of_date[0] + sin_gast * true_of_date[1],
                                      -sin_gast * true_of_date[0] + cos_gast * true_of_date[1], true_of_date[2]};
  const std::array<double, 3> itrs = tirs_to_itrs(tirs, pole->first, pole->second, epochs->tt_julian_day);

  const HorizontalDirection direction = horizontal_direction(itrs, observer.latitude_deg * kRadiansPerDegree,
                                                             observer.longitude_east_deg * kRadiansPerDegree);
  double altitude_deg = direction.altitude_rad * kDegreesPerRadian;
  if (air) altitude_deg = refracted_altitude_deg(altitude_deg, air->temperature_c, air->pressure_mbar);
  return HorizontalPosition{altitude_deg, reduce_angle(direction.azimuth_rad * kDegreesPerRadian, 360.0),
                            place.distance_au};
}

}  // namespace

std::expected<std::vector<HorizontalPosition>, EphemerisError> horizontal_positions(
    const SpkEphemeris& engine, Body body, const GeodeticObserver& observer, std::span<const Instant> instants,
    std::optional<AirConditions> air, InterruptCheck interrupt) {
  if (air) {
    if (auto valid = validate(*air); !valid) return std::unexpected(valid.error());
  }
  const Body bodies[] = {body};
  const auto places = engine.positions(bodies, instants, horizon_options(observer), interrupt);
  if (!places) return std::unexpected(places.error());

  std::vector<HorizontalPosition> result;
  result.reserve(instants.size());
  for (std::size_t i = 0; i < instants.size(); ++i) {
    if (interrupt.stop(i, kPositionsPerInterruptPoll)) return std::unexpected(EphemerisError::interrupted());
    const auto horizontal = to_horizon(engine, (*places)[i], observer, instants[i], air);
    if (!horizontal) return std::unexpected(horizontal.error());
    result.push_back(*horizontal);
  }
  return result;
}

std::expected<HorizontalPosition, EphemerisError> horizontal_position(const SpkEphemeris& engine, Body body,
                                                                      const GeodeticObserver& observer,
                                                                      const Instant& instant,
                                                                      std::optional<AirConditions> air) {
  auto result = horizontal_positions(engine, body, observer, std::span(&instant, 1), air);
  if (!result) return std::unexpected(result.error());
  return result->front();
}

}  // namespace ephemeris
