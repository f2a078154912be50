// Text forms shared by every repr of the Python module, on top of the number
// and quoting forms of core/text_format.h.
#pragma once

#include <optional>
#include <string>

namespace ephemeris {

// "None" when absent, otherwise "Some(" + literal number + ")": Some(0.25), Some(2451545.0).
std::string format_optional_number(std::optional<double> value);

// "true" or "false" (lower case, unlike Python's True/False).
std::string format_bool(bool value);

}  // namespace ephemeris
