#include "python/numpy_array.h"

#include <algorithm>
#include <limits>
#include <string>

// The only file that uses NumPy's C interface: its function table stays
// private to this translation unit.
#include <numpy/arrayobject.h>

namespace ephemeris {
namespace {

constexpr std::size_t kColumns = 4;

// Loads NumPy's function table once. A failure leaves the interpreter's own
// import error set (NumPy's import_array macros would print it instead).
PyResult<void> load_numpy() {
  if (PyArray_API != nullptr) return {};
  if (_import_array() < 0) {
    PyArray_API = nullptr;
    return python_error();
  }
  return {};
}

std::string shape_text(std::size_t n_instants, std::size_t n_bodies) {
  return "(" + std::to_string(n_instants) + ", " + std::to_string(n_bodies) + ", " + std::to_string(kColumns) + ")";
}

}  // namespace

PyResult<PositionArray> new_empty_position_array(std::size_t n_instants, std::size_t n_bodies) {
  static_assert(sizeof(Position) == kColumns * sizeof(double) && alignof(Position) == alignof(double));
  constexpr auto kMaxDimension = static_cast<std::size_t>(std::numeric_limits<npy_intp>::max());
  if (n_instants > kMaxDimension || n_bodies > kMaxDimension ||
      (n_bodies != 0 && n_instants > kMaxDimension / kColumns / n_bodies)) {
    return type_error("batch array shape error: an array of shape " + shape_text(n_instants, n_bodies) +
                      " is too large");
  }
  if (!load_numpy()) return python_error();
  npy_intp dimensions[3] = {static_cast<npy_intp>(n_instants), static_cast<npy_intp>(n_bodies),
                            static_cast<npy_intp>(kColumns)};
  PyRef array = PyRef::steal(PyArray_SimpleNew(3, dimensions, NPY_FLOAT64));
  if (!array) return python_error();
  // The array's data, malloc'd and untyped, holds the positions it is given.
  auto* data = static_cast<Position*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
  return PositionArray{std::move(array), std::span<Position>(data, n_instants * n_bodies)};
}

std::span<Position> PositionArrayRoom::give(void* context, std::size_t count) {
  auto& made = *static_cast<PositionArrayRoom*>(context);
  auto array = new_empty_position_array(made.n_instants_, made.n_bodies_);
  if (!array || array->positions.size() != count) return {};
  made.array_ = std::move(*array);
  return made.array_->positions;
}

PyResult<PyRef> PositionArrayRoom::take() {
  if (!array_) return python_error();  // an empty batch whose array could not be made
  return std::move(array_->array);
}

PyResult<PyRef> new_horizontal_array(std::span<const HorizontalPosition> positions) {
  if (!load_numpy()) return python_error();
  npy_intp dimensions[2] = {static_cast<npy_intp>(positions.size()), 3};
  PyRef array = PyRef::steal(PyArray_SimpleNew(2, dimensions, NPY_FLOAT64));
  if (!array) return python_error();
  double* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
  for (const HorizontalPosition& position : positions) {
    *data++ = position.altitude_deg;
    *data++ = position.azimuth_deg;
    *data++ = position.distance_au;
  }
  return array;
}

}  // namespace ephemeris
