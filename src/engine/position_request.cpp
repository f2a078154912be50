#include "engine/position_request.h"

#include <string>

#include "core/body.h"
#include "core/constants.h"

namespace ephemeris {
namespace {

std::unexpected<EphemerisError> invalid(const char* text) {
  return std::unexpected(EphemerisError::invalid_request(text));
}

std::unexpected<EphemerisError> backend(CoordinateError error) {
  return std::unexpected(EphemerisError::backend(std::string(message(error))));
}

}  // namespace

std::expected<PositionOptions, EphemerisError> resolve_position_options(const PositionOptions& options) {
  PositionOptions resolved = options;
  Corrections& c = resolved.corrections;
  const bool ecliptic = resolved.coordinate_system == CoordinateSystem::Ecliptic;
  const bool of_date = resolved.reference_epoch == ReferenceEpoch::OfDate;

  if (resolved.apparent) {
    if (!of_date) return invalid("apparent requires reference_epoch: OfDate");
    c = Corrections{true, true, true, true, true};
    if (ecliptic) resolved.true_ecliptic = true;
    resolved.apparent = false;
  }
  if (of_date) {
    if (!c.precession) return invalid("reference_epoch: OfDate requires corrections.precession");
    if (resolved.true_ecliptic && !ecliptic) return invalid("true_ecliptic requires CoordinateSystem::Ecliptic");
    if (resolved.true_ecliptic && !c.nutation) return invalid("true_ecliptic requires corrections.nutation");
    if (!resolved.true_ecliptic && ecliptic && c.nutation) {
      return invalid("ecliptic-of-date with nutation requires true_ecliptic");
    }
  } else {
    if (c.precession || c.nutation) return invalid("precession and nutation require reference_epoch: OfDate");
    if (resolved.true_ecliptic && !ecliptic) return invalid("true_ecliptic requires CoordinateSystem::Ecliptic");
    if (resolved.true_ecliptic) return invalid("true_ecliptic requires reference_epoch: OfDate");
  }
  if (resolved.origin.kind == OriginKind::Topocentric) {
    auto site = resolved.origin.observer.validate();
    if (!site) return std::unexpected(EphemerisError::invalid_request(std::string(message(site.error()))));
  }
  return resolved;
}

std::int32_t center_code(OriginKind origin) {
  switch (origin) {
    case OriginKind::Barycentric: return kNaifSolarSystemBarycenter;
    case OriginKind::Heliocentric: return kNaifSun;
    case OriginKind::Geocentric:
    case OriginKind::Topocentric: return kNaifEarth;
  }
  return kNaifEarth;
}

OutputFrame output_frame(const PositionOptions& options, double jd_tdb) {
  const bool equatorial = options.coordinate_system == CoordinateSystem::Equatorial;
  if (options.reference_epoch == ReferenceEpoch::OfDate) {
    return OfDateRotation(jd_tdb, options.corrections.nutation, equatorial);
  }
  if (equatorial) return J2000Equatorial{};
  return J2000Ecliptic{};
}

std::expected<Position, EphemerisError> position_from_state(const CartesianState& state, const OutputFrame& frame) {
  std::expected<CartesianState, CoordinateError> rotated = state;
  if (const auto* rotation = std::get_if<OfDateRotation>(&frame)) {
    rotated = rotation->apply(state);
  } else if (std::holds_alternative<J2000Ecliptic>(frame)) {
    rotated = to_j2000_ecliptic(state);
  }
  if (!rotated) return backend(rotated.error());
  const auto spherical = to_spherical(*rotated);
  if (!spherical) return backend(spherical.error());
  return position_from_spherical(*spherical);
}

Position position_from_spherical(const SphericalCoordinates& spherical) {
  return Position{spherical.longitude_deg, spherical.latitude_deg, spherical.distance / kKmPerAu,
                  spherical.longitude_speed_deg_per_day};
}

EphemerisError spk_ephemeris_error(const SpkError& error) { return EphemerisError::backend(message(error)); }

}  // namespace ephemeris
