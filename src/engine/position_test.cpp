// Position requests: the option rules, single requests against CSPICE and
// Skyfield, the identical-origin rule, and batches equal to single requests.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "engine/engine.h"
#include "engine/position_request.h"
#include "engine/testing/de421_engines.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

#include "engine/testdata/engine_reference.inc"

using CS = CoordinateSystem;
using RE = ReferenceEpoch;
using Vec3 = std::array<double, 3>;
using testing::outcome;

const Origin kGeo = Origin::geocentric();
constexpr Corrections kLightTime{true, false, false, false, false};
constexpr Corrections kPrecession{false, false, false, true, false};
constexpr Corrections kPrecessionNutation{false, false, false, true, true};

PositionOptions opts(Origin origin, CS system, RE epoch, Corrections c = {}, bool true_ecliptic = false,
                     bool apparent = false) {
  return {origin, system, epoch, apparent, true_ecliptic, c};
}

Vec3 cartesian(double longitude_deg, double latitude_deg, double r = 1.0) {
  const double lon = longitude_deg * kRadiansPerDegree, lat = latitude_deg * kRadiansPerDegree;
  return {r * std::cos(lat) * std::cos(lon), r * std::cos(lat) * std::sin(lon), r * std::sin(lat)};
}

Body body_of(int code) {
  return *std::find_if(kAllBodies.begin(), kAllBodies.end(), [&](Body b) { return naif_code(b) == code; });
}

double separation_mas(const Vec3& a, const Vec3& b) {
  const Vec3 c = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  return std::atan2(std::hypot(c[0], c[1], c[2]), a[0] * b[0] + a[1] * b[1] + a[2] * b[2]) * kDegreesPerRadian * 3.6e6;
}

TEST(PositionOptions, RulesInOrder) {
  const std::pair<PositionOptions, std::string> cases[] = {
      {opts(kGeo, CS::Ecliptic, RE::J2000, {}, false, true), "apparent requires reference_epoch: OfDate"},
      {opts(kGeo, CS::Ecliptic, RE::OfDate), "reference_epoch: OfDate requires corrections.precession"},
      {opts(kGeo, CS::Equatorial, RE::OfDate, kPrecessionNutation, true),
       "true_ecliptic requires CoordinateSystem::Ecliptic"},
      {opts(kGeo, CS::Ecliptic, RE::OfDate, kPrecession, true), "true_ecliptic requires corrections.nutation"},
      {opts(kGeo, CS::Ecliptic, RE::OfDate, kPrecessionNutation), "ecliptic-of-date with nutation requires true_ecliptic"},
      {opts(kGeo, CS::Ecliptic, RE::J2000, {.nutation = true}), "precession and nutation require reference_epoch: OfDate"},
      {opts(kGeo, CS::Equatorial, RE::J2000, {}, true), "true_ecliptic requires CoordinateSystem::Ecliptic"},
      {opts(kGeo, CS::Ecliptic, RE::J2000, {}, true), "true_ecliptic requires reference_epoch: OfDate"},
      {opts(Origin::topocentric({0, 91, 0}), CS::Ecliptic, RE::J2000),
       "geodetic latitude must be finite and within [-90, 90] degrees"},
      {opts(Origin::topocentric({std::nan(""), 0, 0}), CS::Ecliptic, RE::J2000), "Cartesian state must be finite"},
      {opts(kGeo, CS::Ecliptic, RE::OfDate, kPrecession), "ok"},  // mean ecliptic of date
  };
  for (const auto& [options, text] : cases) {
    const auto resolved = resolve_position_options(options);
    EXPECT_EQ(outcome(resolved), text);
    EXPECT_TRUE(resolved || resolved.error().kind() == EphemerisError::Kind::InvalidRequest);
  }
  const auto apparent = resolve_position_options(opts(kGeo, CS::Ecliptic, RE::OfDate, {}, false, true)).value();
  const Corrections& c = apparent.corrections;
  EXPECT_EQ(std::vector({c.light_time, c.aberration, c.gravitational_deflection, c.precession, c.nutation,
                         apparent.true_ecliptic, apparent.apparent}),
            std::vector({true, true, true, true, true, true, false}));
  EXPECT_FALSE(resolve_position_options(opts(kGeo, CS::Equatorial, RE::OfDate, {}, false, true))->true_ecliptic);
  EXPECT_EQ(batch_result_length(1ull << 32, (1ull << 32) - 1).value(), (1ull << 32) * ((1ull << 32) - 1));
  EXPECT_EQ(outcome(batch_result_length(1ull << 32, 1ull << 32)), "batch result length overflowed");
  EXPECT_EQ(batch_result_length(0, ~0ull).value(), 0u);
}

class Positions : public testing::RealDataTest {
 protected:
  // Positions within `tolerance_km` of a CSPICE table, or directions within
  // `tolerance_mas` when that is set.
  static void compare_with_spice(std::span<const SpiceStateReference> table, Corrections corrections,
                                 double tolerance_km, double tolerance_mas = 0) {
    double worst_km = 0.0, worst_mas = 0.0;
    for (const auto& ref : table) {
      const Origin origin = ref.center == 0 ? Origin::barycentric() : ref.center == 10 ? Origin::heliocentric() : kGeo;
      const auto p = de421().position(body_of(ref.target), {ref.tdb_seconds / 86400.0 + 2451545.0, TimeScale::Tdb},
                                      opts(origin, CS::Equatorial, RE::J2000, corrections));
      ASSERT_TRUE(p.has_value()) << message(p.error());
      const Vec3 xyz = cartesian(p->longitude_deg, p->latitude_deg, p->distance_au * kKmPerAu);
      for (int k = 0; k < 3; ++k) worst_km = std::max(worst_km, std::fabs(xyz[k] - ref.state[k]));
      worst_mas = std::max(worst_mas, separation_mas(xyz, {ref.state[0], ref.state[1], ref.state[2]}));
    }
    std::printf("largest difference: %.3g km, %.3g mas\n", worst_km, worst_mas);
    EXPECT_LE(tolerance_mas > 0 ? worst_mas : worst_km, tolerance_mas > 0 ? tolerance_mas : tolerance_km);
  }
};

// The Chebyshev sums agree to rounding; the spherical round trip loses about
// 1e-16 of the distance (below 1e-7 km within the inner system).
TEST_F(Positions, GeometricAgreesWithSpice) { compare_with_spice(kSpiceGeometric, {}, 1e-6); }

// Three fixed-point iterations leave an error of order (v/c)^3 of the light time.
TEST_F(Positions, LightTimeAgreesWithSpiceConverged) { compare_with_spice(kSpiceLightTime, kLightTime, 1e-6); }

// First-order aberration against CSPICE's relativistic form: (v/c)^2 is below 1 mas.
TEST_F(Positions, AberrationAgreesWithSpiceInDirection) {
  compare_with_spice(kSpiceLightTimeAberration, {true, true, false, false, false}, 0, 5.0);
}

TEST_F(Positions, ApparentAgreesWithSkyfield) {
  // Skyfield uses IAU 2000A nutation and relativistic aberration; the engine
  // IAU 2000B and first-order aberration: differences of a few mas remain.
  double worst = 0.0;
  for (const auto& ref : kSkyfieldApparent) {
    const Instant t{ref.tt_julian_day, TimeScale::Tt};
    const Body body = body_of(ref.body);
    const auto ecl = de421().position(body, t, opts(kGeo, CS::Ecliptic, RE::OfDate, {}, false, true)).value();
    const auto equ = de421().position(body, t, opts(kGeo, CS::Equatorial, RE::OfDate, {}, false, true)).value();
    const double ecliptic = separation_mas(cartesian(ecl.longitude_deg, ecl.latitude_deg),
                                           cartesian(ref.ecliptic_longitude_deg, ref.ecliptic_latitude_deg));
    const double equatorial = separation_mas(cartesian(equ.longitude_deg, equ.latitude_deg),
                                             cartesian(ref.right_ascension_deg, ref.declination_deg));
    worst = std::max({worst, ecliptic, equatorial});
    EXPECT_LE(std::max(ecliptic, equatorial), 50.0) << "body " << ref.body << " TT " << ref.tt_julian_day;
    EXPECT_NEAR(ecl.distance_au, ref.distance_au, 1e-9);
  }
  std::printf("largest difference from Skyfield: %.2f mas\n", worst);
}

TEST_F(Positions, IdenticalTargetAndOriginAreRefusedButTopocentricEarthIsNot) {
  const Instant t{2451545.0, TimeScale::Tdb};
  const auto j2000 = [](Origin o) { return opts(o, CS::Ecliptic, RE::J2000); };
  const std::string identical = "spherical coordinates are undefined when target and origin are identical";
  EXPECT_EQ(outcome(de421().position(Body::Sun, t, j2000(Origin::heliocentric()))), identical);
  EXPECT_EQ(outcome(de421().position(Body::Earth, t, j2000(kGeo))), identical);
  const GeodeticObserver site{10.0, 45.0, 100.0};
  const Vec3 r = de421().observer_gcrs_state(site, t).value().position_km;
  // Earth minus (Earth + site) cancels the barycentric part to about 1e-8 km.
  EXPECT_NEAR(de421().position(Body::Earth, t, j2000(Origin::topocentric(site)))->distance_au,
              std::hypot(r[0], r[1], r[2]) / kKmPerAu, 1e-15);
  // A height of minus the equatorial radius puts the site exactly at the geocentre.
  const auto at_geocentre = de421().position(Body::Earth, t, j2000(Origin::topocentric({0.0, 0.0, -6378137.0})));
  EXPECT_EQ(outcome(at_geocentre), "spherical position is undefined at origin");
  EXPECT_EQ(at_geocentre.error().kind(), EphemerisError::Kind::Backend);
}

// Every origin on the fast path (no state corrections) in each frame, and on
// the general path (light time, all corrections): the batch equals a loop of
// single requests, and fails with the first error in step order.
TEST_F(Positions, BatchEqualsLoopOfSingleRequests) {
  const std::vector<Body> bodies = {Body::Sun, Body::Moon, Body::Mars};
  const std::vector<Instant> instants = {{2451545.0, TimeScale::Tdb},
                                         {2455197.5, TimeScale::Tt},
                                         {2457000.25, TimeScale::Utc},
                                         {2460000.125, TimeScale::Ut1}};
  for (const Origin& origin : {Origin::barycentric(), Origin::heliocentric(), kGeo,
                               Origin::topocentric({-70.4, -24.6, 2635.0})}) {
    const auto usable = std::span<const Body>(bodies).subspan(origin.kind == OriginKind::Heliocentric);
    for (const PositionOptions& o :
         {opts(origin, CS::Equatorial, RE::J2000), opts(origin, CS::Ecliptic, RE::J2000),
          opts(origin, CS::Equatorial, RE::OfDate, kPrecessionNutation),
          opts(origin, CS::Ecliptic, RE::OfDate, kPrecession), opts(origin, CS::Ecliptic, RE::J2000, kLightTime),
          opts(origin, CS::Ecliptic, RE::OfDate, {true, true, true, true, true}, true)}) {
      const auto batch = de421().positions(usable, instants, o);
      ASSERT_TRUE(batch.has_value()) << message(batch.error());
      for (std::size_t i = 0; i < instants.size(); ++i) {
        for (std::size_t j = 0; j < usable.size(); ++j) {
          const Position single = de421().position(usable[j], instants[i], o).value();
          const Position& element = (*batch)[i * usable.size() + j];
          EXPECT_EQ(std::tuple(element.longitude_deg, element.latitude_deg, element.distance_au,
                               element.longitude_speed_deg_per_day),
                    std::tuple(single.longitude_deg, single.latitude_deg, single.distance_au,
                               single.longitude_speed_deg_per_day));
        }
      }
    }
  }
  const auto geo = opts(kGeo, CS::Ecliptic, RE::J2000);
  const std::vector<Instant> good_then_bad = {{2451545.0, TimeScale::Tdb}, {2500000.0, TimeScale::Tdb}};
  const std::string outside = "Julian day 2500000 is outside kernel range 2414864.5..2471184.5 Tdb";
  EXPECT_EQ(outcome(de421().positions(std::array{Body::Sun}, good_then_bad, geo)), outside);
  // Bodies are checked before any instant; with no bodies every instant is still converted.
  EXPECT_EQ(outcome(de421().positions(std::array{Body::Sun, Body::Earth}, good_then_bad, geo)),
            "spherical coordinates are undefined when target and origin are identical");
  EXPECT_EQ(outcome(de421().positions({}, good_then_bad, geo)), outside);
  EXPECT_TRUE(de421().positions(std::array{Body::Sun}, {}, geo)->empty());
}

}  // namespace
}  // namespace ephemeris
