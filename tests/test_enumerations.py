"""The five enumeration classes: construction by name, class methods, repr."""

import pytest

from ephemeris import HorizonEventKind, HouseSystem, LunationEvent, SeasonEvent, SiderealMode

MEMBERS = {
    HouseSystem: ["placidus", "campanus", "equal", "whole_sign"],
    SeasonEvent: ["march_equinox", "june_solstice", "september_equinox", "december_solstice"],
    LunationEvent: ["new_moon", "full_moon"],
    SiderealMode: ["lahiri", "fagan_bradley"],
    HorizonEventKind: ["rise", "set", "transit"],
}
CASES = [(cls, name) for cls, names in MEMBERS.items() for name in names]


@pytest.mark.parametrize(("cls", "name"), CASES)
def test_class_methods_and_constructor_agree(cls, name):
    member = getattr(cls, name)()
    assert type(member) is cls
    assert member.name == name
    assert repr(member) == f'{cls.__name__}("{name}")'
    built = cls(name.upper())
    assert built.name == name
    assert built is not member and built != member  # identity equality only


@pytest.mark.parametrize(("cls", "text", "name"), [
    (HouseSystem, " Whole-Sign ", "whole_sign"),
    (HouseSystem, "WHOLESIGN", "whole_sign"),
    (SeasonEvent, "Vernal_Equinox", "march_equinox"),
    (SeasonEvent, "autumnal_equinox", "september_equinox"),
    (SeasonEvent, "june-solstice", "june_solstice"),
    (SeasonEvent, "december-solstice", "december_solstice"),
    (LunationEvent, "NewMoon", "new_moon"),
    (LunationEvent, "full-moon", "full_moon"),
    (SiderealMode, "Fagan-Bradley", "fagan_bradley"),
    (SiderealMode, "faganbradley", "fagan_bradley"),
    (HorizonEventKind, "\u2003Transit\u2003", "transit"),
])
def test_aliases_map_to_the_canonical_name(cls, text, name):
    assert cls(text).name == name
    assert cls(name=text).name == name


@pytest.mark.parametrize(("cls", "text", "message"), [
    (HouseSystem, "koch", 'unknown house system "koch"'),
    (SeasonEvent, "vernal-equinox", 'unknown season event "vernal-equinox"'),
    (SeasonEvent, "autumnal-equinox", 'unknown season event "autumnal-equinox"'),
    (LunationEvent, " Half Moon ", 'unknown lunation event "half moon"'),
    (SiderealMode, "RAMAN", 'unknown sidereal mode "raman"'),
    (HorizonEventKind, "sunrise", 'unknown horizon event "sunrise"'),
    (HorizonEventKind, "Ris\u00c9", 'unknown horizon event "ris\u00c9"'),
])
def test_unknown_names(cls, text, message):
    with pytest.raises(ValueError) as raised:
        cls(text)
    assert str(raised.value) == message


@pytest.mark.parametrize("cls", list(MEMBERS))
def test_name_must_be_a_str(cls):
    with pytest.raises(TypeError, match="^argument 'name': must be str, not int$"):
        cls(3)


def test_name_is_read_only():
    with pytest.raises(AttributeError):
        HouseSystem.placidus().name = "equal"
