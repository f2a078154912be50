// Instant: a Julian day with an explicit time scale.
#include <cmath>

#include "core/text_format.h"
#include "python/arguments.h"
#include "python/civil_time.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/reprs.h"
#include "python/value_object.h"

#include <datetime.h>  // after Python.h, which the headers above include

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

constexpr std::string_view kNaiveMessage =
    "naive datetime: attach a time zone, for example value.replace(tzinfo=datetime.timezone.utc)";

// The datetime C API, imported on first use.
PyResult<void> import_datetime() {
  if (PyDateTimeAPI == nullptr) PyDateTime_IMPORT;
  if (PyDateTimeAPI == nullptr) return python_error();
  return {};
}

// Microseconds of a timedelta.
std::int64_t timedelta_microseconds(PyObject* delta) {
  return (static_cast<std::int64_t>(PyDateTime_DELTA_GET_DAYS(delta)) * 86400 +
          PyDateTime_DELTA_GET_SECONDS(delta)) * 1'000'000 + PyDateTime_DELTA_GET_MICROSECONDS(delta);
}

PyObject* from_datetime(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<1> signature{"Instant.from_datetime", {"value"}, 1};
    const auto bound = bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames});
    if (!bound) return python_error();
    if (!import_datetime()) return python_error();
    PyObject* value = (*bound)[0];
    if (!PyDateTime_Check(value)) {
      return type_error("argument 'value': must be datetime.datetime, not " + std::string(type_name(value)));
    }
    const PyRef offset = PyRef::steal(PyObject_CallMethod(value, "utcoffset", nullptr));
    if (!offset) return python_error();
    if (offset.get() == Py_None) return value_error(kNaiveMessage);
    if (!PyDelta_Check(offset.get())) return type_error("utcoffset() must return a timedelta or None");
    const std::int64_t microseconds =
        ((PyDateTime_DATE_GET_HOUR(value) * 60LL + PyDateTime_DATE_GET_MINUTE(value)) * 60 +
         PyDateTime_DATE_GET_SECOND(value)) * 1'000'000 + PyDateTime_DATE_GET_MICROSECOND(value) -
        timedelta_microseconds(offset.get());
    const double julian_day = julian_day_from_civil(PyDateTime_GET_YEAR(value), PyDateTime_GET_MONTH(value),
                                                    PyDateTime_GET_DAY(value), microseconds);
    return new_instant(Instant{julian_day, TimeScale::Utc});
  });
}

PyObject* to_datetime(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<0> signature{"Instant.to_datetime", {}, 0};
    if (!bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames})) return python_error();
    const Instant& instant = instant_value(self);
    if (instant.time_scale != TimeScale::Utc) {
      return value_error("to_datetime() needs a UTC instant, not " + quote_text(canonical_name(instant.time_scale)) +
                         "; convert it first with Engine.convert(instant, \"utc\")");
    }
    const auto civil = civil_from_julian_day(instant.julian_day);
    if (!civil) {
      return value_error("UTC Julian day " + format_plain_number(instant.julian_day) +
                         " is outside the years 1 to 9999 that datetime holds");
    }
    if (!import_datetime()) return python_error();
    PyRef result = PyRef::steal(PyDateTimeAPI->DateTime_FromDateAndTime(
        civil->year, civil->month, civil->day, civil->hour, civil->minute, civil->second, civil->microsecond,
        PyDateTime_TimeZone_UTC, PyDateTimeAPI->DateTimeType));
    if (!result) return python_error();
    return result;
  });
}

PyObject* instant_state(const Instant& instant) {
  const std::string_view scale = canonical_name(instant.time_scale);
  return Py_BuildValue("(ds#)", instant.julian_day, scale.data(), static_cast<Py_ssize_t>(scale.size()));
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
    {"from_datetime", as_py_cfunction(&from_datetime), kClassMethodFlags,
     "from_datetime($cls, value)\n--\n\n"
     "UTC instant of a timezone-aware datetime.datetime (a naive one is refused).\n\n"
     "The UTC Julian day counts 86,400 s in every day, leap-second days too\n"
     "(not ERFA's quasi Julian day). It is one float, spaced about 40\n"
     "microseconds for present dates, rounded to the nearest; to_datetime()\n"
     "gives back every datetime at a whole 100 microseconds unchanged."},
    {"to_datetime", as_py_cfunction(&to_datetime), METH_FASTCALL | METH_KEYWORDS,
     "to_datetime($self)\n--\n\n"
     "Timezone-aware UTC datetime.datetime of a UTC instant.\n\n"
     "To the microsecond: of the datetimes that from_datetime() turns into this\n"
     "same Julian day, the roundest (most trailing zeros, then nearest), as a\n"
     "float prints its shortest digits. Another time scale is refused (convert\n"
     "it first with Engine.convert), and so is a day outside the years 1 to\n"
     "9999. A UTC Julian day never falls inside a leap second (23:59:60), which\n"
     "datetime cannot hold: Engine.convert refuses to give one."},
    EPHEMERIS_REDUCE_METHOD(Instant, instant_state, false),
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
