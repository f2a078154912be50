// The repr text of every class of the Python module, as pure functions of the
// values the classes hold. Numbers use the plain, literal and optional forms,
// names the quoted form (core/text_format.h, python/text_forms.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/events.h"
#include "core/observer.h"
#include "core/position.h"
#include "core/position_options.h"
#include "core/time_scale.h"

namespace ephemeris {

// Instant(2451545.0, time_scale="tdb") — the day as a literal number.
std::string instant_repr(const Instant& instant);

// GeodeticObserver(longitude_east_deg=-0.5, latitude_deg=51.5, height_m=0) — plain numbers.
std::string geodetic_observer_repr(const GeodeticObserver& observer);

// PositionOptions(origin="geocentric", coordinate_system="ecliptic", reference_epoch="j2000",
// apparent=false); a topocentric origin adds observer=<observer repr> after the origin.
std::string position_options_repr(const PositionOptions& options);

// Position(longitude_deg=…, latitude_deg=…, distance_au=…, longitude_speed_deg_per_day=…).
std::string position_repr(const Position& position);

// HorizontalPosition(altitude_deg=…, azimuth_deg=…, distance_au=…) — plain numbers.
std::string horizontal_position_repr(double altitude_deg, double azimuth_deg, double distance_au);

// HouseCusps(system="placidus", ascendant_deg=…, midheaven_deg=…).
std::string house_cusps_repr(std::string_view system_name, double ascendant_deg, double midheaven_deg);

// RiseSetTransit(transit_ut1_julian_day=…, rise_ut1_julian_day=Some(…)|None, set_ut1_julian_day=…).
std::string rise_set_transit_repr(double transit_ut1_julian_day, std::optional<double> rise_ut1_julian_day,
                                  std::optional<double> set_ut1_julian_day);

// HorizonEvent(kind="rise", ut1_julian_day=…).
std::string horizon_event_repr(HorizonEventKind kind, double ut1_julian_day);

// ClassName("canonical_name"), e.g. HouseSystem("whole_sign").
std::string enumeration_repr(std::string_view class_name, std::string_view canonical_name);

// DateRange(start_julian_day=2451545, end_julian_day=2451545.5, time_scale="tdb").
std::string date_range_repr(double start_julian_day, double end_julian_day, TimeScale time_scale);

// EarthOrientationMetadata(file_name="finals2000A.all", format="bulletin_a", first_utc_julian_day=2441684.5,
// last_measured_utc_julian_day=Some(2461349.5), last_utc_julian_day=2461721.5): days as plain numbers, the last
// measured one as an optional number.
std::string earth_orientation_repr(std::string_view file_name, std::string_view format_name,
                                   double first_utc_julian_day, std::optional<double> last_measured_utc_julian_day,
                                   double last_utc_julian_day);

// ClassName(kernel_name="…", kernel_sha256="…"), used by KernelMetadata and Engine.
std::string kernel_identity_repr(std::string_view class_name, std::string_view kernel_name,
                                 std::string_view kernel_sha256);

}  // namespace ephemeris
