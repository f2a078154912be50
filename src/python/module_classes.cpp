#include "python/module_classes.h"

#include <array>
#include <cstddef>
#include <string>

namespace ephemeris {
namespace {

// Strong references to the class objects, created once per process and shared
// by every module object the interpreter creates from this extension.
std::array<PyObject*, kModuleClassCount> registered_classes{};

// The interned canonical body names, indexed by Body, kept for the life of
// the process (a null entry, left by a failed allocation, matches nothing).
std::array<PyObject*, kBodyCount> interned_body_names() {
  std::array<PyObject*, kBodyCount> names{};
  const std::vector<std::string_view> canonical = canonical_names(NameList::Body);  // in kAllBodies order
  for (std::size_t i = 0; i < kBodyCount && i < canonical.size(); ++i) {
    names[i] = PyUnicode_InternFromString(std::string(canonical[i]).c_str());
    if (names[i] == nullptr) PyErr_Clear();
  }
  return names;
}

}  // namespace

std::optional<Body> interned_body(PyObject* value) {
  if (!PyUnicode_CheckExact(value) || PyUnicode_CHECK_INTERNED(value) == SSTATE_NOT_INTERNED) return std::nullopt;
  static const std::array<PyObject*, kBodyCount> names = interned_body_names();
  for (std::size_t i = 0; i < kBodyCount; ++i) {
    if (names[i] == value) return kAllBodies[i];
  }
  return std::nullopt;
}

PyTypeObject* module_class(ModuleClass id) {
  return reinterpret_cast<PyTypeObject*>(registered_classes[static_cast<std::size_t>(id)]);
}

void register_module_class(ModuleClass id, PyRef class_object) {
  PyObject*& slot = registered_classes[static_cast<std::size_t>(id)];
  PyRef previous = PyRef::steal(slot);
  slot = class_object.release();
}

}  // namespace ephemeris
