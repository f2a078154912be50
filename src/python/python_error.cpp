#include "python/python_error.h"

namespace ephemeris {

std::unexpected<PythonError> raise(PyObject* type, std::string_view message) {
  PyRef text = PyRef::steal(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(type, text.get());
  return python_error();
}

std::unexpected<PythonError> value_error(std::string_view message) { return raise(PyExc_ValueError, message); }

std::unexpected<PythonError> map_ephemeris_error(const EphemerisError& error) {
  // Work stopped by the interpreter's signal check: its exception (such as
  // KeyboardInterrupt) is already set and travels on unchanged.
  if (error.kind() == EphemerisError::Kind::Interrupted && PyErr_Occurred() != nullptr) return python_error();
  return value_error(message(error));
}

std::unexpected<PythonError> type_error(std::string_view message) { return raise(PyExc_TypeError, message); }

PyRef take_raised_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyRef::steal(PyErr_GetRaisedException());
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  const PyRef type_ref = PyRef::steal(type);
  const PyRef traceback_ref = PyRef::steal(traceback);
  if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  return PyRef::steal(value);
#endif
}

void restore_raised_exception(PyRef exception) {
  if (!exception) return;
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exception.release());
#else
  PyObject* type = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(exception.get()))).release();
  PyObject* traceback = PyException_GetTraceback(exception.get());
  PyErr_Restore(type, exception.release(), traceback);
#endif
}

}  // namespace ephemeris
