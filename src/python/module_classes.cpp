#include "python/module_classes.h"

#include <array>

namespace ephemeris {
namespace {

// Strong references to the class objects, created once per process and shared
// by every module object the interpreter creates from this extension.
std::array<PyObject*, kModuleClassCount> registered_classes{};

}  // namespace

PyTypeObject* module_class(ModuleClass id) {
  return reinterpret_cast<PyTypeObject*>(registered_classes[static_cast<std::size_t>(id)]);
}

void register_module_class(ModuleClass id, PyRef class_object) {
  PyObject*& slot = registered_classes[static_cast<std::size_t>(id)];
  PyRef previous = PyRef::steal(slot);
  slot = class_object.release();
}

}  // namespace ephemeris
