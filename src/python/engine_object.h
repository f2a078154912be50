// The Engine object: one slot holding an SpkEphemeris, bound to the thread
// that created it, with its shared/exclusive access marker; and the calling
// stages every Engine method shares.
//
// A method runs (a) argument binding, (b) the thread check and the access,
// (c) the conversion of each argument in parameter order, (d) the parsing of
// names and values, (e) the closed check, (f) the engine call and (g) the
// building of the result. `run_engine_method` performs (a) and (b); the
// method's body does the rest, asking `EngineAccess::engine()` for (e) only
// after its arguments are checked, so a bad argument is reported even on a
// closed engine and nothing is computed when any argument is bad.
#pragma once

#include "python/python_error.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "python/access_marker.h"
#include "python/arguments.h"
#include "engine/engine.h"

namespace ephemeris {

// One file an engine was opened or extended with: its path (made absolute
// against the working directory of that moment) and the caller's checksum.
struct KernelFile {
  std::string path;
  std::string sha256;
};

// What opens the engine again, as pickling needs: its files in the order
// given, each kept only once the engine accepted it.
struct EngineRecipe {
  KernelFile primary;
  std::optional<KernelFile> leap_seconds;
  std::optional<KernelFile> eop;
  std::vector<KernelFile> additional;
};

struct PyEngineObject {
  PyObject_HEAD
  // Empty ("closed") only after an additional kernel was rejected inside the engine.
  std::optional<SpkEphemeris> engine;
  // The creating thread's token (see engine_class.cpp), never handed to a later thread.
  std::uint64_t owner;
  AccessMarker access;
  EngineRecipe recipe;
};

inline constexpr std::string_view kEngineClosedMessage = "engine is closed";

// One method's use of an Engine object, from the thread check to the end of the call.
class EngineAccess {
 public:
  // Stage (b) for methods that only read the engine: refused on a foreign
  // thread (an error derived from BaseException) and with RuntimeError
  // "Already mutably borrowed" during an exclusive use.
  static PyResult<EngineAccess> shared(PyObject* self);
  // Stage (b) for methods that replace the engine: refused on a foreign
  // thread and with RuntimeError "Already borrowed" during any other use.
  static PyResult<EngineAccess> exclusive(PyObject* self);
  // Stage (b) of pickling, which reads only the recipe and the closed state:
  // allowed on any thread, since multiprocessing pickles on a feeder thread
  // of its own; RuntimeError "Already mutably borrowed" during an exclusive use.
  static PyResult<EngineAccess> shared_from_any_thread(PyObject* self);

  // Stage (e): the engine, or ValueError "engine is closed".
  PyResult<const SpkEphemeris*> engine() const;
  // The slot itself, for the methods that replace the engine (exclusive access only).
  std::optional<SpkEphemeris>& slot() const { return object_->engine; }
  // The files of the engine (changed only by the methods that replace it).
  EngineRecipe& recipe() const { return object_->recipe; }

 private:
  EngineAccess(PyEngineObject* object, AccessMarker::Guard guard) : object_(object), guard_(std::move(guard)) {}
  PyEngineObject* object_;
  AccessMarker::Guard guard_;
};

// Stages (a) and (b) of an Engine method, then `body(bound, access)`, which
// returns PyResult<PyRef>. Runs as an interpreter entry point.
template <std::size_t N, class Body>
PyObject* run_engine_method(PyObject* self, const Signature<N>& signature, const FastcallArguments& arguments,
                            Body&& body) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const auto bound = bind(signature, arguments);
    if (!bound) return python_error();
    const auto access = EngineAccess::shared(self);
    if (!access) return python_error();
    return body(*bound, *access);
  });
}

// The interrupt check for long engine work (batches): it runs the
// interpreter's pending signal handlers, and an exception they raise (such as
// KeyboardInterrupt) stops the work, which then ends with that exception.
InterruptCheck python_signal_check();

// The method table of Engine is assembled from these groups, each defined
// beside its methods; the sentinel entry is added by the class.
std::span<const PyMethodDef> engine_attach_methods();
std::span<const PyMethodDef> engine_position_methods();
std::span<const PyMethodDef> engine_event_methods();
std::span<const PyMethodDef> engine_time_methods();
std::span<const PyMethodDef> engine_array_methods();

// Opens an engine from the six bound arguments of `Engine(...)` and
// `open(...)` (path, sha256, leap_second_kernel, leap_second_sha256, eop,
// eop_sha256; null for an absent optional one) and wraps it in a new Engine.
PyResult<PyRef> open_engine(std::span<PyObject* const, 6> bound);

// A new Engine object owning `engine` opened from `recipe`, bound to the calling thread.
PyResult<PyRef> new_engine(SpkEphemeris engine, EngineRecipe recipe);

}  // namespace ephemeris
