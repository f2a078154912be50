// The enumeration classes: each instance holds one value of its enumeration,
// built from a name (parsed like every name argument) or by a class method.
#include "python/arguments.h"
#include "python/module_classes.h"
#include "python/pickling.h"
#include "python/reprs.h"
#include "python/value_object.h"

namespace ephemeris {
namespace {

template <class E>
struct EnumClass;

template <>
struct EnumClass<HouseSystem> {
  static constexpr const char* name = "HouseSystem";
  static constexpr ModuleClass id = ModuleClass::HouseSystem;
  static auto parse(std::string_view text) { return parse_house_system(text); }
};

template <>
struct EnumClass<SiderealMode> {
  static constexpr const char* name = "SiderealMode";
  static constexpr ModuleClass id = ModuleClass::SiderealMode;
  static auto parse(std::string_view text) { return parse_sidereal_mode(text); }
};

template <>
struct EnumClass<SeasonEvent> {
  static constexpr const char* name = "SeasonEvent";
  static constexpr ModuleClass id = ModuleClass::SeasonEvent;
  static auto parse(std::string_view text) { return parse_season_event(text); }
};

template <>
struct EnumClass<LunationEvent> {
  static constexpr const char* name = "LunationEvent";
  static constexpr ModuleClass id = ModuleClass::LunationEvent;
  static auto parse(std::string_view text) { return parse_lunation_event(text); }
};

template <>
struct EnumClass<HorizonEventKind> {
  static constexpr const char* name = "HorizonEventKind";
  static constexpr ModuleClass id = ModuleClass::HorizonEventKind;
  static auto parse(std::string_view text) { return parse_horizon_event_kind(text); }
};

template <class E>
PyResult<PyRef> new_member(E value) {
  return new_value_object(module_class(EnumClass<E>::id), value);
}

template <class E>
PyObject* enum_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guarded_call([&]() -> PyResult<PyRef> {
    static constexpr Signature<1> signature{EnumClass<E>::name, {"name"}, 1};
    const auto bound = bind(signature, args, kwargs);
    if (!bound) return python_error();
    const auto text = to_text((*bound)[0], "name");
    if (!text) return python_error();
    const auto value = EnumClass<E>::parse(*text);
    if (!value) return value_error(value.error());
    return new_member(*value);
  });
}

// A class method without parameters that returns the member `Value`.
template <auto Value>
PyObject* enum_member(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return guarded_call([&]() -> PyResult<PyRef> {
    // The class methods are named after the canonical names: "HouseSystem.whole_sign".
    const std::string method = std::string(EnumClass<decltype(Value)>::name) + "." +
                               std::string(canonical_name(Value));
    const Signature<0> signature{method.c_str(), {}, 0};
    const auto bound = bind(signature, FastcallArguments{args, PyVectorcall_NARGS(nargsf), kwnames});
    if (!bound) return python_error();
    return new_member(Value);
  });
}

template <class E>
PyResult<PyRef> get_name(const E& value) {
  return text_object(canonical_name(value));
}

template <class E>
std::string enum_text(const E& value) {
  return enumeration_repr(EnumClass<E>::name, canonical_name(value));
}

template <class E>
PyGetSetDef enum_getset[] = {
    {"name", &value_getter<E, get_name<E>>, nullptr, "Canonical lower-case name.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

template <class E>
PyObject* enum_state(const E& value) {
  const std::string_view name = canonical_name(value);
  return Py_BuildValue("(s#)", name.data(), static_cast<Py_ssize_t>(name.size()));
}

#define EPHEMERIS_ENUM_REDUCE(E) EPHEMERIS_REDUCE_METHOD(E, enum_state<E>, false)

constexpr int kMemberFlags = METH_FASTCALL | METH_KEYWORDS | METH_CLASS;

#define EPHEMERIS_ENUM_MEMBER(method, value) \
  {#method, as_py_cfunction(&enum_member<value>), kMemberFlags, #method "($cls)\n--\n\n"}

PyMethodDef house_system_methods[] = {
    EPHEMERIS_ENUM_MEMBER(placidus, HouseSystem::Placidus),
    EPHEMERIS_ENUM_MEMBER(campanus, HouseSystem::Campanus),
    EPHEMERIS_ENUM_MEMBER(equal, HouseSystem::Equal),
    EPHEMERIS_ENUM_MEMBER(whole_sign, HouseSystem::WholeSign),
    EPHEMERIS_ENUM_REDUCE(HouseSystem),
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef sidereal_mode_methods[] = {
    EPHEMERIS_ENUM_MEMBER(lahiri, SiderealMode::Lahiri),
    EPHEMERIS_ENUM_MEMBER(fagan_bradley, SiderealMode::FaganBradley),
    EPHEMERIS_ENUM_REDUCE(SiderealMode),
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef season_event_methods[] = {
    EPHEMERIS_ENUM_MEMBER(march_equinox, SeasonEvent::MarchEquinox),
    EPHEMERIS_ENUM_MEMBER(june_solstice, SeasonEvent::JuneSolstice),
    EPHEMERIS_ENUM_MEMBER(september_equinox, SeasonEvent::SeptemberEquinox),
    EPHEMERIS_ENUM_MEMBER(december_solstice, SeasonEvent::DecemberSolstice),
    EPHEMERIS_ENUM_REDUCE(SeasonEvent),
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef lunation_event_methods[] = {
    EPHEMERIS_ENUM_MEMBER(new_moon, LunationEvent::NewMoon),
    EPHEMERIS_ENUM_MEMBER(full_moon, LunationEvent::FullMoon),
    EPHEMERIS_ENUM_REDUCE(LunationEvent),
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef horizon_event_kind_methods[] = {
    EPHEMERIS_ENUM_MEMBER(rise, HorizonEventKind::Rise),
    EPHEMERIS_ENUM_MEMBER(set, HorizonEventKind::Set),
    EPHEMERIS_ENUM_MEMBER(transit, HorizonEventKind::Transit),
    EPHEMERIS_ENUM_REDUCE(HorizonEventKind),
    {nullptr, nullptr, 0, nullptr},
};

#undef EPHEMERIS_ENUM_MEMBER
#undef EPHEMERIS_ENUM_REDUCE

template <class E>
PyResult<PyRef> create_enum_class(PyObject* module, const char* qualified_name, const char* doc,
                                  PyMethodDef* methods) {
  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(doc)},
      {Py_tp_new, reinterpret_cast<void*>(&enum_new<E>)},
      {Py_tp_dealloc, reinterpret_cast<void*>(&value_object_dealloc<E>)},
      {Py_tp_repr, reinterpret_cast<void*>(&value_repr<E, enum_text<E>>)},
      {Py_tp_methods, methods},
      {Py_tp_getset, enum_getset<E>},
      {0, nullptr},
  };
  PyType_Spec spec = {qualified_name, sizeof(PyValueObject<E>), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
                      slots};
  return create_class(module, spec);
}

}  // namespace

PyResult<PyRef> create_house_system_class(PyObject* module) {
  return create_enum_class<HouseSystem>(
      module, "ephemeris.HouseSystem",
      "HouseSystem(name)\n--\n\nHouse-division algorithm (Placidus, Campanus, Equal, Whole Sign).",
      house_system_methods);
}

PyResult<PyRef> create_sidereal_mode_class(PyObject* module) {
  return create_enum_class<SiderealMode>(
      module, "ephemeris.SiderealMode",
      "SiderealMode(name)\n--\n\nLahiri or Fagan\u2013Bradley ayanamsha applied to ecliptic of date.",
      sidereal_mode_methods);
}

PyResult<PyRef> create_season_event_class(PyObject* module) {
  return create_enum_class<SeasonEvent>(
      module, "ephemeris.SeasonEvent",
      "SeasonEvent(name)\n--\n\nEquinox or solstice (Sun apparent ecliptic longitude 0/90/180/270\u00b0).",
      season_event_methods);
}

PyResult<PyRef> create_lunation_event_class(PyObject* module) {
  return create_enum_class<LunationEvent>(
      module, "ephemeris.LunationEvent",
      "LunationEvent(name)\n--\n\nNew or full Moon (apparent geocentric elongation 0\u00b0/180\u00b0).",
      lunation_event_methods);
}

PyResult<PyRef> create_horizon_event_kind_class(PyObject* module) {
  return create_enum_class<HorizonEventKind>(
      module, "ephemeris.HorizonEventKind",
      "HorizonEventKind(name)\n--\n\nRise, set, or meridian transit of the Sun or Moon.", horizon_event_kind_methods);
}

PyResult<PyRef> new_house_system(HouseSystem system) { return new_member(system); }
PyResult<PyRef> new_sidereal_mode(SiderealMode mode) { return new_member(mode); }
PyResult<PyRef> new_season_event(SeasonEvent event) { return new_member(event); }
PyResult<PyRef> new_lunation_event(LunationEvent event) { return new_member(event); }
PyResult<PyRef> new_horizon_event_kind(HorizonEventKind kind) { return new_member(kind); }

}  // namespace ephemeris
