// Instant: a Julian day with an explicit time scale.
#include <cmath>

#include "python/arguments.h"
#include "python/module_classes.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

PyResult<PyRef> make_instant(PyObject* julian_day_argument, PyObject* time_scale_argument) {
  const auto julian_day = to_double(julian_day_argument, "julian_day");
  if (!julian_day) return python_error();
  std::string_view scale_text = "tdb";
  if (time_scale_argument != nullptr) {
    const auto text = to_text(time_scale_argument, "time_scale");
    if (!text) return python_error();
    scale_text = *text;
  }
  if (!std::isfinite(*julian_day)) return value_error("Julian day must be finite");
  const auto scale = parse_time_scale(scale_text);
  if (!scale) return value_error(scale.error());
  return new_instant(Instant{*julian_day, *scale});
}

PyObject* instant_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<2> signature{"Instant", {"julian_day", "time_scale"}, 1};
    const auto bound = bind(signature, args, kwargs);
    if (!bound) return python_error();
    return make_instant((*bound)[0], (*bound)[1]);
  });
}

template <TimeScale Scale>
PyObject* instant_in_scale(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr std::array<const char*, 4> names = {"Instant.utc", "Instant.ut1", "Instant.tt", "Instant.tdb"};
    const Signature<1> signature{names[static_cast<std::size_t>(Scale)], {"julian_day"}, 1};
    const auto bound = bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames});
    if (!bound) return python_error();
    const auto julian_day = to_double((*bound)[0], "julian_day");
    if (!julian_day) return python_error();
    if (!std::isfinite(*julian_day)) return value_error("Julian day must be finite");
    return new_instant(Instant{*julian_day, Scale});
  });
}

PyResult<PyRef> get_julian_day(const Instant& instant) { return float_object(instant.julian_day); }
PyResult<PyRef> get_time_scale(const Instant& instant) { return text_object(canonical_name(instant.time_scale)); }

constexpr int kClassMethodFlags = METH_FASTCALL | METH_KEYWORDS | METH_CLASS;

PyMethodDef instant_methods[] = {
    {"tdb", as_py_cfunction(&instant_in_scale<TimeScale::Tdb>), kClassMethodFlags,
     "tdb($cls, julian_day)\n--\n\nInstant in Barycentric Dynamical Time (TDB)."},
    {"tt", as_py_cfunction(&instant_in_scale<TimeScale::Tt>), kClassMethodFlags,
     "tt($cls, julian_day)\n--\n\nInstant in Terrestrial Time (TT)."},
    {"utc", as_py_cfunction(&instant_in_scale<TimeScale::Utc>), kClassMethodFlags,
     "utc($cls, julian_day)\n--\n\nInstant in Coordinated Universal Time (UTC)."},
    {"ut1", as_py_cfunction(&instant_in_scale<TimeScale::Ut1>), kClassMethodFlags,
     "ut1($cls, julian_day)\n--\n\nInstant in Universal Time (UT1)."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef instant_getset[] = {
    {"julian_day", &value_getter<Instant, get_julian_day>, nullptr, "Julian day (float) in `time_scale`.", nullptr},
    {"time_scale", &value_getter<Instant, get_time_scale>, nullptr, "Time scale: \"utc\", \"ut1\", \"tt\" or \"tdb\".",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot instant_slots[] = {
    {Py_tp_doc, const_cast<char*>("Instant(julian_day, time_scale=\"tdb\")\n--\n\n"
                                  "Julian day with an explicit time scale.")},
    {Py_tp_new, reinterpret_cast<void*>(&instant_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<Instant>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<Instant, instant_repr>)},
    {Py_tp_methods, instant_methods},
    {Py_tp_getset, instant_getset},
    {0, nullptr},
};

PyType_Spec instant_spec = {
    "ephemeris.Instant",
    sizeof(PyValueObject<Instant>),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    instant_slots,
};

}  // namespace

PyResult<PyRef> create_instant_class(PyObject* module) {
  return create_class(module, instant_spec);
}

PyResult<PyRef> new_instant(const Instant& instant) {
  return new_value_object(module_class(ModuleClass::Instant), instant);
}

const Instant& instant_value(PyObject* instant) { return value_of<Instant>(instant); }

}  // namespace ephemeris
