// Engine.position and Engine.positions: one spherical position, or a batch
// for many bodies at many instants returned as a NumPy array.
#include "python/engine_object.h"
#include "python/module_classes.h"
#include "python/numpy_array.h"
#include "python/sequence_arguments.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

PyResult<PyRef> position(const BoundArguments<3>& bound, const EngineAccess& access) {
  // A body named in code is known by identity; any other str is read and parsed.
  const std::optional<Body> known = interned_body(bound[0]);
  std::string_view body_text;
  if (!known) {
    const auto text = to_text(bound[0], "body");
    if (!text) return python_error();
    body_text = *text;
  }
  const auto instant = to_instance(bound[1], module_class(ModuleClass::Instant), "instant");
  if (!instant) return python_error();
  const auto options = to_instance(bound[2], module_class(ModuleClass::PositionOptions), "options");
  if (!options) return python_error();

  const auto body = known ? PyResult<Body>(*known) : parsed(parse_body(body_text));
  if (!body) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto result = (*engine)->position(*body, instant_value(*instant), position_options_value(*options));
  if (!result) return map_ephemeris_error(result.error());
  return new_position(*result);
}

PyResult<std::vector<Instant>> instant_values(PyObject* value) {
  PyTypeObject* instant_class = module_class(ModuleClass::Instant);
  return to_vector<Instant>(value, "instants", [&](PyObject* element, std::size_t index) -> PyResult<Instant> {
    if (!Py_IS_TYPE(element, instant_class)) return element_type_error("instants", index, "Instant", element);
    return instant_value(element);
  });
}

// One engine call for the whole grid, written into the array's own buffer;
// no Python object is made per element.
PyResult<PyRef> positions(const BoundArguments<3>& bound, const EngineAccess& access) {
  const auto names = to_text_vector(bound[0], "bodies");
  if (!names) return python_error();
  const auto instants = instant_values(bound[1]);
  if (!instants) return python_error();
  const auto options = to_instance(bound[2], module_class(ModuleClass::PositionOptions), "options");
  if (!options) return python_error();

  const auto bodies = parsed_bodies(*names);
  if (!bodies) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  PositionArrayRoom room(instants->size(), bodies->size());
  const auto done =
      (*engine)->positions(*bodies, *instants, position_options_value(*options), python_signal_check(), room.room());
  if (!done) return map_ephemeris_error(done.error());
  return room.take();
}

PyObject* position_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<3> signature{"Engine.position", {"body", "instant", "options"}, 3};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &position);
}

PyObject* positions_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<3> signature{"Engine.positions", {"bodies", "instants", "options"}, 3};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &positions);
}

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

const PyMethodDef position_methods[] = {
    {"position", as_py_cfunction(&position_entry), kMethodFlags,
     "position($self, body, instant, options)\n--\n\nOne spherical position for a named body."},
    {"positions", as_py_cfunction(&positions_entry), kMethodFlags,
     "positions($self, bodies, instants, options)\n--\n\n"
     "Batch positions as a `NumPy` array of shape `(n_instants, n_bodies, 4)`.\n\n"
     "Columns are longitude (deg), latitude (deg), distance (au), and\n"
     "longitude speed (deg/day)."},
};

}  // namespace

std::span<const PyMethodDef> engine_position_methods() { return position_methods; }

}  // namespace ephemeris
