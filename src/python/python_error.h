// Failures inside the binding layer are values: `PyResult<T>` holds either the
// result or `PythonError`, which records that a Python exception has been set
// and must now travel back to the interpreter.
#pragma once

#include "python/py_ref.h"

#include <expected>
#include <new>
#include <string_view>

#include "core/errors.h"

namespace ephemeris {

struct PythonError {};

template <class T>
using PyResult = std::expected<T, PythonError>;

inline std::unexpected<PythonError> python_error() { return std::unexpected(PythonError{}); }

// Sets an exception of `type` whose single argument is `message` (UTF-8; invalid
// bytes are replaced) and returns the marker.
std::unexpected<PythonError> raise(PyObject* type, std::string_view message);

// ValueError with exactly `message`.
std::unexpected<PythonError> value_error(std::string_view message);

// ValueError carrying the display text of an engine error; an interruption by
// python_signal_check() keeps the exception its signal raised. When the centre
// chain of a planet's centre (N99) broke at that centre, a second sentence names
// the planet's system barycentre body ("jupiter_barycenter").
std::unexpected<PythonError> map_ephemeris_error(const EphemerisError& error);

// TypeError with exactly `message`.
std::unexpected<PythonError> type_error(std::string_view message);

// Removes the exception currently set and returns it (null when none is set).
PyRef take_raised_exception();

// Sets `exception` (from take_raised_exception) again; nothing when it is null.
void restore_raised_exception(PyRef exception);

// Turns a result into the new reference handed back to the interpreter (null when
// an exception is set).
inline PyObject* to_interpreter(PyResult<PyRef>&& result) {
  if (!result) return nullptr;
  return result->release();
}

// Runs one entry point called by the interpreter: no C++ exception may cross
// into Python, so allocation failures become MemoryError and anything else
// SystemError.
template <class Body>
PyObject* guarded_call(Body&& body) noexcept {
  try {
    return to_interpreter(body());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "ephemeris: unexpected internal failure");
  }
  return nullptr;
}

}  // namespace ephemeris
