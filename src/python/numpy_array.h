// The NumPy array of a batch of positions. NumPy's C interface is loaded on
// the first call, not when the module is imported, so everything else works
// without NumPy installed.
#pragma once

#include "python/python_error.h"

#include <cstddef>
#include <optional>
#include <span>

#include "core/position.h"
#include "engine/engine.h"
#include "engine/horizontal.h"

namespace ephemeris {

// A new float64 array of shape (n_instants, n_bodies, 4), C-contiguous,
// writeable and owning its data, left uninitialised for positions written in
// place: its data seen as n_instants * n_bodies positions (instant-major:
// body j at instant i is element i * n_bodies + j; longitude (deg), latitude
// (deg), distance (au) and longitude speed (deg/day) along the last axis).
// Errors: the interpreter's import error when NumPy cannot be loaded;
// TypeError "batch array shape error: ..." when the shape cannot be addressed.
struct PositionArray {
  PyRef array;
  std::span<Position> positions;
};
PyResult<PositionArray> new_empty_position_array(std::size_t n_instants, std::size_t n_bodies);

// The room a batch is written into: such an array, made when the engine asks
// for it (once the batch's arguments are checked), and then taken.
class PositionArrayRoom {
 public:
  PositionArrayRoom(std::size_t n_instants, std::size_t n_bodies) : n_instants_(n_instants), n_bodies_(n_bodies) {}
  SpkEphemeris::Room room() { return {&give, this}; }
  // The array after a batch that succeeded; the Python error where it could
  // not be made (the engine then stopped the batch).
  PyResult<PyRef> take();

 private:
  static std::span<Position> give(void* context, std::size_t count);
  std::size_t n_instants_;
  std::size_t n_bodies_;
  std::optional<PositionArray> array_;
};

// A new float64 array of shape (n, 3), C-contiguous, writeable and owning
// its data: altitude (deg), azimuth (deg) and distance (au) of each position
// in order. Error: the interpreter's import error when NumPy cannot be loaded.
PyResult<PyRef> new_horizontal_array(std::span<const HorizontalPosition> positions);

}  // namespace ephemeris
