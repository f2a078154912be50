"""Argument binding: the interpreter-style TypeError texts every call shares."""

import fractions
import inspect

import pytest

import ephemeris
from ephemeris import GeodeticObserver, Instant, PositionOptions


@pytest.mark.parametrize(("call", "message"), [
    (lambda: Instant(), "Instant() missing 1 required positional argument: 'julian_day'"),
    (lambda: PositionOptions(), "PositionOptions() missing 2 required positional arguments: 'origin' and "
                                "'coordinate_system'"),
    (lambda: ephemeris.house_cusps(), "house_cusps() missing 4 required positional arguments: 'observer', "
                                      "'ut1', 'tt', and 'system'"),
    (lambda: ephemeris.house_cusps(GeodeticObserver(0, 0), ut1=1, system="equal"),
     "house_cusps() missing 1 required positional argument: 'tt'"),
    (lambda: Instant.tt(), "Instant.tt() missing 1 required positional argument: 'julian_day'"),
])
def test_missing_arguments(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


@pytest.mark.parametrize(("call", "message"), [
    (lambda: Instant(1, "tt", 3), "Instant() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: Instant.tdb(1, 2), "Instant.tdb() takes 1 positional argument but 2 were given"),
    (lambda: ephemeris.HouseSystem.placidus(1), "HouseSystem.placidus() takes 0 positional arguments but 1 was given"),
    (lambda: ephemeris.SiderealMode.fagan_bradley(mode=1), "SiderealMode.fagan_bradley() got an unexpected keyword argument 'mode'"),
    (lambda: ephemeris.geometric("a", "b", None, 4),
     "geometric() takes from 0 to 3 positional arguments but 4 were given"),
])
def test_surplus_positional_arguments(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


@pytest.mark.parametrize(("call", "message"), [
    (lambda: Instant(1, scale="tt"), "Instant() got an unexpected keyword argument 'scale'"),
    (lambda: Instant.ut1(jd=1), "Instant.ut1() got an unexpected keyword argument 'jd'"),
    (lambda: ephemeris.apparent(origin="geocentric", frame="x"),
     "apparent() got an unexpected keyword argument 'frame'"),
    (lambda: ephemeris.SeasonEvent(label="x"), "SeasonEvent() got an unexpected keyword argument 'label'"),
])
def test_unknown_keyword_arguments(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


@pytest.mark.parametrize(("call", "message"), [
    (lambda: Instant(1, julian_day=2), "Instant() got multiple values for argument 'julian_day'"),
    (lambda: GeodeticObserver(1, 2, latitude_deg=3),
     "GeodeticObserver() got multiple values for argument 'latitude_deg'"),
    (lambda: ephemeris.geometric("geocentric", origin="geocentric"),
     "geometric() got multiple values for argument 'origin'"),
])
def test_duplicate_arguments(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


def test_keyword_errors_come_before_arity_errors():
    with pytest.raises(TypeError, match="unexpected keyword argument 'bogus'"):
        Instant(1, "tt", 3, bogus=1)


def test_every_parameter_can_be_given_by_keyword():
    instant = Instant(time_scale="tt", julian_day=2451545)
    assert (instant.julian_day, instant.time_scale) == (2451545.0, "tt")
    observer = GeodeticObserver(height_m=5, latitude_deg=1, longitude_east_deg=2)
    assert (observer.longitude_east_deg, observer.latitude_deg, observer.height_m) == (2.0, 1.0, 5.0)
    cusps = ephemeris.house_cusps(system="equal", tt=2451545.0, ut1=2451545.0, observer=observer)
    assert cusps.system.name == "equal"


class FloatLike:
    def __float__(self):
        return 2451545.25


class IndexLike:
    def __index__(self):
        return 2451546


@pytest.mark.parametrize("value", [2451545.25, 2451545, True, fractions.Fraction(1, 4), FloatLike(), IndexLike()])
def test_float_parameters_accept_what_the_interpreter_converts(value):
    assert Instant(value).julian_day == float(value.__index__() if isinstance(value, IndexLike) else value)


@pytest.mark.parametrize(("call", "message"), [
    (lambda: Instant("2451545"), "argument 'julian_day': must be real number, not str"),
    (lambda: Instant(None), "argument 'julian_day': must be real number, not NoneType"),
    (lambda: Instant(1, 3), "argument 'time_scale': must be str, not int"),
    (lambda: Instant(1, b"tt"), "argument 'time_scale': must be str, not bytes"),
    (lambda: Instant.tt([1]), "argument 'julian_day': must be real number, not list"),
    (lambda: GeodeticObserver(0, 0, "0"), "argument 'height_m': must be real number, not str"),
    (lambda: PositionOptions("geocentric", "ecliptic", apparent=1), "argument 'apparent': must be bool, not int"),
    (lambda: PositionOptions("geocentric", "ecliptic", nutation=None),
     "argument 'nutation': must be bool, not NoneType"),
    (lambda: PositionOptions("topocentric", "ecliptic", observer=(0, 0)),
     "argument 'observer': must be GeodeticObserver, not tuple"),
    (lambda: ephemeris.geometric(origin=1), "argument 'origin': must be str, not int"),
    (lambda: ephemeris.house_cusps("observer", 1, 1, "equal"),
     "argument 'observer': must be GeodeticObserver, not str"),
])
def test_conversion_failures_name_the_parameter(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


def test_a_float_conversion_that_raises_something_else_is_not_rewritten():
    class Broken:
        def __float__(self):
            raise ZeroDivisionError("boom")

    with pytest.raises(ZeroDivisionError, match="boom"):
        Instant(Broken())


def test_numpy_booleans_are_accepted_as_bools():
    numpy = pytest.importorskip("numpy")
    options = PositionOptions("geocentric", "ecliptic", apparent=numpy.bool_(True),
                              true_ecliptic=numpy.bool_(False))
    assert options.apparent is True
    assert options.true_ecliptic is False


def test_str_subclasses_are_accepted_as_text():
    class Name(str):
        pass

    assert Instant(1, Name(" TT ")).time_scale == "tt"


CONSTRUCTIBLE = ["Instant", "GeodeticObserver", "HouseSystem", "HorizonEventKind", "SeasonEvent",
                 "LunationEvent", "SiderealMode", "PositionOptions"]


def every_callable():
    """Constructors, class methods and module functions of the module."""
    for name in CONSTRUCTIBLE:
        cls = getattr(ephemeris, name)
        yield name, cls
        for member_name in vars(cls):
            member = getattr(cls, member_name)
            if not member_name.startswith("_") and inspect.isbuiltin(member):
                yield f"{name}.{member_name}", member
    for name in ephemeris.__all__:
        value = getattr(ephemeris, name)
        if inspect.isbuiltin(value):
            yield name, value


CALLABLES = list(every_callable())


@pytest.mark.parametrize(("name", "function"), CALLABLES, ids=[name for name, _ in CALLABLES])
def test_every_callable_refuses_unknown_keywords_and_surplus_arguments(name, function):
    with pytest.raises(TypeError) as raised:
        function(bogus=1)
    assert "unexpected keyword argument 'bogus'" in str(raised.value)
    with pytest.raises(TypeError) as raised:
        function(*range(20))
    assert "positional argument" in str(raised.value) and "20 were given" in str(raised.value)
