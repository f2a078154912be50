// Opening an Engine and attaching files to it later: the time kernels, which
// replace the engine's own in place, and additional planet-centre kernels;
// the recipe of those files, and pickling an Engine as that recipe.
#include <filesystem>
#include <system_error>

#include "core/errors.h"
#include "python/engine_object.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/value_object.h"
#include "time/checksum_text.h"
#include "time/file_name.h"

namespace ephemeris {
namespace {

constexpr std::string_view kLeapSecondPairMessage =
    "leap_second_kernel and leap_second_sha256 must be supplied together";
constexpr std::string_view kEopPairMessage = "eop and eop_sha256 must be supplied together";
constexpr std::string_view kNoUtf8FileNameMessage = "kernel path has no UTF-8 filename";

// `path` made absolute against the current working directory (kept as it is
// when that cannot be read), so that a recipe names the same file after a
// change of directory or in a process started elsewhere.
std::string absolute_path(std::string_view path) {
  if (path.empty() || path.front() == '/') return std::string(path);
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  if (error) return std::string(path);
  return (directory / std::filesystem::path(path)).string();
}

KernelFile kernel_file(std::string_view path, std::string_view sha256) {
  return {absolute_path(path), std::string(sha256)};
}

// Exactly one of two optional arguments given.
bool only_one_given(const std::optional<std::string_view>& a, const std::optional<std::string_view>& b) {
  return a.has_value() != b.has_value();
}

PyResult<LeapSecondKernel> open_leap_second_kernel(std::string_view path, std::string_view sha256) {
  auto kernel = LeapSecondKernel::open(path, sha256);
  if (!kernel) return value_error(message(kernel.error()));
  return std::move(*kernel);
}

PyResult<EarthOrientationTable> open_earth_orientation(std::string_view path, std::string_view sha256) {
  auto table = EarthOrientationTable::open(path, sha256);
  if (!table) return value_error(message(table.error()));
  return std::move(*table);
}

// Takes the engine out of its slot, hands it to `change` and puts the result back.
template <class Change>
void replace_engine(std::optional<SpkEphemeris>& slot, Change&& change) {
  SpkEphemeris engine = std::move(*slot);
  slot.reset();
  slot.emplace(change(std::move(engine)));
}

// Stages (a) and (b) of a method that replaces the engine, then `body(bound, access)`.
template <std::size_t N, class Body>
PyObject* run_attach_method(PyObject* self, const Signature<N>& signature, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames, Body&& body) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const auto bound = bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames});
    if (!bound) return python_error();
    const auto access = EngineAccess::exclusive(self);
    if (!access) return python_error();
    const auto result = body(*bound, *access);
    if (!result) return python_error();
    return none_object();
  });
}

// The (path, sha256) arguments of the single-file attach methods.
struct FileArguments {
  std::string_view path;
  std::string_view sha256;
};

PyResult<FileArguments> file_arguments(const BoundArguments<2>& bound) {
  const auto path = to_text(bound[0], "path");
  if (!path) return python_error();
  const auto sha256 = to_text(bound[1], "sha256");
  if (!sha256) return python_error();
  return FileArguments{*path, *sha256};
}

PyObject* with_leap_second_kernel(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<2> signature{"Engine.with_leap_second_kernel", {"path", "sha256"}, 2};
  return run_attach_method(self, signature, args, nargsf, kwnames,
                           [](const BoundArguments<2>& bound, const EngineAccess& access) -> PyResult<void> {
                             const auto file = file_arguments(bound);
                             if (!file) return python_error();
                             auto kernel = open_leap_second_kernel(file->path, file->sha256);
                             if (!kernel) return python_error();
                             if (!access.engine()) return python_error();
                             replace_engine(access.slot(), [&](SpkEphemeris engine) {
                               return std::move(engine).with_leap_second_kernel(std::move(*kernel));
                             });
                             access.recipe().leap_seconds = kernel_file(file->path, file->sha256);
                             return {};
                           });
}

PyObject* with_eop(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<2> signature{"Engine.with_eop", {"path", "sha256"}, 2};
  return run_attach_method(self, signature, args, nargsf, kwnames,
                           [](const BoundArguments<2>& bound, const EngineAccess& access) -> PyResult<void> {
                             const auto file = file_arguments(bound);
                             if (!file) return python_error();
                             auto table = open_earth_orientation(file->path, file->sha256);
                             if (!table) return python_error();
                             if (!access.engine()) return python_error();
                             replace_engine(access.slot(), [&](SpkEphemeris engine) {
                               return std::move(engine).with_eop(std::move(*table));
                             });
                             access.recipe().eop = kernel_file(file->path, file->sha256);
                             return {};
                           });
}

PyObject* with_time_kernels(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<4> signature{
      "Engine.with_time_kernels", {"leap_second_kernel", "leap_second_sha256", "eop", "eop_sha256"}, 4};
  return run_attach_method(
      self, signature, args, nargsf, kwnames,
      [](const BoundArguments<4>& bound, const EngineAccess& access) -> PyResult<void> {
        std::array<std::string_view, 4> texts;
        for (std::size_t i = 0; i < texts.size(); ++i) {
          const auto text = to_text(bound[i], signature.parameters[i]);
          if (!text) return python_error();
          texts[i] = *text;
        }
        auto kernel = open_leap_second_kernel(texts[0], texts[1]);
        if (!kernel) return python_error();
        auto table = open_earth_orientation(texts[2], texts[3]);
        if (!table) return python_error();
        if (!access.engine()) return python_error();
        replace_engine(access.slot(), [&](SpkEphemeris engine) {
          return std::move(engine).with_time_kernels(std::move(*kernel), std::move(*table));
        });
        access.recipe().leap_seconds = kernel_file(texts[0], texts[1]);
        access.recipe().eop = kernel_file(texts[2], texts[3]);
        return {};
      });
}

// Checks the checksum text and the file name before the file is opened, and
// opens it before the closed check; none of these failures closes the engine.
// Only a rejection inside the engine's own attach step does: the engine was
// consumed by it, and the slot stays empty.
PyResult<void> attach_additional_kernel(const BoundArguments<2>& bound, const EngineAccess& access) {
  const auto file = file_arguments(bound);
  if (!file) return python_error();
  if (!is_sha256_text(file->sha256)) return value_error(kBadChecksumMessage);
  auto name = utf8_file_name(file->path);
  if (!name) return value_error(kNoUtf8FileNameMessage);
  auto kernel = SpkKernel::open(std::string(file->path));
  if (!kernel) return value_error(message(kernel.error()));
  if (!access.engine()) return python_error();

  std::optional<SpkEphemeris>& slot = access.slot();
  SpkEphemeris engine = std::move(*slot);
  slot.reset();
  auto extended = SpkEphemeris::with_additional_kernel(std::move(engine), std::move(*kernel), std::move(*name),
                                                       file->sha256);
  if (!extended) return map_ephemeris_error(extended.error());
  slot.emplace(std::move(*extended));
  access.recipe().additional.push_back(kernel_file(file->path, file->sha256));
  return {};
}

PyObject* with_additional_kernel_file(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  static constexpr Signature<2> signature{"Engine.with_additional_kernel_file", {"path", "sha256"}, 2};
  return run_attach_method(self, signature, args, nargsf, kwnames, &attach_additional_kernel);
}

PyObject* optional_text(const std::optional<KernelFile>& file, bool path) {
  if (!file) return Py_NewRef(Py_None);
  const std::string& text = path ? file->path : file->sha256;
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// (path, sha256, leap_second_kernel, leap_second_sha256, eop, eop_sha256,
// ((path, sha256), ...) of the additional kernels).
PyResult<PyRef> recipe_state(const EngineRecipe& recipe) {
  PyRef additional = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(recipe.additional.size())));
  if (!additional) return python_error();
  for (std::size_t i = 0; i < recipe.additional.size(); ++i) {
    const KernelFile& file = recipe.additional[i];
    PyObject* pair = Py_BuildValue("(s#s#)", file.path.data(), static_cast<Py_ssize_t>(file.path.size()),
                                   file.sha256.data(), static_cast<Py_ssize_t>(file.sha256.size()));
    if (pair == nullptr) return python_error();
    PyTuple_SET_ITEM(additional.get(), static_cast<Py_ssize_t>(i), pair);
  }
  const KernelFile& primary = recipe.primary;
  PyRef state = PyRef::steal(Py_BuildValue(
      "(s#s#NNNNO)", primary.path.data(), static_cast<Py_ssize_t>(primary.path.size()), primary.sha256.data(),
      static_cast<Py_ssize_t>(primary.sha256.size()), optional_text(recipe.leap_seconds, true),
      optional_text(recipe.leap_seconds, false), optional_text(recipe.eop, true), optional_text(recipe.eop, false),
      additional.get()));
  if (!state) return python_error();
  return state;
}

// An Engine pickles as its recipe, from any thread; a closed one refuses
// ("engine is closed").
PyObject* reduce_engine(PyObject* self, PyObject*) {
  return guarded_call([&]() -> PyResult<PyRef> {
    const auto access = EngineAccess::shared_from_any_thread(self);
    if (!access) return python_error();
    if (!access->engine()) return python_error();
    auto state = recipe_state(access->recipe());
    if (!state) return python_error();
    return reduction(self, state->release(), true);
  });
}

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

const PyMethodDef attach_methods[] = {
    {"with_leap_second_kernel", as_py_cfunction(&with_leap_second_kernel), kMethodFlags,
     "with_leap_second_kernel($self, path, sha256)\n--\n\n"
     "Attach a NAIF leap-second kernel so UTC (and UT1 with EOP) convert."},
    {"with_eop", as_py_cfunction(&with_eop), kMethodFlags,
     "with_eop($self, path, sha256)\n--\n\n"
     "Attach an IERS EOP 20 C04 table for UT1 and polar motion."},
    {"with_time_kernels", as_py_cfunction(&with_time_kernels), kMethodFlags,
     "with_time_kernels($self, leap_second_kernel, leap_second_sha256, eop, eop_sha256)\n--\n\n"
     "Attach both an LSK and an EOP table."},
    {"with_additional_kernel_file", as_py_cfunction(&with_additional_kernel_file), kMethodFlags,
     "with_additional_kernel_file($self, path, sha256)\n--\n\n"
     "Attach an extra planet-center SPK. The primary kernel still wins for\n"
     "any body and epoch it already covers. `sha256` is caller-verified."},
    {"__reduce__", as_py_cfunction(&reduce_engine), METH_NOARGS,
     "__reduce__($self)\n--\n\n"
     "Pickle support: the engine travels as the paths and checksums of its files,\n"
     "in the order given, and the receiving process opens them again."},
};

}  // namespace

std::span<const PyMethodDef> engine_attach_methods() { return attach_methods; }

PyResult<PyRef> open_engine(std::span<PyObject* const, 6> bound) {
  const auto path = to_text(bound[0], "path");
  if (!path) return python_error();
  const auto sha256 = to_text(bound[1], "sha256");
  if (!sha256) return python_error();
  const auto leap_second_kernel = to_optional_text(bound[2], "leap_second_kernel");
  if (!leap_second_kernel) return python_error();
  const auto leap_second_sha256 = to_optional_text(bound[3], "leap_second_sha256");
  if (!leap_second_sha256) return python_error();
  const auto eop = to_optional_text(bound[4], "eop");
  if (!eop) return python_error();
  const auto eop_sha256 = to_optional_text(bound[5], "eop_sha256");
  if (!eop_sha256) return python_error();

  auto engine = SpkEphemeris::open(*path, *sha256);
  if (!engine) return map_ephemeris_error(engine.error());
  if (only_one_given(*leap_second_kernel, *leap_second_sha256)) return value_error(kLeapSecondPairMessage);
  if (*leap_second_kernel) {
    auto kernel = open_leap_second_kernel(**leap_second_kernel, **leap_second_sha256);
    if (!kernel) return python_error();
    engine = std::move(*engine).with_leap_second_kernel(std::move(*kernel));
  }
  if (only_one_given(*eop, *eop_sha256)) return value_error(kEopPairMessage);
  if (*eop) {
    auto table = open_earth_orientation(**eop, **eop_sha256);
    if (!table) return python_error();
    engine = std::move(*engine).with_eop(std::move(*table));
  }
  EngineRecipe recipe{kernel_file(*path, *sha256), std::nullopt, std::nullopt, {}};
  if (*leap_second_kernel) recipe.leap_seconds = kernel_file(**leap_second_kernel, **leap_second_sha256);
  if (*eop) recipe.eop = kernel_file(**eop, **eop_sha256);
  return new_engine(std::move(*engine), std::move(recipe));
}

PyResult<PyRef> restore_engine(PyObject* state) {
  std::array<PyObject*, 6> files{};
  PyObject* additional = nullptr;
  if (!parse_state(state, "OOOOOOO", &files[0], &files[1], &files[2], &files[3], &files[4], &files[5], &additional)) {
    return python_error();
  }
  for (PyObject*& file : files) {
    if (file == Py_None) file = nullptr;
  }
  auto engine = open_engine(files);
  if (!engine) return python_error();
  PyRef kernels = PyRef::steal(PySequence_Fast(additional, "_restore() state: additional kernels must be a sequence"));
  if (!kernels) return python_error();
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(kernels.get()); ++i) {
    PyObject* pair = PySequence_Fast_GET_ITEM(kernels.get(), i);
    PyObject* path = nullptr;
    PyObject* sha256 = nullptr;
    if (!parse_state(pair, "OO", &path, &sha256)) return python_error();
    PyRef done = PyRef::steal(PyObject_CallMethod(engine->get(), "with_additional_kernel_file", "OO", path, sha256));
    if (!done) return python_error();
  }
  return engine;
}

}  // namespace ephemeris
