// The options of a position request, as the Python layer fills them. The rules
// between the fields are checked by the engine, not here.
#pragma once

#include <cstdint>

#include "core/observer.h"

namespace ephemeris {

enum class OriginKind : std::uint8_t { Barycentric, Heliocentric, Geocentric, Topocentric };

// Where a position is seen from; a topocentric origin carries its site.
struct Origin {
  OriginKind kind = OriginKind::Geocentric;
  GeodeticObserver observer{};  // meaningful only for Topocentric

  static constexpr Origin barycentric() { return {OriginKind::Barycentric, {}}; }
  static constexpr Origin heliocentric() { return {OriginKind::Heliocentric, {}}; }
  static constexpr Origin geocentric() { return {OriginKind::Geocentric, {}}; }
  static constexpr Origin topocentric(const GeodeticObserver& site) {
    return {OriginKind::Topocentric, site};
  }
};

enum class CoordinateSystem : std::uint8_t { Equatorial, Ecliptic };
enum class ReferenceEpoch : std::uint8_t { J2000, OfDate };

struct Corrections {
  bool light_time = false;
  bool aberration = false;
  bool gravitational_deflection = false;
  bool precession = false;
  bool nutation = false;
};

struct PositionOptions {
  Origin origin = Origin::geocentric();
  CoordinateSystem coordinate_system = CoordinateSystem::Ecliptic;
  ReferenceEpoch reference_epoch = ReferenceEpoch::J2000;
  bool apparent = false;       // turns on all five corrections (and the true ecliptic)
  bool true_ecliptic = false;  // ecliptic of date including nutation
  Corrections corrections{};
};

}  // namespace ephemeris
