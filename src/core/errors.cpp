#include "core/errors.h"

#include <array>

#include "core/text_format.h"

namespace ephemeris {

std::string_view message(CoordinateError error) {
  constexpr std::array<std::string_view, 5> texts = {
      "Cartesian state must be finite",
      "spherical position is undefined at origin",
      "spherical longitude is undefined on the z axis",
      "geodetic latitude must be finite and within [-90, 90] degrees",
      "house cusps are undefined for this system at the requested latitude",
  };
  return texts[static_cast<std::size_t>(error)];
}

std::string message(const TimeConversionError& error) {
  switch (error.kind) {
    case TimeConversionError::Kind::NonFiniteJulianDay:
      return "Julian day must be finite";
    case TimeConversionError::Kind::Unsupported:
      return "conversion from " + std::string(time_scale_name(error.scale)) + " to TDB is not implemented";
  }
  return {};
}

EphemerisError EphemerisError::unsupported_body(Body body) {
  EphemerisError error(Kind::UnsupportedBody);
  error.body_ = body;
  return error;
}

EphemerisError EphemerisError::out_of_range(double julian_day, double start_julian_day, double end_julian_day,
                                            TimeScale time_scale) {
  EphemerisError error(Kind::OutOfRange);
  error.range_ = OutOfRangeDetail{julian_day, start_julian_day, end_julian_day, time_scale};
  return error;
}

EphemerisError EphemerisError::invalid_request(std::string text) { return with_text(Kind::InvalidRequest, std::move(text)); }
EphemerisError EphemerisError::time_conversion(std::string text) { return with_text(Kind::TimeConversion, std::move(text)); }
EphemerisError EphemerisError::backend(std::string text) { return with_text(Kind::Backend, std::move(text)); }

EphemerisError EphemerisError::with_text(Kind kind, std::string text) {
  EphemerisError error(kind);
  error.text_ = std::move(text);
  return error;
}

std::string message(const EphemerisError& error) {
  switch (error.kind()) {
    case EphemerisError::Kind::UnsupportedBody:
      return "unsupported body: " + std::string(body_name(error.body()));
    case EphemerisError::Kind::OutOfRange: {
      const auto& r = error.range();
      return "Julian day " + format_plain_number(r.julian_day) + " is outside kernel range " +
             format_plain_number(r.start_julian_day) + ".." + format_plain_number(r.end_julian_day) + " " +
             std::string(time_scale_name(r.time_scale));
    }
    case EphemerisError::Kind::InvalidRequest:
    case EphemerisError::Kind::TimeConversion:
    case EphemerisError::Kind::Backend:
      return error.text();
    case EphemerisError::Kind::Interrupted:
      return "interrupted";
  }
  return {};
}

}  // namespace ephemeris
