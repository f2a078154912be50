// Equinoxes, solstices, new and full Moons: Skyfield agreement over 2000-2050,
// the rules about events at or just after the query instant, time scales,
// and every way the search ends without a result.
#include "engine/season_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "engine/testing/de421_engines.h"
#include "spk/testing/spk_writer.h"
#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
#include "engine/testdata/events_reference.inc"

using testing::de421_with_time_kernels;
using testing::open_de421;

constexpr double kSecond = 1.0 / 86400.0;

class SeasonSearch : public testing::RealDataTest {};

TEST_F(SeasonSearch, EquinoxesAndSolsticesAgreeWithSkyfield) {
  // Skyfield's search stops at 1 ms; the models differ by IAU 2000A against
  // 2000B nutation and relativistic against first-order aberration, a few
  // milliarcseconds of solar longitude, i.e. well under 0.1 s. One second
  // leaves room for both without hiding a wrong equinox or rate.
  const SpkEphemeris engine = open_de421();
  double largest = 0.0;
  for (const auto& ref : kSkyfieldSeasons) {
    const auto found = next_sun_longitude(engine, {ref.tt_julian_day - 10.0, TimeScale::Tt}, 90.0 * ref.kind);
    ASSERT_TRUE(found.has_value()) << message(found.error());
    EXPECT_EQ(found->time_scale, TimeScale::Tt);
    const double difference = std::fabs(found->julian_day - ref.tt_julian_day) / kSecond;
    largest = std::max(largest, difference);
    EXPECT_LT(difference, 1.0) << "wanted TT " << ref.tt_julian_day << ", got " << found->julian_day;
  }
  std::printf("%zu seasons, largest difference from Skyfield %.4f s\n", std::size(kSkyfieldSeasons), largest);
}

TEST_F(SeasonSearch, NewAndFullMoonsAgreeWithSkyfield) {
  // The elongation moves about 12 degrees a day, so the few milliarcseconds
  // of model difference are a few milliseconds; two seconds is the bound asked of the search.
  const SpkEphemeris engine = open_de421();
  double largest = 0.0;
  for (const auto& ref : kSkyfieldLunations) {
    const auto found = next_sun_moon_elongation(engine, {ref.tt_julian_day - 5.0, TimeScale::Tt}, 180.0 * ref.kind);
    ASSERT_TRUE(found.has_value()) << message(found.error());
    const double difference = std::fabs(found->julian_day - ref.tt_julian_day) / kSecond;
    largest = std::max(largest, difference);
    EXPECT_LT(difference, 2.0) << "wanted TT " << ref.tt_julian_day << ", got " << found->julian_day;
  }
  std::printf("%zu lunations, largest difference from Skyfield %.4f s\n", std::size(kSkyfieldLunations), largest);
}

TEST_F(SeasonSearch, EventAtTheQueryInstantIsSkipped) {
  const SpkEphemeris engine = open_de421();
  const Instant equinox = next_sun_longitude(engine, {2451545.0, TimeScale::Tt}, 0.0).value();
  const Instant next = next_sun_longitude(engine, equinox, 0.0).value();
  EXPECT_NEAR(next.julian_day - equinox.julian_day, 365.24, 0.05);
  const Instant new_moon = next_sun_moon_elongation(engine, {2451545.0, TimeScale::Tt}, 0.0).value();
  const Instant next_new_moon = next_sun_moon_elongation(engine, new_moon, 0.0).value();
  EXPECT_NEAR(next_new_moon.julian_day - new_moon.julian_day, 29.53, 0.5);
}

TEST_F(SeasonSearch, EventWithinOneSecondOfTheQueryIsSkipped) {
  const SpkEphemeris engine = open_de421();
  const double solstice = next_sun_longitude(engine, {2451545.0, TimeScale::Tt}, 90.0).value().julian_day;
  // Half a second before: Newton lands on this solstice, too close; the retry
  // a tropical year later finds the next one.
  const double later = next_sun_longitude(engine, {solstice - 0.5 * kSecond, TimeScale::Tt}, 90.0)->julian_day;
  EXPECT_NEAR(later - solstice, 365.24, 0.05);
  // Two seconds before, the solstice itself is the answer.
  const double same = next_sun_longitude(engine, {solstice - 2.0 * kSecond, TimeScale::Tt}, 90.0)->julian_day;
  EXPECT_NEAR(same, solstice, 1e-3 * kSecond);
}

TEST_F(SeasonSearch, FullMoonAndNewMoonAreHalfAMonthApart) {
  const SpkEphemeris engine = open_de421();
  const Instant query{2455000.25, TimeScale::Tt};
  const double full = next_sun_moon_elongation(engine, query, 180.0)->julian_day;
  const double fresh = next_sun_moon_elongation(engine, query, 0.0)->julian_day;
  EXPECT_NEAR(std::fabs(full - fresh), 29.530588861 / 2.0, 1.0);
  EXPECT_GT(std::min(full, fresh), query.julian_day);
  EXPECT_LT(std::max(full, fresh), query.julian_day + 29.6);
}

TEST_F(SeasonSearch, QueriesInEveryScaleReturnTt) {
  // UTC 2010-01-01 00:00 is TT 66.184 s later. Each search runs in its own
  // scale, so the roots agree to the Newton tolerance, not bit for bit.
  const SpkEphemeris engine = de421_with_time_kernels();
  const double utc = 2455197.5;
  const double tt = utc + 66.184 * kSecond;
  const Instant by_tt = next_sun_longitude(engine, {tt, TimeScale::Tt}, 270.0).value();
  for (TimeScale scale : {TimeScale::Utc, TimeScale::Tdb, TimeScale::Ut1}) {
    const auto found = next_sun_longitude(engine, {scale == TimeScale::Tdb ? tt : utc, scale}, 270.0);
    ASSERT_TRUE(found.has_value()) << message(found.error());
    EXPECT_EQ(found->time_scale, TimeScale::Tt);
    EXPECT_NEAR(found->julian_day, by_tt.julian_day, 1e-3 * kSecond) << time_scale_name(scale);
  }
  const auto lunation = next_sun_moon_elongation(engine, {utc, TimeScale::Utc}, 180.0);
  ASSERT_TRUE(lunation.has_value());
  EXPECT_EQ(lunation->time_scale, TimeScale::Tt);
  EXPECT_NEAR(lunation->julian_day, next_sun_moon_elongation(engine, {tt, TimeScale::Tt}, 180.0)->julian_day,
              1e-3 * kSecond);
}

TEST_F(SeasonSearch, UtcWithoutLeapSecondsFailsAtTheFirstEvaluation) {
  const SpkEphemeris engine = open_de421();
  EXPECT_EQ(message(next_sun_longitude(engine, {2451545.0, TimeScale::Utc}, 0.0).error()),
            "conversion from Utc to TDB is not implemented");
  EXPECT_EQ(message(next_sun_moon_elongation(engine, {2451545.0, TimeScale::Ut1}, 0.0).error()),
            "conversion from Ut1 to TDB is not implemented");
}

TEST_F(SeasonSearch, WalkingPastTheKernelEndFailsOutOfRange) {
  const SpkEphemeris engine = open_de421();
  // DE421 ends at TDB 2471184.5 (2053 October 9): the next March equinox is beyond it.
  const auto error = next_sun_longitude(engine, {2471180.5, TimeScale::Tt}, 0.0).error();
  EXPECT_EQ(error.kind(), EphemerisError::Kind::OutOfRange);
  EXPECT_GT(error.range().julian_day, 2471184.5);
  EXPECT_TRUE(message(error).ends_with(" is outside kernel range 2414864.5..2471184.5 Tdb")) << message(error);
  // The query itself outside the range fails at the first evaluation, with its own day.
  EXPECT_EQ(message(next_sun_moon_elongation(engine, {2471190.0, TimeScale::Tdb}, 0.0).error()),
            "Julian day 2471190 is outside kernel range 2414864.5..2471184.5 Tdb");
}

TEST_F(SeasonSearch, NonFiniteQueryOrTargetEndsTheSearch) {
  const SpkEphemeris engine = open_de421();
  EXPECT_EQ(message(next_sun_longitude(engine, {kNaN, TimeScale::Tt}, 0.0).error()), "Julian day must be finite");
  // A NaN target makes a NaN first guess, refused by the first Newton evaluation.
  EXPECT_EQ(message(next_sun_longitude(engine, {2451545.0, TimeScale::Tt}, kNaN).error()),
            "Julian day must be finite");
  EXPECT_EQ(message(next_sun_moon_elongation(engine, {2451545.0, TimeScale::Tt},
                                                          std::numeric_limits<double>::infinity()).error()),
            "Julian day must be finite");
}

// A kernel over J2000 + 0..40 days with the Earth at the barycentre and the
// Moon fixed beside it. The Sun moves about one degree a day for the first
// ten days and stands still for the remaining thirty.
testing::KernelImage halting_sun_kernel() {
  constexpr double kDay = 86400.0;
  testing::KernelSpec spec;
  spec.segments.push_back(testing::linear_segment(10, 0, 0.0, 10 * kDay, 1, {1.5e8, 0.0, 0.0}, {0.0, 30.0, 0.0}));
  spec.segments.push_back(testing::linear_segment(10, 0, 10 * kDay, 30 * kDay, 1, {1.5e8, 5.0e7, 0.0}, {0, 0, 0}));
  spec.segments.push_back(testing::linear_segment(399, 0, 0.0, 40 * kDay, 1, {0.0, 0.0, 0.0}, {0, 0, 0}));
  spec.segments.push_back(testing::linear_segment(301, 0, 0.0, 40 * kDay, 1, {3.8e5, 1.0e4, 0.0}, {0, 0, 0}));
  return testing::build_kernel(spec);
}

TEST(SeasonSearchSpeed, TooSlowLongitudeIsRefusedAtTheStartAndInNewton) {
  const testing::TempFile file(halting_sun_kernel().bytes);
  auto engine = SpkEphemeris::open(file.path(), testing::kAnySha256);
  ASSERT_TRUE(engine.has_value()) << message(engine.error());
  const std::string too_slow = "longitude speed is too small to search for the event";
  // While the Sun still moves the search starts; ten degrees ahead lies in
  // the still part, where the first Newton evaluation stops it.
  const Instant moving{2451547.0, TimeScale::Tt};
  const double longitude = engine->position(Body::Sun, moving, PositionOptions{
      Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate, true}).value().longitude_deg;
  EXPECT_EQ(message(next_sun_longitude(*engine, moving, longitude + 10.0).error()), too_slow);
  // Once it stands still the first evaluation refuses.
  EXPECT_EQ(message(next_sun_longitude(*engine, {2451570.0, TimeScale::Tt}, 0.0).error()), too_slow);
  EXPECT_EQ(message(next_sun_moon_elongation(*engine, {2451570.0, TimeScale::Tt}, 0.0).error()), too_slow);
}

}  // namespace
}  // namespace ephemeris
