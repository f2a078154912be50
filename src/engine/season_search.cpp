// Equinoxes, solstices and lunations: the next instant at which an apparent
// geocentric longitude of date (the Sun's, or the Moon's minus the Sun's)
// reaches a target angle. A first guess from the current rate, a Newton
// iteration on the longitude using the speed every position carries, and one
// retry a period later when the root is not after the query instant.
#include "engine/season_search.h"

#include <cmath>
#include <span>

#include "core/angle_reduction.h"
#include "core/constants.h"

namespace ephemeris {
namespace {

constexpr double kTropicalYearDays = 365.2421897;
constexpr double kSynodicMonthDays = 29.530588861;
constexpr double kMinimumSpeedDegPerDay = 1e-06;
// Newton stops after a step below this. The rate it divides by is the
// longitude speed of the place, which departs from the derivative of the
// apparent longitude (by the frame's and the aberration's own motion) by
// less than 1e-4 of it, and the curvature term is smaller still at such a
// step: the error left is then under 1e-10 day, below the 2e-10 day at which
// the rounding of the longitudes stalls the iteration.
constexpr double kStepToleranceDays = 1e-6;
constexpr int kNewtonEvaluationLimit = 12;
// A first-guess gap below this is an event at the query instant: the next one is sought.
constexpr double kZeroGapDeg = 1e-08;

constexpr const char* kTooSlowMessage = "longitude speed is too small to search for the event";

// A longitude-like quantity and its rate at one instant.
struct Sample {
  double value_deg;
  double rate_deg_per_day;
};

enum class Quantity { SunLongitude, MoonSunElongation };

// Apparent geocentric ecliptic coordinates of date (true ecliptic and equinox).
PositionOptions search_options() {
  PositionOptions options;
  options.origin = Origin::geocentric();
  options.coordinate_system = CoordinateSystem::Ecliptic;
  options.reference_epoch = ReferenceEpoch::OfDate;
  options.apparent = true;
  return options;
}

std::expected<Sample, EphemerisError> evaluate(const SpkEphemeris& engine, Quantity quantity, double julian_day,
                                               TimeScale scale) {
  // The Sun, then the Moon, at one instant: one conversion and one frame of date.
  static constexpr Body kBodies[] = {Body::Sun, Body::Moon};
  const std::span<const Body> bodies(kBodies, quantity == Quantity::SunLongitude ? 1 : 2);
  Position places[2];
  if (auto done = engine.positions_at_instant(bodies, {julian_day, scale}, search_options(), places); !done) {
    return std::unexpected(done.error());
  }
  const Position& sun = places[0];
  const Position& moon = places[1];
  if (quantity == Quantity::SunLongitude) return Sample{sun.longitude_deg, sun.longitude_speed_deg_per_day};
  return Sample{reduce_angle(moon.longitude_deg - sun.longitude_deg, 360.0),
                moon.longitude_speed_deg_per_day - sun.longitude_speed_deg_per_day};
}

bool too_slow(double rate_deg_per_day) {
  return !std::isfinite(rate_deg_per_day) || std::fabs(rate_deg_per_day) < kMinimumSpeedDegPerDay;
}

// Newton's method from `julian_day` (in `scale`) on quantity - target; stops
// when a correction is below the tolerance or after the evaluation limit,
// returning the corrected day without evaluating it again.
std::expected<double, EphemerisError> newton_longitude_zero(const SpkEphemeris& engine, Quantity quantity,
                                                            double julian_day, TimeScale scale, double target_deg) {
  double d = julian_day;
  for (int evaluations = 1;; ++evaluations) {
    const auto sample = evaluate(engine, quantity, d, scale);
    if (!sample) return std::unexpected(sample.error());
    if (too_slow(sample->rate_deg_per_day)) return std::unexpected(EphemerisError::invalid_request(kTooSlowMessage));
    const double step = wrap_signed_degrees(sample->value_deg - target_deg) / sample->rate_deg_per_day;
    d -= step;
    if (std::fabs(step) < kStepToleranceDays || evaluations == kNewtonEvaluationLimit) return d;
  }
}

std::expected<Instant, EphemerisError> refine_longitude_zero(const SpkEphemeris& engine, Quantity quantity,
                                                             const Instant& after, double target_deg,
                                                             double period_days) {
  const double j0 = after.julian_day;
  const auto start = evaluate(engine, quantity, j0, after.time_scale);
  if (!start) return std::unexpected(start.error());
  if (too_slow(start->rate_deg_per_day)) return std::unexpected(EphemerisError::invalid_request(kTooSlowMessage));

  double gap = reduce_angle(target_deg - start->value_deg, 360.0);
  if (gap < kZeroGapDeg) gap = 360.0;
  auto root = newton_longitude_zero(engine, quantity, j0 + gap / start->rate_deg_per_day, after.time_scale,
                                    target_deg);
  if (!root) return std::unexpected(root.error());
  if (!(*root > j0 + kDaysPerSecond)) {
    root = newton_longitude_zero(engine, quantity, *root + period_days, after.time_scale, target_deg);
    if (!root) return std::unexpected(root.error());
  }

  const auto tt = engine.time_kernels().tt_julian_day({*root, after.time_scale});
  if (!tt) return std::unexpected(tt.error());
  return Instant{*tt, TimeScale::Tt};
}

}  // namespace

std::expected<Instant, EphemerisError> next_sun_longitude(const SpkEphemeris& engine, const Instant& after,
                                                          double target_deg) {
  return refine_longitude_zero(engine, Quantity::SunLongitude, after, target_deg, kTropicalYearDays);
}

std::expected<Instant, EphemerisError> next_sun_moon_elongation(const SpkEphemeris& engine, const Instant& after,
                                                                double target_deg) {
  return refine_longitude_zero(engine, Quantity::MoonSunElongation, after, target_deg, kSynodicMonthDays);
}

}  // namespace ephemeris
