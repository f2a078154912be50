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

double separation_mas(const Vec3& a, const Vec3& b) { return testing::angle_between(a, b) * kDegreesPerRadian * 3.6e6; }

TEST(PositionOptions, RulesInOrder) {
  const std::pair<PositionOptions, std::string> cases[] = {
      {opts(kGeo, CS::Ecliptic, RE::J2000, {}, false, true), "apparent requires reference_epoch: OfDate"},
      {opts(kGeo, CS::Ecliptic, RE::OfDate), "reference_epoch: OfDate requires corrections.precession"},
      {opts(kGeo, CS::Equatorial, RE::OfDate, kPrecessionNutation, true),
       "true_ecliptic requires CoordinateSystem::Ecliptic"},
      {opts(kGeo, CS::Ecliptic, RE::OfDate, kPrecession, true), "true_ecliptic requires corrections.nutation"},
      {opts(kGeo, CS::Ecliptic, RE::OfDate, kPrecessionNutation),
       "ecliptic-of-date with nutation requires true_ecliptic"},
      {opts(kGeo, CS::Ecliptic, RE::J2000, {.nutation = true}),
       "precession and nutation require reference_epoch: OfDate"},
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
  EXPECT_TRUE(c.light_time && c.aberration && c.gravitational_deflection && c.precession && c.nutation);
  EXPECT_TRUE(apparent.true_ecliptic && !apparent.apparent);
  EXPECT_FALSE(resolve_position_options(opts(kGeo, CS::Equatorial, RE::OfDate, {}, false, true))->true_ecliptic);
  EXPECT_EQ(batch_result_length(1ull << 32, (1ull << 32) - 1).value(), (1ull << 32) * ((1ull << 32) - 1));
  EXPECT_EQ(outcome(batch_result_length(1ull << 32, 1ull << 32)), "batch result length overflowed");
  EXPECT_EQ(batch_result_length(0, ~0ull).value(), 0u);
}

using Positions = testing::RealDataTest;

// The largest position (km) and direction (mas) differences from a CSPICE table.
std::pair<double, double> spice_differences(std::span<const SpiceStateReference> table, Corrections corrections) {
  const SpkEphemeris& engine = testing::de421();
  double worst_km = 0.0, worst_mas = 0.0;
  for (const auto& ref : table) {
    const Origin origin = ref.center == 0 ? Origin::barycentric() : ref.center == 10 ? Origin::heliocentric() : kGeo;
    const Position p = engine.position(body_of(ref.target), {ref.tdb_seconds / 86400.0 + 2451545.0, TimeScale::Tdb},
                                       opts(origin, CS::Equatorial, RE::J2000, corrections)).value();
    const Vec3 xyz = cartesian(p.longitude_deg, p.latitude_deg, p.distance_au * kKmPerAu);
    for (int k = 0; k < 3; ++k) worst_km = std::max(worst_km, std::fabs(xyz[k] - ref.state[k]));
    worst_mas = std::max(worst_mas, separation_mas(xyz, {ref.state[0], ref.state[1], ref.state[2]}));
  }
  std::printf("largest difference from CSPICE: %.3g km, %.3g mas\n", worst_km, worst_mas);
  return {worst_km, worst_mas};
}

TEST_F(Positions, AgreeWithSpice) {
  // The Chebyshev sums agree to rounding; the spherical round trip loses
  // about 1e-16 of the distance (below 1e-7 km within the inner system).
  EXPECT_LE(spice_differences(kSpiceGeometric, {}).first, 1e-6);
  // Three fixed-point iterations leave an error of order (v/c)^3 of the light time.
  EXPECT_LE(spice_differences(kSpiceLightTime, kLightTime).first, 1e-6);
  // First-order aberration against CSPICE's relativistic form: (v/c)^2 is below 1 mas.
  EXPECT_LE(spice_differences(kSpiceLightTimeAberration, {true, true, false, false, false}).second, 5.0);
}

TEST_F(Positions, ApparentAgreesWithSkyfield) {
  // Skyfield uses IAU 2000A nutation and relativistic aberration; the engine
  // IAU 2000B and first-order aberration: about a milliarcsecond remains.
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
    EXPECT_LE(std::max(ecliptic, equatorial), 5.0) << "body " << ref.body << " TT " << ref.tt_julian_day;
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

// Both paths (with and without state corrections) for every origin and
// frame, the instants out of time order: the batch equals a loop of single
// requests, and fails with the first error in step order.
TEST_F(Positions, BatchEqualsLoopOfSingleRequests) {
  const std::array bodies = {Body::Sun, Body::Moon, Body::Mars};
  std::vector<Instant> instants = {{2455197.5, TimeScale::Tt}, {2451545.0, TimeScale::Tdb},
                                   {2460000.1, TimeScale::Ut1}, {2457000.25, TimeScale::Utc}};
  // Then groups of eight instants: hours (one record for all), and days spread over records.
  for (int i = 0; i < 16; ++i) {
    instants.push_back({2450000.0 + (i < 8 ? i / 24.0 : 1.0 + (i - 8) * 3.7), TimeScale::Tdb});
  }
  for (const Origin& origin :
       {Origin::barycentric(), Origin::heliocentric(), kGeo, Origin::topocentric({-70, -24, 2635})}) {
    const auto usable = std::span<const Body>(bodies).subspan(origin.kind == OriginKind::Heliocentric);
    for (const PositionOptions& o : {opts(origin, CS::Equatorial, RE::J2000), opts(origin, CS::Ecliptic, RE::J2000),
                                     opts(origin, CS::Ecliptic, RE::OfDate, kPrecession),
                                     opts(origin, CS::Equatorial, RE::OfDate, kPrecessionNutation),
                                     opts(origin, CS::Ecliptic, RE::OfDate, {}, false, true)}) {
      const std::vector<Position> batch = de421().positions(usable, instants, o).value();
      ASSERT_EQ(batch.size(), usable.size() * instants.size());
      for (std::size_t k = 0; k < batch.size(); ++k) {
        const Position single = de421().position(usable[k % usable.size()], instants[k / usable.size()], o).value();
        EXPECT_EQ(std::tuple(batch[k].longitude_deg, batch[k].latitude_deg, batch[k].distance_au,
                             batch[k].longitude_speed_deg_per_day),
                  std::tuple(single.longitude_deg, single.latitude_deg, single.distance_au,
                             single.longitude_speed_deg_per_day));
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
  // A failure met while positions are computed: the first one in batch order.
  EXPECT_EQ(outcome(de421().positions(std::array{Body::Sun, Body::Earth}, instants,
                                      opts(Origin::topocentric({0.0, 0.0, -6378137.0}), CS::Ecliptic, RE::J2000))),
            "spherical position is undefined at origin");
  EXPECT_TRUE(de421().positions(std::array{Body::Sun}, {}, geo)->empty());
  // Corrected positions are computed in time order, yet the error is the first in step order.
  const std::vector<Instant> then_earlier = {{2451545.0, TimeScale::Tdb}, {2414864.5, TimeScale::Tdb}};
  EXPECT_EQ(outcome(de421().positions(std::array{Body::Moon, Body::Jupiter}, then_earlier,
                                      opts(kGeo, CS::Equatorial, RE::J2000, kLightTime))),
            "no SPK segment continues the center chain from target 599 at TDB epoch 0");
}

}  // namespace
}  // namespace ephemeris
