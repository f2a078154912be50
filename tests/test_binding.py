"""Argument binding and conversion of every function and method: the
interpreter-style TypeError texts, the order of the checks, and the values
each kind of parameter accepts."""

import collections.abc
import enum
import fractions
import inspect
import pathlib
import sys

import numpy as np
import pytest

import ephemeris
from ephemeris import GeodeticObserver, HouseSystem, Instant, PositionOptions

J2000 = Instant.tt(2451545.0)
SITE = GeodeticObserver(-0.1, 51.5, 20.0)
GEO = ephemeris.geometric()
NAME_EXPECTED = "expected a name string or an ephemeris enum with a name attribute"
DAY_EXPECTED = "expected an Instant or a finite Julian day float"


class Named:
    """Any object with a `name` attribute, as the name arguments accept."""

    def __init__(self, name):
        self.name = name


class Season(enum.Enum):
    March_Equinox = 1


TYPE_ERRORS = [
    (lambda e: Instant(), "Instant() missing 1 required positional argument: 'julian_day'"),
    (lambda e: PositionOptions(), "PositionOptions() missing 2 required positional arguments: 'origin' and "
                                  "'coordinate_system'"),
    (lambda e: ephemeris.house_cusps(), "house_cusps() missing 4 required positional arguments: 'observer', "
                                        "'ut1', 'tt', and 'system'"),
    (lambda e: ephemeris.house_cusps(SITE, ut1=1, system="equal"),
     "house_cusps() missing 1 required positional argument: 'tt'"),
    (lambda e: ephemeris.open("x"), "open() missing 1 required positional argument: 'sha256'"),
    (lambda e: e.with_time_kernels("a", "b"), "Engine.with_time_kernels() missing 2 required positional "
                                              "arguments: 'eop' and 'eop_sha256'"),
    (lambda e: Instant(1, "tt", 3), "Instant() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda e: Instant.tdb(1, 2), "Instant.tdb() takes 1 positional argument but 2 were given"),
    (lambda e: HouseSystem.placidus(1), "HouseSystem.placidus() takes 0 positional arguments but 1 was given"),
    (lambda e: e.next_horizon_event("sun", SITE, J2000, "rise", 0.0, 1),
     "Engine.next_horizon_event() takes 5 positional arguments but 6 were given"),
    (lambda e: Instant(1, "tt", 3, bogus=1), "Instant() got an unexpected keyword argument 'bogus'"),
    (lambda e: Instant(1, julian_day=2), "Instant() got multiple values for argument 'julian_day'"),
    (lambda e: GeodeticObserver(1, 2, latitude_deg=3),
     "GeodeticObserver() got multiple values for argument 'latitude_deg'"),
    (lambda e: e.next_lunation(J2000, after=J2000, kind="new_moon"),
     "Engine.next_lunation() got multiple values for argument 'after'"),
    # Conversions name the parameter; types are checked in parameter order,
    # before any name is read and before the engine is looked at.
    (lambda e: Instant("2451545"), "argument 'julian_day': must be real number, not str"),
    (lambda e: Instant(1, b"tt"), "argument 'time_scale': must be str, not bytes"),
    (lambda e: GeodeticObserver(0, 0, None), "argument 'height_m': must be real number, not NoneType"),
    (lambda e: PositionOptions("geocentric", "ecliptic", apparent=1), "argument 'apparent': must be bool, not int"),
    (lambda e: PositionOptions("nowhere", "ecliptic", nutation=None),
     "argument 'nutation': must be bool, not NoneType"),
    (lambda e: ephemeris.apparent("topocentric", observer=(0, 0)),
     "argument 'observer': must be GeodeticObserver, not tuple"),
    (lambda e: ephemeris.geometric(origin=1), "argument 'origin': must be str, not int"),
    (lambda e: ephemeris.house_cusps("site", 1, 1, "equal"), "argument 'observer': must be GeodeticObserver, not str"),
    (lambda e: ephemeris.SeasonEvent(3), "argument 'name': must be str, not int"),
    (lambda e: ephemeris.Engine(pathlib.Path("x"), "y"), "argument 'path': must be str, not PosixPath"),
    (lambda e: ephemeris.open("/nonexistent", b"ab"), "argument 'sha256': must be str, not bytes"),
    (lambda e: ephemeris.Engine("/nonexistent", "ab", eop_sha256=1), "argument 'eop_sha256': must be str or None, "
                                                                     "not int"),
    (lambda e: e.with_leap_second_kernel("/nonexistent", None), "argument 'sha256': must be str, not NoneType"),
    (lambda e: e.position(HouseSystem.equal(), J2000, GEO), "argument 'body': must be str, not HouseSystem"),
    (lambda e: e.position("vulcan", 2451545.0, GEO), "argument 'instant': must be Instant, not float"),
    (lambda e: e.position("sun", J2000, None), "argument 'options': must be PositionOptions, not NoneType"),
    (lambda e: e.sidereal_position("vulcan", J2000, "apparent", "bogus"),
     "argument 'options': must be PositionOptions, not str"),
    (lambda e: e.next_lunation(2451545.0, "bogus"), "argument 'after': must be Instant, not float"),
    (lambda e: e.next_season_event(None, "march_equinox"), "argument 'after': must be Instant, not NoneType"),
    (lambda e: e.rise_set_transit(Named("sun"), SITE, J2000, 0.0), "argument 'body': must be str, not Named"),
    (lambda e: e.rise_set_transit("sun", (0, 51.5), J2000, 0.0),
     "argument 'observer': must be GeodeticObserver, not tuple"),
    (lambda e: e.rise_set_transit("sun", SITE, 2451545.0, 0.0), "argument 'around': must be Instant, not float"),
    (lambda e: e.rise_set_transit("vulcan", SITE, J2000, "0"), "argument 'altitude_deg': must be real number, not str"),
    (lambda e: e.next_horizon_event("vulcan", SITE, J2000, 3, None),
     "argument 'altitude_deg': must be real number, not NoneType"),
    (lambda e: e.positions("sun", [J2000], GEO), "Can't extract `str` to `Vec`"),
    (lambda e: e.positions(["sun"], "2451545", GEO), "Can't extract `str` to `Vec`"),
    (lambda e: e.positions({"sun"}, [J2000], GEO), "argument 'bodies': must be a sequence, not set"),
    (lambda e: e.positions(["sun"], iter([J2000]), GEO), "argument 'instants': must be a sequence, not list_iterator"),
    (lambda e: e.positions(["sun", 3], [J2000], GEO), "argument 'bodies': element 1 must be str, not int"),
    (lambda e: e.positions(["vulcan"], [J2000, 1.0], GEO), "argument 'instants': element 1 must be Instant, not float"),
    (lambda e: e.positions(["sun"], [J2000], "geometric"), "argument 'options': must be PositionOptions, not str"),
]


@pytest.mark.parametrize(("call", "message"), TYPE_ERRORS)
def test_type_errors(full_engine, call, message):
    with pytest.raises(TypeError) as raised:
        call(full_engine)
    assert str(raised.value) == message


def every_callable(engine):
    """(qualified name, callable) of every class, class method, method and module function."""
    for name in ephemeris.__all__:
        value = getattr(ephemeris, name)
        if inspect.isbuiltin(value):
            yield name, value
        elif isinstance(value, type):
            if value.__text_signature__ is not None:
                yield name, value
            owner = {ephemeris.Engine: engine, ephemeris.KernelMetadata: engine.kernel_metadata}.get(value, value)
            for member in vars(value):
                if not member.startswith("_") and inspect.isbuiltin(getattr(owner, member)):
                    yield f"{name}.{member}", getattr(owner, member)


def test_every_callable_refuses_unknown_keywords_and_surplus_arguments(full_engine):
    names = []
    for name, function in every_callable(full_engine):
        names.append(name)
        with pytest.raises(TypeError) as raised:
            function(bogus=1)
        assert str(raised.value) == f"{name}() got an unexpected keyword argument 'bogus'"
        with pytest.raises(TypeError) as raised:
            function(*range(20))
        assert str(raised.value).startswith(f"{name}() takes ") and str(raised.value).endswith(" 20 were given")
    assert len(names) == 51 and {"Engine.convert", "Instant.from_datetime", "Engine.altaz_jd", "KernelMetadata.as_dict",
                                 "Engine.earth_orientation_at"} <= set(names)


VALUE_ERRORS = [
    (lambda e: Instant(float("nan"), "bogus"), "Julian day must be finite"),
    (lambda e: Instant.ut1(float("inf")), "Julian day must be finite"),
    (lambda e: Instant(1, " TAI "), 'unknown time scale "tai"'),
    (lambda e: GeodeticObserver(0, 90.5), "geodetic latitude must be finite and within [-90, 90] degrees"),
    (lambda e: PositionOptions("nowhere", "galactic", "b1950"), 'unknown origin "nowhere"'),
    (lambda e: PositionOptions("geocentric", "galactic", "b1950"), 'unknown coordinate system "galactic"'),
    (lambda e: PositionOptions("geocentric", "ecliptic", "b1950"), 'unknown reference epoch "b1950"'),
    (lambda e: ephemeris.apparent("topocentric"), 'origin "topocentric" requires a GeodeticObserver'),
    (lambda e: ephemeris.geometric(observer=SITE), 'observer is only valid with origin "topocentric"'),
    (lambda e: ephemeris.LunationEvent(" Half Moon "), 'unknown lunation event "half moon"'),
    (lambda e: ephemeris.house_cusps(SITE, "x", 1.0, "koch"), DAY_EXPECTED),
    (lambda e: ephemeris.house_cusps(SITE, 10**400, 1.0, "equal"), DAY_EXPECTED),
    (lambda e: ephemeris.house_cusps(SITE, np.float32("inf"), 1.0, "equal"), "Julian day must be finite"),
    (lambda e: ephemeris.house_cusps(SITE, 1.0, 1.0, Named(3)), NAME_EXPECTED),
    (lambda e: ephemeris.house_cusps(GeodeticObserver(0, 80), 2451545.0, 2451545.0, "placidus"),
     "house cusps are undefined for this system at the requested latitude"),
    (lambda e: e.next_lunation(J2000, 3), NAME_EXPECTED),
    (lambda e: e.next_season_event(J2000, ["march_equinox"]), NAME_EXPECTED),
    (lambda e: e.next_season_event(J2000, ephemeris.HorizonEventKind.rise()), 'unknown season event "rise"'),
    (lambda e: e.sidereal_position("sun", J2000, GEO, Named(b"lahiri")), NAME_EXPECTED),
    (lambda e: e.next_horizon_event("sun", SITE, J2000, object(), 0.0), NAME_EXPECTED),
    # The body is read before the kind or mode, and the first unknown body of a batch is reported.
    (lambda e: e.sidereal_position("Vulcan ", J2000, GEO, 3), 'unknown body "vulcan"'),
    (lambda e: e.next_horizon_event("vulcan", SITE, J2000, "sunrise", 0.0), 'unknown body "vulcan"'),
    (lambda e: e.positions(["sun", "vulcan", "bogus"], [J2000], GEO), 'unknown body "vulcan"'),
    # Engine failures become ValueError with the engine's text.
    (lambda e: e.position("sun", Instant(2400000.0), GEO),
     "Julian day 2400000 is outside kernel range 2414864.5..2471184.5 Tdb"),
    (lambda e: e.positions(["sun"], [J2000, Instant(2471185.0)], GEO),
     "Julian day 2471185 is outside kernel range 2414864.5..2471184.5 Tdb"),
    (lambda e: e.sidereal_position("sun", J2000, GEO, "lahiri"), "sidereal longitudes require ecliptic of date"),
    (lambda e: e.next_season_event(Instant.tt(2400000.0), "march_equinox"),
     "Julian day 2400000 is outside kernel range 2414864.5..2471184.5 Tdb"),
    (lambda e: e.next_lunation(Instant.tdb(2500000.0), "full_moon"),
     "Julian day 2500000 is outside kernel range 2414864.5..2471184.5 Tdb"),
    (lambda e: e.rise_set_transit("mars", SITE, J2000, 0.0), "unsupported body: Mars"),
    (lambda e: e.next_horizon_event("Jupiter Barycenter", SITE, J2000, "rise", 0.0),
     "unsupported body: Jupiter Barycenter"),
    # A finite TDB day whose seconds overflow is out of range (with the leap-second kernel too), and a large number
    # prints its shortest digits padded with zeros.
    (lambda e: e.position("sun", Instant.tdb(1e306), GEO),
     f"Julian day 1{'0' * 306} is outside kernel range 2414864.5..2471184.5 Tdb"),
    (lambda e: e.next_horizon_event("sun", GeodeticObserver(15.6, 78.2), Instant.utc(2459022.0), "rise", 0.0),
     "no Rise of Sun within 3 days after the query instant"),
]


@pytest.mark.parametrize(("call", "message"), VALUE_ERRORS)
def test_value_errors(full_engine, call, message):
    with pytest.raises(ValueError) as raised:
        call(full_engine)
    assert raised.value.args == (message,)


class FloatLike:
    def __float__(self):
        return 2451545.25


class IndexLike:
    def __index__(self):
        return 2451546


@pytest.mark.parametrize(("value", "day"), [(2451545, 2451545.0), (True, 1.0), (fractions.Fraction(1, 4), 0.25),
                                            (FloatLike(), 2451545.25), (IndexLike(), 2451546.0),
                                            (np.float32(0.5), 0.5)])
def test_real_number_parameters_accept_what_the_interpreter_converts(value, day):
    assert Instant(value).julian_day == day
    assert ephemeris.house_cusps(SITE, value, 2451545.0, "equal").ramc_deg == \
        ephemeris.house_cusps(SITE, day, 2451545.0, "equal").ramc_deg


def test_other_text_and_flag_forms():
    class Text(str):
        pass

    assert Instant(1, Text(" TT ")).time_scale == "tt"
    options = PositionOptions("geocentric", "ecliptic", apparent=np.bool_(True), true_ecliptic=np.bool_(False))
    assert (options.apparent, options.true_ecliptic) == (True, False)
    with pytest.raises(UnicodeEncodeError):
        Instant(1, "t\ud800t")


def test_errors_other_than_type_errors_pass_through():
    class Broken:
        def __float__(self):
            raise ZeroDivisionError("boom")

    class Raising:
        def __init__(self, error):
            self.error = error

        @property
        def name(self):
            raise self.error

    with pytest.raises(ZeroDivisionError, match="boom"):
        Instant(Broken())
    with pytest.raises(KeyboardInterrupt):
        ephemeris.house_cusps(SITE, 1.0, 1.0, Raising(KeyboardInterrupt))
    with pytest.raises(ValueError, match=f"^{NAME_EXPECTED}$"):  # an ordinary exception is refused like no name
        ephemeris.house_cusps(SITE, 1.0, 1.0, Raising(RuntimeError))


def test_every_parameter_can_be_given_by_keyword(full_engine):
    cusps = ephemeris.house_cusps(system="equal", tt=2451545.0, ut1=2451545.5, observer=SITE)
    assert cusps.ramc_deg == ephemeris.house_cusps(SITE, 2451545.5, 2451545.0, "equal").ramc_deg
    by_keyword = full_engine.next_horizon_event(altitude_deg=-1, kind="set", after=J2000, observer=SITE, body="sun")
    assert by_keyword.ut1_julian_day == full_engine.next_horizon_event("sun", SITE, J2000, "set", -1).ut1_julian_day


def test_name_arguments_take_text_or_a_name_attribute(full_engine):
    wanted = ephemeris.house_cusps(SITE, 2451545.0, 2451545.001, "placidus").cusp_ecliptic_longitude_deg
    for system in [" PLACIDUS", HouseSystem.placidus(), Named("Placidus")]:  # and an Instant gives its day only
        got = ephemeris.house_cusps(SITE, Instant.tdb(2451545.0), Instant.utc(2451545.001), system)
        assert got.cusp_ecliptic_longitude_deg == wanted
    assert full_engine.next_season_event(J2000, Season.March_Equinox).julian_day == \
        full_engine.next_season_event(J2000, "vernal_equinox").julian_day


@pytest.mark.parametrize(("bodies", "instants"), [
    (("sun", "moon"), (J2000, Instant(2451546.0))),
    (np.array(["sun", "moon"]), np.array([J2000, Instant(2451546.0)], dtype=object)),
])
def test_batches_take_any_sequence(full_engine, bodies, instants):
    class Registered:  # a sequence known only through collections.abc registration
        def __init__(self, items):
            self.items = list(items)

        def __len__(self):
            return len(self.items)

        def __iter__(self):
            return iter(self.items)

    collections.abc.Sequence.register(Registered)
    wanted = full_engine.positions(["sun", "moon"], [J2000, Instant(2451546.0)], GEO)
    assert np.array_equal(full_engine.positions(bodies, instants, GEO), wanted)
    assert np.array_equal(full_engine.positions(Registered(bodies), Registered(instants), GEO), wanted)


@pytest.mark.parametrize("cls, state, error, message", [
    (ephemeris.Instant, (1.0, "tt"), TypeError, "^_restore\\(\\) argument 'cls' must be a result, snapshot or"),
    (ephemeris.Position, [1.0, 2.0, 3.0, 4.0], TypeError, "^_restore\\(\\) argument 'state' must be a tuple$"),
    (ephemeris.Position, (1.0, 2.0, 3.0), TypeError, "takes exactly 4 arguments"),
    (ephemeris.HorizonEvent, ("noon", 1.0), ValueError, '^unknown horizon event "noon"$'),
    (ephemeris.RiseSetTransit, (1.0, "x", None), TypeError, "^argument 'state': must be real number, not str$"),
    (ephemeris.DateRange, (1.0, 2.0, "tai"), ValueError, '^unknown time scale "tai"$'),
    (ephemeris.EarthOrientationMetadata, ("a", "b", "c05", 1.0, 2.0, None), ValueError, "unknown Earth orientation"),
    (ephemeris.KernelMetadata, ("0.1.0", "a", "b", "c", [("x",)]), TypeError, "takes exactly 2 arguments"),
    (ephemeris.Engine, ("/nonexistent.bsp", "ab" * 32, None, None, None, None, ()), ValueError,
     "^failed to read SPK kernel: No such file or directory"),
])
def test_restoring_a_pickled_value_checks_its_state(cls, state, error, message):
    with pytest.raises(error, match=message):
        ephemeris._restore(cls, state)


def test_body_names_are_read_alike_interned_built_or_subclassed(full_engine):
    class Text(str):
        pass

    def fields(body):
        try:
            p = full_engine.position(body, J2000, ephemeris.geometric("barycentric"))
        except ValueError as error:  # planets that DE421 holds only as their system barycentre
            return str(error)
        return (p.longitude_deg, p.latitude_deg, p.distance_au, p.longitude_speed_deg_per_day)

    for name in ephemeris.BODY_NAMES:  # interned names are found by identity, the others parsed
        assert fields(sys.intern(name)) == fields("".join(list(name))) == fields(Text(name)), name
