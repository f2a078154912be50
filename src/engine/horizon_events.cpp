// Rise, set and meridian transit of the Sun and the Moon for a site. Each
// event is refined in UT1 by fixed passes: the body's apparent topocentric
// right ascension and declination of date and the local apparent sidereal
// time give its hour angle, and the day moves by the hour-angle gap to the
// event divided by the Earth's rotation rate relative to the equinox.
#include "engine/horizon_events.h"

#include <cmath>
#include <numbers>
#include <string>

#include "core/angle_reduction.h"
#include "core/constants.h"
#include "core/horizon.h"
#include "core/sidereal_time.h"

namespace ephemeris {
namespace {

// Earth rotation relative to the equinox, rad per UT1 day.
constexpr double kSiderealRateRadPerDay = kTwoPi * (1.0 + kEraExtraTurnsPerDay);
static_assert(kSiderealRateRadPerDay == 6.300387486754831);
// pi / rate: the step taken when the hour-angle gap is exactly -pi, UT1 days.
constexpr double kHalfSiderealDay = std::numbers::pi / kSiderealRateRadPerDay;
static_assert(kHalfSiderealDay == 0.49863483161857836);
constexpr int kRefinementPasses = 8;
constexpr int kSearchWindows = 3;

constexpr const char* kNoCrossingMessage = "body does not cross the requested altitude";

EphemerisError coordinate_request_error(CoordinateError error) {
  return EphemerisError::invalid_request(std::string(message(error)));
}

// Where a body at `declination_rad` meets the altitude for the site.
std::expected<HorizonCrossing, EphemerisError> crossing(const GeodeticObserver& observer, double declination_rad,
                                                        double altitude_deg) {
  auto result = rise_set_hour_angle(observer.latitude_deg * kRadiansPerDegree, declination_rad,
                                    altitude_deg * kRadiansPerDegree);
  if (!result) return std::unexpected(coordinate_request_error(result.error()));
  return *result;
}

}  // namespace

PositionOptions horizon_options(const GeodeticObserver& observer) {
  PositionOptions options;
  options.origin = Origin::topocentric(observer);
  options.coordinate_system = CoordinateSystem::Equatorial;
  options.reference_epoch = ReferenceEpoch::OfDate;
  options.apparent = true;
  return options;
}

std::expected<double, EphemerisError> refine_horizon_event(const SpkEphemeris& engine, Body body,
                                                           const GeodeticObserver& observer,
                                                           double start_ut1_julian_day, HorizonEventKind event,
                                                           double altitude_deg) {
  const double east_longitude_rad = observer.longitude_east_deg * kRadiansPerDegree;
  const PositionOptions options = horizon_options(observer);
  double d = start_ut1_julian_day;
  for (int pass = 0; pass < kRefinementPasses; ++pass) {
    const Instant instant{d, TimeScale::Ut1};
    const auto epochs = engine.time_kernels().earth_rotation_epochs(instant);
    if (!epochs) return std::unexpected(epochs.error());
    const auto place = engine.position(body, instant, options);
    if (!place) return std::unexpected(place.error());
    const double right_ascension = place->longitude_deg * kRadiansPerDegree;
    const double declination = place->latitude_deg * kRadiansPerDegree;
    const double sidereal_time =
        local_apparent_sidereal_time_iau2006(east_longitude_rad, epochs->ut1_julian_day, epochs->tt_julian_day);

    double hour_angle = wrap_signed_radians(sidereal_time - right_ascension);
    if (hour_angle == -std::numbers::pi) hour_angle = std::numbers::pi;

    double target = 0.0;
    if (event != HorizonEventKind::Transit) {
      const auto meets = crossing(observer, declination, altitude_deg);
      if (!meets) return std::unexpected(meets.error());
      if (meets->kind != HorizonCrossing::Kind::Crosses) {
        return std::unexpected(EphemerisError::invalid_request(kNoCrossingMessage));
      }
      target = event == HorizonEventKind::Rise ? -meets->hour_angle_rad : meets->hour_angle_rad;
    }

    const double gap = wrap_signed_radians(target - hour_angle);
    d += gap == -std::numbers::pi ? kHalfSiderealDay : gap / kSiderealRateRadPerDay;
  }
  return d;
}

std::expected<RiseSetTransit, EphemerisError> rise_set_transit(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& around, double altitude_deg) {
  if (body != Body::Sun && body != Body::Moon) return std::unexpected(EphemerisError::unsupported_body(body));
  if (!std::isfinite(altitude_deg)) {
    return std::unexpected(EphemerisError::invalid_request("horizon altitude must be finite"));
  }
  if (auto site = observer.validate(); !site) return std::unexpected(coordinate_request_error(site.error()));
  const auto epochs = engine.time_kernels().earth_rotation_epochs(around);
  if (!epochs) return std::unexpected(epochs.error());

  const auto transit =
      refine_horizon_event(engine, body, observer, epochs->ut1_julian_day, HorizonEventKind::Transit, altitude_deg);
  if (!transit) return std::unexpected(transit.error());
  const auto place = engine.position(body, {*transit, TimeScale::Ut1}, horizon_options(observer));
  if (!place) return std::unexpected(place.error());
  const auto meets = crossing(observer, place->latitude_deg * kRadiansPerDegree, altitude_deg);
  if (!meets) return std::unexpected(meets.error());

  RiseSetTransit result;
  result.transit_ut1_julian_day = *transit;
  if (meets->kind != HorizonCrossing::Kind::Crosses) return result;
  const auto rise = refine_horizon_event(engine, body, observer, *transit, HorizonEventKind::Rise, altitude_deg);
  if (!rise) return std::unexpected(rise.error());
  const auto set = refine_horizon_event(engine, body, observer, *transit, HorizonEventKind::Set, altitude_deg);
  if (!set) return std::unexpected(set.error());
  result.rise_ut1_julian_day = *rise;
  result.set_ut1_julian_day = *set;
  return result;
}

std::expected<HorizonEvent, EphemerisError> next_horizon_event(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& after, HorizonEventKind kind,
                                                               double altitude_deg) {
  const auto epochs = engine.time_kernels().earth_rotation_epochs(after);
  if (!epochs) return std::unexpected(epochs.error());
  const double threshold = epochs->ut1_julian_day + kDaysPerSecond;

  for (int window = 0; window < kSearchWindows; ++window) {
    const auto day =
        rise_set_transit(engine, body, observer, {epochs->ut1_julian_day + window, TimeScale::Ut1}, altitude_deg);
    if (!day) {
      if (window == 0) return std::unexpected(day.error());
      break;  // later days end the search with the message below
    }
    std::optional<double> candidate;
    switch (kind) {
      case HorizonEventKind::Rise: candidate = day->rise_ut1_julian_day; break;
      case HorizonEventKind::Set: candidate = day->set_ut1_julian_day; break;
      case HorizonEventKind::Transit: candidate = day->transit_ut1_julian_day; break;
    }
    if (candidate && *candidate > threshold) return HorizonEvent{*candidate, kind};
  }
  return std::unexpected(EphemerisError::invalid_request(
      "no " + std::string(horizon_event_kind_name(kind)) + " of " + std::string(body_name(body)) + " within " +
      std::to_string(kSearchWindows) + " days after the query instant"));
}

}  // namespace ephemeris
