#include "python/python_error.h"

#include <string>

#include "core/body.h"

namespace ephemeris {
namespace {

// The text of an engine error, with a second sentence when the chain of a
// planet's centre (code N99) broke at that centre: the planetary kernels in
// common use hold the outer planets only as their system barycentres (code N),
// which are bodies of their own, named "jupiter_barycenter" and so on.
std::string error_text(const EphemerisError& error) {
  std::string text = message(error);
  constexpr std::string_view kBrokenChain = "no SPK segment continues the center chain from target ";
  constexpr std::string_view kCentreTail = "99 at ";
  if (error.kind() != EphemerisError::Kind::Backend || !text.starts_with(kBrokenChain)) return text;
  const std::string_view rest = std::string_view(text).substr(kBrokenChain.size());
  if (rest.size() < 1 + kCentreTail.size() || rest[0] < '1' || rest[0] > '9' || !rest.substr(1).starts_with(kCentreTail)) {
    return text;
  }
  std::string name(body_name(kAllBodies[static_cast<std::size_t>(Body::MercuryBarycenter) + (rest[0] - '1')]));
  for (char& c : name) c = c == ' ' ? '_' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text + ". The kernels may hold this planet only as its system barycenter, \"" + name + "\".";
}

}  // namespace

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
  return value_error(error_text(error));
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
