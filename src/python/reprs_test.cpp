#include "python/reprs.h"

#include <gtest/gtest.h>

#include <cmath>

#include "python/text_forms.h"

namespace ephemeris {
namespace {

TEST(Reprs, EveryClassWithItsNumberForm) {
  const PositionOptions options{Origin::topocentric({10.0, -20.25, 100.0}), CoordinateSystem::Equatorial,
                                ReferenceEpoch::OfDate, true, true};
  for (const auto& [repr, wanted] : std::initializer_list<std::pair<std::string, std::string>>{
           {instant_repr({2451545.0, TimeScale::Tdb}), "Instant(2451545.0, time_scale=\"tdb\")"},  // a literal number
           {instant_repr({1e-5, TimeScale::Tt}), "Instant(1e-5, time_scale=\"tt\")"},
           {instant_repr({2.5e17, TimeScale::Ut1}), "Instant(2.5e17, time_scale=\"ut1\")"},
           {instant_repr({-0.0, TimeScale::Utc}), "Instant(-0.0, time_scale=\"utc\")"},
           {geodetic_observer_repr({-0.5, 51.5, 0.0}),  // plain numbers from here on
            "GeodeticObserver(longitude_east_deg=-0.5, latitude_deg=51.5, height_m=0)"},
           {position_repr({2451545.0, -0.0, 1e-7, 0.25}), "Position(longitude_deg=2451545, latitude_deg=-0, "
                                                          "distance_au=0.0000001, longitude_speed_deg_per_day=0.25)"},
           {position_repr({NAN, INFINITY, -INFINITY, 0.0}),
            "Position(longitude_deg=NaN, latitude_deg=inf, distance_au=-inf, longitude_speed_deg_per_day=0)"},
           {position_options_repr({}), "PositionOptions(origin=\"geocentric\", coordinate_system=\"ecliptic\", "
                           "reference_epoch=\"j2000\", apparent=false)"},
           {position_options_repr(options),  // the observer only when topocentric
            "PositionOptions(origin=\"topocentric\", observer=GeodeticObserver(longitude_east_deg=10, "
            "latitude_deg=-20.25, height_m=100), coordinate_system=\"equatorial\", reference_epoch=\"of_date\", "
            "apparent=true)"},
           {house_cusps_repr("whole_sign", 187.5, 99.0),
            "HouseCusps(system=\"whole_sign\", ascendant_deg=187.5, midheaven_deg=99)"},
           {rise_set_transit_repr(2451545.5, std::nullopt, std::nullopt),
            "RiseSetTransit(transit_ut1_julian_day=2451545.5, rise_ut1_julian_day=None, set_ut1_julian_day=None)"},
           {rise_set_transit_repr(2451545.25, 2451545.0, 1e-5),
            "RiseSetTransit(transit_ut1_julian_day=2451545.25, rise_ut1_julian_day=Some(2451545.0), "
            "set_ut1_julian_day=Some(1e-5))"},
           {horizon_event_repr(HorizonEventKind::Rise, 2451545.0),
            "HorizonEvent(kind=\"rise\", ut1_julian_day=2451545)"},
           {enumeration_repr("HouseSystem", "whole_sign"), "HouseSystem(\"whole_sign\")"},
           {date_range_repr(2451545.5, 2451546.0, TimeScale::Tdb),
            "DateRange(start_julian_day=2451545.5, end_julian_day=2451546, time_scale=\"tdb\")"},
           {kernel_identity_repr("KernelMetadata", "de\"421\".bsp", "ab"),
            "KernelMetadata(kernel_name=\"de\\\"421\\\".bsp\", kernel_sha256=\"ab\")"},
           {format_optional_number(-INFINITY), "Some(-inf)"}, {format_bool(false), "false"}}) {
    EXPECT_EQ(repr, wanted);
  }
}

}  // namespace
}  // namespace ephemeris
