// Rise, set and transit of the Sun and the Moon: Skyfield agreement for sites
// from the equator to 65 degrees, polar day and night, the next-event rules,
// and the order and texts of every failure.
#include "engine/horizon_events.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "engine/testing/de421_engines.h"

namespace ephemeris {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
#include "engine/testdata/events_reference.inc"

using testing::de421_with_time_kernels;
using testing::open_de421;

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kSunAltitude = -0.8333333333333334;

// Both sides turn the Earth with the same UT1 (see Ut1MatchesSkyfield) and
// apply no refraction; what differs is IAU 2000A against 2000B nutation,
// relativistic against first-order aberration and Skyfield's omission of
// light deflection, all milliarcseconds, i.e. milliseconds of time except
// where a body grazes the altitude. Five seconds is the bound asked of the search.
constexpr double kToleranceSeconds = 5.0;

Body body_of(int code) { return code == 0 ? Body::Sun : Body::Moon; }

PositionOptions apparent_place_of_date(const GeodeticObserver& site) {
  return PositionOptions{Origin::topocentric(site), CoordinateSystem::Equatorial, ReferenceEpoch::OfDate, true};
}

class HorizonEvents : public testing::RealDataTest {};

TEST_F(HorizonEvents, Ut1MatchesSkyfield) {
  // Both interpolate the C04 table linearly, Skyfield in TT and the engine in UTC.
  const SpkEphemeris engine = de421_with_time_kernels();
  double largest = 0.0;
  for (const auto& ref : kSkyfieldUt1) {
    const double ut1 =
        engine.time_kernels().earth_rotation_epochs({ref.utc_julian_day, TimeScale::Utc})->ut1_julian_day;
    largest = std::max(largest, std::fabs(ut1 - ref.ut1_julian_day) / kSecond);
    EXPECT_NEAR(ut1, ref.ut1_julian_day, 1e-4 * kSecond) << "UTC " << ref.utc_julian_day;
  }
  std::printf("largest UT1 difference from Skyfield %.6f s\n", largest);
}

TEST_F(HorizonEvents, RiseSetTransitAgreesWithSkyfield) {
  const SpkEphemeris engine = de421_with_time_kernels();
  double largest = 0.0;
  const auto check = [&](double wanted, double got, const char* what, const auto& ref) {
    const double difference = std::fabs(got - wanted) / kSecond;
    largest = std::max(largest, difference);
    EXPECT_LT(difference, kToleranceSeconds) << what << " at latitude " << ref.latitude_deg << ", body " << ref.body
                                             << ", query UT1 " << ref.query_ut1_julian_day << ": wanted " << wanted
                                             << ", got " << got;
  };
  for (const auto& ref : kSkyfieldRiseSetTransit) {
    const GeodeticObserver site{ref.longitude_deg, ref.latitude_deg, ref.height_m};
    const auto day = rise_set_transit(engine, body_of(ref.body), site, {ref.query_ut1_julian_day, TimeScale::Ut1},
                                             ref.altitude_deg);
    ASSERT_TRUE(day.has_value()) << message(day.error());
    check(ref.transit_ut1_julian_day, day->transit_ut1_julian_day, "transit", ref);
    ASSERT_TRUE(day->rise_ut1_julian_day && day->set_ut1_julian_day);
    check(ref.rise_ut1_julian_day, *day->rise_ut1_julian_day, "rise", ref);
    check(ref.set_ut1_julian_day, *day->set_ut1_julian_day, "set", ref);
  }
  std::printf("%zu days, largest difference from Skyfield %.4f s\n", std::size(kSkyfieldRiseSetTransit), largest);
}

TEST_F(HorizonEvents, NextEventAgreesWithSkyfield) {
  const SpkEphemeris engine = de421_with_time_kernels();
  double largest = 0.0;
  for (const auto& ref : kSkyfieldNextEvents) {
    const GeodeticObserver site{ref.longitude_deg, ref.latitude_deg, ref.height_m};
    const auto kind = static_cast<HorizonEventKind>(ref.kind);
    const auto event = next_horizon_event(engine, body_of(ref.body), site, {ref.query_ut1_julian_day, TimeScale::Ut1},
                                                 kind, ref.altitude_deg);
    ASSERT_TRUE(event.has_value()) << message(event.error());
    EXPECT_EQ(event->kind, kind);
    const double difference = std::fabs(event->ut1_julian_day - ref.event_ut1_julian_day) / kSecond;
    largest = std::max(largest, difference);
    EXPECT_LT(difference, kToleranceSeconds)
        << horizon_event_kind_name(kind) << " at latitude " << ref.latitude_deg << ", body " << ref.body
        << ", query UT1 " << ref.query_ut1_julian_day << ": wanted " << ref.event_ut1_julian_day << ", got "
        << event->ut1_julian_day;
  }
  std::printf("%zu next events, largest difference from Skyfield %.4f s\n", std::size(kSkyfieldNextEvents), largest);
}

TEST_F(HorizonEvents, PolarDayAndNightHaveATransitOnly) {
  const SpkEphemeris engine = de421_with_time_kernels();
  for (const auto& ref : kSkyfieldPolarDays) {
    const GeodeticObserver site{ref.longitude_deg, ref.latitude_deg, 0.0};
    const auto day = rise_set_transit(engine, Body::Sun, site, {ref.query_ut1_julian_day, TimeScale::Ut1},
                                             kSunAltitude);
    ASSERT_TRUE(day.has_value()) << message(day.error());
    EXPECT_FALSE(day->rise_ut1_julian_day.has_value());
    EXPECT_FALSE(day->set_ut1_julian_day.has_value());
    EXPECT_NEAR(day->transit_ut1_julian_day, ref.transit_ut1_julian_day, kToleranceSeconds * kSecond);
    for (auto kind : {HorizonEventKind::Rise, HorizonEventKind::Set}) {
      EXPECT_EQ(message(next_horizon_event(engine, Body::Sun, site, {ref.query_ut1_julian_day, TimeScale::Ut1}, kind,
                                                  kSunAltitude)
                            .error()),
                "no " + std::string(horizon_event_kind_name(kind)) + " of Sun within 3 days after the query instant");
    }
  }
}

TEST_F(HorizonEvents, GeographicPolesEndWithoutCrossings) {
  // At the poles every hour angle is a meridian; the passes still end and the
  // Sun neither rises nor sets around the June solstice.
  const SpkEphemeris engine = de421_with_time_kernels();
  const Instant solstice{2459022.0, TimeScale::Utc};
  for (double latitude : {90.0, -90.0}) {
    const GeodeticObserver pole{0.0, latitude, 0.0};
    const auto day = rise_set_transit(engine, Body::Sun, pole, solstice, kSunAltitude);
    ASSERT_TRUE(day.has_value()) << message(day.error());
    EXPECT_FALSE(day->rise_ut1_julian_day || day->set_ut1_julian_day);
    EXPECT_TRUE(std::isfinite(day->transit_ut1_julian_day));
    EXPECT_EQ(message(next_horizon_event(engine, Body::Moon, pole, solstice, HorizonEventKind::Transit, kNaN).error()),
              "horizon altitude must be finite");
  }
  EXPECT_EQ(message(next_horizon_event(engine, Body::Sun, {0.0, -90.0, 0.0}, solstice, HorizonEventKind::Set,
                                              kSunAltitude)
                        .error()),
            "no Set of Sun within 3 days after the query instant");
}

TEST_F(HorizonEvents, TransitWithinOneSecondAfterTheQueryIsSkipped) {
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver site{-3.7, 40.4, 650.0};
  const double transit =
      rise_set_transit(engine, Body::Sun, site, {2458300.5, TimeScale::Utc}, kSunAltitude)->transit_ut1_julian_day;
  const auto next = [&](double seconds_before) {
    return next_horizon_event(engine, Body::Sun, site, {transit - seconds_before * kSecond, TimeScale::Ut1},
                                     HorizonEventKind::Transit, kSunAltitude)
        ->ut1_julian_day;
  };
  EXPECT_NEAR(next(0.5) - transit, 1.0, 60.0 * kSecond);
  EXPECT_NEAR(next(3.0), transit, 1e-3 * kSecond);
}

TEST_F(HorizonEvents, QueryAfterTransitKeepsThatDay) {
  // Five hours after the transit its rise lies in the past and its set ahead.
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver site{151.2, -33.9, 0.0};
  const auto first = rise_set_transit(engine, Body::Moon, site, {2459400.5, TimeScale::Utc}, -0.5666666666666667);
  ASSERT_TRUE(first.has_value());
  const double query = first->transit_ut1_julian_day + 5.0 / 24.0;
  const auto again = rise_set_transit(engine, Body::Moon, site, {query, TimeScale::Ut1}, -0.5666666666666667);
  ASSERT_TRUE(again.has_value());
  EXPECT_NEAR(again->transit_ut1_julian_day, first->transit_ut1_julian_day, 1e-3 * kSecond);
  EXPECT_LT(*again->rise_ut1_julian_day, query);
  EXPECT_GT(*again->set_ut1_julian_day, query);
}

TEST_F(HorizonEvents, ResultsAreUt1WhateverTheQueryScale) {
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver site{2.35, 48.85, 35.0};
  const double utc = 2457000.3;
  const auto epochs = engine.time_kernels().earth_rotation_epochs({utc, TimeScale::Utc}).value();
  const auto by_ut1 = rise_set_transit(engine, Body::Sun, site, {epochs.ut1_julian_day, TimeScale::Ut1}, kSunAltitude);
  ASSERT_TRUE(by_ut1.has_value());
  EXPECT_NEAR(by_ut1->transit_ut1_julian_day, 2457000.0, 0.5);
  const Instant same_moment[] = {{utc, TimeScale::Utc}, {epochs.tt_julian_day, TimeScale::Tt},
                                 {epochs.tt_julian_day, TimeScale::Tdb}};
  for (const Instant& instant : same_moment) {
    const auto day = rise_set_transit(engine, Body::Sun, site, instant, kSunAltitude);
    ASSERT_TRUE(day.has_value()) << message(day.error());
    EXPECT_NEAR(day->transit_ut1_julian_day, by_ut1->transit_ut1_julian_day, 1e-3 * kSecond);
    EXPECT_NEAR(*day->rise_ut1_julian_day, *by_ut1->rise_ut1_julian_day, 1e-3 * kSecond);
    EXPECT_NEAR(*day->set_ut1_julian_day, *by_ut1->set_ut1_julian_day, 1e-3 * kSecond);
  }
}

TEST_F(HorizonEvents, ArgumentsAreCheckedBeforeTheTimeKernels) {
  const SpkEphemeris bare = open_de421();
  const Instant noon{2451545.0, TimeScale::Utc};
  const GeodeticObserver site{0.0, 45.0, 0.0};
  EXPECT_EQ(message(rise_set_transit(bare, Body::Mars, site, noon, 0.0).error()), "unsupported body: Mars");
  EXPECT_EQ(message(rise_set_transit(bare, Body::Earth, site, noon, kNaN).error()), "unsupported body: Earth");
  EXPECT_EQ(message(rise_set_transit(bare, Body::Sun, site, noon, kNaN).error()), "horizon altitude must be finite");
  EXPECT_EQ(message(rise_set_transit(bare, Body::Moon, site, noon, std::numeric_limits<double>::infinity()).error()),
            "horizon altitude must be finite");
  EXPECT_EQ(message(rise_set_transit(bare, Body::Sun, {0.0, 90.5, 0.0}, noon, 0.0).error()),
            "geodetic latitude must be finite and within [-90, 90] degrees");
  EXPECT_EQ(message(rise_set_transit(bare, Body::Sun, {kNaN, 10.0, 0.0}, noon, 0.0).error()),
            "Cartesian state must be finite");
  const std::string no_leap_seconds =
      "topocentric origins require a leap-second kernel; attach one with SpkEphemeris::with_leap_second_kernel";
  const auto error = rise_set_transit(bare, Body::Sun, site, {2451545.0, TimeScale::Tt}, 0.0).error();
  EXPECT_EQ(error.kind(), EphemerisError::Kind::TimeConversion);
  EXPECT_EQ(message(error), no_leap_seconds);
  // The next-event search converts the query first.
  EXPECT_EQ(message(next_horizon_event(bare, Body::Mars, site, noon, HorizonEventKind::Rise, kNaN).error()),
            no_leap_seconds);
  const SpkEphemeris no_table = open_de421().with_leap_second_kernel(testing::test_leap_seconds());
  EXPECT_EQ(message(rise_set_transit(no_table, Body::Moon, site, noon, 0.0).error()),
            "topocentric origins require an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop");
}

TEST_F(HorizonEvents, FirstDayErrorsAreReturnedUnchanged) {
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver site{0.0, 45.0, 0.0};
  EXPECT_EQ(message(next_horizon_event(engine, Body::Venus, site, {2451545.0, TimeScale::Utc},
                                              HorizonEventKind::Transit, 0.0)
                        .error()),
            "unsupported body: Venus");
  EXPECT_EQ(message(next_horizon_event(engine, Body::Sun, site, {2451545.0, TimeScale::Utc}, HorizonEventKind::Set,
                                              kNaN)
                        .error()),
            "horizon altitude must be finite");
  // Before the Earth orientation table begins (1962) the query cannot be converted.
  const auto early = next_horizon_event(engine, Body::Sun, site, {2420000.5, TimeScale::Ut1},
                                               HorizonEventKind::Rise, kSunAltitude);
  EXPECT_EQ(early.error().kind(), EphemerisError::Kind::TimeConversion);
}

TEST_F(HorizonEvents, LaterDayErrorsEndTheSearchWithNoEvent) {
  // A transit query just after the last transit the Earth orientation table
  // can serve: the next day's window cannot be converted.
  const SpkEphemeris engine = de421_with_time_kernels();
  const double last_sample = engine.time_kernels().eop()->samples().back().utc_jd;
  const GeodeticObserver site{108.0, 20.0, 0.0};
  const auto day = rise_set_transit(engine, Body::Sun, site, {last_sample - 0.8, TimeScale::Ut1}, kSunAltitude);
  ASSERT_TRUE(day.has_value()) << message(day.error());
  ASSERT_LT(day->transit_ut1_julian_day + 1.0, last_sample + 0.5);
  ASSERT_GT(day->transit_ut1_julian_day + 1.0, last_sample);
  EXPECT_EQ(message(next_horizon_event(engine, Body::Sun, site, {day->transit_ut1_julian_day + 60.0 * kSecond,
                                                               TimeScale::Ut1},
                                              HorizonEventKind::Transit, kSunAltitude)
                        .error()),
            "no Transit of Sun within 3 days after the query instant");
}

TEST_F(HorizonEvents, RefinementWithoutCrossingFails) {
  const SpkEphemeris engine = de421_with_time_kernels();
  const std::string no_crossing = "body does not cross the requested altitude";
  // Midnight Sun: a rise cannot be refined at all.
  const GeodeticObserver svalbard{15.6, 78.2, 0.0};
  EXPECT_EQ(message(refine_horizon_event(engine, Body::Sun, svalbard, 2459022.0, HorizonEventKind::Rise,
                                                kSunAltitude)
                        .error()),
            no_crossing);
  EXPECT_EQ(message(refine_horizon_event(engine, Body::Sun, svalbard, 2459022.0, HorizonEventKind::Set, kNaN).error()),
            "Cartesian state must be finite");
  EXPECT_TRUE(refine_horizon_event(engine, Body::Sun, svalbard, 2459022.0, HorizonEventKind::Transit, kNaN));

  // The Moon grazing its altitude at lower culmination on the transit day:
  // half a day away its declination has moved enough for it to stay above.
  const GeodeticObserver site{0.0, 60.0, 0.0};
  bool tested = false;
  for (int day = 0; day < 28 && !tested; ++day) {
    const double start = 2458850.5 + day;
    const double transit =
        refine_horizon_event(engine, Body::Moon, site, start, HorizonEventKind::Transit, 0.0).value();
    const auto declination = [&](double ut1) {
      return engine.position(Body::Moon, {ut1, TimeScale::Ut1}, apparent_place_of_date(site))->latitude_deg;
    };
    const double at_transit = declination(transit);
    if (at_transit < 5.0 || std::fabs(declination(transit + 0.5) - declination(transit - 0.5)) < 3.0) continue;
    // At lower culmination the altitude is latitude + declination - 90 degrees.
    const double grazing = site.latitude_deg + at_transit - 90.0 + 0.2;
    EXPECT_EQ(message(rise_set_transit(engine, Body::Moon, site, {transit, TimeScale::Ut1}, grazing).error()),
              no_crossing);
    tested = true;
  }
  EXPECT_TRUE(tested);
}

}  // namespace
}  // namespace ephemeris
