// The three error types of the core library and their fixed English messages.
// Every error renders its text through one overload of `message`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/body.h"
#include "core/time_scale.h"

namespace ephemeris {

// Failures of the coordinate conversions, the observer, houses, horizon and ayanamsha.
enum class CoordinateError : std::uint8_t {
  NonFinite,            // "Cartesian state must be finite"
  AtOrigin,             // "spherical position is undefined at origin"
  OnZAxis,              // "spherical longitude is undefined on the z axis"
  InvalidLatitude,      // "geodetic latitude must be finite and within [-90, 90] degrees"
  UndefinedHouseCusps,  // "house cusps are undefined for this system at the requested latitude"
};

std::string_view message(CoordinateError error);

// Failure to turn an instant into TDB.
struct TimeConversionError {
  enum class Kind : std::uint8_t { NonFiniteJulianDay, Unsupported };
  Kind kind = Kind::NonFiniteJulianDay;
  TimeScale scale = TimeScale::Tdb;  // the scale that cannot be converted (Unsupported)

  static TimeConversionError non_finite_julian_day() { return {Kind::NonFiniteJulianDay, TimeScale::Tdb}; }
  static TimeConversionError unsupported(TimeScale from) { return {Kind::Unsupported, from}; }
  friend bool operator==(const TimeConversionError&, const TimeConversionError&) = default;
};

std::string message(const TimeConversionError& error);

// The error of every backend operation.
class EphemerisError {
 public:
  // Interrupted: the caller's interrupt check asked long work to stop ("interrupted").
  enum class Kind : std::uint8_t { UnsupportedBody, OutOfRange, InvalidRequest, TimeConversion, Backend, Interrupted };

  struct OutOfRangeDetail {
    double julian_day;        // the instant's own Julian day, as given
    double start_julian_day;  // the supported range's bounds
    double end_julian_day;
    TimeScale time_scale;     // the range's scale
  };

  static EphemerisError unsupported_body(Body body);
  static EphemerisError out_of_range(double julian_day, double start_julian_day, double end_julian_day,
                                     TimeScale time_scale);
  static EphemerisError invalid_request(std::string text);
  static EphemerisError time_conversion(std::string text);
  static EphemerisError backend(std::string text);
  static EphemerisError interrupted() { return EphemerisError(Kind::Interrupted); }

  Kind kind() const { return kind_; }
  // The body of UnsupportedBody, the range of OutOfRange, the text of the other three
  // (the other fields hold their defaults).
  Body body() const { return body_; }
  const OutOfRangeDetail& range() const { return range_; }
  const std::string& text() const { return text_; }

 private:
  explicit EphemerisError(Kind kind) : kind_(kind) {}
  static EphemerisError with_text(Kind kind, std::string text);

  Kind kind_;
  Body body_ = Body::Sun;
  OutOfRangeDetail range_{};
  std::string text_;
};

std::string message(const EphemerisError& error);

}  // namespace ephemeris
