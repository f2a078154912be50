// The `julian_days` argument of the array methods: a one-dimensional float64
// buffer read in place, or any other sequence converted element by element.
#pragma once

#include "python/python_error.h"

#include <cstddef>
#include <vector>

#include "core/time_scale.h"

namespace ephemeris {

class JulianDayArray {
 public:
  // The days of `value` (the argument named `parameter`):
  // - an object exporting a one-dimensional buffer of native float64 values
  //   (a NumPy float64 array, also strided; an array.array("d"); a
  //   memoryview) is read in place, without a copy, for as long as this
  //   object lives;
  // - any other sequence (a list, a tuple, a buffer of another element type
  //   such as a float32 or int64 array) through the rules of list arguments
  //   (to_sequence), each element converted to float as a float parameter is.
  // TypeError: a buffer of zero or of two or more dimensions ("argument
  // '<parameter>': must be one-dimensional, not <n>-dimensional"); those of
  // to_sequence; "argument '<parameter>': element <index> must be real
  // number, not <type>". Other exceptions of an element's conversion pass.
  static PyResult<JulianDayArray> from(PyObject* value, const char* parameter);

  JulianDayArray(JulianDayArray&& other) noexcept;
  JulianDayArray& operator=(JulianDayArray&&) = delete;
  JulianDayArray(const JulianDayArray&) = delete;
  ~JulianDayArray();

  std::size_t size() const { return count_; }

  // ValueError "Julian day must be finite" at the first NaN or infinite day.
  PyResult<void> check_finite() const;

  // One instant per day, in order, all in `scale`.
  std::vector<Instant> instants(TimeScale scale) const;

 private:
  JulianDayArray() = default;
  double at(std::size_t index) const;

  Py_buffer view_{};  // held while view_.obj is set
  std::vector<double> converted_;
  const char* first_ = nullptr;
  Py_ssize_t stride_ = sizeof(double);
  std::size_t count_ = 0;
};

}  // namespace ephemeris
