#include "python/value_object.h"

namespace ephemeris {

PyResult<PyRef> float_object(double value) {
  PyRef object = PyRef::steal(PyFloat_FromDouble(value));
  if (!object) return python_error();
  return object;
}

PyResult<PyRef> text_object(std::string_view utf8) {
  PyRef object = PyRef::steal(PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace"));
  if (!object) return python_error();
  return object;
}

PyResult<PyRef> bool_object(bool value) { return PyRef::borrow(value ? Py_True : Py_False); }

PyResult<PyRef> none_object() { return PyRef::borrow(Py_None); }

PyResult<PyRef> create_class(PyObject* module, PyType_Spec& spec) {
  PyRef type = PyRef::steal(PyType_FromModuleAndSpec(module, &spec, nullptr));
  if (!type) return python_error();
  return type;
}

PyResult<PyRef> create_module_function(PyObject* module, PyMethodDef& definition) {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return python_error();
  PyRef function = PyRef::steal(PyCFunction_NewEx(&definition, module, module_name.get()));
  if (!function) return python_error();
  return function;
}

}  // namespace ephemeris
