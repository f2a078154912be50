// Argument binding for every function and method of the module, with the
// interpreter's own TypeError texts, and the conversions from Python values to
// C++ values. Every parameter is positional-or-keyword; the leading `required`
// ones have no default.
#pragma once

#include "python/python_error.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace ephemeris {

// The arguments of a METH_FASTCALL | METH_KEYWORDS call: `nargs` positional
// values, then one value for each name in the `kwnames` tuple (which may be null).
struct FastcallArguments {
  PyObject* const* args;
  Py_ssize_t nargs;
  PyObject* kwnames;
};

template <std::size_t N>
struct Signature {
  const char* function_name;  // as shown in messages: "Instant", "Instant.tdb", "geometric"
  std::array<const char*, N> parameters;
  std::size_t required;
};

// One borrowed reference per parameter, null where an optional one was not given.
template <std::size_t N>
using BoundArguments = std::array<PyObject*, N>;

// Binds a vectorcall-style argument list. Errors (TypeError): unexpected or
// repeated keywords, too many positional arguments, missing required ones.
PyResult<void> bind_fastcall(const char* function_name, std::span<const char* const> parameters,
                             std::size_t required, const FastcallArguments& arguments,
                             std::span<PyObject*> bound);

// The same for a tuple of positional values and an optional keyword dict (tp_new).
PyResult<void> bind_tuple_and_dict(const char* function_name, std::span<const char* const> parameters,
                                   std::size_t required, PyObject* positional, PyObject* keywords,
                                   std::span<PyObject*> bound);

template <std::size_t N>
PyResult<BoundArguments<N>> bind(const Signature<N>& signature, const FastcallArguments& arguments) {
  BoundArguments<N> bound{};
  // The usual call, positional values only and not too few or too many, binds
  // without a check that could fail.
  if (arguments.kwnames == nullptr && arguments.nargs >= static_cast<Py_ssize_t>(signature.required) &&
      arguments.nargs <= static_cast<Py_ssize_t>(N)) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(arguments.nargs); ++i) bound[i] = arguments.args[i];
    return bound;
  }
  const auto result = bind_fastcall(signature.function_name, signature.parameters, signature.required,
                                    arguments, bound);
  if (!result) return python_error();
  return bound;
}

template <std::size_t N>
PyResult<BoundArguments<N>> bind(const Signature<N>& signature, PyObject* positional, PyObject* keywords) {
  BoundArguments<N> bound{};
  const auto result = bind_tuple_and_dict(signature.function_name, signature.parameters, signature.required,
                                          positional, keywords, bound);
  if (!result) return python_error();
  return bound;
}

// Conversions of one bound argument. A refused value raises TypeError whose
// message begins with "argument '<parameter>': ".

// Anything the interpreter turns into a float (float, int, __float__, __index__).
PyResult<double> to_double(PyObject* value, const char* parameter);

// None (or an absent argument) or anything to_double takes.
PyResult<std::optional<double>> to_optional_double(PyObject* value, const char* parameter);

// A str (subclasses included), as UTF-8 that lives as long as `value`.
PyResult<std::string_view> to_text(PyObject* value, const char* parameter);

// None (or an absent argument) or a str.
PyResult<std::optional<std::string_view>> to_optional_text(PyObject* value, const char* parameter);

// True, False or a NumPy boolean scalar; an int such as 1 is refused.
PyResult<bool> to_bool(PyObject* value, const char* parameter);

// An instance of exactly `type` (the module's classes cannot be subclassed).
PyResult<PyObject*> to_instance(PyObject* value, PyTypeObject* type, const char* parameter);

// The short class name of an object's type, as the interpreter shows it ("str", "float64").
std::string_view type_name(PyObject* value);

}  // namespace ephemeris
