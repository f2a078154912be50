// Rise, set and transit of the Sun and the Moon: Skyfield agreement on the
// hard days of a year-long sweep (tools/make_horizon_reference.py: high
// latitudes, grazing crossings, days with one crossing or none), the
// next-event rules, and the order and texts of every failure.
#include "engine/horizon_events.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "engine/testing/de421_engines.h"

namespace ephemeris {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
#include "engine/testdata/horizon_reference.inc"

using testing::de421_with_time_kernels;
using testing::open_de421;

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kSunAltitude = -0.8333333333333334;
constexpr double kMoonAltitude = -0.5666666666666667;
constexpr double kLongitude = 18.9;

// Both sides turn the Earth with the same UT1 (Ut1MatchesSkyfield) and find
// the same crossing: they differ by IAU 2000A against 2000B nutation and
// Skyfield's first-order aberration and omitted light deflection, a few
// milliarcseconds, which the sweep shows as at most 0.14 s where the Moon
// barely clears the altitude. Each side refines to well under a second
// (0.17 s here at most), so 2 s holds every crossing and still catches a
// crossing taken for its neighbour or a day taken for the next.
constexpr double kToleranceSeconds = 2.0;

Body body_of(int code) { return code == 0 ? Body::Sun : Body::Moon; }
double altitude_of(int code) { return code == 0 ? kSunAltitude : kMoonAltitude; }

void expect_event(const std::optional<double>& got, double wanted, const std::string& what) {
  if (std::isnan(wanted)) {
    EXPECT_FALSE(got.has_value()) << what << ": got " << got.value_or(0.0) << ", wanted none";
  } else if (!got) {
    ADD_FAILURE() << what << ": got none, wanted " << wanted;
  } else {
    EXPECT_NEAR(*got, wanted, kToleranceSeconds * kSecond) << what;
  }
}

class HorizonEvents : public testing::RealDataTest {};

TEST_F(HorizonEvents, Ut1MatchesSkyfield) {
  // Both interpolate the C04 table linearly, Skyfield in TT and the engine in UTC.
  const SpkEphemeris engine = de421_with_time_kernels();
  for (const auto& ref : kSkyfieldUt1) {
    const auto epochs = engine.time_kernels().earth_rotation_epochs({ref.utc_julian_day, TimeScale::Utc});
    EXPECT_NEAR(epochs->ut1_julian_day, ref.ut1_julian_day, 1e-4 * kSecond) << "UTC " << ref.utc_julian_day;
  }
}

TEST_F(HorizonEvents, DaysAgreeWithSkyfield) {
  // Rise and set are each present exactly when the day has a crossing of
  // their direction, at 0 to 80 degrees and at 69.6 N on the days the
  // declination test at the transit missed.
  const SpkEphemeris engine = de421_with_time_kernels();
  for (const auto& ref : kSkyfieldDays) {
    const GeodeticObserver site{kLongitude, ref.latitude_deg, 0.0};
    const auto day = rise_set_transit(engine, body_of(ref.body), site, {ref.query_ut1_julian_day, TimeScale::Ut1},
                                      altitude_of(ref.body));
    ASSERT_TRUE(day.has_value()) << message(day.error());
    const std::string what = "latitude " + std::to_string(ref.latitude_deg) + ", body " + std::to_string(ref.body) +
                             ", query UT1 " + std::to_string(ref.query_ut1_julian_day);
    expect_event(day->transit_ut1_julian_day, ref.transit_ut1_julian_day, "transit at " + what);
    expect_event(day->rise_ut1_julian_day, ref.rise_ut1_julian_day, "rise at " + what);
    expect_event(day->set_ut1_julian_day, ref.set_ut1_julian_day, "set at " + what);
  }
}

TEST_F(HorizonEvents, NextEventsAgreeWithSkyfield) {
  const SpkEphemeris engine = de421_with_time_kernels();
  for (const auto& ref : kSkyfieldNextEvents) {
    const GeodeticObserver site{kLongitude, ref.latitude_deg, 0.0};
    const auto kind = static_cast<HorizonEventKind>(ref.kind);
    const auto event = next_horizon_event(engine, body_of(ref.body), site, {ref.query_ut1_julian_day, TimeScale::Ut1},
                                          kind, altitude_of(ref.body));
    const std::string what = std::string(horizon_event_kind_name(kind)) + " at latitude " +
                             std::to_string(ref.latitude_deg) + ", body " + std::to_string(ref.body) +
                             ", query UT1 " + std::to_string(ref.query_ut1_julian_day);
    if (std::isnan(ref.event_ut1_julian_day)) {
      ASSERT_FALSE(event.has_value()) << what;
      EXPECT_EQ(message(event.error()), "no " + std::string(horizon_event_kind_name(kind)) + " of " +
                                            std::string(body_name(body_of(ref.body))) +
                                            " within 3 days after the query instant");
      continue;
    }
    ASSERT_TRUE(event.has_value()) << what << ": " << message(event.error());
    EXPECT_EQ(event->kind, kind);
    expect_event(event->ut1_julian_day, ref.event_ut1_julian_day, what);
  }
}

TEST_F(HorizonEvents, GeographicPolesHaveATransitAndNoCrossing) {
  // At the poles every hour angle is a meridian: the passes still end, and
  // around the June solstice the Sun neither rises nor sets.
  const SpkEphemeris engine = de421_with_time_kernels();
  const Instant solstice{2459022.0, TimeScale::Utc};
  for (double latitude : {90.0, -90.0}) {
    const GeodeticObserver pole{0.0, latitude, 0.0};
    const auto day = rise_set_transit(engine, Body::Sun, pole, solstice, kSunAltitude);
    ASSERT_TRUE(day.has_value()) << message(day.error());
    EXPECT_FALSE(day->rise_ut1_julian_day || day->set_ut1_julian_day);
    EXPECT_TRUE(std::isfinite(day->transit_ut1_julian_day));
    EXPECT_EQ(message(next_horizon_event(engine, Body::Sun, pole, solstice, HorizonEventKind::Set, kSunAltitude)
                          .error()),
              "no Set of Sun within 3 days after the query instant");
  }
}

TEST_F(HorizonEvents, NextEventIsStrictlyLaterThanOneSecondAfterTheQuery) {
  // A transit, rise or set one second or less after the query is skipped;
  // three seconds after it, it is returned.
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver site{-3.7, 40.4, 650.0};
  const auto day = rise_set_transit(engine, Body::Sun, site, {2458300.5, TimeScale::Utc}, kSunAltitude).value();
  const std::pair<HorizonEventKind, double> events[] = {{HorizonEventKind::Transit, day.transit_ut1_julian_day},
                                                        {HorizonEventKind::Rise, *day.rise_ut1_julian_day},
                                                        {HorizonEventKind::Set, *day.set_ut1_julian_day}};
  for (const auto& [kind, at] : events) {
    const auto next = [&](double seconds_before) {
      return next_horizon_event(engine, Body::Sun, site, {at - seconds_before * kSecond, TimeScale::Ut1}, kind,
                                kSunAltitude)
          ->ut1_julian_day;
    };
    EXPECT_NEAR(next(0.5) - at, 1.0, 300.0 * kSecond) << horizon_event_kind_name(kind);
    EXPECT_NEAR(next(3.0), at, 0.5 * kSecond) << horizon_event_kind_name(kind);
  }
}

TEST_F(HorizonEvents, TheDayIsThatOfTheNearestTransitWhateverTheQueryScale) {
  // Five hours after the transit its rise lies in the past and its set
  // ahead; the same instant in UTC, TT or TDB gives the same UT1 results.
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver site{151.2, -33.9, 0.0};
  const auto first = rise_set_transit(engine, Body::Moon, site, {2459400.5, TimeScale::Utc}, kMoonAltitude).value();
  const double query = first.transit_ut1_julian_day + 5.0 / 24.0;
  const auto epochs = engine.time_kernels().earth_rotation_epochs({query, TimeScale::Ut1}).value();
  const Instant same_moment[] = {{query, TimeScale::Ut1}, {epochs.tt_julian_day, TimeScale::Tt},
                                 {epochs.tt_julian_day, TimeScale::Tdb}};
  for (const Instant& instant : same_moment) {
    const auto again = rise_set_transit(engine, Body::Moon, site, instant, kMoonAltitude);
    ASSERT_TRUE(again.has_value()) << message(again.error());
    EXPECT_NEAR(again->transit_ut1_julian_day, first.transit_ut1_julian_day, 1e-3 * kSecond);
    EXPECT_NEAR(*again->rise_ut1_julian_day, *first.rise_ut1_julian_day, 1e-3 * kSecond);
    EXPECT_NEAR(*again->set_ut1_julian_day, *first.set_ut1_julian_day, 1e-3 * kSecond);
    EXPECT_LT(*again->rise_ut1_julian_day, query);
    EXPECT_GT(*again->set_ut1_julian_day, query);
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

TEST_F(HorizonEvents, FirstDayErrorsAreReturnedUnchangedAndLaterOnesEndTheSearch) {
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver site{108.0, 20.0, 0.0};
  const Instant noon{2451545.0, TimeScale::Utc};
  for (auto kind : {HorizonEventKind::Rise, HorizonEventKind::Set, HorizonEventKind::Transit}) {
    EXPECT_EQ(message(next_horizon_event(engine, Body::Venus, site, noon, kind, 0.0).error()),
              "unsupported body: Venus");
    EXPECT_EQ(message(next_horizon_event(engine, Body::Sun, site, noon, kind, kNaN).error()),
              "horizon altitude must be finite");
    // Before the Earth orientation table begins (1962) the query cannot be converted.
    EXPECT_EQ(next_horizon_event(engine, Body::Sun, site, {2420000.5, TimeScale::Ut1}, kind, kSunAltitude)
                  .error()
                  .kind(),
              EphemerisError::Kind::TimeConversion);
  }
  // After the last set and transit the table can serve, the next ones cannot
  // be converted: the search ends without an event. The rise between them
  // is still found; after it, the next one ends the search too.
  const double last_sample = engine.time_kernels().eop()->samples().back().utc_jd;
  const auto day = rise_set_transit(engine, Body::Sun, site, {last_sample - 0.8, TimeScale::Ut1}, kSunAltitude);
  ASSERT_TRUE(day.has_value()) << message(day.error());
  ASSERT_LT(day->transit_ut1_julian_day + 1.0, last_sample + 0.5);
  ASSERT_GT(day->transit_ut1_julian_day + 1.0, last_sample);
  const Instant after_set{*day->set_ut1_julian_day + 60.0 * kSecond, TimeScale::Ut1};
  const auto rise = next_horizon_event(engine, Body::Sun, site, after_set, HorizonEventKind::Rise, kSunAltitude);
  ASSERT_TRUE(rise.has_value()) << message(rise.error());
  EXPECT_NEAR(rise->ut1_julian_day, *day->rise_ut1_julian_day + 1.0, 300.0 * kSecond);
  const Instant after_rise{rise->ut1_julian_day + 60.0 * kSecond, TimeScale::Ut1};
  for (auto kind : {HorizonEventKind::Rise, HorizonEventKind::Set, HorizonEventKind::Transit}) {
    const Instant& query = kind == HorizonEventKind::Rise ? after_rise : after_set;
    EXPECT_EQ(message(next_horizon_event(engine, Body::Sun, site, query, kind, kSunAltitude).error()),
              "no " + std::string(horizon_event_kind_name(kind)) + " of Sun within 3 days after the query instant");
  }
}

TEST_F(HorizonEvents, RefinementWithoutCrossingFails) {
  // Midnight Sun: a rise cannot be refined at all; a non-finite altitude is
  // the declination test's error; a transit needs no altitude.
  const SpkEphemeris engine = de421_with_time_kernels();
  const GeodeticObserver svalbard{15.6, 78.2, 0.0};
  EXPECT_EQ(message(refine_horizon_event(engine, Body::Sun, svalbard, 2459022.0, HorizonEventKind::Rise,
                                         kSunAltitude)
                        .error()),
            "body does not cross the requested altitude");
  EXPECT_EQ(message(refine_horizon_event(engine, Body::Sun, svalbard, 2459022.0, HorizonEventKind::Set, kNaN).error()),
            "Cartesian state must be finite");
  EXPECT_TRUE(refine_horizon_event(engine, Body::Sun, svalbard, 2459022.0, HorizonEventKind::Transit, kNaN));
}

}  // namespace
}  // namespace ephemeris
