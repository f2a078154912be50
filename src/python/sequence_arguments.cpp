#include "python/sequence_arguments.h"

#include "python/arguments.h"

namespace ephemeris {
namespace {

// isinstance(value, collections.abc.Sequence), for sequences that only
// registered with the abstract class.
PyResult<bool> is_registered_sequence(PyObject* value) {
  const PyRef abc = PyRef::steal(PyImport_ImportModule("collections.abc"));
  if (!abc) return python_error();
  const PyRef sequence_class = PyRef::steal(PyObject_GetAttrString(abc.get(), "Sequence"));
  if (!sequence_class) return python_error();
  const int registered = PyObject_IsInstance(value, sequence_class.get());
  if (registered < 0) return python_error();
  return registered == 1;
}

}  // namespace

PyResult<PyRef> to_sequence(PyObject* value, const char* parameter) {
  if (PyUnicode_Check(value)) return type_error(kStrForListMessage);
  if (!PySequence_Check(value)) {
    const auto registered = is_registered_sequence(value);
    if (!registered) return python_error();
    if (!*registered) {
      return type_error(std::string("argument '") + parameter + "': must be a sequence, not " +
                        std::string(type_name(value)));
    }
  }
  PyRef sequence = PyRef::steal(PySequence_Fast(value, "expected a sequence"));
  if (!sequence) return python_error();
  return sequence;
}

std::unexpected<PythonError> element_type_error(const char* parameter, std::size_t index, std::string_view expected,
                                                PyObject* element) {
  return type_error(std::string("argument '") + parameter + "': element " + std::to_string(index) + " must be " +
                    std::string(expected) + ", not " + std::string(type_name(element)));
}

PyResult<std::vector<std::string>> to_text_vector(PyObject* value, const char* parameter) {
  return to_vector<std::string>(value, parameter, [&](PyObject* element, std::size_t index) -> PyResult<std::string> {
    if (!PyUnicode_Check(element)) return element_type_error(parameter, index, "str", element);
    const auto text = to_text(element, parameter);
    if (!text) return python_error();
    return std::string(*text);
  });
}

}  // namespace ephemeris
