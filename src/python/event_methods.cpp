// The event methods of Engine: sidereal positions, the next lunation or
// season, and the rise, set and transit of the Sun or the Moon for a site.
//
// Each method first converts its arguments in parameter order (TypeError for
// a wrong type), then reads its names (body, then the mode or kind, each a
// ValueError with the parser's message), and only then asks for the engine,
// so a bad argument is reported even on a closed engine.
#include "engine/horizon_events.h"
#include "engine/season_search.h"
#include "engine/sidereal_position.h"
#include "python/engine_object.h"
#include "python/module_classes.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

PyTypeObject* instant_class() { return module_class(ModuleClass::Instant); }
PyTypeObject* observer_class() { return module_class(ModuleClass::GeodeticObserver); }
PyTypeObject* options_class() { return module_class(ModuleClass::PositionOptions); }

PyResult<PyRef> sidereal_position_method(const BoundArguments<4>& bound, const EngineAccess& access) {
  const auto body_text = to_text(bound[0], "body");
  if (!body_text) return python_error();
  const auto instant = to_instance(bound[1], instant_class(), "instant");
  if (!instant) return python_error();
  const auto options = to_instance(bound[2], options_class(), "options");
  if (!options) return python_error();

  const auto body = parsed(parse_body(*body_text));
  if (!body) return python_error();
  const auto mode = parsed_name(bound[3], &parse_sidereal_mode);
  if (!mode) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result =
      sidereal_position(**engine, *body, instant_value(*instant), position_options_value(*options), *mode);
  if (!result) return map_ephemeris_error(result.error());
  return new_position(*result);
}

PyResult<PyRef> next_lunation_method(const BoundArguments<2>& bound, const EngineAccess& access) {
  const auto after = to_instance(bound[0], instant_class(), "after");
  if (!after) return python_error();

  const auto kind = parsed_name(bound[1], &parse_lunation_event);
  if (!kind) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result = next_sun_moon_elongation(**engine, instant_value(*after), lunation_target_elongation_deg(*kind));
  if (!result) return map_ephemeris_error(result.error());
  return new_instant(*result);
}

PyResult<PyRef> next_season_event_method(const BoundArguments<2>& bound, const EngineAccess& access) {
  const auto after = to_instance(bound[0], instant_class(), "after");
  if (!after) return python_error();

  const auto kind = parsed_name(bound[1], &parse_season_event);
  if (!kind) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result = next_sun_longitude(**engine, instant_value(*after), season_target_longitude_deg(*kind));
  if (!result) return map_ephemeris_error(result.error());
  return new_instant(*result);
}

PyResult<PyRef> rise_set_transit_method(const BoundArguments<4>& bound, const EngineAccess& access) {
  const auto body_text = to_text(bound[0], "body");
  if (!body_text) return python_error();
  const auto observer = to_instance(bound[1], observer_class(), "observer");
  if (!observer) return python_error();
  const auto around = to_instance(bound[2], instant_class(), "around");
  if (!around) return python_error();
  const auto altitude_deg = to_double(bound[3], "altitude_deg");
  if (!altitude_deg) return python_error();

  const auto body = parsed(parse_body(*body_text));
  if (!body) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result = rise_set_transit(**engine, *body, geodetic_observer_value(*observer), instant_value(*around),
                                       *altitude_deg);
  if (!result) return map_ephemeris_error(result.error());
  return new_rise_set_transit(*result);
}

PyResult<PyRef> next_horizon_event_method(const BoundArguments<5>& bound, const EngineAccess& access) {
  const auto body_text = to_text(bound[0], "body");
  if (!body_text) return python_error();
  const auto observer = to_instance(bound[1], observer_class(), "observer");
  if (!observer) return python_error();
  const auto after = to_instance(bound[2], instant_class(), "after");
  if (!after) return python_error();
  const auto altitude_deg = to_double(bound[4], "altitude_deg");
  if (!altitude_deg) return python_error();

  const auto body = parsed(parse_body(*body_text));
  if (!body) return python_error();
  const auto kind = parsed_name(bound[3], &parse_horizon_event_kind);
  if (!kind) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result = next_horizon_event(**engine, *body, geodetic_observer_value(*observer), instant_value(*after),
                                         *kind, *altitude_deg);
  if (!result) return map_ephemeris_error(result.error());
  return new_horizon_event(*result);
}

PyObject* sidereal_position_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<4> signature{"Engine.sidereal_position", {"body", "instant", "options", "mode"}, 4};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &sidereal_position_method);
}

PyObject* next_lunation_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<2> signature{"Engine.next_lunation", {"after", "kind"}, 2};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &next_lunation_method);
}

PyObject* next_season_event_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<2> signature{"Engine.next_season_event", {"after", "kind"}, 2};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &next_season_event_method);
}

PyObject* rise_set_transit_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<4> signature{
      "Engine.rise_set_transit", {"body", "observer", "around", "altitude_deg"}, 4};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &rise_set_transit_method);
}

PyObject* next_horizon_event_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<5> signature{
      "Engine.next_horizon_event", {"body", "observer", "after", "kind", "altitude_deg"}, 5};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &next_horizon_event_method);
}

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

const PyMethodDef event_methods[] = {
    {"sidereal_position", as_py_cfunction(&sidereal_position_entry), kMethodFlags,
     "sidereal_position($self, body, instant, options, mode)\n--\n\n"
     "Ecliptic of-date position with Lahiri or Fagan\u2013Bradley ayanamsha."},
    {"next_lunation", as_py_cfunction(&next_lunation_entry), kMethodFlags,
     "next_lunation($self, after, kind)\n--\n\n"
     "Next new or full Moon after `after`. Returned instant is TT."},
    {"next_season_event", as_py_cfunction(&next_season_event_entry), kMethodFlags,
     "next_season_event($self, after, kind)\n--\n\n"
     "Next equinox or solstice after `after`. Returned instant is TT."},
    {"rise_set_transit", as_py_cfunction(&rise_set_transit_entry), kMethodFlags,
     "rise_set_transit($self, body, observer, around, altitude_deg)\n--\n\n"
     "Same-day Sun or Moon rise, set, and meridian transit (UT1 Julian days)."},
    {"next_horizon_event", as_py_cfunction(&next_horizon_event_entry), kMethodFlags,
     "next_horizon_event($self, body, observer, after, kind, altitude_deg)\n--\n\n"
     "Next Sun or Moon rise, set, or transit strictly after `after`."},
};

}  // namespace

std::span<const PyMethodDef> engine_event_methods() { return event_methods; }

}  // namespace ephemeris
