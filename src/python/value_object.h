// Python objects that hold one immutable C++ value, the helpers that build and
// destroy them, and the small object constructors every class uses.
#pragma once

#include "python/python_error.h"

#include <cstddef>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace ephemeris {

template <class T>
struct PyValueObject {
  PyObject_HEAD
  T value;
};

template <class T>
const T& value_of(PyObject* object) {
  return reinterpret_cast<PyValueObject<T>*>(object)->value;
}

// A new instance of `type` (a class of value objects, which the garbage
// collector does not track) holding `value`. The memory is not cleared first:
// PyObject_Init fills the header (taking a reference to the class) and the
// value is constructed in the rest.
template <class T>
PyResult<PyRef> new_value_object(PyTypeObject* type, T value) {
  static_assert(std::is_nothrow_move_constructible_v<T>);
  void* memory = PyObject_Malloc(static_cast<std::size_t>(type->tp_basicsize));
  if (memory == nullptr) {
    PyErr_NoMemory();
    return python_error();
  }
  PyRef object = PyRef::steal(PyObject_Init(static_cast<PyObject*>(memory), type));
  new (&reinterpret_cast<PyValueObject<T>*>(object.get())->value) T(std::move(value));
  return object;
}

// tp_dealloc of a value object: destroys the value, frees the memory and drops
// the instance's reference to its (heap) class.
template <class T>
void value_object_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  const PyRef class_reference = PyRef::steal(reinterpret_cast<PyObject*>(type));
  reinterpret_cast<PyValueObject<T>*>(self)->value.~T();
  type->tp_free(self);
}

// Builds a getter (tp_getset) from `Get(const T&) -> PyResult<PyRef>`.
template <class T, auto Get>
PyObject* value_getter(PyObject* self, void*) {
  return guarded_call([&] { return Get(value_of<T>(self)); });
}

// Builds tp_repr from `Repr(const T&) -> std::string`.
template <class T, auto Repr>
PyObject* value_repr(PyObject* self) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const std::string text = Repr(value_of<T>(self));
    PyRef result = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!result) return python_error();
    return result;
  });
}

PyResult<PyRef> float_object(double value);
PyResult<PyRef> text_object(std::string_view utf8);
PyResult<PyRef> bool_object(bool value);
PyResult<PyRef> none_object();

// Casts any function pointer to the PyCFunction stored in a PyMethodDef.
template <class Function>
PyCFunction as_py_cfunction(Function function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// A class object built from `spec`, belonging to `module`.
PyResult<PyRef> create_class(PyObject* module, PyType_Spec& spec);

// A builtin function of `module` defined by `definition` (which must outlive it).
PyResult<PyRef> create_module_function(PyObject* module, PyMethodDef& definition);

}  // namespace ephemeris
