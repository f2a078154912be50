// The two lenient argument converters used by the engine methods and house_cusps.
#include <cmath>

#include "python/module_classes.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

constexpr std::string_view kNameExpected = "expected a name string or an ephemeris enum with a name attribute";
constexpr std::string_view kJulianDayExpected = "expected an Instant or a finite Julian day float";

// Clears an ordinary exception (an Exception subclass) so that a fixed
// ValueError can replace it; leaves KeyboardInterrupt and the like in place.
bool clear_ordinary_exception() {
  if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
  PyErr_Clear();
  return true;
}

PyResult<std::string> utf8_of(PyObject* text) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
  if (utf8 == nullptr) return python_error();
  return std::string(utf8, static_cast<std::size_t>(size));
}

}  // namespace

PyResult<std::string> extract_name(PyObject* value) {
  if (PyUnicode_Check(value)) return utf8_of(value);
  PyRef name = PyRef::steal(PyObject_GetAttrString(value, "name"));
  if (!name) {
    if (!clear_ordinary_exception()) return python_error();
    return value_error(kNameExpected);
  }
  if (!PyUnicode_Check(name.get())) return value_error(kNameExpected);
  auto text = utf8_of(name.get());
  if (!text) {
    if (!clear_ordinary_exception()) return python_error();
    return value_error(kNameExpected);
  }
  return text;
}

PyResult<double> extract_julian_day(PyObject* value) {
  double julian_day = 0.0;
  if (Py_IS_TYPE(value, module_class(ModuleClass::Instant))) {
    julian_day = instant_value(value).julian_day;
  } else {
    julian_day = PyFloat_AsDouble(value);
    if (julian_day == -1.0 && PyErr_Occurred()) {
      if (!clear_ordinary_exception()) return python_error();
      return value_error(kJulianDayExpected);
    }
  }
  if (!std::isfinite(julian_day)) return value_error("Julian day must be finite");
  return julian_day;
}

}  // namespace ephemeris
