// Rise, set and meridian transit of the Sun and the Moon for a site.
//
// The transit is refined in UT1 by fixed passes: the body's apparent
// topocentric right ascension and declination of date and the local apparent
// sidereal time give its hour angle H, and the day moves by the hour-angle gap
// divided by the Earth's rotation rate relative to the equinox. Once a pass
// leaves the day unchanged the passes stop, as each later one would repeat it.
//
// Rise and set are the real crossings of the altitude h0, roots of
//   f(t) = sin(altitude) - sin(h0) = sin(phi) sin(dec) + cos(phi) cos(dec) cos(H) - sin(h0),
// from the same position request and sidereal time. The search rests on two
// bounds:
// - Curvature: |f''| <= M = 0.8 + 44 cos(phi) rad/day^2. The leading term is
//   cos(phi) cos(dec) cos(H) H'^2 with H' at most 2 pi rad/day (the Sun); the
//   declination's motion and the Moon's diurnal parallax add the rest. Over
//   2025, five-minute second differences of Skyfield's apparent altitudes at
//   latitudes 0 to 90 degrees reach 39.5 cos(phi) (the Sun) and 0.03 at the
//   pole (the Moon), so M has a tenth in hand everywhere.
// - Shape: f' = 0 where sin(H) = k = dec' (tan(phi) - tan(dec) cos(H)) / H'.
//   With |dec'| <= 0.2 rad/day (the Moon, parallax included; 0.008 for the
//   Sun), |dec| <= 30 degrees and H' >= 5.8 rad/day, |k| <= 0.5 up to about
//   86 degrees of latitude for the Moon (89.9 for the Sun): f then has one
//   maximum and one minimum per turn, within asin(k) of the upper and the
//   lower culmination, and is monotonic between them.
// The search samples f at the culminations (predicted from the hour angle and
// its rate, within 0.1 rad for the Moon and 0.005 for the Sun) and at its
// start. A node within the prediction span of an evaluated sample is not
// evaluated when f there, from the declination held, is certain to lie
// beyond the zone below (the declination's rate bound and the node error
// bound its change). Between two such nodes f crosses once when their signs differ; with
// equal signs it can cross only near an extremum, within a zone of
// Delta = (asin(k) + 2 node errors) / 5.8 days of a node, where
// |f(node) - f(extremum)| <= M Delta^2 / 2. So when |f| exceeds 2 M Delta^2
// at both nodes, the interval has no crossing. Otherwise (a body grazing the
// altitude near a culmination, or a site beyond the shape's latitudes) the
// interval is settled by the curvature alone: an interval [a, b] whose chord
// rises or falls by more than M (b - a)^2 is monotonic (f' equals the chord
// slope somewhere and moves by less than M (b - a) across it); one whose ends
// lie on one side with the chord less M (t - a)(b - t) / 2 staying there has
// no crossing; any other is halved, down to 56 s. No crossing is missed
// unless two fall within 56 s of each other: a graze of the altitude by less
// than about 0.2 arcseconds. Each bracketed crossing is refined by Newton's
// step (with the declination held) and then secant steps inside the
// shrinking bracket, until the next step is under 0.17 s.
//
// The day of a transit runs from the lower transit before it to the lower
// transit after it: the body's hour angle, unwrapped continuously from the
// transit, lies in [-pi, pi). Successive days tile time, so every crossing
// belongs to exactly one day.
#include "engine/horizon_events.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <span>
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

// The bounds of the crossing search (see the top of the file).
constexpr double kCurvatureBoundPolar = 0.8;       // rad/day^2
constexpr double kCurvatureBoundPerCosine = 44.0;  // rad/day^2, times cos(latitude)
constexpr double kHourAngleRateFloor = 5.8;        // rad/day
constexpr double kTanDeclinationBound = 0.58;      // tan(30 degrees)
constexpr double kShapeLimit = 0.5;                // largest |k| trusted
struct BodyBounds {
  double declination_rate;  // rad/day
  double node_error;        // rad of hour angle
  double prediction_span;   // days from an evaluated sample over which node_error holds
  bool declination_trend;   // whether the trend over hours predicts the declination
};
// The Sun's right ascension rate changes by less than 1e-4 rad/day per day,
// so its hour angle extrapolated over three days is off by under 5e-4 rad;
// the Moon's topocentric rate swings by 0.1 rad/day with the parallax, which
// node_error covers for about half a turn. The parallax swings the Moon's
// topocentric declination over the day too, so its trend from the rise to
// the transit says little about the set.
constexpr BodyBounds kSunBounds{0.008, 0.005, 3.0, true};
constexpr BodyBounds kMoonBounds{0.2, 0.1, 0.6, false};
constexpr double kFinestIntervalDays = 1.0 / 1536.0;  // 56.25 s
constexpr double kRootToleranceDays = 2e-6;           // 0.17 s
constexpr double kNewtonAcceptanceDays = 1e-6;        // 0.09 s: bound on the error of an accepted Newton step
constexpr int kMaxRootIterations = 16;
// Nodes of a next-event scan: three days hold at most eight culminations.
constexpr int kMaxScanNodes = 12;

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

// The body's apparent topocentric place of date at one UT1 day and the local
// apparent sidereal time there, from one request: the site's state and the
// sidereal time share one nutation series (the caller has already converted
// an instant, so the time kernels are there and the observer is valid).
struct HorizonPlace {
  Position place;               // right ascension, declination (degrees), distance, speed
  double local_sidereal_time;   // radians, [0, 2 pi)
};

std::expected<HorizonPlace, EphemerisError> horizon_place(const SpkEphemeris& engine, Body body,
                                                          const PositionOptions& options, double east_longitude_rad,
                                                          double ut1_julian_day) {
  HorizonPlace result;
  SiteAtInstant site;
  if (auto done = engine.positions_at_instant(std::span(&body, 1), {ut1_julian_day, TimeScale::Ut1}, options,
                                              std::span(&result.place, 1), &site);
      !done) {
    return std::unexpected(done.error());
  }
  result.local_sidereal_time = local_sidereal_time(east_longitude_rad, site.greenwich_apparent_sidereal_time_rad);
  return result;
}

// f at one UT1 day: evaluated, or predicted at a culmination (a node) from
// an evaluated sample when its sign there is certain.
struct AltitudeSample {
  double ut1_julian_day;
  double f;                // sin(altitude) - sin(h0)
  double hour_angle;       // radians, unwrapped along a search
  double hour_angle_rate;  // rad/day: the Earth's rate less the right ascension's
  double slope;            // df/dt per day with the declination held
  double declination;      // radians
  // A predicted sample: f is within f_error of the truth, and it comes from
  // the sample evaluated at source_ut1_julian_day. 0 for an evaluated one.
  double f_error = 0.0;
  double source_ut1_julian_day = 0.0;
};

bool above(double f) { return f >= 0.0; }
bool evaluated(const AltitudeSample& s) { return s.f_error == 0.0; }

// f for one body, site and altitude, with the search's bounds for them.
class AltitudeFunction {
 public:
  AltitudeFunction(const SpkEphemeris& engine, Body body, const GeodeticObserver& observer, double altitude_deg)
      : engine_(engine),
        body_(body),
        options_(horizon_options(observer)),
        east_longitude_rad_(observer.longitude_east_deg * kRadiansPerDegree),
        latitude_rad_(observer.latitude_deg * kRadiansPerDegree),
        altitude_rad_(altitude_deg * kRadiansPerDegree),
        sin_latitude_(std::sin(observer.latitude_deg * kRadiansPerDegree)),
        cos_latitude_(std::cos(observer.latitude_deg * kRadiansPerDegree)),
        sin_altitude_(std::sin(altitude_deg * kRadiansPerDegree)),
        curvature_bound_(kCurvatureBoundPolar + kCurvatureBoundPerCosine * cos_latitude_) {
    const BodyBounds bounds = body == Body::Moon ? kMoonBounds : kSunBounds;
    node_error_ = bounds.node_error;
    declination_rate_ = bounds.declination_rate;
    prediction_span_ = bounds.prediction_span;
    declination_trend_ = bounds.declination_trend;
    const double k =
        bounds.declination_rate * (std::fabs(sin_latitude_ / cos_latitude_) + kTanDeclinationBound) / kHourAngleRateFloor;
    shaped_ = k <= kShapeLimit;
    extremum_offset_ = std::asin(std::min(k, 1.0));
    const double zone = (extremum_offset_ + 2.0 * node_error_) / kHourAngleRateFloor;
    zone_bound_ = 2.0 * curvature_bound_ * zone * zone;
  }

  // f at `ut1_julian_day`, its hour angle within pi of `reference_hour_angle`.
  std::expected<AltitudeSample, EphemerisError> operator()(double ut1_julian_day,
                                                           double reference_hour_angle) const {
    const auto evaluated = horizon_place(engine_, body_, options_, east_longitude_rad_, ut1_julian_day);
    if (!evaluated) return std::unexpected(evaluated.error());
    return sample(ut1_julian_day, *evaluated, reference_hour_angle);
  }

  // The same from the place already evaluated at `ut1_julian_day`.
  AltitudeSample sample(double ut1_julian_day, const HorizonPlace& evaluated, double reference_hour_angle) const {
    const Position& place = evaluated.place;
    const double declination = place.latitude_deg * kRadiansPerDegree;
    const double hour_angle = evaluated.local_sidereal_time - place.longitude_deg * kRadiansPerDegree;
    const double rate = kSiderealRateRadPerDay - place.longitude_speed_deg_per_day * kRadiansPerDegree;
    const double cos_term = cos_latitude_ * std::cos(declination);
    return AltitudeSample{ut1_julian_day,
                          sin_latitude_ * std::sin(declination) + cos_term * std::cos(hour_angle) - sin_altitude_,
                          reference_hour_angle + wrap_signed_radians(hour_angle - reference_hour_angle), rate,
                          -cos_term * std::sin(hour_angle) * rate, declination};
  }

  // f at the culmination of hour angle `hour_angle` (a multiple of pi, or
  // node_error beyond one), on the UT1 day predicted from `from`'s hour angle
  // and rate. Predicted without an evaluation when the node lies within the
  // prediction span of an evaluated sample and f there is certain to lie
  // beyond the extremum zone (so its side, and settled_by_nodes, are sure):
  // the declination moves by at most its rate bound over the span, which
  // moves f as much, and the hour angle's error moves f near a culmination by
  // at most cos(phi) (2 node_error)^2 / 2. Evaluated otherwise.
  std::expected<AltitudeSample, EphemerisError> node(const AltitudeSample& from, double hour_angle) const {
    const double t = from.ut1_julian_day + (hour_angle - from.hour_angle) / from.hour_angle_rate;
    const double source = evaluated(from) ? from.ut1_julian_day : from.source_ut1_julian_day;
    const double span = std::fabs(t - source);
    if (shaped_ && span <= prediction_span_) {
      const double cos_term = cos_latitude_ * std::cos(from.declination);
      const double f = sin_latitude_ * std::sin(from.declination) + cos_term * std::cos(hour_angle) - sin_altitude_;
      const double f_error = declination_rate_ * span + 2.0 * cos_latitude_ * node_error_ * node_error_ + 1e-9;
      if (std::fabs(f) > f_error + zone_bound_) {
        const double slope = -cos_term * std::sin(hour_angle) * from.hour_angle_rate;
        return AltitudeSample{t, f, hour_angle, from.hour_angle_rate, slope, from.declination, f_error, source};
      }
    }
    return (*this)(t, hour_angle);
  }

  // `s` itself when it was evaluated; otherwise f evaluated at its day.
  std::expected<AltitudeSample, EphemerisError> evaluate(const AltitudeSample& s) const {
    return evaluated(s) ? s : (*this)(s.ut1_julian_day, s.hour_angle);
  }

  double curvature_bound() const { return curvature_bound_; }
  bool declination_trend() const { return declination_trend_; }
  double node_error() const { return node_error_; }
  // Whether an interval within half a turn of hour angle, with these ends,
  // needs no more samples: its ends lie on opposite sides, or neither lies
  // near both a culmination and the altitude.
  bool settled_by_nodes(const AltitudeSample& a, const AltitudeSample& b) const {
    const auto clear = [&](const AltitudeSample& s) {
      const double from_culmination = std::fabs(s.hour_angle - std::numbers::pi * std::round(s.hour_angle / std::numbers::pi));
      return std::fabs(s.f) > zone_bound_ || from_culmination > extremum_offset_ + node_error_;
    };
    return shaped_ && (above(a.f) != above(b.f) || (clear(a) && clear(b)));
  }

  // The UT1 day at which the body, held at the declination of `s`, meets the
  // altitude rising (or setting) nearest to `s`, at the hour-angle rate of
  // `s`; NaN when it does not meet it.
  // With a `declination_rate` (rad/day, an estimate), the declination
  // follows it to the day first predicted, and the prediction is made again.
  double predicted_crossing(const AltitudeSample& s, bool upward, double declination_rate = 0.0) const {
    double t = s.ut1_julian_day;
    for (int pass = 0; pass < (declination_rate == 0.0 ? 1 : 2); ++pass) {
      const double declination = s.declination + declination_rate * (t - s.ut1_julian_day);
      const auto meets = rise_set_hour_angle(latitude_rad_, declination, altitude_rad_);
      if (!meets || meets->kind != HorizonCrossing::Kind::Crosses) return std::numeric_limits<double>::quiet_NaN();
      const double target = upward ? -meets->hour_angle_rad : meets->hour_angle_rad;
      t = s.ut1_julian_day + wrap_signed_radians(target - s.hour_angle) / s.hour_angle_rate;
    }
    return t;
  }

  // A bound on the error left by Newton's step `step` (days) from the
  // evaluated `s`: the curvature bound gives M step^2 / 2 / |slope|, and the
  // declination held in the slope, whose motion moves f by at most its rate
  // bound, |step| declination_rate / |slope|.
  double newton_error_bound(const AltitudeSample& s, double step) const {
    return (0.5 * curvature_bound_ * step * step + declination_rate_ * std::fabs(step)) / std::fabs(s.slope);
  }

 private:
  const SpkEphemeris& engine_;
  Body body_;
  PositionOptions options_;
  double east_longitude_rad_, latitude_rad_, altitude_rad_, sin_latitude_, cos_latitude_, sin_altitude_, curvature_bound_;
  double node_error_ = 0.0, extremum_offset_ = 0.0, zone_bound_ = 0.0, declination_rate_ = 0.0,
         prediction_span_ = 0.0;
  bool shaped_ = false, declination_trend_ = false;
};

// The crossing in [a, b], whose ends lie on opposite sides. First estimate:
// the hour angle at which the body, at the declination of the end nearer the
// altitude, meets it (or regula falsi when it does not); then secant steps
// (Newton's with the declination held after the first sample), each kept
// inside the bracket (regula falsi otherwise). Returns, unevaluated, the
// first Newton step's estimate when its error bound is under
// kNewtonAcceptanceDays, else the estimate whose step from the last sample
// is under kRootToleranceDays. `declination_rate` (an estimate, 0 for none)
// improves the first estimate.
std::expected<AltitudeSample, EphemerisError> refine_crossing(const AltitudeFunction& f, AltitudeSample a,
                                                              AltitudeSample b, double declination_rate) {
  AltitudeSample last = std::fabs(a.f) < std::fabs(b.f) ? a : b;
  std::optional<AltitudeSample> previous;
  double t = f.predicted_crossing(last, above(b.f), declination_rate);
  for (int iteration = 0; iteration < kMaxRootIterations; ++iteration) {
    if (!(t > a.ut1_julian_day && t < b.ut1_julian_day)) {
      t = (a.ut1_julian_day * b.f - b.ut1_julian_day * a.f) / (b.f - a.f);
    }
    if (std::fabs(t - last.ut1_julian_day) < kRootToleranceDays) break;
    const auto sample = f(t, last.hour_angle);
    if (!sample) return std::unexpected(sample.error());
    (above(sample->f) == above(a.f) ? a : b) = *sample;
    const bool first = !previous;
    previous = last;
    last = *sample;
    t = first || last.f == previous->f
            ? last.ut1_julian_day - last.f / last.slope
            : last.ut1_julian_day -
                  last.f * (last.ut1_julian_day - previous->ut1_julian_day) / (last.f - previous->f);
    if (first && t > a.ut1_julian_day && t < b.ut1_julian_day &&
        f.newton_error_bound(last, t - last.ut1_julian_day) < kNewtonAcceptanceDays) {
      break;
    }
  }
  return AltitudeSample{t, 0.0, last.hour_angle + (t - last.ut1_julian_day) * last.hour_angle_rate,
                        last.hour_angle_rate, last.slope, last.declination};
}

// What a search asks of the crossings it meets: their direction, the order
// in which they are met, and the hour angles of the day they must lie in.
struct CrossingQuery {
  bool upward;   // a rise; a set otherwise
  bool forward;  // earliest first; latest first otherwise
  double lowest_hour_angle = -std::numbers::pi;
  double highest_hour_angle = std::numbers::pi;  // excluded
  double declination_rate = 0.0;  // rad/day: an estimate for the first guess (0: none)
};

using FoundCrossing = std::expected<std::optional<AltitudeSample>, EphemerisError>;

// The one crossing that [a, b] may hold, refined when it matches the query.
FoundCrossing single_crossing(const AltitudeFunction& f, const AltitudeSample& a, const AltitudeSample& b,
                              const CrossingQuery& query) {
  if (above(a.f) == above(b.f) || above(b.f) != query.upward) return std::nullopt;
  const auto root = refine_crossing(f, a, b, query.declination_rate);
  if (!root) return std::unexpected(root.error());
  if (root->hour_angle < query.lowest_hour_angle || root->hour_angle >= query.highest_hour_angle) {
    return std::nullopt;
  }
  return *root;
}

// The first crossing matching the query in [a, b], in the query's order,
// settled by the curvature bound alone (see the top of the file).
FoundCrossing crossing_between(const AltitudeFunction& f, const AltitudeSample& a, const AltitudeSample& b,
                               const CrossingQuery& query) {
  const double width = b.ut1_julian_day - a.ut1_julian_day;
  const double bound = f.curvature_bound();
  if (std::fabs(b.f - a.f) > bound * width * width || width < kFinestIntervalDays) {
    return single_crossing(f, a, b, query);
  }
  if (above(a.f) == above(b.f)) {
    // Least of the chord less the bound's parabola, on the side of the ends.
    const double near = std::fabs(a.f), far = std::fabs(b.f), sag = 0.5 * bound * width * width;
    const double u = (sag + near - far) / (2.0 * sag);
    const double least = u > 0.0 && u < 1.0 ? near - (sag + near - far) * u / 2.0 : std::min(near, far);
    if (least > 0.0) return std::nullopt;
  }
  const auto middle = f(a.ut1_julian_day + 0.5 * width, a.hour_angle);
  if (!middle) return std::unexpected(middle.error());
  const auto earlier = [&] { return crossing_between(f, a, *middle, query); };
  const auto later = [&] { return crossing_between(f, *middle, b, query); };
  auto found = query.forward ? earlier() : later();
  if (!found || *found) return found;
  return query.forward ? later() : earlier();
}

// The first crossing matching the query between two nodes (a predicted one
// is evaluated when the nodes do not settle the interval).
FoundCrossing crossing_between_nodes(const AltitudeFunction& f, const AltitudeSample& a, const AltitudeSample& b,
                                     const CrossingQuery& query) {
  if (f.settled_by_nodes(a, b)) return single_crossing(f, a, b, query);
  const auto start = f.evaluate(a);
  if (!start) return std::unexpected(start.error());
  const auto end = f.evaluate(b);
  if (!end) return std::unexpected(end.error());
  return crossing_between(f, *start, *end, query);
}

// Body, altitude and observer, checked in this order.
std::expected<void, EphemerisError> validate_horizon_request(Body body, const GeodeticObserver& observer,
                                                             double altitude_deg) {
  if (body != Body::Sun && body != Body::Moon) return std::unexpected(EphemerisError::unsupported_body(body));
  if (!std::isfinite(altitude_deg)) {
    return std::unexpected(EphemerisError::invalid_request("horizon altitude must be finite"));
  }
  if (auto site = observer.validate(); !site) return std::unexpected(coordinate_request_error(site.error()));
  return {};
}

EphemerisError no_event_within_windows(Body body, HorizonEventKind kind) {
  return EphemerisError::invalid_request("no " + std::string(horizon_event_kind_name(kind)) + " of " +
                                         std::string(body_name(body)) + " within " + std::to_string(kSearchWindows) +
                                         " days after the query instant");
}

// The passes of refine_horizon_event from `start_ut1_julian_day` (the time
// kernels already known to be there). A pass whose step leaves the day as it
// was ends them: every later pass would evaluate that same day again and take
// the same step. Returns the day and the last evaluation, which was made at
// that day when the passes ended so.
struct RefinedDay {
  double ut1_julian_day;
  HorizonPlace last;
  bool last_at_result;
};

std::expected<RefinedDay, EphemerisError> refinement_passes(const SpkEphemeris& engine, Body body,
                                                            const GeodeticObserver& observer,
                                                            double start_ut1_julian_day, HorizonEventKind event,
                                                            double altitude_deg) {
  const double east_longitude_rad = observer.longitude_east_deg * kRadiansPerDegree;
  const PositionOptions options = horizon_options(observer);
  double d = start_ut1_julian_day;
  HorizonPlace last;
  for (int pass = 0; pass < kRefinementPasses; ++pass) {
    const auto evaluated = horizon_place(engine, body, options, east_longitude_rad, d);
    if (!evaluated) return std::unexpected(evaluated.error());
    last = *evaluated;
    const double right_ascension = evaluated->place.longitude_deg * kRadiansPerDegree;
    const double declination = evaluated->place.latitude_deg * kRadiansPerDegree;
    const double sidereal_time = evaluated->local_sidereal_time;

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
    const double next = d + (gap == -std::numbers::pi ? kHalfSiderealDay : gap / kSiderealRateRadPerDay);
    if (next == d) return RefinedDay{d, last, true};
    d = next;
  }
  return RefinedDay{d, last, false};
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
  // The time kernels and the site are checked as the first pass met them.
  if (auto epochs = engine.time_kernels().earth_rotation_epochs({start_ut1_julian_day, TimeScale::Ut1}); !epochs) {
    return std::unexpected(epochs.error());
  }
  const auto refined = refinement_passes(engine, body, observer, start_ut1_julian_day, event, altitude_deg);
  if (!refined) return std::unexpected(refined.error());
  return refined->ut1_julian_day;
}

std::expected<RiseSetTransit, EphemerisError> rise_set_transit(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& around, double altitude_deg) {
  if (auto valid = validate_horizon_request(body, observer, altitude_deg); !valid) {
    return std::unexpected(valid.error());
  }
  const auto epochs = engine.time_kernels().earth_rotation_epochs(around);
  if (!epochs) return std::unexpected(epochs.error());
  const auto refined =
      refinement_passes(engine, body, observer, epochs->ut1_julian_day, HorizonEventKind::Transit, altitude_deg);
  if (!refined) return std::unexpected(refined.error());
  const double transit = refined->ut1_julian_day;

  // Nodes: the transit (evaluated by the last pass when it ended there) and,
  // a node error beyond them, the lower transits.
  const AltitudeFunction f(engine, body, observer, altitude_deg);
  const auto middle = refined->last_at_result ? f.sample(transit, refined->last, 0.0) : f(transit, 0.0);
  if (!middle) return std::unexpected(middle.error());
  const auto first = f.node(*middle, -std::numbers::pi - f.node_error());
  if (!first) return std::unexpected(first.error());
  const auto last = f.node(*middle, std::numbers::pi + f.node_error());
  if (!last) return std::unexpected(last.error());
  // The rise before the transit, else the one after it; the set after the
  // transit, else the one before it.
  // The rise, once found, gives the set's first estimate the declination's
  // trend (where it predicts the declination).
  double declination_rate = 0.0;
  const auto morning = [&](bool upward) {
    return crossing_between_nodes(f, *first, *middle, {upward, false, -std::numbers::pi, std::numbers::pi,
                                                       declination_rate});
  };
  const auto evening = [&](bool upward) {
    return crossing_between_nodes(f, *middle, *last, {upward, true, -std::numbers::pi, std::numbers::pi,
                                                      declination_rate});
  };
  auto rise = morning(true);
  if (rise && !*rise) rise = evening(true);
  if (!rise) return std::unexpected(rise.error());
  if (*rise && f.declination_trend()) {
    declination_rate = ((*rise)->declination - middle->declination) / ((*rise)->ut1_julian_day - transit);
  }
  auto set = evening(false);
  if (set && !*set) set = morning(false);
  if (!set) return std::unexpected(set.error());

  RiseSetTransit result;
  result.transit_ut1_julian_day = transit;
  if (*rise) result.rise_ut1_julian_day = (*rise)->ut1_julian_day;
  if (*set) result.set_ut1_julian_day = (*set)->ut1_julian_day;
  return result;
}

std::expected<HorizonEvent, EphemerisError> next_horizon_event(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& after, HorizonEventKind kind,
                                                               double altitude_deg) {
  const auto epochs = engine.time_kernels().earth_rotation_epochs(after);
  if (!epochs) return std::unexpected(epochs.error());
  if (auto valid = validate_horizon_request(body, observer, altitude_deg); !valid) {
    return std::unexpected(valid.error());
  }
  const double threshold = epochs->ut1_julian_day + kDaysPerSecond;

  if (kind == HorizonEventKind::Transit) {
    for (int window = 0; window < kSearchWindows; ++window) {
      const auto transit = refinement_passes(engine, body, observer, epochs->ut1_julian_day + window,
                                             HorizonEventKind::Transit, altitude_deg);
      if (!transit) {
        if (window == 0) return std::unexpected(transit.error());
        break;  // later days end the search with the message below
      }
      if (transit->ut1_julian_day > threshold) return HorizonEvent{transit->ut1_julian_day, kind};
    }
    return std::unexpected(no_event_within_windows(body, kind));
  }

  // A rise or set: scan from the threshold over the nodes (each culmination,
  // the query + 2 days, and a node error past the end of the day holding it).
  const AltitudeFunction f(engine, body, observer, altitude_deg);
  auto start = f(threshold, 0.0);
  if (!start) return std::unexpected(start.error());
  const double last_window = epochs->ut1_julian_day + (kSearchWindows - 1);
  double end_hour_angle = std::numeric_limits<double>::infinity();
  AltitudeSample a = *start;
  for (int node = 0; node < kMaxScanNodes && a.hour_angle < end_hour_angle; ++node) {
    // Errors before the first lower transit are returned unchanged.
    const bool first_day = a.hour_angle < std::numbers::pi - f.node_error();
    double next = std::numbers::pi * (std::floor((a.hour_angle + f.node_error()) / std::numbers::pi) + 1.0);
    next = std::min(next, end_hour_angle + f.node_error());
    const double next_day = a.ut1_julian_day + (next - a.hour_angle) / a.hour_angle_rate;
    const bool marks_window = end_hour_angle == std::numeric_limits<double>::infinity() && next_day >= last_window;
    const auto b = marks_window ? f(last_window, a.hour_angle + (last_window - a.ut1_julian_day) * a.hour_angle_rate)
                                : f.node(a, next);
    if (!b) {
      if (first_day) return std::unexpected(b.error());
      break;
    }
    if (marks_window) {
      end_hour_angle = kTwoPi * std::floor((b->hour_angle + std::numbers::pi) / kTwoPi) + std::numbers::pi;
    }
    const auto found = crossing_between_nodes(
        f, a, *b, {kind == HorizonEventKind::Rise, true, -std::numeric_limits<double>::infinity(), end_hour_angle});
    if (!found) {
      if (first_day) return std::unexpected(found.error());
      break;
    }
    if (*found && (*found)->ut1_julian_day > threshold) return HorizonEvent{(*found)->ut1_julian_day, kind};
    a = *b;
  }
  return std::unexpected(no_event_within_windows(body, kind));
}

}  // namespace ephemeris
