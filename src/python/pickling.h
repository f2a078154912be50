// Pickling. Classes with a public constructor reduce to it and its arguments;
// the others (results, snapshots, Engine) to the module's private function
// _restore(cls, state), which rebuilds them from a tuple of plain values,
// checking it as it would check arguments.
#pragma once

#include "python/python_error.h"

#include "python/value_object.h"

namespace ephemeris {

// (type(self), arguments) when `through_restore` is false, else
// (ephemeris._restore, (type(self), state)); `state` is a new tuple or null
// with an exception set.
PyResult<PyRef> reduction(PyObject* self, PyObject* state, bool through_restore);

// A __reduce__ method (METH_NOARGS) from `State(const T&) -> PyObject*` (a new tuple).
template <class T, auto State, bool ThroughRestore>
PyObject* reduce_value(PyObject* self, PyObject*) {
  return guarded_call([&] { return reduction(self, State(value_of<T>(self)), ThroughRestore); });
}

#define EPHEMERIS_REDUCE_METHOD(T, State, ThroughRestore) \
  {"__reduce__", as_py_cfunction(&reduce_value<T, State, ThroughRestore>), METH_NOARGS, nullptr}

// Reads a pickled state with PyArg_ParseTuple's `format`: TypeError when it
// is not a tuple of that form.
PyResult<void> parse_state(PyObject* state, const char* format, ...);

// The rebuilding functions of the classes without a constructor, each
// defined beside its class, and the module function that dispatches to them.
PyResult<PyRef> restore_position(PyObject* state);
PyResult<PyRef> restore_horizontal_position(PyObject* state);
PyResult<PyRef> restore_rise_set_transit(PyObject* state);
PyResult<PyRef> restore_horizon_event(PyObject* state);
PyResult<PyRef> restore_house_cusps(PyObject* state);
PyResult<PyRef> restore_date_range(PyObject* state);
PyResult<PyRef> restore_kernel_metadata(PyObject* state);
PyResult<PyRef> restore_earth_orientation_metadata(PyObject* state);
PyResult<PyRef> restore_engine(PyObject* state);
PyResult<PyRef> create_restore_function(PyObject* module);

}  // namespace ephemeris
