// Position requests, single and batch, checked against CSPICE and Skyfield.
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

namespace ephemeris {
namespace {

#include "engine/testdata/engine_reference.inc"


constexpr double kMasPerDegree = 3600.0 * 1000.0;

PositionOptions options(Origin origin, CoordinateSystem system, ReferenceEpoch epoch, Corrections corrections = {},
                        bool true_ecliptic = false, bool apparent = false) {
  PositionOptions o;
  o.origin = origin;
  o.coordinate_system = system;
  o.reference_epoch = epoch;
  o.corrections = corrections;
  o.true_ecliptic = true_ecliptic;
  o.apparent = apparent;
  return o;
}

Origin origin_of_center(int center) {
  switch (center) {
    case 0: return Origin::barycentric();
    case 10: return Origin::heliocentric();
    default: return Origin::geocentric();
  }
}

Body body_of_code(int code) {
  for (Body b : kAllBodies)
    if (naif_code(b) == code) return b;
  ADD_FAILURE() << "no body for code " << code;
  return Body::Sun;
}

std::array<double, 3> cartesian_km(const Position& p) {
  const double r = p.distance_au * kKmPerAu;
  const double lon = p.longitude_deg * kRadiansPerDegree, lat = p.latitude_deg * kRadiansPerDegree;
  return {r * std::cos(lat) * std::cos(lon), r * std::cos(lat) * std::sin(lon), r * std::sin(lat)};
}

double separation_mas(const std::array<double, 3>& a, const double* b) {
  const std::array<double, 3> c = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  return std::atan2(std::hypot(c[0], c[1], c[2]), dot) * kDegreesPerRadian * kMasPerDegree;
}

double longitude_difference_deg(double a, double b) {
  double d = std::fmod(a - b + 540.0, 360.0) - 180.0;
  return std::fabs(d);
}

TEST(ResolvePositionOptions, RulesInOrder) {
  using CS = CoordinateSystem;
  using RE = ReferenceEpoch;
  const Origin geo = Origin::geocentric();
  const Corrections precession{false, false, false, true, false};
  const Corrections both{false, false, false, true, true};
  const Corrections nutation_only{false, false, false, false, true};
  struct Case {
    PositionOptions options;
    const char* text;
  };
  const Case cases[] = {
      {options(geo, CS::Ecliptic, RE::J2000, {}, false, true), "apparent requires reference_epoch: OfDate"},
      {options(geo, CS::Ecliptic, RE::OfDate), "reference_epoch: OfDate requires corrections.precession"},
      {options(geo, CS::Equatorial, RE::OfDate, both, true), "true_ecliptic requires CoordinateSystem::Ecliptic"},
      {options(geo, CS::Ecliptic, RE::OfDate, precession, true), "true_ecliptic requires corrections.nutation"},
      {options(geo, CS::Ecliptic, RE::OfDate, both), "ecliptic-of-date with nutation requires true_ecliptic"},
      {options(geo, CS::Ecliptic, RE::J2000, nutation_only), "precession and nutation require reference_epoch: OfDate"},
      {options(geo, CS::Equatorial, RE::J2000, {}, true), "true_ecliptic requires CoordinateSystem::Ecliptic"},
      {options(geo, CS::Ecliptic, RE::J2000, {}, true), "true_ecliptic requires reference_epoch: OfDate"},
      {options(Origin::topocentric({0, 91, 0}), CS::Ecliptic, RE::J2000),
       "geodetic latitude must be finite and within [-90, 90] degrees"},
      {options(Origin::topocentric({std::nan(""), 0, 0}), CS::Ecliptic, RE::J2000), "Cartesian state must be finite"},
  };
  for (const Case& c : cases) {
    const auto resolved = resolve_position_options(c.options);
    ASSERT_FALSE(resolved.has_value()) << c.text;
    EXPECT_EQ(message(resolved.error()), c.text);
    EXPECT_EQ(resolved.error().kind(), EphemerisError::Kind::InvalidRequest);
  }
}

TEST(ResolvePositionOptions, ApparentExpands) {
  const auto ecl = resolve_position_options(
      options(Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate, {}, false, true));
  ASSERT_TRUE(ecl.has_value());
  EXPECT_FALSE(ecl->apparent);
  EXPECT_TRUE(ecl->true_ecliptic);
  EXPECT_TRUE(ecl->corrections.light_time && ecl->corrections.aberration &&
              ecl->corrections.gravitational_deflection && ecl->corrections.precession && ecl->corrections.nutation);
  const auto equ = resolve_position_options(
      options(Origin::geocentric(), CoordinateSystem::Equatorial, ReferenceEpoch::OfDate, {}, false, true));
  ASSERT_TRUE(equ.has_value());
  EXPECT_FALSE(equ->true_ecliptic);
  // Mean ecliptic of date: precession without nutation.
  EXPECT_TRUE(resolve_position_options(options(Origin::geocentric(), CoordinateSystem::Ecliptic,
                                               ReferenceEpoch::OfDate, {false, false, false, true, false}))
                  .has_value());
}

TEST(BatchResultLength, OverflowPastSixtyFourBits) {
  EXPECT_EQ(batch_result_length(0, ~0ull).value(), 0u);
  EXPECT_EQ(batch_result_length(1ull << 32, (1ull << 32) - 1).value(), (1ull << 32) * ((1ull << 32) - 1));
  EXPECT_EQ(message(batch_result_length(1ull << 32, 1ull << 32).error()), "batch result length overflowed");
}

class Positions : public testing::RealDataTest {
 protected:
  void SetUp() override {
    RealDataTest::SetUp();
    if (HasFatalFailure()) return;
    engine_.emplace(testing::de421_with_time_kernels());
  }
  const SpkEphemeris& engine() const { return *engine_; }

  // Checks a CSPICE table: positions within `tolerance_km` (or directions
  // within `tolerance_mas` when set).
  void compare_with_spice(std::span<const SpiceStateReference> table, Corrections corrections, double tolerance_km,
                          double tolerance_mas) {
    double worst_km = 0.0, worst_mas = 0.0;
    for (const auto& ref : table) {
      const Instant instant{ref.tdb_seconds / 86400.0 + 2451545.0, TimeScale::Tdb};
      const auto o = options(origin_of_center(ref.center), CoordinateSystem::Equatorial, ReferenceEpoch::J2000,
                             corrections);
      const auto p = engine().position(body_of_code(ref.target), instant, o);
      ASSERT_TRUE(p.has_value()) << message(p.error());
      const auto xyz = cartesian_km(*p);
      for (int k = 0; k < 3; ++k) worst_km = std::max(worst_km, std::fabs(xyz[k] - ref.state[k]));
      worst_mas = std::max(worst_mas, separation_mas(xyz, ref.state));
    }
    std::printf("largest difference: %.3g km, %.3g mas\n", worst_km, worst_mas);
    if (tolerance_km > 0) {
      EXPECT_LE(worst_km, tolerance_km);
    }
    if (tolerance_mas > 0) {
      EXPECT_LE(worst_mas, tolerance_mas);
    }
  }

  std::optional<SpkEphemeris> engine_;
};

TEST_F(Positions, GeometricAgreesWithSpice) {
  // The Chebyshev sums agree to rounding; the spherical round trip loses
  // about 1e-16 of the distance (below 1e-7 km within the inner system).
  compare_with_spice(kSpiceGeometric, {}, 1e-6, 0);
}

TEST_F(Positions, LightTimeAgreesWithSpiceConverged) {
  // Three fixed-point iterations leave an error of order (v/c)^3 of the
  // light time, far below a millimetre.
  compare_with_spice(kSpiceLightTime, {true, false, false, false, false}, 1e-6, 0);
}

TEST_F(Positions, LightTimeAndAberrationAgreeWithSpiceInDirection) {
  // First-order aberration against CSPICE's relativistic form: the
  // second-order term (v/c)^2 is below 1 mas.
  compare_with_spice(kSpiceLightTimeAberration, {true, true, false, false, false}, 0, 5.0);
}

TEST_F(Positions, ApparentAgreesWithSkyfield) {
  // Skyfield uses IAU 2000A nutation and relativistic aberration; the engine
  // IAU 2000B and first-order aberration: differences of a few mas remain.
  constexpr double kToleranceMas = 50.0;
  double worst = 0.0;
  for (const auto& ref : kSkyfieldApparent) {
    const Instant t{ref.tt_julian_day, TimeScale::Tt};
    const Body body = body_of_code(ref.body);
    const auto ecl = engine().position(
        body, t, options(Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate, {}, false, true));
    const auto equ = engine().position(
        body, t, options(Origin::geocentric(), CoordinateSystem::Equatorial, ReferenceEpoch::OfDate, {}, false, true));
    ASSERT_TRUE(ecl.has_value() && equ.has_value());
    const double cos_lat = std::cos(ref.ecliptic_latitude_deg * kRadiansPerDegree);
    const double cos_dec = std::cos(ref.declination_deg * kRadiansPerDegree);
    const double diffs[] = {
        longitude_difference_deg(ecl->longitude_deg, ref.ecliptic_longitude_deg) * cos_lat,
        std::fabs(ecl->latitude_deg - ref.ecliptic_latitude_deg),
        longitude_difference_deg(equ->longitude_deg, ref.right_ascension_deg) * cos_dec,
        std::fabs(equ->latitude_deg - ref.declination_deg),
    };
    for (double d : diffs) {
      worst = std::max(worst, d * kMasPerDegree);
      EXPECT_LE(d * kMasPerDegree, kToleranceMas) << "body " << ref.body << " TT " << ref.tt_julian_day;
    }
    EXPECT_NEAR(ecl->distance_au, ref.distance_au, 1e-9);
  }
  std::printf("largest difference from Skyfield: %.2f mas\n", worst);
}

TEST_F(Positions, IdenticalTargetAndOriginAreRejectedButTopocentricEarthIsNot) {
  const Instant t{2451545.0, TimeScale::Tdb};
  const auto j2000 = [](Origin o) { return options(o, CoordinateSystem::Ecliptic, ReferenceEpoch::J2000); };
  const std::string text = "spherical coordinates are undefined when target and origin are identical";
  EXPECT_EQ(message(engine().position(Body::Sun, t, j2000(Origin::heliocentric())).error()), text);
  EXPECT_EQ(message(engine().position(Body::Earth, t, j2000(Origin::geocentric())).error()), text);

  const GeodeticObserver site{10.0, 45.0, 100.0};
  const auto earth = engine().position(Body::Earth, t, j2000(Origin::topocentric(site)));
  ASSERT_TRUE(earth.has_value()) << message(earth.error());
  const auto offset = engine().observer_gcrs_state(site, t).value();
  const auto& r = offset.position_km;
  // Earth minus (Earth + site) cancels the barycentric part to about 1e-8 km.
  EXPECT_NEAR(earth->distance_au, std::hypot(r[0], r[1], r[2]) / kKmPerAu, 1e-15);
}

TEST_F(Positions, SiteAtTheGeocentreLeavesTheEarthAtTheOrigin) {
  // A height of minus the equatorial radius puts the site exactly at the geocentre.
  const auto o = options(Origin::topocentric({0.0, 0.0, -6378137.0}), CoordinateSystem::Ecliptic,
                         ReferenceEpoch::J2000);
  const auto p = engine().position(Body::Earth, {2451545.0, TimeScale::Tdb}, o);
  ASSERT_FALSE(p.has_value());
  EXPECT_EQ(p.error().kind(), EphemerisError::Kind::Backend);
  EXPECT_EQ(message(p.error()), "spherical position is undefined at origin");
  EXPECT_EQ(message(engine().observer_gcrs_state({0.0, 91.0, 0.0}, {2451545.0, TimeScale::Utc}).error()),
            "geodetic latitude must be finite and within [-90, 90] degrees");
}

TEST_F(Positions, DeflectionLeavesSunAndHeliocentricRequestsAlone) {
  const Instant t{2455000.5, TimeScale::Tdb};
  const Corrections deflect{false, false, true, false, false};
  const auto o = options(Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000);
  const auto od = options(Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000, deflect);
  EXPECT_EQ(engine().position(Body::Sun, t, o)->longitude_deg, engine().position(Body::Sun, t, od)->longitude_deg);
  const auto h = options(Origin::heliocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000);
  const auto hd = options(Origin::heliocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000, deflect);
  EXPECT_EQ(engine().position(Body::Mars, t, h)->longitude_deg, engine().position(Body::Mars, t, hd)->longitude_deg);
  EXPECT_NE(engine().position(Body::Mars, t, o)->longitude_deg, engine().position(Body::Mars, t, od)->longitude_deg);
}

// Every origin and frame, on the fast path (no state corrections) and the
// general path (light time): the batch equals a loop of single requests.
TEST_F(Positions, BatchEqualsLoopOfSingleRequests) {
  const std::vector<Body> bodies = {Body::Sun, Body::Moon, Body::Mercury, Body::Venus, Body::Mars};
  const std::vector<Instant> instants = {{2451545.0, TimeScale::Tdb},
                                         {2455197.5, TimeScale::Tt},
                                         {2457000.25, TimeScale::Utc},
                                         {2460000.125, TimeScale::Ut1}};
  const Origin origins[] = {Origin::barycentric(), Origin::heliocentric(), Origin::geocentric(),
                            Origin::topocentric({-70.4, -24.6, 2635.0})};
  const Corrections none{}, light{true, false, false, false, false};
  const Corrections prec{false, false, false, true, false}, pn{false, false, false, true, true};
  const Corrections all{true, true, true, true, true};
  for (const Origin& origin : origins) {
    std::vector<Body> usable;
    for (Body b : bodies)
      if (origin.kind != OriginKind::Heliocentric || b != Body::Sun) usable.push_back(b);
    const PositionOptions frames[] = {
        options(origin, CoordinateSystem::Equatorial, ReferenceEpoch::J2000, none),
        options(origin, CoordinateSystem::Ecliptic, ReferenceEpoch::J2000, none),
        options(origin, CoordinateSystem::Ecliptic, ReferenceEpoch::J2000, light),
        options(origin, CoordinateSystem::Equatorial, ReferenceEpoch::OfDate, prec),
        options(origin, CoordinateSystem::Equatorial, ReferenceEpoch::OfDate, pn),
        options(origin, CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate, prec),
        options(origin, CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate, pn, true),
        options(origin, CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate, all, true),
    };
    for (const PositionOptions& o : frames) {
      const auto batch = engine().positions(usable, instants, o);
      ASSERT_TRUE(batch.has_value()) << message(batch.error());
      ASSERT_EQ(batch->size(), usable.size() * instants.size());
      for (std::size_t i = 0; i < instants.size(); ++i) {
        for (std::size_t j = 0; j < usable.size(); ++j) {
          const Position single = engine().position(usable[j], instants[i], o).value();
          const Position& element = (*batch)[i * usable.size() + j];
          EXPECT_EQ(element.longitude_deg, single.longitude_deg);
          EXPECT_EQ(element.latitude_deg, single.latitude_deg);
          EXPECT_EQ(element.distance_au, single.distance_au);
          EXPECT_EQ(element.longitude_speed_deg_per_day, single.longitude_speed_deg_per_day);
        }
      }
    }
  }
}

TEST_F(Positions, BatchReportsTheFirstErrorInStepOrder) {
  const auto geo = options(Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000);
  const std::vector<Instant> good_then_bad = {{2451545.0, TimeScale::Tdb}, {2500000.0, TimeScale::Tdb}};
  const std::vector<Body> sun = {Body::Sun};
  EXPECT_EQ(message(engine().positions(sun, good_then_bad, geo).error()),
            "Julian day 2500000 is outside kernel range 2414864.5..2471184.5 Tdb");
  // Bodies are checked before any instant is converted.
  const std::vector<Body> sun_earth = {Body::Sun, Body::Earth};
  EXPECT_EQ(message(engine().positions(sun_earth, good_then_bad, geo).error()),
            "spherical coordinates are undefined when target and origin are identical");
  // With no bodies every instant is still converted.
  EXPECT_FALSE(engine().positions({}, good_then_bad, geo).has_value());
  EXPECT_TRUE(engine().positions(sun, {}, geo)->empty());
  const std::vector<Instant> good = {{2451545.0, TimeScale::Tdb}};
  EXPECT_TRUE(engine().positions({}, good, geo)->empty());
}

}  // namespace
}  // namespace ephemeris
