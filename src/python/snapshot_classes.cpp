// DateRange, KernelMetadata and EarthOrientationMetadata: immutable snapshots
// handed out by an Engine.
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "python/arguments.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

constexpr unsigned long kSnapshotClassFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION;

// ---- DateRange ------------------------------------------------------------

struct DateRangeValue {
  double start_julian_day;
  double end_julian_day;
  TimeScale time_scale;
};

std::string date_range_text(const DateRangeValue& range) {
  return date_range_repr(range.start_julian_day, range.end_julian_day, range.time_scale);
}

PyResult<PyRef> get_start(const DateRangeValue& range) { return float_object(range.start_julian_day); }
PyResult<PyRef> get_end(const DateRangeValue& range) { return float_object(range.end_julian_day); }
PyResult<PyRef> get_scale(const DateRangeValue& range) { return text_object(canonical_name(range.time_scale)); }

PyObject* date_range_state(const DateRangeValue& range) {
  const std::string_view scale = canonical_name(range.time_scale);
  return Py_BuildValue("(dds#)", range.start_julian_day, range.end_julian_day, scale.data(),
                       static_cast<Py_ssize_t>(scale.size()));
}

PyMethodDef date_range_methods[] = {
    EPHEMERIS_REDUCE_METHOD(DateRangeValue, date_range_state, true),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef date_range_getset[] = {
    {"start_julian_day", &value_getter<DateRangeValue, get_start>, nullptr, "First covered Julian day.", nullptr},
    {"end_julian_day", &value_getter<DateRangeValue, get_end>, nullptr, "Last covered Julian day.", nullptr},
    {"time_scale", &value_getter<DateRangeValue, get_scale>, nullptr, "Time scale of both days.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot date_range_slots[] = {
    {Py_tp_doc, const_cast<char*>("Inclusive kernel coverage in the declared time scale.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<DateRangeValue>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<DateRangeValue, date_range_text>)},
    {Py_tp_methods, date_range_methods},
    {Py_tp_getset, date_range_getset},
    {0, nullptr},
};

PyType_Spec date_range_spec = {"ephemeris.DateRange", sizeof(PyValueObject<DateRangeValue>), 0,
                               kSnapshotClassFlags, date_range_slots};

// ---- KernelMetadata -------------------------------------------------------

std::string metadata_text(const EphemerisMetadata& metadata) {
  return kernel_identity_repr("KernelMetadata", metadata.kernel_name, metadata.kernel_sha256);
}

PyResult<PyRef> get_engine_version(const EphemerisMetadata& m) { return text_object(m.engine_version); }
PyResult<PyRef> get_kernel_name(const EphemerisMetadata& m) { return text_object(m.kernel_name); }
PyResult<PyRef> get_kernel_sha256(const EphemerisMetadata& m) { return text_object(m.kernel_sha256); }
PyResult<PyRef> get_coordinate_frame(const EphemerisMetadata& m) { return text_object(m.coordinate_frame); }

// [(kernel_name, kernel_sha256), ...] in attachment order.
PyResult<PyRef> additional_kernel_list(const EphemerisMetadata& metadata) {
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list) return python_error();
  for (const KernelProvenance& kernel : metadata.additional_kernels) {
    auto name = text_object(kernel.kernel_name);
    if (!name) return python_error();
    auto sha256 = text_object(kernel.kernel_sha256);
    if (!sha256) return python_error();
    PyRef pair = PyRef::steal(PyTuple_Pack(2, name->get(), sha256->get()));
    if (!pair || PyList_Append(list.get(), pair.get()) != 0) return python_error();
  }
  return list;
}

PyObject* additional_kernels(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<0> signature{"KernelMetadata.additional_kernels", {}, 0};
    if (!bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames})) return python_error();
    return additional_kernel_list(value_of<EphemerisMetadata>(self));
  });
}

PyObject* as_dict(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<0> signature{"KernelMetadata.as_dict", {}, 0};
    if (!bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames})) return python_error();
    const EphemerisMetadata& metadata = value_of<EphemerisMetadata>(self);
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return python_error();
    const std::pair<const char*, PyResult<PyRef> (*)(const EphemerisMetadata&)> entries[] = {
        {"engine_version", &get_engine_version},         {"kernel_name", &get_kernel_name},
        {"kernel_sha256", &get_kernel_sha256},           {"coordinate_frame", &get_coordinate_frame},
        {"additional_kernels", &additional_kernel_list},
    };
    for (const auto& [key, make] : entries) {
      auto value = make(metadata);
      if (!value || PyDict_SetItemString(dict.get(), key, value->get()) != 0) return python_error();
    }
    return dict;
  });
}

PyObject* metadata_state(const EphemerisMetadata& m) {
  auto kernels = additional_kernel_list(m);
  if (!kernels) return nullptr;
  return Py_BuildValue("(s#s#s#s#O)", m.engine_version.data(), static_cast<Py_ssize_t>(m.engine_version.size()),
                       m.kernel_name.data(), static_cast<Py_ssize_t>(m.kernel_name.size()), m.kernel_sha256.data(),
                       static_cast<Py_ssize_t>(m.kernel_sha256.size()), m.coordinate_frame.data(),
                       static_cast<Py_ssize_t>(m.coordinate_frame.size()), kernels->get());
}

PyMethodDef metadata_methods[] = {
    EPHEMERIS_REDUCE_METHOD(EphemerisMetadata, metadata_state, true),
    {"additional_kernels", as_py_cfunction(&additional_kernels), METH_FASTCALL | METH_KEYWORDS,
     "additional_kernels($self)\n--\n\n"
     "(kernel_name, kernel_sha256) of every additional kernel, in attachment order."},
    {"as_dict", as_py_cfunction(&as_dict), METH_FASTCALL | METH_KEYWORDS,
     "as_dict($self)\n--\n\nThe metadata as a dict, additional kernels included."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef metadata_getset[] = {
    {"engine_version", &value_getter<EphemerisMetadata, get_engine_version>, nullptr, "Version of the engine.",
     nullptr},
    {"kernel_name", &value_getter<EphemerisMetadata, get_kernel_name>, nullptr,
     "File name of the primary kernel.", nullptr},
    {"kernel_sha256", &value_getter<EphemerisMetadata, get_kernel_sha256>, nullptr,
     "Caller-verified SHA-256 of the primary kernel, lower case.", nullptr},
    {"coordinate_frame", &value_getter<EphemerisMetadata, get_coordinate_frame>, nullptr,
     "Inertial frame of the kernel states.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot metadata_slots[] = {
    {Py_tp_doc, const_cast<char*>("Provenance recorded when the kernel was opened.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<EphemerisMetadata>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<EphemerisMetadata, metadata_text>)},
    {Py_tp_methods, metadata_methods},
    {Py_tp_getset, metadata_getset},
    {0, nullptr},
};

PyType_Spec metadata_spec = {"ephemeris.KernelMetadata", sizeof(PyValueObject<EphemerisMetadata>), 0,
                             kSnapshotClassFlags, metadata_slots};

// ---- EarthOrientationMetadata ---------------------------------------------

struct EarthOrientationValue {
  std::string file_name;
  std::string sha256;
  EopFormat format;
  double first_utc_julian_day;
  double last_utc_julian_day;
  std::optional<double> last_measured_utc_julian_day;  // absent when every row is a prediction
};

// The Python name of each table format, in the enumeration's order.
constexpr std::array<std::string_view, 2> kEopFormatNames = {"c04", "bulletin_a"};

std::string_view format_name(EopFormat format) { return kEopFormatNames[static_cast<std::size_t>(format)]; }

std::string earth_orientation_text(const EarthOrientationValue& v) {
  return earth_orientation_repr(v.file_name, format_name(v.format), v.first_utc_julian_day,
                                v.last_measured_utc_julian_day, v.last_utc_julian_day);
}

PyResult<PyRef> get_eop_file_name(const EarthOrientationValue& v) { return text_object(v.file_name); }
PyResult<PyRef> get_eop_sha256(const EarthOrientationValue& v) { return text_object(v.sha256); }
PyResult<PyRef> get_eop_format(const EarthOrientationValue& v) { return text_object(format_name(v.format)); }
PyResult<PyRef> get_eop_first(const EarthOrientationValue& v) { return float_object(v.first_utc_julian_day); }
PyResult<PyRef> get_eop_last(const EarthOrientationValue& v) { return float_object(v.last_utc_julian_day); }
PyResult<PyRef> get_eop_last_measured(const EarthOrientationValue& v) {
  if (!v.last_measured_utc_julian_day) return none_object();
  return float_object(*v.last_measured_utc_julian_day);
}

PyObject* earth_orientation_state(const EarthOrientationValue& v) {
  const std::string_view format = format_name(v.format);
  PyObject* measured =
      v.last_measured_utc_julian_day ? PyFloat_FromDouble(*v.last_measured_utc_julian_day) : Py_NewRef(Py_None);
  return Py_BuildValue("(s#s#s#ddN)", v.file_name.data(), static_cast<Py_ssize_t>(v.file_name.size()),
                       v.sha256.data(), static_cast<Py_ssize_t>(v.sha256.size()), format.data(),
                       static_cast<Py_ssize_t>(format.size()), v.first_utc_julian_day, v.last_utc_julian_day,
                       measured);
}

PyMethodDef earth_orientation_methods[] = {
    EPHEMERIS_REDUCE_METHOD(EarthOrientationValue, earth_orientation_state, true),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef earth_orientation_getset[] = {
    {"file_name", &value_getter<EarthOrientationValue, get_eop_file_name>, nullptr, "File name of the table.",
     nullptr},
    {"sha256", &value_getter<EarthOrientationValue, get_eop_sha256>, nullptr,
     "Caller-verified SHA-256 of the table, lower case.", nullptr},
    {"format", &value_getter<EarthOrientationValue, get_eop_format>, nullptr,
     "\"c04\" (IERS EOP 20 C04) or \"bulletin_a\" (IERS Bulletin A, finals2000A).", nullptr},
    {"first_utc_julian_day", &value_getter<EarthOrientationValue, get_eop_first>, nullptr,
     "Date of the first row, UTC Julian day.", nullptr},
    {"last_utc_julian_day", &value_getter<EarthOrientationValue, get_eop_last>, nullptr,
     "Date of the last row (the last prediction of a Bulletin A table), UTC Julian day.", nullptr},
    {"last_measured_utc_julian_day", &value_getter<EarthOrientationValue, get_eop_last_measured>, nullptr,
     "Date of the last measured row, UTC Julian day: later rows are predictions. None when every row is one.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot earth_orientation_slots[] = {
    {Py_tp_doc, const_cast<char*>("Earth orientation table of an engine: format, coverage and end of measured data.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<EarthOrientationValue>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<EarthOrientationValue, earth_orientation_text>)},
    {Py_tp_methods, earth_orientation_methods},
    {Py_tp_getset, earth_orientation_getset},
    {0, nullptr},
};

PyType_Spec earth_orientation_spec = {"ephemeris.EarthOrientationMetadata",
                                      sizeof(PyValueObject<EarthOrientationValue>), 0, kSnapshotClassFlags,
                                      earth_orientation_slots};

}  // namespace

PyResult<PyRef> create_earth_orientation_metadata_class(PyObject* module) {
  return create_class(module, earth_orientation_spec);
}

PyResult<PyRef> new_earth_orientation_metadata(const EarthOrientationTable& table) {
  const auto samples = table.samples();
  const auto measured = table.measured_samples();
  EarthOrientationValue value{table.file_name(), table.sha256(), table.format(), samples.front().utc_jd,
                              samples.back().utc_jd, std::nullopt};
  if (!measured.empty()) value.last_measured_utc_julian_day = measured.back().utc_jd;
  return new_value_object(module_class(ModuleClass::EarthOrientationMetadata), std::move(value));
}

PyResult<PyRef> restore_earth_orientation_metadata(PyObject* state) {
  std::array<const char*, 3> texts{};
  std::array<Py_ssize_t, 3> lengths{};
  EarthOrientationValue value{};
  PyObject* measured = nullptr;
  if (!parse_state(state, "s#s#s#ddO", &texts[0], &lengths[0], &texts[1], &lengths[1], &texts[2], &lengths[2],
                   &value.first_utc_julian_day, &value.last_utc_julian_day, &measured)) {
    return python_error();
  }
  const auto text = [&](std::size_t i) { return std::string(texts[i], static_cast<std::size_t>(lengths[i])); };
  const auto format = std::find(kEopFormatNames.begin(), kEopFormatNames.end(), text(2));
  if (format == kEopFormatNames.end()) return value_error("_restore() state: unknown Earth orientation format");
  value.file_name = text(0);
  value.sha256 = text(1);
  value.format = static_cast<EopFormat>(format - kEopFormatNames.begin());
  if (measured != Py_None) {
    const auto day = to_double(measured, "state");
    if (!day) return python_error();
    value.last_measured_utc_julian_day = *day;
  }
  return new_value_object(module_class(ModuleClass::EarthOrientationMetadata), std::move(value));
}

PyResult<PyRef> create_date_range_class(PyObject* module) { return create_class(module, date_range_spec); }

PyResult<PyRef> create_kernel_metadata_class(PyObject* module) { return create_class(module, metadata_spec); }

PyResult<PyRef> new_date_range(double start_julian_day, double end_julian_day, TimeScale time_scale) {
  return new_value_object(module_class(ModuleClass::DateRange),
                          DateRangeValue{start_julian_day, end_julian_day, time_scale});
}

PyResult<PyRef> new_kernel_metadata(EphemerisMetadata metadata) {
  return new_value_object(module_class(ModuleClass::KernelMetadata), std::move(metadata));
}

PyResult<PyRef> restore_date_range(PyObject* state) {
  DateRangeValue range{};
  const char* scale = nullptr;
  Py_ssize_t length = 0;
  if (!parse_state(state, "dds#", &range.start_julian_day, &range.end_julian_day, &scale, &length)) {
    return python_error();
  }
  const auto parsed_scale = parsed(parse_time_scale({scale, static_cast<std::size_t>(length)}));
  if (!parsed_scale) return python_error();
  return new_date_range(range.start_julian_day, range.end_julian_day, *parsed_scale);
}

PyResult<PyRef> restore_kernel_metadata(PyObject* state) {
  std::array<const char*, 4> texts{};
  std::array<Py_ssize_t, 4> lengths{};
  PyObject* kernels = nullptr;
  if (!parse_state(state, "s#s#s#s#O", &texts[0], &lengths[0], &texts[1], &lengths[1], &texts[2], &lengths[2],
                   &texts[3], &lengths[3], &kernels)) {
    return python_error();
  }
  const auto text = [&](std::size_t i) { return std::string(texts[i], static_cast<std::size_t>(lengths[i])); };
  EphemerisMetadata metadata{text(0), text(1), text(2), text(3), {}};
  PyRef items = PyRef::steal(PySequence_Fast(kernels, "_restore() state: additional kernels must be a sequence"));
  if (!items) return python_error();
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
    const char* name = nullptr;
    const char* sha256 = nullptr;
    if (!parse_state(PySequence_Fast_GET_ITEM(items.get(), i), "ss", &name, &sha256)) return python_error();
    metadata.additional_kernels.push_back({name, sha256});
  }
  return new_kernel_metadata(std::move(metadata));
}

}  // namespace ephemeris
