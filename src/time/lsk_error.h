// The error of loading a leap-second kernel, and its fixed messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ephemeris {

// Reason texts carried by LskError::Kind::InvalidValue.
namespace lsk_reason {
inline constexpr std::string_view kExpectedScalar = "expected a single scalar value";
inline constexpr std::string_view kInvalidNumber = "value is not a valid number";
inline constexpr std::string_view kExpectedTwoValues = "expected exactly two values (M0 and M1)";
inline constexpr std::string_view kInvalidM0 = "M0 is not a valid number";
inline constexpr std::string_view kInvalidM1 = "M1 is not a valid number";
inline constexpr std::string_view kExpectedPairs = "expected a non-empty sequence of (delta, date) pairs";
inline constexpr std::string_view kInvalidDelta = "delta value is not a valid number";
}  // namespace lsk_reason

struct LskError {
  enum class Kind : std::uint8_t {
    Io,                   // the file could not be read; `detail` is the read error's text
    InvalidPath,          // the path has no final component, or it is not UTF-8
    InvalidSha256,        // the checksum is not 64 hexadecimal characters
    MissingDataSection,   // no non-blank text inside \begindata sections
    MissingKeyword,       // `key` is not assigned
    InvalidValue,         // `key` has an unusable value; `detail` is the reason
    InvalidDateLiteral,   // `detail` is the offending token
    NonAscendingEntries,  // DELTET/DELTA_AT dates are not strictly ascending
  };

  Kind kind = Kind::Io;
  std::string key;
  std::string detail;

  static LskError io(std::string read_error) { return {Kind::Io, {}, std::move(read_error)}; }
  static LskError invalid_path() { return {Kind::InvalidPath, {}, {}}; }
  static LskError invalid_sha256() { return {Kind::InvalidSha256, {}, {}}; }
  static LskError missing_data_section() { return {Kind::MissingDataSection, {}, {}}; }
  static LskError missing_keyword(std::string_view key) { return {Kind::MissingKeyword, std::string(key), {}}; }
  static LskError invalid_value(std::string_view key, std::string_view reason) {
    return {Kind::InvalidValue, std::string(key), std::string(reason)};
  }
  static LskError invalid_date_literal(std::string_view token) {
    return {Kind::InvalidDateLiteral, {}, std::string(token)};
  }
  static LskError non_ascending_entries() { return {Kind::NonAscendingEntries, {}, {}}; }

  friend bool operator==(const LskError&, const LskError&) = default;
};

// "failed to read leap-second kernel: {read error}", "invalid value for {key}: {reason}", ...
std::string message(const LskError& error);

}  // namespace ephemeris
