#include "python/arguments.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace ephemeris {
namespace {

struct Keyword {
  PyObject* name;
  PyObject* value;
};

std::string plural(std::size_t count, const char* singular, const char* plural_form) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural_form);
}

// 'a' / 'a' and 'b' / 'a', 'b', and 'c', as the interpreter lists missing names.
std::string list_names(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) text += ",";
      text += i + 1 == names.size() ? " and " : " ";
    }
    text += "'";
    text += names[i];
    text += "'";
  }
  return text;
}

std::optional<std::size_t> parameter_index(std::span<const char* const> parameters, PyObject* name) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
  if (utf8 == nullptr) {
    PyErr_Clear();  // a name that cannot be encoded matches no parameter
    return std::nullopt;
  }
  const std::string_view wanted(utf8, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (wanted == parameters[i]) return i;
  }
  return std::nullopt;
}

PyResult<void> bind_common(const char* function_name, std::span<const char* const> parameters,
                           std::size_t required, PyObject* const* positional, std::size_t positional_count,
                           const std::vector<Keyword>& keywords, std::span<PyObject*> bound) {
  for (std::size_t i = 0; i < bound.size(); ++i) bound[i] = nullptr;
  for (std::size_t i = 0; i < positional_count && i < parameters.size(); ++i) bound[i] = positional[i];

  for (const Keyword& keyword : keywords) {
    if (!PyUnicode_Check(keyword.name)) {
      return type_error(std::string(function_name) + "() keywords must be strings");
    }
    const auto index = parameter_index(parameters, keyword.name);
    if (!index) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", function_name, keyword.name);
      return python_error();
    }
    if (bound[*index] != nullptr) {
      return type_error(std::string(function_name) + "() got multiple values for argument '" +
                        parameters[*index] + "'");
    }
    bound[*index] = keyword.value;
  }

  if (positional_count > parameters.size()) {
    std::string text = std::string(function_name) + "() takes ";
    if (required == parameters.size()) {
      text += plural(parameters.size(), "positional argument", "positional arguments");
    } else {
      text += "from " + std::to_string(required) + " to " + std::to_string(parameters.size()) +
              " positional arguments";
    }
    text += " but " + std::to_string(positional_count) + (positional_count == 1 ? " was" : " were") + " given";
    return type_error(text);
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < required; ++i) {
    if (bound[i] == nullptr) missing.push_back(parameters[i]);
  }
  if (!missing.empty()) {
    return type_error(std::string(function_name) + "() missing " +
                      plural(missing.size(), "required positional argument", "required positional arguments") +
                      ": " + list_names(missing));
  }
  return {};
}

std::unexpected<PythonError> argument_type_error(const char* parameter, std::string_view expected,
                                                 PyObject* value) {
  return type_error(std::string("argument '") + parameter + "': must be " + std::string(expected) + ", not " +
                    std::string(type_name(value)));
}

bool is_numpy_bool(PyObject* value) {
  const char* name = Py_TYPE(value)->tp_name;
  return std::strcmp(name, "numpy.bool_") == 0 || std::strcmp(name, "numpy.bool") == 0;
}

}  // namespace

PyResult<void> bind_fastcall(const char* function_name, std::span<const char* const> parameters,
                             std::size_t required, const FastcallArguments& arguments,
                             std::span<PyObject*> bound) {
  std::vector<Keyword> keywords;
  if (arguments.kwnames != nullptr) {
    const Py_ssize_t count = PyTuple_GET_SIZE(arguments.kwnames);
    keywords.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
      keywords.push_back({PyTuple_GET_ITEM(arguments.kwnames, i), arguments.args[arguments.nargs + i]});
    }
  }
  return bind_common(function_name, parameters, required, arguments.args,
                     static_cast<std::size_t>(arguments.nargs), keywords, bound);
}

PyResult<void> bind_tuple_and_dict(const char* function_name, std::span<const char* const> parameters,
                                   std::size_t required, PyObject* positional, PyObject* keywords,
                                   std::span<PyObject*> bound) {
  std::vector<Keyword> keyword_list;
  if (keywords != nullptr) {
    Py_ssize_t position = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(keywords, &position, &name, &value)) keyword_list.push_back({name, value});
  }
  const Py_ssize_t count = PyTuple_GET_SIZE(positional);
  return bind_common(function_name, parameters, required, count > 0 ? &PyTuple_GET_ITEM(positional, 0) : nullptr,
                     static_cast<std::size_t>(count), keyword_list, bound);
}

PyResult<double> to_double(PyObject* value, const char* parameter) {
  if (PyFloat_CheckExact(value)) return PyFloat_AS_DOUBLE(value);
  const double number = PyFloat_AsDouble(value);
  if (number == -1.0 && PyErr_Occurred()) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return python_error();
    // Keep the interpreter's own explanation, prefixed with the parameter.
    const PyRef raised = take_raised_exception();
    PyRef text = raised ? PyRef::steal(PyObject_Str(raised.get())) : PyRef();
    if (!text) {
      PyErr_Clear();
      return argument_type_error(parameter, "real number", value);
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", parameter, text.get());
    return python_error();
  }
  return number;
}

PyResult<std::optional<double>> to_optional_double(PyObject* value, const char* parameter) {
  if (value == nullptr || value == Py_None) return std::optional<double>();
  const auto number = to_double(value, parameter);
  if (!number) return python_error();
  return std::optional<double>(*number);
}

PyResult<std::string_view> to_text(PyObject* value, const char* parameter) {
  if (!PyUnicode_Check(value)) return argument_type_error(parameter, "str", value);
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
  if (utf8 == nullptr) return python_error();
  return std::string_view(utf8, static_cast<std::size_t>(size));
}

PyResult<std::optional<std::string_view>> to_optional_text(PyObject* value, const char* parameter) {
  if (value == nullptr || value == Py_None) return std::optional<std::string_view>();
  if (!PyUnicode_Check(value)) return argument_type_error(parameter, "str or None", value);
  const auto text = to_text(value, parameter);
  if (!text) return python_error();
  return std::optional<std::string_view>(*text);
}

PyResult<bool> to_bool(PyObject* value, const char* parameter) {
  if (value == Py_True) return true;
  if (value == Py_False) return false;
  if (is_numpy_bool(value)) {
    const int truth = PyObject_IsTrue(value);
    if (truth < 0) return python_error();
    return truth == 1;
  }
  return argument_type_error(parameter, "bool", value);
}

PyResult<PyObject*> to_instance(PyObject* value, PyTypeObject* type, const char* parameter) {
  if (Py_IS_TYPE(value, type)) return value;
  const char* full_name = type->tp_name;
  const char* dot = std::strrchr(full_name, '.');
  return argument_type_error(parameter, dot != nullptr ? dot + 1 : full_name, value);
}

std::string_view type_name(PyObject* value) {
  const std::string_view full_name = Py_TYPE(value)->tp_name;
  const auto dot = full_name.rfind('.');
  return dot == std::string_view::npos ? full_name : full_name.substr(dot + 1);
}

}  // namespace ephemeris
