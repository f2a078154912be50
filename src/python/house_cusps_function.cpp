// The module function house_cusps: house cusps for a site at a UT1/TT pair,
// computed without any kernel.
#include "core/houses.h"
#include "python/arguments.h"
#include "python/module_classes.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

PyResult<PyRef> compute_house_cusps(const FastcallArguments& arguments) {
  static constexpr Signature<4> signature{"house_cusps", {"observer", "ut1", "tt", "system"}, 4};
  const auto bound = bind(signature, arguments);
  if (!bound) return python_error();
  const auto observer = to_instance((*bound)[0], module_class(ModuleClass::GeodeticObserver), "observer");
  if (!observer) return python_error();
  const auto ut1 = extract_julian_day((*bound)[1]);
  if (!ut1) return python_error();
  const auto tt = extract_julian_day((*bound)[2]);
  if (!tt) return python_error();
  const auto system = parsed_name((*bound)[3], &parse_house_system);
  if (!system) return python_error();
  const auto cusps = house_cusps(geodetic_observer_value(*observer), *system, *ut1, *tt);
  if (!cusps) return value_error(message(cusps.error()));
  return new_house_cusps(*cusps);
}

PyObject* house_cusps_entry(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&] { return compute_house_cusps({args, PyVectorcall_NARGS(nargsf), kwnames}); });
}

PyMethodDef house_cusps_definition = {
    "house_cusps", as_py_cfunction(&house_cusps_entry), METH_FASTCALL | METH_KEYWORDS,
    "house_cusps(observer, ut1, tt, system)\n--\n\n"
    "Ecliptic house cusps at a UT1/TT pair (no SPK kernel).\n\n"
    "`ut1` and `tt` may be [`PyInstant`] values or Julian-day floats."};

}  // namespace

PyResult<PyRef> create_house_cusps_function(PyObject* module) {
  return create_module_function(module, house_cusps_definition);
}

}  // namespace ephemeris
