// PositionOptions and the two shortcuts that build one, geometric() and apparent().
#include "python/arguments.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

PyResult<std::optional<GeodeticObserver>> to_optional_observer(PyObject* value) {
  if (value == nullptr || value == Py_None) return std::optional<GeodeticObserver>();
  const auto object = to_instance(value, module_class(ModuleClass::GeodeticObserver), "observer");
  if (!object) return python_error();
  return std::optional<GeodeticObserver>(geodetic_observer_value(*object));
}

PyResult<std::string_view> text_or_default(PyObject* value, const char* parameter, std::string_view fallback) {
  if (value == nullptr) return fallback;
  return to_text(value, parameter);
}

PyResult<bool> bool_or_false(PyObject* value, const char* parameter) {
  if (value == nullptr) return false;
  return to_bool(value, parameter);
}

PyObject* options_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<11> signature{
        "PositionOptions",
        {"origin", "coordinate_system", "reference_epoch", "apparent", "true_ecliptic", "light_time", "aberration",
         "gravitational_deflection", "precession", "nutation", "observer"},
        2};
    const auto bound = bind(signature, args, kwargs);
    if (!bound) return python_error();
    const auto origin_text = to_text((*bound)[0], "origin");
    if (!origin_text) return python_error();
    const auto system_text = to_text((*bound)[1], "coordinate_system");
    if (!system_text) return python_error();
    const auto epoch_text = text_or_default((*bound)[2], "reference_epoch", "j2000");
    if (!epoch_text) return python_error();
    std::array<bool, 7> switches{};
    for (std::size_t i = 0; i < switches.size(); ++i) {
      const auto value = bool_or_false((*bound)[3 + i], signature.parameters[3 + i]);
      if (!value) return python_error();
      switches[i] = *value;
    }
    const auto observer = to_optional_observer((*bound)[10]);
    if (!observer) return python_error();

    const auto origin = parse_origin(*origin_text, *observer);
    if (!origin) return value_error(origin.error());
    const auto system = parse_coordinate_system(*system_text);
    if (!system) return value_error(system.error());
    const auto epoch = parse_reference_epoch(*epoch_text);
    if (!epoch) return value_error(epoch.error());

    PositionOptions options;
    options.origin = *origin;
    options.coordinate_system = *system;
    options.reference_epoch = *epoch;
    options.apparent = switches[0];
    options.true_ecliptic = switches[1];
    options.corrections = Corrections{switches[2], switches[3], switches[4], switches[5], switches[6]};
    return new_value_object(module_class(ModuleClass::PositionOptions), options);
  });
}

PyResult<PyRef> get_origin(const PositionOptions& options) { return text_object(canonical_name(options.origin.kind)); }

PyResult<PyRef> get_observer(const PositionOptions& options) {
  if (options.origin.kind != OriginKind::Topocentric) return none_object();
  return new_geodetic_observer(options.origin.observer);
}

PyResult<PyRef> get_coordinate_system(const PositionOptions& options) {
  return text_object(canonical_name(options.coordinate_system));
}

PyResult<PyRef> get_reference_epoch(const PositionOptions& options) {
  return text_object(canonical_name(options.reference_epoch));
}

PyResult<PyRef> get_apparent(const PositionOptions& options) { return bool_object(options.apparent); }
PyResult<PyRef> get_true_ecliptic(const PositionOptions& options) { return bool_object(options.true_ecliptic); }

// The constructor's eleven arguments.
PyObject* options_state(const PositionOptions& options) {
  PyRef observer;
  if (options.origin.kind == OriginKind::Topocentric) {
    auto site = new_geodetic_observer(options.origin.observer);
    if (!site) return nullptr;
    observer = std::move(*site);
  } else {
    observer = PyRef::borrow(Py_None);
  }
  const std::string_view origin = canonical_name(options.origin.kind);
  const std::string_view system = canonical_name(options.coordinate_system);
  const std::string_view epoch = canonical_name(options.reference_epoch);
  const Corrections& c = options.corrections;
  return Py_BuildValue("(s#s#s#NNNNNNNO)", origin.data(), static_cast<Py_ssize_t>(origin.size()), system.data(),
                       static_cast<Py_ssize_t>(system.size()), epoch.data(), static_cast<Py_ssize_t>(epoch.size()),
                       PyBool_FromLong(options.apparent), PyBool_FromLong(options.true_ecliptic),
                       PyBool_FromLong(c.light_time), PyBool_FromLong(c.aberration),
                       PyBool_FromLong(c.gravitational_deflection), PyBool_FromLong(c.precession),
                       PyBool_FromLong(c.nutation), observer.get());
}

PyMethodDef options_methods[] = {
    EPHEMERIS_REDUCE_METHOD(PositionOptions, options_state, false),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef options_getset[] = {
    {"origin", &value_getter<PositionOptions, get_origin>, nullptr,
     "\"barycentric\", \"heliocentric\", \"geocentric\" or \"topocentric\".", nullptr},
    {"observer", &value_getter<PositionOptions, get_observer>, nullptr,
     "The GeodeticObserver of a topocentric origin, else None.", nullptr},
    {"coordinate_system", &value_getter<PositionOptions, get_coordinate_system>, nullptr,
     "\"equatorial\" or \"ecliptic\".", nullptr},
    {"reference_epoch", &value_getter<PositionOptions, get_reference_epoch>, nullptr, "\"j2000\" or \"of_date\".",
     nullptr},
    {"apparent", &value_getter<PositionOptions, get_apparent>, nullptr,
     "True when every apparent-place correction is requested.", nullptr},
    {"true_ecliptic", &value_getter<PositionOptions, get_true_ecliptic>, nullptr,
     "True for the ecliptic of date including nutation.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot options_slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "PositionOptions(origin, coordinate_system, reference_epoch=\"j2000\", apparent=False, "
                    "true_ecliptic=False, light_time=False, aberration=False, gravitational_deflection=False, "
                    "precession=False, nutation=False, observer=None)\n--\n\n"
                    "Explicit geometric or apparent request options.")},
    {Py_tp_new, reinterpret_cast<void*>(&options_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<PositionOptions>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<PositionOptions, position_options_repr>)},
    {Py_tp_methods, options_methods},
    {Py_tp_getset, options_getset},
    {0, nullptr},
};

PyType_Spec options_spec = {
    "ephemeris.PositionOptions",
    sizeof(PyValueObject<PositionOptions>),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    options_slots,
};

// Options from an origin, a coordinate system and an optional observer; the
// epoch and switches come from the shortcut.
PyResult<PyRef> position_options_from_origin(const char* function_name, const FastcallArguments& arguments,
                                             ReferenceEpoch epoch, bool apparent) {
  const Signature<3> signature{function_name, {"origin", "coordinate_system", "observer"}, 0};
  const auto bound = bind(signature, arguments);
  if (!bound) return python_error();
  const auto origin_text = text_or_default((*bound)[0], "origin", "geocentric");
  if (!origin_text) return python_error();
  const auto system_text = text_or_default((*bound)[1], "coordinate_system", "ecliptic");
  if (!system_text) return python_error();
  const auto observer = to_optional_observer((*bound)[2]);
  if (!observer) return python_error();
  const auto origin = parse_origin(*origin_text, *observer);
  if (!origin) return value_error(origin.error());
  const auto system = parse_coordinate_system(*system_text);
  if (!system) return value_error(system.error());
  PositionOptions options;
  options.origin = *origin;
  options.coordinate_system = *system;
  options.reference_epoch = epoch;
  options.apparent = apparent;
  return new_value_object(module_class(ModuleClass::PositionOptions), options);
}

PyObject* geometric(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&] {
    return position_options_from_origin("geometric", {args, PyVectorcall_NARGS(nargsf), kwnames},
                                        ReferenceEpoch::J2000, false);
  });
}

PyObject* apparent(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&] {
    return position_options_from_origin("apparent", {args, PyVectorcall_NARGS(nargsf), kwnames},
                                        ReferenceEpoch::OfDate, true);
  });
}

PyMethodDef geometric_definition = {
    "geometric", as_py_cfunction(&geometric), METH_FASTCALL | METH_KEYWORDS,
    "geometric(origin=\"geocentric\", coordinate_system=\"ecliptic\", observer=None)\n--\n\n"
    "Geometric J2000 request with every correction switch off."};

PyMethodDef apparent_definition = {
    "apparent", as_py_cfunction(&apparent), METH_FASTCALL | METH_KEYWORDS,
    "apparent(origin=\"geocentric\", coordinate_system=\"ecliptic\", observer=None)\n--\n\n"
    "Apparent-place convenience at the true equinox/ecliptic of date."};

}  // namespace

PyResult<PyRef> create_position_options_class(PyObject* module) { return create_class(module, options_spec); }

PyResult<PyRef> create_geometric_function(PyObject* module) { return create_module_function(module, geometric_definition); }

PyResult<PyRef> create_apparent_function(PyObject* module) { return create_module_function(module, apparent_definition); }

const PositionOptions& position_options_value(PyObject* options) { return value_of<PositionOptions>(options); }

}  // namespace ephemeris
