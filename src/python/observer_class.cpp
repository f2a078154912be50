// GeodeticObserver: a validated site on the Earth.
#include "python/arguments.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

PyObject* observer_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<3> signature{
        "GeodeticObserver", {"longitude_east_deg", "latitude_deg", "height_m"}, 2};
    const auto bound = bind(signature, args, kwargs);
    if (!bound) return python_error();
    const auto longitude = to_double((*bound)[0], "longitude_east_deg");
    if (!longitude) return python_error();
    const auto latitude = to_double((*bound)[1], "latitude_deg");
    if (!latitude) return python_error();
    double height = 0.0;
    if ((*bound)[2] != nullptr) {
      const auto given = to_double((*bound)[2], "height_m");
      if (!given) return python_error();
      height = *given;
    }
    const auto observer = GeodeticObserver{*longitude, *latitude, height}.validate();
    if (!observer) return value_error(message(observer.error()));
    return new_geodetic_observer(*observer);
  });
}

PyResult<PyRef> get_longitude(const GeodeticObserver& site) { return float_object(site.longitude_east_deg); }
PyResult<PyRef> get_latitude(const GeodeticObserver& site) { return float_object(site.latitude_deg); }
PyResult<PyRef> get_height(const GeodeticObserver& site) { return float_object(site.height_m); }

PyObject* observer_state(const GeodeticObserver& site) {
  return Py_BuildValue("(ddd)", site.longitude_east_deg, site.latitude_deg, site.height_m);
}

PyMethodDef observer_methods[] = {
    EPHEMERIS_REDUCE_METHOD(GeodeticObserver, observer_state, false),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef observer_getset[] = {
    {"longitude_east_deg", &value_getter<GeodeticObserver, get_longitude>, nullptr,
     "Geodetic longitude in degrees, positive east (not reduced to any range).", nullptr},
    {"latitude_deg", &value_getter<GeodeticObserver, get_latitude>, nullptr,
     "Geodetic latitude in degrees, -90 to 90.", nullptr},
    {"height_m", &value_getter<GeodeticObserver, get_height>, nullptr,
     "Height above the GRS80 ellipsoid in metres.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot observer_slots[] = {
    {Py_tp_doc, const_cast<char*>("GeodeticObserver(longitude_east_deg, latitude_deg, height_m=0.0)\n--\n\n"
                                  "Geodetic site on Earth (east longitude, GRS80/ITRS, height in metres).")},
    {Py_tp_new, reinterpret_cast<void*>(&observer_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<GeodeticObserver>)},
    {Py_tp_repr, reinterpret_cast<void*>(&value_repr<GeodeticObserver, geodetic_observer_repr>)},
    {Py_tp_methods, observer_methods},
    {Py_tp_getset, observer_getset},
    {0, nullptr},
};

PyType_Spec observer_spec = {
    "ephemeris.GeodeticObserver",
    sizeof(PyValueObject<GeodeticObserver>),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    observer_slots,
};

}  // namespace

PyResult<PyRef> create_geodetic_observer_class(PyObject* module) { return create_class(module, observer_spec); }

PyResult<PyRef> new_geodetic_observer(const GeodeticObserver& observer) {
  return new_value_object(module_class(ModuleClass::GeodeticObserver), observer);
}

const GeodeticObserver& geodetic_observer_value(PyObject* observer) { return value_of<GeodeticObserver>(observer); }

}  // namespace ephemeris
