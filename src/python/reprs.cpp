#include "python/reprs.h"

#include "core/text_format.h"
#include "python/convert.h"
#include "python/text_forms.h"

namespace ephemeris {
namespace {

std::string quoted(std::string_view text) {
  return is_valid_utf8(text) ? quote_text(text) : quote_text(decode_utf8_lossy(text));
}

}  // namespace

std::string instant_repr(const Instant& instant) {
  return "Instant(" + format_literal_number(instant.julian_day) +
         ", time_scale=" + quoted(canonical_name(instant.time_scale)) + ")";
}

std::string geodetic_observer_repr(const GeodeticObserver& observer) {
  return "GeodeticObserver(longitude_east_deg=" + format_plain_number(observer.longitude_east_deg) +
         ", latitude_deg=" + format_plain_number(observer.latitude_deg) +
         ", height_m=" + format_plain_number(observer.height_m) + ")";
}

std::string position_options_repr(const PositionOptions& options) {
  std::string text = "PositionOptions(origin=" + quoted(canonical_name(options.origin.kind));
  if (options.origin.kind == OriginKind::Topocentric) {
    text += ", observer=" + geodetic_observer_repr(options.origin.observer);
  }
  text += ", coordinate_system=" + quoted(canonical_name(options.coordinate_system));
  text += ", reference_epoch=" + quoted(canonical_name(options.reference_epoch));
  text += ", apparent=" + format_bool(options.apparent) + ")";
  return text;
}

std::string position_repr(const Position& position) {
  return "Position(longitude_deg=" + format_plain_number(position.longitude_deg) +
         ", latitude_deg=" + format_plain_number(position.latitude_deg) +
         ", distance_au=" + format_plain_number(position.distance_au) +
         ", longitude_speed_deg_per_day=" + format_plain_number(position.longitude_speed_deg_per_day) + ")";
}

std::string horizontal_position_repr(double altitude_deg, double azimuth_deg, double distance_au) {
  return "HorizontalPosition(altitude_deg=" + format_plain_number(altitude_deg) +
         ", azimuth_deg=" + format_plain_number(azimuth_deg) + ", distance_au=" + format_plain_number(distance_au) +
         ")";
}

std::string house_cusps_repr(std::string_view system_name, double ascendant_deg, double midheaven_deg) {
  return "HouseCusps(system=" + quoted(system_name) + ", ascendant_deg=" + format_plain_number(ascendant_deg) +
         ", midheaven_deg=" + format_plain_number(midheaven_deg) + ")";
}

std::string rise_set_transit_repr(double transit_ut1_julian_day, std::optional<double> rise_ut1_julian_day,
                                  std::optional<double> set_ut1_julian_day) {
  return "RiseSetTransit(transit_ut1_julian_day=" + format_plain_number(transit_ut1_julian_day) +
         ", rise_ut1_julian_day=" + format_optional_number(rise_ut1_julian_day) +
         ", set_ut1_julian_day=" + format_optional_number(set_ut1_julian_day) + ")";
}

std::string horizon_event_repr(HorizonEventKind kind, double ut1_julian_day) {
  return "HorizonEvent(kind=" + quoted(canonical_name(kind)) +
         ", ut1_julian_day=" + format_plain_number(ut1_julian_day) + ")";
}

std::string enumeration_repr(std::string_view class_name, std::string_view canonical_name) {
  return std::string(class_name) + "(" + quoted(canonical_name) + ")";
}

std::string date_range_repr(double start_julian_day, double end_julian_day, TimeScale time_scale) {
  return "DateRange(start_julian_day=" + format_plain_number(start_julian_day) +
         ", end_julian_day=" + format_plain_number(end_julian_day) +
         ", time_scale=" + quoted(canonical_name(time_scale)) + ")";
}

std::string earth_orientation_repr(std::string_view file_name, std::string_view format_name,
                                   double first_utc_julian_day, std::optional<double> last_measured_utc_julian_day,
                                   double last_utc_julian_day) {
  return "EarthOrientationMetadata(file_name=" + quoted(file_name) + ", format=" + quoted(format_name) +
         ", first_utc_julian_day=" + format_plain_number(first_utc_julian_day) +
         ", last_measured_utc_julian_day=" + format_optional_number(last_measured_utc_julian_day) +
         ", last_utc_julian_day=" + format_plain_number(last_utc_julian_day) + ")";
}

std::string kernel_identity_repr(std::string_view class_name, std::string_view kernel_name,
                                 std::string_view kernel_sha256) {
  return std::string(class_name) + "(kernel_name=" + quoted(kernel_name) +
         ", kernel_sha256=" + quoted(kernel_sha256) + ")";
}

}  // namespace ephemeris
