#include "python/text_forms.h"

#include "core/text_format.h"

namespace ephemeris {

std::string format_optional_number(std::optional<double> value) {
  if (!value) return "None";
  return "Some(" + format_literal_number(*value) + ")";
}

std::string format_bool(bool value) { return value ? "true" : "false"; }

}  // namespace ephemeris
