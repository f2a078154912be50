// The classes of the module: one creation function per class (called once by
// the module's initialisation), the registry that keeps the class objects, and
// the functions that build instances from C++ values.
#pragma once

#include "python/python_error.h"

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/events.h"
#include "core/metadata.h"
#include "core/observer.h"
#include "core/position.h"
#include "core/position_options.h"
#include "core/time_scale.h"
#include "engine/horizontal.h"
#include "time/earth_orientation.h"
#include "python/convert.h"

namespace ephemeris {

enum class ModuleClass : std::size_t {
  Instant,
  GeodeticObserver,
  HouseSystem,
  HouseCusps,
  HorizonEventKind,
  RiseSetTransit,
  HorizonEvent,
  SeasonEvent,
  LunationEvent,
  SiderealMode,
  PositionOptions,
  Position,
  DateRange,
  KernelMetadata,
  Engine,
  HorizontalPosition,
  EarthOrientationMetadata,
};
inline constexpr std::size_t kModuleClassCount = 17;

// The class object registered for `id` (borrowed), or null before registration.
PyTypeObject* module_class(ModuleClass id);
// Keeps `class_object` as the class of `id` for the life of the process.
void register_module_class(ModuleClass id, PyRef class_object);

// Class creation, one function per class; `module` becomes the classes' module.
PyResult<PyRef> create_instant_class(PyObject* module);
PyResult<PyRef> create_geodetic_observer_class(PyObject* module);
PyResult<PyRef> create_house_system_class(PyObject* module);
PyResult<PyRef> create_house_cusps_class(PyObject* module);
PyResult<PyRef> create_sidereal_mode_class(PyObject* module);
PyResult<PyRef> create_position_options_class(PyObject* module);
PyResult<PyRef> create_position_class(PyObject* module);
PyResult<PyRef> create_rise_set_transit_class(PyObject* module);
PyResult<PyRef> create_horizon_event_class(PyObject* module);
PyResult<PyRef> create_season_event_class(PyObject* module);
PyResult<PyRef> create_lunation_event_class(PyObject* module);
PyResult<PyRef> create_horizon_event_kind_class(PyObject* module);
PyResult<PyRef> create_date_range_class(PyObject* module);
PyResult<PyRef> create_kernel_metadata_class(PyObject* module);
PyResult<PyRef> create_engine_class(PyObject* module);
PyResult<PyRef> create_horizontal_position_class(PyObject* module);
PyResult<PyRef> create_earth_orientation_metadata_class(PyObject* module);

// Module functions.
PyResult<PyRef> create_open_function(PyObject* module);
PyResult<PyRef> create_geometric_function(PyObject* module);
PyResult<PyRef> create_apparent_function(PyObject* module);
PyResult<PyRef> create_house_cusps_function(PyObject* module);

// Instances built from C++ values.
PyResult<PyRef> new_instant(const Instant& instant);
PyResult<PyRef> new_geodetic_observer(const GeodeticObserver& observer);
PyResult<PyRef> new_position(const Position& position);
PyResult<PyRef> new_rise_set_transit(const RiseSetTransit& result);
PyResult<PyRef> new_horizon_event(const HorizonEvent& event);
PyResult<PyRef> new_horizon_event_kind(HorizonEventKind kind);
PyResult<PyRef> new_house_system(HouseSystem system);
PyResult<PyRef> new_house_cusps(const HouseCusps& cusps);
PyResult<PyRef> new_sidereal_mode(SiderealMode mode);
PyResult<PyRef> new_season_event(SeasonEvent event);
PyResult<PyRef> new_lunation_event(LunationEvent event);
PyResult<PyRef> new_date_range(double start_julian_day, double end_julian_day, TimeScale time_scale);
PyResult<PyRef> new_kernel_metadata(EphemerisMetadata metadata);
PyResult<PyRef> new_horizontal_position(const HorizontalPosition& position);
// A snapshot of the table's provenance, format and coverage.
PyResult<PyRef> new_earth_orientation_metadata(const EarthOrientationTable& table);

// The values held by instances (the object must be of the matching class).
const Instant& instant_value(PyObject* instant);
const GeodeticObserver& geodetic_observer_value(PyObject* observer);
const PositionOptions& position_options_value(PyObject* options);

// Text of a name argument: a str as it is, or the str `name` attribute of any
// other object (the enumeration classes, Python enum members). Anything else:
// ValueError "expected a name string or an ephemeris enum with a name attribute".
PyResult<std::string> extract_name(PyObject* value);

// Julian day of an argument: the day of an Instant (its scale is ignored) or any
// value convertible to float. ValueError "expected an Instant or a finite Julian
// day float" when neither, "Julian day must be finite" for NaN or infinity.
PyResult<double> extract_julian_day(PyObject* value);

// The value of one of the name parsers (python/convert.h), or ValueError with
// the parser's message.
template <class T>
PyResult<T> parsed(std::expected<T, std::string> result) {
  if (!result) return value_error(result.error());
  return *result;
}

// The body whose canonical name ("mars", "jupiter_barycenter") is `value`
// itself, the interned str that a name written in code is; found by identity,
// reading no text. Nothing for any other object (parse_body then decides).
std::optional<Body> interned_body(PyObject* value);

// The bodies named by `names`, in order; the first unknown name raises its ValueError.
inline PyResult<std::vector<Body>> parsed_bodies(std::span<const std::string> names) {
  std::vector<Body> bodies;
  bodies.reserve(names.size());
  for (const std::string& name : names) {
    const auto body = parsed(parse_body(name));
    if (!body) return python_error();
    bodies.push_back(*body);
  }
  return bodies;
}

// A name argument: the text of `value` (extract_name) read by `parser`.
template <class Parser>
auto parsed_name(PyObject* value, Parser parser)
    -> PyResult<typename std::invoke_result_t<Parser, std::string_view>::value_type> {
  const auto text = extract_name(value);
  if (!text) return python_error();
  return parsed(parser(*text));
}

}  // namespace ephemeris
