#include "python/julian_day_array.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "python/sequence_arguments.h"

namespace ephemeris {
namespace {

// The struct-module format codes of a native-order, standard-size double.
bool is_native_double(const Py_buffer& view) {
  if (view.itemsize != sizeof(double) || view.format == nullptr) return false;
  const char* format = view.format;
  if (std::strchr("@=", format[0]) != nullptr ||
      format[0] == (std::endian::native == std::endian::little ? '<' : '>')) {
    ++format;
  }
  return std::strcmp(format, "d") == 0;
}

}  // namespace

PyResult<JulianDayArray> JulianDayArray::from(PyObject* value, const char* parameter) {
  JulianDayArray days;
  if (PyObject_CheckBuffer(value)) {
    if (PyObject_GetBuffer(value, &days.view_, PyBUF_RECORDS_RO) == 0) {
      if (days.view_.ndim != 1) {
        return type_error(std::string("argument '") + parameter + "': must be one-dimensional, not " +
                          std::to_string(days.view_.ndim) + "-dimensional");
      }
      if (is_native_double(days.view_)) {
        days.first_ = static_cast<const char*>(days.view_.buf);
        days.stride_ = days.view_.strides != nullptr ? days.view_.strides[0] : days.view_.itemsize;
        days.count_ = static_cast<std::size_t>(days.view_.shape != nullptr ? days.view_.shape[0]
                                                                            : days.view_.len / days.view_.itemsize);
        return days;
      }
      PyBuffer_Release(&days.view_);  // another element type: converted as a sequence
    } else if (PyErr_ExceptionMatches(PyExc_Exception)) {
      PyErr_Clear();  // an exporter that refuses this request (NumPy's object arrays): read as a sequence
    } else {
      return python_error();
    }
  }
  auto converted = to_vector<double>(value, parameter, [&](PyObject* element, std::size_t index) -> PyResult<double> {
    const double day = PyFloat_AsDouble(element);
    if (day == -1.0 && PyErr_Occurred()) {
      if (!PyErr_ExceptionMatches(PyExc_TypeError)) return python_error();
      PyErr_Clear();
      return element_type_error(parameter, index, "real number", element);
    }
    return day;
  });
  if (!converted) return python_error();
  days.converted_ = std::move(*converted);
  days.first_ = reinterpret_cast<const char*>(days.converted_.data());
  days.count_ = days.converted_.size();
  return days;
}

JulianDayArray::JulianDayArray(JulianDayArray&& other) noexcept
    : view_(std::exchange(other.view_, Py_buffer{})),
      converted_(std::move(other.converted_)),
      first_(std::exchange(other.first_, nullptr)),
      stride_(other.stride_),
      count_(std::exchange(other.count_, 0)) {}

JulianDayArray::~JulianDayArray() {
  if (view_.obj != nullptr) PyBuffer_Release(&view_);
}

double JulianDayArray::at(std::size_t index) const {
  double day;
  std::memcpy(&day, first_ + static_cast<Py_ssize_t>(index) * stride_, sizeof day);  // any alignment
  return day;
}

PyResult<void> JulianDayArray::check_finite() const {
  for (std::size_t i = 0; i < count_; ++i) {
    if (!std::isfinite(at(i))) return value_error(message(TimeConversionError::non_finite_julian_day()));
  }
  return {};
}

std::vector<Instant> JulianDayArray::instants(TimeScale scale) const {
  std::vector<Instant> result;
  result.reserve(count_);
  for (std::size_t i = 0; i < count_; ++i) result.push_back(Instant{at(i), scale});
  return result;
}

}  // namespace ephemeris
