// HorizontalPosition: the result of Engine.altaz. It cannot be instantiated
// from Python.
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

std::string horizontal_position_text(const HorizontalPosition& p) {
  return horizontal_position_repr(p.altitude_deg, p.azimuth_deg, p.distance_au);
}

PyResult<PyRef> get_altitude(const HorizontalPosition& p) { return float_object(p.altitude_deg); }
PyResult<PyRef> get_azimuth(const HorizontalPosition& p) { return float_object(p.azimuth_deg); }
PyResult<PyRef> get_distance(const HorizontalPosition& p) { return float_object(p.distance_au); }

PyObject* horizontal_position_state(const HorizontalPosition& p) {
  return Py_BuildValue("(ddd)", p.altitude_deg, p.azimuth_deg, p.distance_au);
}

PyMethodDef horizontal_position_methods[] = {
    EPHEMERIS_REDUCE_METHOD(HorizontalPosition, horizontal_position_state, true),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef horizontal_position_getset[] = {
    {"altitude_deg", &value_getter<HorizontalPosition, get_altitude>, nullptr,
     "Altitude above the horizon in degrees, [-90, 90]; refracted when the weather was given.", nullptr},
    {"azimuth_deg", &value_getter<HorizontalPosition, get_azimuth>, nullptr,
     "Azimuth in degrees from north through east, [0, 360).", nullptr},
    {"distance_au", &value_getter<HorizontalPosition, get_distance>, nullptr, "Distance in astronomical units.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot horizontal_position_slots[] = {
    {Py_tp_doc, const_cast<char*>("Altitude, azimuth and distance of a body seen from a site.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<HorizontalPosition>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<HorizontalPosition, horizontal_position_text>)},
    {Py_tp_methods, horizontal_position_methods},
    {Py_tp_getset, horizontal_position_getset},
    {0, nullptr},
};

PyType_Spec horizontal_position_spec = {
    "ephemeris.HorizontalPosition", sizeof(PyValueObject<HorizontalPosition>), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, horizontal_position_slots};

}  // namespace

PyResult<PyRef> create_horizontal_position_class(PyObject* module) {
  return create_class(module, horizontal_position_spec);
}

PyResult<PyRef> restore_horizontal_position(PyObject* state) {
  HorizontalPosition p{};
  if (!parse_state(state, "ddd", &p.altitude_deg, &p.azimuth_deg, &p.distance_au)) return python_error();
  return new_horizontal_position(p);
}

PyResult<PyRef> new_horizontal_position(const HorizontalPosition& position) {
  return new_value_object(module_class(ModuleClass::HorizontalPosition), position);
}

}  // namespace ephemeris
