// Engine.convert: an instant in another time scale, by the engine's time
// kernels; Engine.earth_orientation_at: the table's values at an instant.
#include "python/engine_object.h"
#include "python/module_classes.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

// Needs no SPK data, so the supported range of the kernel does not apply;
// the time kernels' own coverage does (leap-second table, EOP table).
PyResult<PyRef> convert(const BoundArguments<2>& bound, const EngineAccess& access) {
  const auto instant = to_instance(bound[0], module_class(ModuleClass::Instant), "instant");
  if (!instant) return python_error();
  const auto scale_text = to_text(bound[1], "time_scale");
  if (!scale_text) return python_error();

  const auto scale = parsed(parse_time_scale(*scale_text));
  if (!scale) return python_error();

  const auto engine = access.engine();
  if (!engine) return python_error();
  const auto day = (*engine)->time_kernels().julian_day_in(instant_value(*instant), *scale);
  if (!day) return map_ephemeris_error(day.error());
  return new_instant(Instant{*day, *scale});
}

// DUT1 and the pole interpolated in the table at the instant's UTC.
PyResult<PyRef> earth_orientation_at(const BoundArguments<1>& bound, const EngineAccess& access) {
  const auto instant = to_instance(bound[0], module_class(ModuleClass::Instant), "instant");
  if (!instant) return python_error();
  const auto engine = access.engine();
  if (!engine) return python_error();
  const TimeKernels& kernels = (*engine)->time_kernels();
  if (kernels.eop() == nullptr) return value_error(message(UtcConversionError::missing_earth_orientation()));
  const auto utc = kernels.julian_day_in(instant_value(*instant), TimeScale::Utc);
  if (!utc) return map_ephemeris_error(utc.error());
  const auto sample = kernels.eop()->interpolated_sample(*utc);
  if (!sample) return value_error(message(sample.error()));
  PyRef values = PyRef::steal(Py_BuildValue("(ddd)", sample->dut1, sample->x_arcsec, sample->y_arcsec));
  if (!values) return python_error();
  return values;
}

PyObject* earth_orientation_at_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<1> signature{"Engine.earth_orientation_at", {"instant"}, 1};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &earth_orientation_at);
}

PyObject* convert_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<2> signature{"Engine.convert", {"instant", "time_scale"}, 2};
  return run_engine_method(self, signature, {args, PyVectorcall_NARGS(nargsf), kwnames}, &convert);
}

const PyMethodDef time_methods[] = {
    {"convert", as_py_cfunction(&convert_entry), METH_FASTCALL | METH_KEYWORDS,
     "convert($self, instant, time_scale)\n--\n\n"
     "The instant in another time scale (\"utc\", \"ut1\", \"tt\" or \"tdb\").\n\n"
     "TT and TDB convert by the TDB - TT model of the leap-second kernel (its\n"
     "standard constants without one); UTC needs the leap-second kernel, UT1\n"
     "the EOP table as well (UTC and UT1 convert to each other with the table\n"
     "alone). Missing kernels and dates outside their tables raise the\n"
     "ValueError the position methods give; the kernel's supported range does\n"
     "not apply. An instant inside a leap second has no UTC Julian day and is\n"
     "refused. The instant's own scale returns it unchanged."},
    {"earth_orientation_at", as_py_cfunction(&earth_orientation_at_entry), METH_FASTCALL | METH_KEYWORDS,
     "earth_orientation_at($self, instant)\n--\n\n"
     "(UT1 - UTC in seconds, pole x and y in arcseconds) at the instant's UTC,\n"
     "interpolated linearly in the EOP table as the engine uses them. Needs the\n"
     "table, and the leap-second kernel for a TT or TDB instant."},
};

}  // namespace

std::span<const PyMethodDef> engine_time_methods() { return time_methods; }

}  // namespace ephemeris
