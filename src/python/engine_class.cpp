// The Engine class: construction, thread binding, access, closed state,
// properties and repr, and the module function open().
#include <atomic>
#include <cstdint>
#include <new>
#include <vector>

#include "python/engine_object.h"
#include "python/module_classes.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

constexpr std::string_view kSentToAnotherThreadMessage =
    "ephemeris::PyEngine is unsendable, but sent to another thread";
constexpr std::string_view kDroppedOnAnotherThreadMessage =
    "ephemeris::PyEngine is unsendable, but is being dropped on another thread";

// The error for use from a foreign thread. It derives from BaseException so
// that a broad `except Exception` does not hide the misuse.
PyObject* thread_binding_error = nullptr;

PyEngineObject* engine_object(PyObject* self) { return reinterpret_cast<PyEngineObject*>(self); }

// The calling thread's token: drawn on the thread's first use from a process-wide
// 64-bit counter, so no later thread ever gets it. std::thread::id would not do:
// the C library hands a finished thread's identity to the next thread it starts.
std::uint64_t current_thread_token() {
  static std::atomic<std::uint64_t> next_token{1};
  thread_local const std::uint64_t token = next_token.fetch_add(1, std::memory_order_relaxed);
  return token;
}

PyResult<void> check_thread(const PyEngineObject* object) {
  if (object->owner == current_thread_token()) return {};
  return raise(thread_binding_error, kSentToAnotherThreadMessage);
}

PyObject* engine_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<6> signature{
        "Engine", {"path", "sha256", "leap_second_kernel", "leap_second_sha256", "eop", "eop_sha256"}, 2};
    const auto bound = bind(signature, args, kwargs);
    if (!bound) return python_error();
    return open_engine(*bound);
  });
}

// Dropping the last reference destroys the engine, which closes its files.
// On a foreign thread the engine is left alive on purpose (its
// owner thread may be using data it shares) and the interpreter's
// unraisable-error hook reports the leak.
void engine_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  const PyRef class_reference = PyRef::steal(reinterpret_cast<PyObject*>(type));
  PyEngineObject* object = engine_object(self);
  if (object->owner == current_thread_token()) {
    object->~PyEngineObject();
  } else {
    PyRef pending = take_raised_exception();  // a dealloc must leave a raised exception alone
    (void)raise(PyExc_RuntimeError, kDroppedOnAnotherThreadMessage);
    PyErr_WriteUnraisable(nullptr);
    restore_raised_exception(std::move(pending));
  }
  type->tp_free(self);
}

PyObject* engine_repr(PyObject* self) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const auto access = EngineAccess::shared(self);
    if (!access) return python_error();
    const auto engine = access->engine();
    if (!engine) return python_error();
    const EphemerisMetadata& metadata = (*engine)->metadata();
    return text_object(kernel_identity_repr("Engine", metadata.kernel_name, metadata.kernel_sha256));
  });
}

PyObject* get_kernel_metadata(PyObject* self, void*) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const auto access = EngineAccess::shared(self);
    if (!access) return python_error();
    const auto engine = access->engine();
    if (!engine) return python_error();
    return new_kernel_metadata((*engine)->metadata());
  });
}

PyObject* get_supported_range(PyObject* self, void*) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const auto access = EngineAccess::shared(self);
    if (!access) return python_error();
    const auto engine = access->engine();
    if (!engine) return python_error();
    const SupportedRange& range = (*engine)->supported_range();
    return new_date_range(range.start_julian_day, range.end_julian_day, range.time_scale);
  });
}

PyObject* get_earth_orientation(PyObject* self, void*) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const auto access = EngineAccess::shared(self);
    if (!access) return python_error();
    const auto engine = access->engine();
    if (!engine) return python_error();
    const EarthOrientationTable* table = (*engine)->time_kernels().eop();
    if (table == nullptr) return none_object();
    return new_earth_orientation_metadata(*table);
  });
}

PyGetSetDef engine_getset[] = {
    {"kernel_metadata", &get_kernel_metadata, nullptr,
     "Snapshot of the engine's provenance: version, primary kernel, frame and additional kernels.", nullptr},
    {"supported_range", &get_supported_range, nullptr,
     "Inclusive coverage of the primary kernel, TDB Julian days.", nullptr},
    {"earth_orientation", &get_earth_orientation, nullptr,
     "Snapshot of the attached Earth orientation table (format, coverage, end of measured data), or None.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The method table: every group of methods, then the sentinel. Built once and
// kept for the life of the process, like the class.
PyMethodDef* engine_method_table() {
  static std::vector<PyMethodDef> table = [] {
    std::vector<PyMethodDef> methods;
    for (const auto group : {engine_attach_methods(), engine_position_methods(), engine_event_methods(),
                              engine_time_methods(), engine_array_methods()}) {
      methods.insert(methods.end(), group.begin(), group.end());
    }
    methods.push_back({nullptr, nullptr, 0, nullptr});
    return methods;
  }();
  return table.data();
}

PyObject* open_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<6> signature{
        "open", {"path", "sha256", "leap_second_kernel", "leap_second_sha256", "eop", "eop_sha256"}, 2};
    const auto bound = bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames});
    if (!bound) return python_error();
    return open_engine(*bound);
  });
}

PyMethodDef open_definition = {
    "open", as_py_cfunction(&open_function), METH_FASTCALL | METH_KEYWORDS,
    "open(path, sha256, leap_second_kernel=None, leap_second_sha256=None, eop=None, eop_sha256=None)\n--\n\n"
    "Opens an SPK/BSP kernel. `sha256` is the caller-verified 64-hex checksum.\n\n"
    "Pass `leap_second_kernel` / `leap_second_sha256` for UTC, and `eop` /\n"
    "`eop_sha256` as well for UT1 and topocentric polar motion. The same files\n"
    "can be attached later with [`PyEngine::with_time_kernels`]."};

}  // namespace

InterruptCheck python_signal_check() {
  return InterruptCheck([](void*) { return PyErr_CheckSignals() != 0; }, nullptr);
}

PyResult<EngineAccess> EngineAccess::shared(PyObject* self) {
  PyEngineObject* object = engine_object(self);
  if (!check_thread(object)) return python_error();
  auto guard = object->access.share();
  if (!guard) return raise(PyExc_RuntimeError, guard.error());
  return EngineAccess(object, std::move(*guard));
}

PyResult<EngineAccess> EngineAccess::shared_from_any_thread(PyObject* self) {
  PyEngineObject* object = engine_object(self);
  auto guard = object->access.share();
  if (!guard) return raise(PyExc_RuntimeError, guard.error());
  return EngineAccess(object, std::move(*guard));
}

PyResult<EngineAccess> EngineAccess::exclusive(PyObject* self) {
  PyEngineObject* object = engine_object(self);
  if (!check_thread(object)) return python_error();
  auto guard = object->access.take_exclusive();
  if (!guard) return raise(PyExc_RuntimeError, guard.error());
  return EngineAccess(object, std::move(*guard));
}

PyResult<const SpkEphemeris*> EngineAccess::engine() const {
  if (!object_->engine) return value_error(kEngineClosedMessage);
  return &*object_->engine;
}

PyResult<PyRef> new_engine(SpkEphemeris engine, EngineRecipe recipe) {
  PyTypeObject* type = module_class(ModuleClass::Engine);
  PyRef object = PyRef::steal(PyType_GenericAlloc(type, 0));
  if (!object) return python_error();
  PyEngineObject* slot = engine_object(object.get());
  slot->owner = current_thread_token();
  new (&slot->access) AccessMarker();
  new (&slot->engine) std::optional<SpkEphemeris>(std::move(engine));
  new (&slot->recipe) EngineRecipe(std::move(recipe));
  return object;
}

PyResult<PyRef> create_engine_class(PyObject* module) {
  static PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(
                      "Engine(path, sha256, leap_second_kernel=None, leap_second_sha256=None, eop=None, "
                      "eop_sha256=None)\n--\n\n"
                      "Open SPK kernel and evaluate geometric or apparent spherical positions.")},
      {Py_tp_new, reinterpret_cast<void*>(&engine_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(&engine_dealloc)},
      {Py_tp_repr, reinterpret_cast<void*>(&engine_repr)},
      {Py_tp_methods, engine_method_table()},
      {Py_tp_getset, engine_getset},
      {0, nullptr},
  };
  static PyType_Spec spec = {"ephemeris.Engine", sizeof(PyEngineObject), 0,
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
  if (thread_binding_error == nullptr) {
    thread_binding_error = PyErr_NewExceptionWithDoc(
        "ephemeris.ThreadBindingError",
        "An Engine was used from a thread other than the one that created it.", PyExc_BaseException, nullptr);
    if (thread_binding_error == nullptr) return python_error();
  }
  return create_class(module, spec);
}

PyResult<PyRef> create_open_function(PyObject* module) { return create_module_function(module, open_definition); }

}  // namespace ephemeris
