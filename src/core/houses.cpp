#include "core/houses.h"

#include <cmath>
#include <numbers>
#include <optional>

#include "core/angle_reduction.h"
#include "core/constants.h"
#include "core/nutation.h"
#include "core/precession.h"
#include "core/sidereal_time.h"

namespace ephemeris {
namespace {

constexpr double kPi = std::numbers::pi;

// Placidus iteration on a cusp's declination.
constexpr double kConvergenceRad = 1e-12;
constexpr double kDegenerateDenominator = 1e-18;
constexpr int kMaxPasses = 100;

// Trigonometric values shared by all systems.
struct ChartFrame {
  double ramc;  // radians
  double sin_ramc, cos_ramc;
  double sin_eps, cos_eps;
  double sin_lat, cos_lat;
};

double to_output_degrees(double radians) { return reduce_angle(radians * kDegreesPerRadian, 360.0); }

// The four intermediate Placidus cusps, each placed by trisecting a semi-arc.
enum class PlacidusCusp { Eleventh, Twelfth, Second, Third };

// Right ascension of a Placidus cusp whose declination has diurnal semi-arc `sa`.
double placidus_right_ascension(PlacidusCusp cusp, double ramc, double sa) {
  switch (cusp) {
    case PlacidusCusp::Eleventh: return ramc + sa / 3.0;
    case PlacidusCusp::Twelfth: return ramc + 2.0 * sa / 3.0;
    case PlacidusCusp::Second: return ramc + kPi - 2.0 * (kPi - sa) / 3.0;
    case PlacidusCusp::Third: return ramc + kPi - (kPi - sa) / 3.0;
  }
  return ramc;
}

// Ecliptic longitude of a Placidus cusp in [0, 2 pi), by fixed-point
// iteration on its declination starting from the equator. Empty when the
// semi-arc is undefined (the point never rises or never sets) or the
// iteration does not settle within the pass limit.
std::optional<double> placidus_cusp(const ChartFrame& frame, PlacidusCusp cusp) {
  double declination = 0.0;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    const double d = frame.cos_lat * std::cos(declination);
    if (std::abs(d) < kDegenerateDenominator) return std::nullopt;
    const double q = std::sin(declination) * (-frame.sin_lat) / d;  // -tan(lat) tan(declination)
    if (!(std::abs(q) <= 1.0)) return std::nullopt;
    const double semi_arc = std::acos(q);
    const double ra = placidus_right_ascension(cusp, frame.ramc, semi_arc);
    const double longitude = std::atan2(std::sin(ra), frame.cos_eps * std::cos(ra));
    const double next = std::asin(frame.sin_eps * std::sin(longitude));
    if (std::abs(next - declination) < kConvergenceRad) return reduce_angle(longitude, kTwoPi);
    declination = next;
  }
  return std::nullopt;
}

std::optional<std::array<double, 12>> placidus_cusps(const ChartFrame& frame, double asc, double mc) {
  const auto c11 = placidus_cusp(frame, PlacidusCusp::Eleventh);
  const auto c12 = placidus_cusp(frame, PlacidusCusp::Twelfth);
  const auto c2 = placidus_cusp(frame, PlacidusCusp::Second);
  const auto c3 = placidus_cusp(frame, PlacidusCusp::Third);
  if (!c11 || !c12 || !c2 || !c3) return std::nullopt;
  const auto r = [](double a) { return reduce_angle(a, kTwoPi); };
  return std::array<double, 12>{r(asc),       *c2,          *c3,          r(mc + kPi), r(*c11 + kPi), r(*c12 + kPi),
                                r(asc + kPi), r(*c2 + kPi), r(*c3 + kPi), r(mc),       *c11,          *c12};
}

// Campanus: the prime vertical divided into twelve 30-degree arcs, projected
// onto the ecliptic along great circles through the north and south points.
std::array<double, 12> campanus_cusps(const ChartFrame& f) {
  std::array<double, 12> cusps{};
  for (int k = 0; k < 12; ++k) {
    const double h = (k * 30.0) * kRadiansPerDegree;
    const double c = std::cos(h);
    const double s = std::sin(h);
    const double y = f.cos_lat * f.cos_ramc * c - f.sin_ramc * s;
    const double x = -f.cos_eps * f.cos_ramc * s - c * (f.cos_eps * f.cos_lat * f.sin_ramc + f.sin_lat * f.sin_eps);
    cusps[k] = std::atan2(y, x);
  }
  return cusps;
}

std::array<double, 12> equal_cusps(double asc) {
  std::array<double, 12> cusps{};
  for (int k = 0; k < 12; ++k) cusps[k] = reduce_angle(asc + k * kPi / 6.0, kTwoPi);
  return cusps;
}

// Whole Sign: house 1 is the whole zodiac sign holding the ascendant.
std::array<double, 12> whole_sign_cusps(double asc) {
  const double asc_deg = reduce_angle(asc * kDegreesPerRadian, 360.0);
  const double base = std::floor(asc_deg / 30.0) * 30.0;
  std::array<double, 12> cusps{};
  for (int k = 0; k < 12; ++k) cusps[k] = reduce_angle(base + k * 30.0, 360.0) * kRadiansPerDegree;
  return cusps;
}

}  // namespace

std::expected<HouseCusps, CoordinateError> house_cusps_from_ramc(double ramc_rad, double true_obliquity_rad,
                                                                 double latitude_rad, HouseSystem system) {
  if (!std::isfinite(ramc_rad) || !std::isfinite(true_obliquity_rad) || !std::isfinite(latitude_rad))
    return std::unexpected(CoordinateError::NonFinite);
  if (std::abs(latitude_rad) > kPi / 2.0) return std::unexpected(CoordinateError::InvalidLatitude);

  const double ramc = reduce_angle(ramc_rad, kTwoPi);
  const ChartFrame f{ramc,
                     std::sin(ramc),
                     std::cos(ramc),
                     std::sin(true_obliquity_rad),
                     std::cos(true_obliquity_rad),
                     std::sin(latitude_rad),
                     std::cos(latitude_rad)};
  const double mc = std::atan2(f.sin_ramc, f.cos_eps * f.cos_ramc);
  const double asc = std::atan2(f.cos_lat * f.cos_ramc, -(f.sin_lat * f.sin_eps + f.cos_eps * f.cos_lat * f.sin_ramc));

  std::array<double, 12> cusps{};
  switch (system) {
    case HouseSystem::Placidus: {
      const auto placidus = placidus_cusps(f, asc, mc);
      if (!placidus) return std::unexpected(CoordinateError::UndefinedHouseCusps);
      cusps = *placidus;
      break;
    }
    case HouseSystem::Campanus: cusps = campanus_cusps(f); break;
    case HouseSystem::Equal: cusps = equal_cusps(asc); break;
    case HouseSystem::WholeSign: cusps = whole_sign_cusps(asc); break;
  }

  HouseCusps result;
  for (std::size_t k = 0; k < cusps.size(); ++k) result.cusp_ecliptic_longitude_deg[k] = to_output_degrees(cusps[k]);
  result.ascendant_deg = to_output_degrees(asc);
  result.midheaven_deg = to_output_degrees(mc);
  result.ramc_deg = to_output_degrees(ramc);
  result.local_sidereal_time_deg = result.ramc_deg;
  result.true_obliquity_deg = true_obliquity_rad * kDegreesPerRadian;
  result.system = system;
  return result;
}

std::expected<HouseCusps, CoordinateError> house_cusps(const GeodeticObserver& observer, HouseSystem system,
                                                       double ut1_jd, double tt_jd) {
  if (auto valid = observer.validate(); !valid) return std::unexpected(valid.error());
  if (!std::isfinite(ut1_jd) || !std::isfinite(tt_jd)) return std::unexpected(CoordinateError::NonFinite);
  const double longitude = observer.longitude_east_deg * kRadiansPerDegree;
  const double latitude = observer.latitude_deg * kRadiansPerDegree;

  const Nutation nutation = nutation_iau2000b(tt_jd);
  const double gast = greenwich_apparent_sidereal_time_iau2006(ut1_jd, tt_jd, nutation);
  const double ramc = local_sidereal_time(longitude, gast);
  const double true_obliquity = mean_obliquity_iau2006(tt_jd) + nutation.obliquity_rad;
  return house_cusps_from_ramc(ramc, true_obliquity, latitude, system);
}

}  // namespace ephemeris
