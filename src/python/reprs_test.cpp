#include "python/reprs.h"

#include <gtest/gtest.h>

#include <limits>

#include "python/text_forms.h"

namespace ephemeris {
namespace {

TEST(TextForms, OptionalNumberAndBool) {
  EXPECT_EQ(format_optional_number(std::nullopt), "None");
  EXPECT_EQ(format_optional_number(0.25), "Some(0.25)");
  EXPECT_EQ(format_optional_number(2451545.0), "Some(2451545.0)");
  EXPECT_EQ(format_optional_number(1e-5), "Some(1e-5)");
  EXPECT_EQ(format_bool(true), "true");
  EXPECT_EQ(format_bool(false), "false");
}

TEST(Reprs, InstantUsesALiteralNumber) {
  EXPECT_EQ(instant_repr({2451545.0, TimeScale::Tdb}), "Instant(2451545.0, time_scale=\"tdb\")");
  EXPECT_EQ(instant_repr({1e-5, TimeScale::Tt}), "Instant(1e-5, time_scale=\"tt\")");
  EXPECT_EQ(instant_repr({-0.0, TimeScale::Utc}), "Instant(-0.0, time_scale=\"utc\")");
  EXPECT_EQ(instant_repr({2.5e17, TimeScale::Ut1}), "Instant(2.5e17, time_scale=\"ut1\")");
}

TEST(Reprs, ObserverAndPositionUsePlainNumbers) {
  EXPECT_EQ(geodetic_observer_repr({-0.5, 51.5, 0.0}),
            "GeodeticObserver(longitude_east_deg=-0.5, latitude_deg=51.5, height_m=0)");
  EXPECT_EQ(position_repr({2451545.0, -0.0, 1e-7, 0.25}),
            "Position(longitude_deg=2451545, latitude_deg=-0, distance_au=0.0000001, "
            "longitude_speed_deg_per_day=0.25)");
}

TEST(Reprs, PositionOptionsShowsTheObserverOnlyWhenTopocentric) {
  PositionOptions options;
  EXPECT_EQ(position_options_repr(options),
            "PositionOptions(origin=\"geocentric\", coordinate_system=\"ecliptic\", reference_epoch=\"j2000\", "
            "apparent=false)");
  options.origin = Origin::topocentric({10.0, -20.25, 100.0});
  options.coordinate_system = CoordinateSystem::Equatorial;
  options.reference_epoch = ReferenceEpoch::OfDate;
  options.apparent = true;
  options.true_ecliptic = true;
  EXPECT_EQ(position_options_repr(options),
            "PositionOptions(origin=\"topocentric\", observer=GeodeticObserver(longitude_east_deg=10, "
            "latitude_deg=-20.25, height_m=100), coordinate_system=\"equatorial\", reference_epoch=\"of_date\", "
            "apparent=true)");
}

TEST(Reprs, ResultClasses) {
  EXPECT_EQ(house_cusps_repr("whole_sign", 187.5, 99.0),
            "HouseCusps(system=\"whole_sign\", ascendant_deg=187.5, midheaven_deg=99)");
  EXPECT_EQ(rise_set_transit_repr(2451545.5, std::nullopt, std::nullopt),
            "RiseSetTransit(transit_ut1_julian_day=2451545.5, rise_ut1_julian_day=None, set_ut1_julian_day=None)");
  EXPECT_EQ(rise_set_transit_repr(2451545.25, 2451545.0, 2451545.75),
            "RiseSetTransit(transit_ut1_julian_day=2451545.25, rise_ut1_julian_day=Some(2451545.0), "
            "set_ut1_julian_day=Some(2451545.75))");
  EXPECT_EQ(horizon_event_repr(HorizonEventKind::Rise, 2451545.0),
            "HorizonEvent(kind=\"rise\", ut1_julian_day=2451545)");
}

TEST(Reprs, EnumerationsAndSnapshots) {
  EXPECT_EQ(enumeration_repr("HouseSystem", "whole_sign"), "HouseSystem(\"whole_sign\")");
  EXPECT_EQ(date_range_repr(2451545.0, 2451545.5, TimeScale::Tdb),
            "DateRange(start_julian_day=2451545, end_julian_day=2451545.5, time_scale=\"tdb\")");
  EXPECT_EQ(kernel_identity_repr("KernelMetadata", "de\"421\".bsp", "ab"),
            "KernelMetadata(kernel_name=\"de\\\"421\\\".bsp\", kernel_sha256=\"ab\")");
  EXPECT_EQ(kernel_identity_repr("Engine", "a\tb", "c"), "Engine(kernel_name=\"a\\tb\", kernel_sha256=\"c\")");
}

TEST(Reprs, NonFiniteNumbers) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(position_repr({std::numeric_limits<double>::quiet_NaN(), inf, -inf, 0.0}),
            "Position(longitude_deg=NaN, latitude_deg=inf, distance_au=-inf, longitude_speed_deg_per_day=0)");
  EXPECT_EQ(format_optional_number(-inf), "Some(-inf)");
}

}  // namespace
}  // namespace ephemeris
