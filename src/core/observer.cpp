#include "core/observer.h"

#include <array>
#include <cmath>
#include <numbers>

#include "core/constants.h"
#include "core/julian_day.h"
#include "core/precession.h"
#include "core/sidereal_time.h"

namespace ephemeris {
namespace {

// GRS80 ellipsoid: equatorial radius (m) and flattening, and the first
// eccentricity squared derived from the flattening.
constexpr double kGrs80EquatorialRadiusM = 6378137.0;
constexpr double kGrs80Flattening = 1.0 / 298.257222101;
constexpr double kGrs80EccentricitySquared = kGrs80Flattening * (2.0 - kGrs80Flattening);
constexpr double kGrs80OneMinusEccentricitySquared = 1.0 - kGrs80EccentricitySquared;
static_assert(kGrs80EccentricitySquared == 0.006694380022900787);
static_assert(kGrs80OneMinusEccentricitySquared == 0.9933056199770992);

// Nominal rotation rate of the Earth (GRS80), rad/s.
constexpr double kEarthRotationRateRadPerS = 7.292115e-5;

// Rate of the TIO locator s', radians per Julian century of TT (-47 uas/cy).
constexpr double kTioLocatorRate = -47e-6 * kRadiansPerArcsecond;
static_assert(kTioLocatorRate == -2.278624301214819e-10);

// The three polar-motion angles (radians) at `tt_jd`.
struct PolarMotionAngles {
  double xp;
  double yp;
  double sp;
};

PolarMotionAngles polar_motion_angles(double xp_arcsec, double yp_arcsec, double tt_jd) {
  return {xp_arcsec * kRadiansPerArcsecond, yp_arcsec * kRadiansPerArcsecond,
          kTioLocatorRate * julian_centuries_since_j2000(tt_jd)};
}

}  // namespace

std::expected<GeodeticObserver, CoordinateError> GeodeticObserver::validate() const {
  if (!std::isfinite(longitude_east_deg)) return std::unexpected(CoordinateError::NonFinite);
  if (!std::isfinite(latitude_deg) || !std::isfinite(height_m)) return std::unexpected(CoordinateError::NonFinite);
  if (std::abs(latitude_deg) > 90.0) return std::unexpected(CoordinateError::InvalidLatitude);
  return *this;
}

std::expected<CartesianState, CoordinateError> observer_gcrs_from_geodetic(const GeodeticObserver& observer,
                                                                          double ut1_jd, double tt_jd,
                                                                          double xp_arcsec, double yp_arcsec) {
  auto site = site_gcrs_from_geodetic(observer, ut1_jd, tt_jd, xp_arcsec, yp_arcsec);
  if (!site) return std::unexpected(site.error());
  return site->state;
}

std::expected<SiteGcrs, CoordinateError> site_gcrs_from_geodetic(const GeodeticObserver& observer, double ut1_jd,
                                                                 double tt_jd, double xp_arcsec, double yp_arcsec) {
  if (auto valid = observer.validate(); !valid) return std::unexpected(valid.error());
  if (!std::isfinite(xp_arcsec) || !std::isfinite(yp_arcsec)) return std::unexpected(CoordinateError::NonFinite);
  if (!std::isfinite(ut1_jd) || !std::isfinite(tt_jd)) return std::unexpected(CoordinateError::NonFinite);
  const double lon = observer.longitude_east_deg * kRadiansPerDegree;
  const double lat = observer.latitude_deg * kRadiansPerDegree;
  if (std::abs(lat) > std::numbers::pi / 2.0) return std::unexpected(CoordinateError::InvalidLatitude);
  const double h = observer.height_m;

  // Ellipsoid to ITRS, metres, then kilometres.
  const double sin_lat = std::sin(lat);
  const double cos_lat = std::cos(lat);
  const double n = kGrs80EquatorialRadiusM /
                   std::sqrt(std::fma(-kGrs80EccentricitySquared, sin_lat * sin_lat, 1.0));
  const double x_itrs = (n + h) * cos_lat * std::cos(lon) / kMetresPerKm;
  const double y_itrs = (n + h) * cos_lat * std::sin(lon) / kMetresPerKm;
  const double z_itrs = (n * kGrs80OneMinusEccentricitySquared + h) * sin_lat / kMetresPerKm;

  const std::array<double, 3> tirs = itrs_to_tirs({x_itrs, y_itrs, z_itrs}, xp_arcsec, yp_arcsec, tt_jd);

  // Rigid rotation about the TIRS z axis.
  const std::array<double, 3> velocity_tirs = {-kEarthRotationRateRadPerS * tirs[1],
                                               kEarthRotationRateRadPerS * tirs[0], 0.0};

  // TIRS to the true equator and equinox of date: R3(-GAST).
  const Nutation nutation = nutation_iau2000b(tt_jd);
  const double gast = greenwich_apparent_sidereal_time_iau2006(ut1_jd, tt_jd, nutation);
  const double sin_gast = std::sin(gast);
  const double cos_gast = std::cos(gast);
  const auto to_true_of_date = [&](const std::array<double, 3>& v) {
    return std::array<double, 3>{cos_gast * v[0] - sin_gast * v[1], sin_gast * v[0] + cos_gast * v[1], v[2]};
  };
  const CartesianState true_of_date{to_true_of_date(tirs), to_true_of_date(velocity_tirs)};

  const auto state = OfDateRotation(tt_jd, nutation, /*equatorial=*/true).apply_inverse(true_of_date);
  if (!state) return std::unexpected(state.error());
  return SiteGcrs{*state, gast};
}

std::array<double, 3> itrs_to_tirs(const std::array<double, 3>& v, double xp_arcsec, double yp_arcsec, double tt_jd) {
  const auto [xp, yp, sp] = polar_motion_angles(xp_arcsec, yp_arcsec, tt_jd);
  // R1(yp), then R2(xp), then R3(-s').
  const double y1 = std::cos(yp) * v[1] + std::sin(yp) * v[2];
  const double z1 = -std::sin(yp) * v[1] + std::cos(yp) * v[2];
  const double x2 = std::cos(xp) * v[0] - std::sin(xp) * z1;
  const double z2 = std::sin(xp) * v[0] + std::cos(xp) * z1;
  return {std::cos(sp) * x2 - std::sin(sp) * y1, std::sin(sp) * x2 + std::cos(sp) * y1, z2};
}

std::array<double, 3> tirs_to_itrs(const std::array<double, 3>& v, double xp_arcsec, double yp_arcsec, double tt_jd) {
  const auto [xp, yp, sp] = polar_motion_angles(xp_arcsec, yp_arcsec, tt_jd);
  // R3(s'), then R2(-xp), then R1(-yp).
  const double x1 = std::cos(sp) * v[0] + std::sin(sp) * v[1];
  const double y1 = -std::sin(sp) * v[0] + std::cos(sp) * v[1];
  const double x2 = std::cos(xp) * x1 + std::sin(xp) * v[2];
  const double z2 = -std::sin(xp) * x1 + std::cos(xp) * v[2];
  return {x2, std::cos(yp) * y1 - std::sin(yp) * z2, std::sin(yp) * y1 + std::cos(yp) * z2};
}

}  // namespace ephemeris
