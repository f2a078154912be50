// The result classes built by engine methods: Position, RiseSetTransit and
// HorizonEvent. None of them can be instantiated from Python.
#include "python/arguments.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

constexpr unsigned long kResultClassFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION;

// ---- Position -------------------------------------------------------------

PyResult<PyRef> get_longitude(const Position& p) { return float_object(p.longitude_deg); }
PyResult<PyRef> get_latitude(const Position& p) { return float_object(p.latitude_deg); }
PyResult<PyRef> get_distance(const Position& p) { return float_object(p.distance_au); }
PyResult<PyRef> get_speed(const Position& p) { return float_object(p.longitude_speed_deg_per_day); }

PyObject* position_state(const Position& p) {
  return Py_BuildValue("(dddd)", p.longitude_deg, p.latitude_deg, p.distance_au, p.longitude_speed_deg_per_day);
}

PyMethodDef position_methods[] = {
    EPHEMERIS_REDUCE_METHOD(Position, position_state, true),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef position_getset[] = {
    {"longitude_deg", &value_getter<Position, get_longitude>, nullptr, "Longitude in degrees, [0, 360].", nullptr},
    {"latitude_deg", &value_getter<Position, get_latitude>, nullptr, "Latitude in degrees, [-90, 90].", nullptr},
    {"distance_au", &value_getter<Position, get_distance>, nullptr, "Distance in astronomical units.", nullptr},
    {"longitude_speed_deg_per_day", &value_getter<Position, get_speed>, nullptr,
     "Rate of change of longitude in degrees per day.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot position_slots[] = {
    {Py_tp_doc, const_cast<char*>("Spherical position returned by a scalar request.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<Position>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<Position, position_repr>)},
    {Py_tp_methods, position_methods},
    {Py_tp_getset, position_getset},
    {0, nullptr},
};

PyType_Spec position_spec = {"ephemeris.Position", sizeof(PyValueObject<Position>), 0, kResultClassFlags,
                             position_slots};

// ---- RiseSetTransit -------------------------------------------------------

std::string rise_set_transit_text(const RiseSetTransit& days) {
  return rise_set_transit_repr(days.transit_ut1_julian_day, days.rise_ut1_julian_day, days.set_ut1_julian_day);
}

PyResult<PyRef> optional_float(std::optional<double> value) {
  if (!value) return none_object();
  return float_object(*value);
}

PyResult<PyRef> get_transit(const RiseSetTransit& days) { return float_object(days.transit_ut1_julian_day); }
PyResult<PyRef> get_rise(const RiseSetTransit& days) { return optional_float(days.rise_ut1_julian_day); }
PyResult<PyRef> get_set(const RiseSetTransit& days) { return optional_float(days.set_ut1_julian_day); }

PyObject* optional_day(std::optional<double> day) {
  if (!day) return Py_NewRef(Py_None);
  return PyFloat_FromDouble(*day);
}

PyObject* rise_set_transit_state(const RiseSetTransit& days) {
  return Py_BuildValue("(dNN)", days.transit_ut1_julian_day, optional_day(days.rise_ut1_julian_day),
                       optional_day(days.set_ut1_julian_day));
}

PyMethodDef rise_set_transit_methods[] = {
    EPHEMERIS_REDUCE_METHOD(RiseSetTransit, rise_set_transit_state, true),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef rise_set_transit_getset[] = {
    {"transit_ut1_julian_day", &value_getter<RiseSetTransit, get_transit>, nullptr,
     "Meridian transit, UT1 Julian day.", nullptr},
    {"rise_ut1_julian_day", &value_getter<RiseSetTransit, get_rise>, nullptr,
     "Rise before the transit, UT1 Julian day, or None.", nullptr},
    {"set_ut1_julian_day", &value_getter<RiseSetTransit, get_set>, nullptr,
     "Set after the transit, UT1 Julian day, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot rise_set_transit_slots[] = {
    {Py_tp_doc, const_cast<char*>("Same-day UT1 rise, set, and transit epochs.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<RiseSetTransit>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<RiseSetTransit, rise_set_transit_text>)},
    {Py_tp_methods, rise_set_transit_methods},
    {Py_tp_getset, rise_set_transit_getset},
    {0, nullptr},
};

PyType_Spec rise_set_transit_spec = {"ephemeris.RiseSetTransit", sizeof(PyValueObject<RiseSetTransit>), 0,
                                     kResultClassFlags, rise_set_transit_slots};

// ---- HorizonEvent ---------------------------------------------------------

std::string horizon_event_text(const HorizonEvent& event) {
  return horizon_event_repr(event.kind, event.ut1_julian_day);
}

PyResult<PyRef> get_kind(const HorizonEvent& event) { return new_horizon_event_kind(event.kind); }
PyResult<PyRef> get_day(const HorizonEvent& event) { return float_object(event.ut1_julian_day); }

PyObject* horizon_event_state(const HorizonEvent& event) {
  const std::string_view kind = canonical_name(event.kind);
  return Py_BuildValue("(s#d)", kind.data(), static_cast<Py_ssize_t>(kind.size()), event.ut1_julian_day);
}

PyMethodDef horizon_event_methods[] = {
    EPHEMERIS_REDUCE_METHOD(HorizonEvent, horizon_event_state, true),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef horizon_event_getset[] = {
    {"kind", &value_getter<HorizonEvent, get_kind>, nullptr, "The HorizonEventKind of the event.", nullptr},
    {"ut1_julian_day", &value_getter<HorizonEvent, get_day>, nullptr, "The event, UT1 Julian day.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot horizon_event_slots[] = {
    {Py_tp_doc, const_cast<char*>("One horizon event, as a UT1 Julian day.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<HorizonEvent>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<HorizonEvent, horizon_event_text>)},
    {Py_tp_methods, horizon_event_methods},
    {Py_tp_getset, horizon_event_getset},
    {0, nullptr},
};

PyType_Spec horizon_event_spec = {"ephemeris.HorizonEvent", sizeof(PyValueObject<HorizonEvent>), 0,
                                  kResultClassFlags, horizon_event_slots};

// ---- HouseCusps -----------------------------------------------------------

std::string house_cusps_text(const HouseCusps& cusps) {
  return house_cusps_repr(canonical_name(cusps.system), cusps.ascendant_deg, cusps.midheaven_deg);
}

PyResult<PyRef> get_system(const HouseCusps& cusps) { return new_house_system(cusps.system); }

PyResult<PyRef> get_cusps(const HouseCusps& cusps) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(cusps.cusp_ecliptic_longitude_deg.size())));
  if (!list) return python_error();
  Py_ssize_t index = 0;
  for (const double longitude : cusps.cusp_ecliptic_longitude_deg) {
    auto item = float_object(longitude);
    if (!item) return python_error();
    PyList_SET_ITEM(list.get(), index++, item->release());
  }
  return list;
}

PyResult<PyRef> get_ascendant(const HouseCusps& cusps) { return float_object(cusps.ascendant_deg); }
PyResult<PyRef> get_midheaven(const HouseCusps& cusps) { return float_object(cusps.midheaven_deg); }
PyResult<PyRef> get_ramc(const HouseCusps& cusps) { return float_object(cusps.ramc_deg); }
PyResult<PyRef> get_sidereal_time(const HouseCusps& cusps) { return float_object(cusps.local_sidereal_time_deg); }
PyResult<PyRef> get_obliquity(const HouseCusps& cusps) { return float_object(cusps.true_obliquity_deg); }

PyObject* house_cusps_state(const HouseCusps& c) {
  const std::string_view system = canonical_name(c.system);
  const auto& l = c.cusp_ecliptic_longitude_deg;
  return Py_BuildValue("(s#(dddddddddddd)ddddd)", system.data(), static_cast<Py_ssize_t>(system.size()), l[0], l[1],
                       l[2], l[3], l[4], l[5], l[6], l[7], l[8], l[9], l[10], l[11], c.ascendant_deg, c.midheaven_deg,
                       c.ramc_deg, c.local_sidereal_time_deg, c.true_obliquity_deg);
}

PyMethodDef house_cusps_methods[] = {
    EPHEMERIS_REDUCE_METHOD(HouseCusps, house_cusps_state, true),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef house_cusps_getset[] = {
    {"system", &value_getter<HouseCusps, get_system>, nullptr, "The HouseSystem used.", nullptr},
    {"cusp_ecliptic_longitude_deg", &value_getter<HouseCusps, get_cusps>, nullptr,
     "Ecliptic longitudes of the cusps of houses 1 to 12, degrees.", nullptr},
    {"ascendant_deg", &value_getter<HouseCusps, get_ascendant>, nullptr, "Ascendant, degrees.", nullptr},
    {"midheaven_deg", &value_getter<HouseCusps, get_midheaven>, nullptr, "Midheaven (MC), degrees.", nullptr},
    {"ramc_deg", &value_getter<HouseCusps, get_ramc>, nullptr, "Right ascension of the MC, degrees.", nullptr},
    {"local_sidereal_time_deg", &value_getter<HouseCusps, get_sidereal_time>, nullptr,
     "Local apparent sidereal time, degrees.", nullptr},
    {"true_obliquity_deg", &value_getter<HouseCusps, get_obliquity>, nullptr, "True obliquity of date, degrees.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot house_cusps_slots[] = {
    {Py_tp_doc, const_cast<char*>("Ecliptic longitudes of the twelve house cusps plus ASC/MC.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<HouseCusps>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<HouseCusps, house_cusps_text>)},
    {Py_tp_methods, house_cusps_methods},
    {Py_tp_getset, house_cusps_getset},
    {0, nullptr},
};

PyType_Spec house_cusps_spec = {"ephemeris.HouseCusps", sizeof(PyValueObject<HouseCusps>), 0, kResultClassFlags,
                                house_cusps_slots};

}  // namespace

PyResult<PyRef> create_house_cusps_class(PyObject* module) { return create_class(module, house_cusps_spec); }

PyResult<PyRef> new_house_cusps(const HouseCusps& cusps) {
  return new_value_object(module_class(ModuleClass::HouseCusps), cusps);
}

PyResult<PyRef> create_position_class(PyObject* module) { return create_class(module, position_spec); }

PyResult<PyRef> create_rise_set_transit_class(PyObject* module) {
  return create_class(module, rise_set_transit_spec);
}

PyResult<PyRef> create_horizon_event_class(PyObject* module) { return create_class(module, horizon_event_spec); }

PyResult<PyRef> new_position(const Position& position) {
  return new_value_object(module_class(ModuleClass::Position), position);
}

PyResult<PyRef> new_rise_set_transit(const RiseSetTransit& result) {
  return new_value_object(module_class(ModuleClass::RiseSetTransit), result);
}

PyResult<PyRef> new_horizon_event(const HorizonEvent& event) {
  return new_value_object(module_class(ModuleClass::HorizonEvent), event);
}

PyResult<PyRef> restore_position(PyObject* state) {
  Position p{};
  if (!parse_state(state, "dddd", &p.longitude_deg, &p.latitude_deg, &p.distance_au,
                   &p.longitude_speed_deg_per_day)) {
    return python_error();
  }
  return new_position(p);
}

PyResult<PyRef> restore_rise_set_transit(PyObject* state) {
  RiseSetTransit days{};
  PyObject* rise = nullptr;
  PyObject* set = nullptr;
  if (!parse_state(state, "dOO", &days.transit_ut1_julian_day, &rise, &set)) return python_error();
  for (auto [value, day] : {std::pair{rise, &days.rise_ut1_julian_day}, std::pair{set, &days.set_ut1_julian_day}}) {
    if (value == Py_None) continue;
    const auto number = to_double(value, "state");
    if (!number) return python_error();
    *day = *number;
  }
  return new_rise_set_transit(days);
}

PyResult<PyRef> restore_horizon_event(PyObject* state) {
  const char* kind = nullptr;
  Py_ssize_t length = 0;
  HorizonEvent event{};
  if (!parse_state(state, "s#d", &kind, &length, &event.ut1_julian_day)) return python_error();
  const auto parsed_kind = parsed(parse_horizon_event_kind({kind, static_cast<std::size_t>(length)}));
  if (!parsed_kind) return python_error();
  event.kind = *parsed_kind;
  return new_horizon_event(event);
}

PyResult<PyRef> restore_house_cusps(PyObject* state) {
  const char* system = nullptr;
  Py_ssize_t length = 0;
  HouseCusps c{};
  auto& l = c.cusp_ecliptic_longitude_deg;
  if (!parse_state(state, "s#(dddddddddddd)ddddd", &system, &length, &l[0], &l[1], &l[2], &l[3], &l[4], &l[5],
                   &l[6], &l[7], &l[8], &l[9], &l[10], &l[11], &c.ascendant_deg, &c.midheaven_deg, &c.ramc_deg,
                   &c.local_sidereal_time_deg, &c.true_obliquity_deg)) {
    return python_error();
  }
  const auto parsed_system = parsed(parse_house_system({system, static_cast<std::size_t>(length)}));
  if (!parsed_system) return python_error();
  c.system = *parsed_system;
  return new_house_cusps(c);
}

}  // namespace ephemeris
