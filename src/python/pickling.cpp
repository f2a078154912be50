#include "python/pickling.h"

#include <cstdarg>

#include "python/arguments.h"
#include "python/module_classes.h"

namespace ephemeris {

PyResult<PyRef> reduction(PyObject* self, PyObject* state, bool through_restore) {
  PyRef arguments = PyRef::steal(state);
  if (!arguments) return python_error();
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
  if (!through_restore) {
    PyRef result = PyRef::steal(PyTuple_Pack(2, type, arguments.get()));
    if (!result) return python_error();
    return result;
  }
  PyObject* module = PyType_GetModule(Py_TYPE(self));  // borrowed
  if (module == nullptr) return python_error();
  PyRef restore = PyRef::steal(PyObject_GetAttrString(module, "_restore"));
  if (!restore) return python_error();
  PyRef result = PyRef::steal(Py_BuildValue("(O(OO))", restore.get(), type, arguments.get()));
  if (!result) return python_error();
  return result;
}

PyResult<void> parse_state(PyObject* state, const char* format, ...) {
  if (!PyTuple_Check(state)) return type_error("_restore() argument 'state' must be a tuple");
  va_list values;
  va_start(values, format);
  const int parsed = PyArg_VaParse(state, format, values);
  va_end(values);
  if (parsed == 0) return python_error();
  return {};
}

namespace {

PyObject* restore_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<2> signature{"_restore", {"cls", "state"}, 2};
    const auto bound = bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames});
    if (!bound) return python_error();
    const std::pair<ModuleClass, PyResult<PyRef> (*)(PyObject*)> restorers[] = {
        {ModuleClass::Position, &restore_position},
        {ModuleClass::HorizontalPosition, &restore_horizontal_position},
        {ModuleClass::RiseSetTransit, &restore_rise_set_transit},
        {ModuleClass::HorizonEvent, &restore_horizon_event},
        {ModuleClass::HouseCusps, &restore_house_cusps},
        {ModuleClass::DateRange, &restore_date_range},
        {ModuleClass::KernelMetadata, &restore_kernel_metadata},
        {ModuleClass::EarthOrientationMetadata, &restore_earth_orientation_metadata},
        {ModuleClass::Engine, &restore_engine},
    };
    for (const auto& [id, restore] : restorers) {
      if ((*bound)[0] == reinterpret_cast<PyObject*>(module_class(id))) return restore((*bound)[1]);
    }
    return type_error("_restore() argument 'cls' must be a result, snapshot or Engine class of ephemeris");
  });
}

PyMethodDef restore_definition = {
    "_restore", as_py_cfunction(&restore_function), METH_FASTCALL | METH_KEYWORDS,
    "_restore(cls, state)\n--\n\nRebuilds a pickled result, snapshot or Engine (used by pickle)."};

}  // namespace

PyResult<PyRef> create_restore_function(PyObject* module) {
  return create_module_function(module, restore_definition);
}

}  // namespace ephemeris
