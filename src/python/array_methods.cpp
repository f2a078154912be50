// The Engine methods that take arrays of Julian days, and the horizontal
// coordinates: positions_jd, altaz and altaz_jd.
//
// A `julian_days` argument is converted with the other arguments, in
// parameter order (TypeError); its days are checked for finiteness (ValueError
// "Julian day must be finite", as an Instant would refuse them) after the
// names before it and before the time scale is read; the instants, all in
// that one scale, are then made in C++. So the results, and the errors of
// the engine, are those of the same call with Instant objects.
#include <optional>

#include "engine/horizontal.h"
#include "python/engine_object.h"
#include "python/julian_day_array.h"
#include "python/module_classes.h"
#include "python/numpy_array.h"
#include "python/sequence_arguments.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

PyTypeObject* instant_class() { return module_class(ModuleClass::Instant); }
PyTypeObject* observer_class() { return module_class(ModuleClass::GeodeticObserver); }
PyTypeObject* options_class() { return module_class(ModuleClass::PositionOptions); }

// The days' finiteness, then the scale's name.
PyResult<std::vector<Instant>> instants_of(const JulianDayArray& days, std::string_view time_scale) {
  if (!days.check_finite()) return python_error();
  const auto scale = parsed(parse_time_scale(time_scale));
  if (!scale) return python_error();
  return days.instants(*scale);
}

// Refraction needs both weather values; without either there is none.
PyResult<std::optional<AirConditions>> air_conditions(std::optional<double> temperature_c,
                                                      std::optional<double> pressure_mbar) {
  if (temperature_c.has_value() != pressure_mbar.has_value()) {
    return value_error("temperature_c and pressure_mbar must be supplied together");
  }
  if (!temperature_c) return std::optional<AirConditions>();
  return std::optional<AirConditions>(AirConditions{*temperature_c, *pressure_mbar});
}

PyResult<PyRef> positions_jd(const BoundArguments<4>& bound, const EngineAccess& access) {
  const auto names = to_text_vector(bound[0], "bodies");
  if (!names) return python_error();
  const auto days = JulianDayArray::from(bound[1], "julian_days");
  if (!days) return python_error();
  const auto time_scale = to_text(bound[2], "time_scale");
  if (!time_scale) return python_error();
  const auto options = to_instance(bound[3], options_class(), "options");
  if (!options) return python_error();

  const auto bodies = parsed_bodies(*names);
  if (!bodies) return python_error();
  const auto instants = instants_of(*days, *time_scale);
  if (!instants) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  // The engine writes into the array's data, which it asks for once the
  // arguments are checked; a failed allocation leaves its Python error set.
  PositionArrayRoom room(instants->size(), bodies->size());
  const auto done =
      (*engine)->positions(*bodies, *instants, position_options_value(*options), python_signal_check(), room.room());
  if (!done) return map_ephemeris_error(done.error());
  return room.take();
}

PyResult<PyRef> altaz(const BoundArguments<5>& bound, const EngineAccess& access) {
  const auto body_text = to_text(bound[0], "body");
  if (!body_text) return python_error();
  const auto observer = to_instance(bound[1], observer_class(), "observer");
  if (!observer) return python_error();
  const auto instant = to_instance(bound[2], instant_class(), "instant");
  if (!instant) return python_error();
  const auto temperature_c = to_optional_double(bound[3], "temperature_c");
  if (!temperature_c) return python_error();
  const auto pressure_mbar = to_optional_double(bound[4], "pressure_mbar");
  if (!pressure_mbar) return python_error();

  const auto body = parsed(parse_body(*body_text));
  if (!body) return python_error();
  const auto air = air_conditions(*temperature_c, *pressure_mbar);
  if (!air) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result =
      horizontal_position(**engine, *body, geodetic_observer_value(*observer), instant_value(*instant), *air);
  if (!result) return map_ephemeris_error(result.error());
  return new_horizontal_position(*result);
}

PyResult<PyRef> altaz_jd(const BoundArguments<6>& bound, const EngineAccess& access) {
  const auto body_text = to_text(bound[0], "body");
  if (!body_text) return python_error();
  const auto observer = to_instance(bound[1], observer_class(), "observer");
  if (!observer) return python_error();
  const auto days = JulianDayArray::from(bound[2], "julian_days");
  if (!days) return python_error();
  const auto time_scale = to_text(bound[3], "time_scale");
  if (!time_scale) return python_error();
  const auto temperature_c = to_optional_double(bound[4], "temperature_c");
  if (!temperature_c) return python_error();
  const auto pressure_mbar = to_optional_double(bound[5], "pressure_mbar");
  if (!pressure_mbar) return python_error();

  const auto body = parsed(parse_body(*body_text));
  if (!body) return python_error();
  const auto instants = instants_of(*days, *time_scale);
  if (!instants) return python_error();
  const auto air = air_conditions(*temperature_c, *pressure_mbar);
  if (!air) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result = horizontal_positions(**engine, *body, geodetic_observer_value(*observer), *instants, *air,
                                           python_signal_check());
  if (!result) return map_ephemeris_error(result.error());
  return new_horizontal_array(*result);
}

PyObject* positions_jd_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<4> signature{
      "Engine.positions_jd", {"bodies", "julian_days", "time_scale", "options"}, 4};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &positions_jd);
}

PyObject* altaz_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<5> signature{
      "Engine.altaz", {"body", "observer", "instant", "temperature_c", "pressure_mbar"}, 3};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &altaz);
}

PyObject* altaz_jd_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<6> signature{
      "Engine.altaz_jd", {"body", "observer", "julian_days", "time_scale", "temperature_c", "pressure_mbar"}, 4};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &altaz_jd);
}

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

const PyMethodDef array_methods[] = {
    {"positions_jd", as_py_cfunction(&positions_jd_entry), kMethodFlags,
     "positions_jd($self, bodies, julian_days, time_scale, options)\n--\n\n"
     "Batch positions for an array of Julian days, all in `time_scale`.\n\n"
     "The same array as `positions` with `Instant(day, time_scale)` for each day;\n"
     "a float64 `NumPy` array is read in place."},
    {"altaz", as_py_cfunction(&altaz_entry), kMethodFlags,
     "altaz($self, body, observer, instant, temperature_c=None, pressure_mbar=None)\n--\n\n"
     "Altitude, azimuth (from north through east) and distance of a body for a site.\n\n"
     "From the apparent topocentric place; the altitude is refracted (Bennett)\n"
     "when both `temperature_c` and `pressure_mbar` are given."},
    {"altaz_jd", as_py_cfunction(&altaz_jd_entry), kMethodFlags,
     "altaz_jd($self, body, observer, julian_days, time_scale, temperature_c=None, pressure_mbar=None)\n--\n\n"
     "`altaz` for an array of Julian days as a `NumPy` array of shape `(n, 3)`.\n\n"
     "Columns are altitude (deg), azimuth (deg), and distance (au)."},
};

}  // namespace

std::span<const PyMethodDef> engine_array_methods() { return array_methods; }

}  // namespace ephemeris
