// The extension module `ephemeris`: multi-phase initialisation whose execution
// step adds the classes, functions and constants, each also listed in __all__,
// then the attributes that __all__ does not list: the classes added since, the
// version, the installed leap-second kernel, the accepted names and the private
// pickling function.
#include <array>

#include "core/constants.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

// Standard altitude of the Sun's upper limb at rise and set, degrees.
constexpr double kSunUpperLimbAltitudeDeg = -50.0 / kArcminutesPerDegree;
// Mean horizontal refraction, degrees.
constexpr double kMeanRefractionAltitudeDeg = -34.0 / kArcminutesPerDegree;

using Create = PyResult<PyRef> (*)(PyObject* module);

// One addition to the module. A class is created once per process and shared by
// later module objects; functions are made for each module object.
struct ModuleEntry {
  const char* name;
  Create create;
  std::optional<ModuleClass> class_id;
};

PyResult<PyRef> j2000_julian_day(PyObject*) { return float_object(kJ2000JulianDay); }
PyResult<PyRef> sun_upper_limb_altitude(PyObject*) { return float_object(kSunUpperLimbAltitudeDeg); }
PyResult<PyRef> mean_refraction_altitude(PyObject*) { return float_object(kMeanRefractionAltitudeDeg); }

const std::array<ModuleEntry, 22> kModuleEntries = {{
    {"Instant", &create_instant_class, ModuleClass::Instant},
    {"GeodeticObserver", &create_geodetic_observer_class, ModuleClass::GeodeticObserver},
    {"HouseSystem", &create_house_system_class, ModuleClass::HouseSystem},
    {"HouseCusps", &create_house_cusps_class, ModuleClass::HouseCusps},
    {"HorizonEventKind", &create_horizon_event_kind_class, ModuleClass::HorizonEventKind},
    {"RiseSetTransit", &create_rise_set_transit_class, ModuleClass::RiseSetTransit},
    {"HorizonEvent", &create_horizon_event_class, ModuleClass::HorizonEvent},
    {"SeasonEvent", &create_season_event_class, ModuleClass::SeasonEvent},
    {"LunationEvent", &create_lunation_event_class, ModuleClass::LunationEvent},
    {"SiderealMode", &create_sidereal_mode_class, ModuleClass::SiderealMode},
    {"PositionOptions", &create_position_options_class, ModuleClass::PositionOptions},
    {"Position", &create_position_class, ModuleClass::Position},
    {"DateRange", &create_date_range_class, ModuleClass::DateRange},
    {"KernelMetadata", &create_kernel_metadata_class, ModuleClass::KernelMetadata},
    {"Engine", &create_engine_class, ModuleClass::Engine},
    {"open", &create_open_function, std::nullopt},
    {"geometric", &create_geometric_function, std::nullopt},
    {"apparent", &create_apparent_function, std::nullopt},
    {"house_cusps", &create_house_cusps_function, std::nullopt},
    {"J2000_JULIAN_DAY", &j2000_julian_day, std::nullopt},
    {"SUN_UPPER_LIMB_ALTITUDE_DEG", &sun_upper_limb_altitude, std::nullopt},
    {"MEAN_REFRACTION_ALTITUDE_DEG", &mean_refraction_altitude, std::nullopt},
}};

PyResult<PyRef> version(PyObject*) { return text_object(EPHEMERIS_VERSION); }

// The leap-second kernel installed beside the module file.
PyResult<PyRef> leap_second_kernel_path(PyObject* module) {
  PyRef file = PyRef::steal(PyModule_GetFilenameObject(module));
  if (!file) return python_error();
  const Py_ssize_t slash = PyUnicode_FindChar(file.get(), '/', 0, PyUnicode_GetLength(file.get()), -1);
  if (slash == -2) return python_error();
  PyRef directory = slash < 0 ? PyRef::steal(PyUnicode_FromString(".")) : PyRef::steal(PyUnicode_Substring(file.get(), 0, slash));
  if (!directory) return python_error();
  PyRef path = PyRef::steal(PyUnicode_FromFormat("%U/%s", directory.get(), EPHEMERIS_LEAP_SECOND_KERNEL_FILE));
  if (!path) return python_error();
  return path;
}

PyResult<PyRef> leap_second_kernel_sha256(PyObject*) { return text_object(EPHEMERIS_LEAP_SECOND_KERNEL_SHA256); }

template <NameList List>
PyResult<PyRef> accepted_names(PyObject*) {
  const std::vector<std::string_view> names = canonical_names(List);
  PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(names.size())));
  if (!tuple) return python_error();
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto name = text_object(names[i]);
    if (!name) return python_error();
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), name->release());
  }
  return tuple;
}

struct ModuleAttribute {
  const char* name;
  Create create;
};

const std::array<ModuleAttribute, 14> kModuleAttributes = {{
    {"__version__", &version},
    {"LEAP_SECOND_KERNEL_PATH", &leap_second_kernel_path},
    {"LEAP_SECOND_KERNEL_SHA256", &leap_second_kernel_sha256},
    {"BODY_NAMES", &accepted_names<NameList::Body>},
    {"ORIGIN_NAMES", &accepted_names<NameList::Origin>},
    {"COORDINATE_SYSTEM_NAMES", &accepted_names<NameList::CoordinateSystem>},
    {"REFERENCE_EPOCH_NAMES", &accepted_names<NameList::ReferenceEpoch>},
    {"TIME_SCALE_NAMES", &accepted_names<NameList::TimeScale>},
    {"HOUSE_SYSTEM_NAMES", &accepted_names<NameList::HouseSystem>},
    {"SIDEREAL_MODE_NAMES", &accepted_names<NameList::SiderealMode>},
    {"SEASON_EVENT_NAMES", &accepted_names<NameList::SeasonEvent>},
    {"LUNATION_EVENT_NAMES", &accepted_names<NameList::LunationEvent>},
    {"HORIZON_EVENT_NAMES", &accepted_names<NameList::HorizonEventKind>},
    {"_restore", &create_restore_function},
}};

// Names added after those of __all__ and not listed in it.
const std::array<ModuleEntry, 2> kUnlistedEntries = {{
    {"HorizontalPosition", &create_horizontal_position_class, ModuleClass::HorizontalPosition},
    {"EarthOrientationMetadata", &create_earth_orientation_metadata_class, ModuleClass::EarthOrientationMetadata},
}};

// The interpreter that created the classes; they are not shared with others.
PyInterpreterState* owning_interpreter = nullptr;

PyResult<PyRef> all_list(PyObject* module) {
  PyObject* dict = PyModule_GetDict(module);  // borrowed
  PyObject* existing = PyDict_GetItemString(dict, "__all__");  // borrowed
  if (existing != nullptr) return PyRef::borrow(existing);
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list || PyDict_SetItemString(dict, "__all__", list.get()) != 0) return python_error();
  return list;
}

// Adds `entry` to the module, and its name to `all` unless that is null.
PyResult<void> add_entry(PyObject* module, PyObject* all, const ModuleEntry& entry) {
  PyRef object;
  if (entry.class_id && module_class(*entry.class_id) != nullptr) {
    object = PyRef::borrow(reinterpret_cast<PyObject*>(module_class(*entry.class_id)));
  } else {
    auto created = entry.create(module);
    if (!created) return python_error();
    object = std::move(*created);
    if (entry.class_id) register_module_class(*entry.class_id, PyRef::borrow(object.get()));
  }
  if (PyModule_AddObjectRef(module, entry.name, object.get()) != 0) return python_error();
  if (all == nullptr) return {};
  PyRef name = PyRef::steal(PyUnicode_FromString(entry.name));
  if (!name || PyList_Append(all, name.get()) != 0) return python_error();
  return {};
}

int execute_module(PyObject* module) {
  PyInterpreterState* interpreter = PyInterpreterState_Get();
  if (owning_interpreter != nullptr && owning_interpreter != interpreter) {
    PyErr_SetString(PyExc_ImportError, "ephemeris cannot be imported in more than one interpreter");
    return -1;
  }
  owning_interpreter = interpreter;
  PyObject* result = guarded_call([&]() -> PyResult<PyRef> {
    auto all = all_list(module);
    if (!all) return python_error();
    for (const ModuleEntry& entry : kModuleEntries) {
      if (!add_entry(module, all->get(), entry)) return python_error();
    }
    for (const ModuleEntry& entry : kUnlistedEntries) {
      if (!add_entry(module, nullptr, entry)) return python_error();
    }
    for (const ModuleAttribute& attribute : kModuleAttributes) {
      auto object = attribute.create(module);
      if (!object || PyModule_AddObjectRef(module, attribute.name, object->get()) != 0) return python_error();
    }
    return none_object();
  });
  if (result == nullptr) return -1;
  const PyRef done = PyRef::steal(result);
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&execute_module)},
#ifdef Py_mod_multiple_interpreters
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "ephemeris",
    "",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace ephemeris

PyMODINIT_FUNC PyInit_ephemeris() { return PyModuleDef_Init(&ephemeris::module_definition); }
