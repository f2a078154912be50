// The NumPy array of a batch of positions. NumPy's C interface is loaded on
// the first call, not when the module is imported, so everything else works
// without NumPy installed.
#pragma once

#include "python/python_error.h"

#include <cstddef>
#include <span>

#include "core/position.h"
#include "engine/horizontal.h"

namespace ephemeris {

// A new float64 array of shape (n_instants, n_bodies, 4), C-contiguous,
// writeable and owning its data, filled from `positions` (instant-major:
// body j at instant i is element i * n_bodies + j) with longitude (deg),
// latitude (deg), distance (au) and longitude speed (deg/day) along the last
// axis. Errors: the interpreter's import error when NumPy cannot be loaded;
// TypeError "batch array shape error: ..." when `positions` does not hold
// n_instants * n_bodies values.
PyResult<PyRef> new_position_array(std::span<const Position> positions, std::size_t n_instants,
                                   std::size_t n_bodies);

// The same array left uninitialised, for positions written in place: its
// data seen as n_instants * n_bodies positions (the layout of the last axis).
// Errors: the import error; TypeError "batch array shape error: ..." when
// the shape cannot be addressed.
struct PositionArray {
  PyRef array;
  std::span<Position> positions;
};
PyResult<PositionArray> new_empty_position_array(std::size_t n_instants, std::size_t n_bodies);

// A new float64 array of shape (n, 3), C-contiguous, writeable and owning
// its data: altitude (deg), azimuth (deg) and distance (au) of each position
// in order. Error: the interpreter's import error when NumPy cannot be loaded.
PyResult<PyRef> new_horizontal_array(std::span<const HorizontalPosition> positions);

}  // namespace ephemeris
