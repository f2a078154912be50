// Conversion of list parameters: any sequence except a str, converted element
// by element into a C++ vector.
#pragma once

#include "python/python_error.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace ephemeris {

// TypeError for a str where a list is wanted; a str is a sequence of
// characters, never meant as a list of names.
inline constexpr std::string_view kStrForListMessage = "Can't extract `str` to `Vec`";

// The elements of a list argument as a list or tuple (a new reference; lists
// and tuples are returned as they are). Accepted: objects that pass the
// interpreter's sequence check or are registered as collections.abc.Sequence.
// Errors (TypeError): "Can't extract `str` to `Vec`" for a str; "argument
// '<parameter>': must be a sequence, not <type>" for anything else.
PyResult<PyRef> to_sequence(PyObject* value, const char* parameter);

// TypeError "argument '<parameter>': element <index> must be <expected>, not <type>".
std::unexpected<PythonError> element_type_error(const char* parameter, std::size_t index, std::string_view expected,
                                                PyObject* element);

// A list argument of str: TypeError "argument '<parameter>': element <index>
// must be str, not <type>" for any other element.
PyResult<std::vector<std::string>> to_text_vector(PyObject* value, const char* parameter);

// Each element of a list argument through `convert(element, index)`, which
// returns PyResult<T>; the first failure ends the conversion.
template <class T, class Convert>
PyResult<std::vector<T>> to_vector(PyObject* value, const char* parameter, Convert&& convert) {
  const auto sequence = to_sequence(value, parameter);
  if (!sequence) return python_error();
  std::vector<T> values;
  values.reserve(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(sequence->get())));
  // The size is read again and each element held while it is converted, in
  // case a conversion runs Python code that changes the list.
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence->get()); ++i) {
    const PyRef element = PyRef::borrow(PySequence_Fast_GET_ITEM(sequence->get(), i));
    auto converted = convert(element.get(), static_cast<std::size_t>(i));
    if (!converted) return python_error();
    values.push_back(std::move(*converted));
  }
  return values;
}

}  // namespace ephemeris
