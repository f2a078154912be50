"""The module function house_cusps and the HouseCusps result."""

import enum
import math

import pytest

import ephemeris
from ephemeris import GeodeticObserver, HouseCusps, HouseSystem, Instant

LONDON = GeodeticObserver(-0.1, 51.5, 20)
UT1 = 2451545.0
TT = 2451545.0 + 64.0 / 86400.0

FIELDS = ["cusp_ecliptic_longitude_deg", "ascendant_deg", "midheaven_deg", "ramc_deg",
          "local_sidereal_time_deg", "true_obliquity_deg"]


def values(cusps: HouseCusps):
    return [getattr(cusps, name) for name in FIELDS] + [cusps.system.name]


class System(enum.Enum):
    placidus = 1


class Named:
    def __init__(self, name):
        self.name = name


@pytest.mark.parametrize("system", ["placidus", " PLACIDUS", HouseSystem.placidus(), HouseSystem("Placidus"),
                                    System.placidus, Named("Placidus")])
def test_name_arguments_and_day_forms_agree(system):
    reference = ephemeris.house_cusps(LONDON, UT1, TT, "placidus")
    assert values(ephemeris.house_cusps(LONDON, Instant.ut1(UT1), Instant.tt(TT), system)) == values(reference)
    # An Instant contributes only its day: its scale is not looked at.
    assert values(ephemeris.house_cusps(LONDON, Instant.tdb(UT1), Instant.utc(TT), system)) == values(reference)


def test_result_fields():
    cusps = ephemeris.house_cusps(LONDON, UT1, TT, "equal")
    assert type(cusps) is HouseCusps
    longitudes = cusps.cusp_ecliptic_longitude_deg
    assert type(longitudes) is list and len(longitudes) == 12
    assert all(type(value) is float and 0.0 <= value < 360.0 for value in longitudes)
    assert longitudes is not cusps.cusp_ecliptic_longitude_deg
    assert longitudes[0] == cusps.ascendant_deg
    assert math.isclose((longitudes[6] - longitudes[0]) % 360.0, 180.0, abs_tol=1e-9)
    assert cusps.ramc_deg == cusps.local_sidereal_time_deg
    assert 23.4 < cusps.true_obliquity_deg < 23.5
    assert type(cusps.system) is HouseSystem and cusps.system.name == "equal"
    assert cusps.system is not cusps.system
    assert repr(cusps) == (f'HouseCusps(system="equal", ascendant_deg={cusps.ascendant_deg!r}, '
                           f'midheaven_deg={cusps.midheaven_deg!r})')


# Swiss Ephemeris computes the same charts with its own sidereal time and the
# full IAU 2000A nutation; the two agree to about 2e-7 degrees. Passing the UT1
# and TT days the wrong way round would move every angle by about 0.27 degrees.
ORACLE_TOLERANCE_DEG = 1e-5


@pytest.mark.parametrize(("system", "code"), [("placidus", b"P"), ("campanus", b"C"), ("equal", b"E"),
                                             ("whole_sign", b"W")])
@pytest.mark.parametrize(("ut1", "latitude", "longitude"), [
    (2451545.0, 51.5, -0.1), (2460000.25, -33.9, 151.2), (2440000.75, 10.0, 250.0)])
def test_agrees_with_swiss_ephemeris(system, code, ut1, latitude, longitude):
    swe = pytest.importorskip("swisseph")
    tt = ut1 + swe.deltat(ut1)
    cusps = ephemeris.house_cusps(GeodeticObserver(longitude, latitude), ut1, tt, system)
    wanted_cusps, wanted_angles = swe.houses_ex(ut1, latitude, longitude, code)

    def difference(a, b):
        return abs((a - b + 180.0) % 360.0 - 180.0)

    worst = max(difference(a, b) for a, b in zip(cusps.cusp_ecliptic_longitude_deg, wanted_cusps))
    worst = max(worst, difference(cusps.ascendant_deg, wanted_angles[0]),
                difference(cusps.midheaven_deg, wanted_angles[1]), difference(cusps.ramc_deg, wanted_angles[2]))
    print(f"{system} at {ut1}: largest difference {worst:.3g} deg")
    assert worst < ORACLE_TOLERANCE_DEG


@pytest.mark.parametrize(("arguments", "message"), [
    ((LONDON, "x", TT, "equal"), "expected an Instant or a finite Julian day float"),
    ((LONDON, UT1, None, "equal"), "expected an Instant or a finite Julian day float"),
    ((LONDON, float("inf"), TT, "equal"), "Julian day must be finite"),
    ((LONDON, UT1, float("nan"), "equal"), "Julian day must be finite"),
    ((LONDON, 10**400, TT, "equal"), "expected an Instant or a finite Julian day float"),
    ((LONDON, UT1, b"2451545", "equal"), "expected an Instant or a finite Julian day float"),
    ((LONDON, UT1, TT, 3), "expected a name string or an ephemeris enum with a name attribute"),
    ((LONDON, UT1, TT, Named(3)), "expected a name string or an ephemeris enum with a name attribute"),
    ((LONDON, UT1, TT, object()), "expected a name string or an ephemeris enum with a name attribute"),
    ((LONDON, UT1, TT, "koch"), 'unknown house system "koch"'),
    ((LONDON, UT1, TT, Named("Koch")), 'unknown house system "koch"'),
    ((GeodeticObserver(0, 80), UT1, TT, "placidus"),
     "house cusps are undefined for this system at the requested latitude"),
    ((GeodeticObserver(0, 90), UT1, TT, "placidus"),
     "house cusps are undefined for this system at the requested latitude"),
    # Days are checked before the system name.
    ((LONDON, "x", TT, "koch"), "expected an Instant or a finite Julian day float"),
])
def test_failures(arguments, message):
    with pytest.raises(ValueError) as raised:
        ephemeris.house_cusps(*arguments)
    assert str(raised.value) == message


@pytest.mark.parametrize("system", ["campanus", "equal", "whole_sign"])
def test_other_systems_work_at_the_pole(system):
    cusps = ephemeris.house_cusps(GeodeticObserver(0, 90), UT1, TT, system)
    assert len(cusps.cusp_ecliptic_longitude_deg) == 12


def test_name_attribute_errors_other_than_ordinary_exceptions_propagate():
    class Interrupting:
        @property
        def name(self):
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        ephemeris.house_cusps(LONDON, UT1, TT, Interrupting())


def test_name_attribute_raising_an_exception_is_refused_like_a_missing_one():
    class Failing:
        @property
        def name(self):
            raise RuntimeError("no name")

    with pytest.raises(ValueError, match="^expected a name string or an ephemeris enum with a name attribute$"):
        ephemeris.house_cusps(LONDON, UT1, TT, Failing())


def test_works_on_any_thread_without_an_engine():
    import threading
    results = []
    thread = threading.Thread(target=lambda: results.append(ephemeris.house_cusps(LONDON, UT1, TT, "campanus")))
    thread.start()
    thread.join()
    assert values(results[0]) == values(ephemeris.house_cusps(LONDON, UT1, TT, "campanus"))


def test_numpy_days_are_converted():
    numpy = pytest.importorskip("numpy")
    reference = ephemeris.house_cusps(LONDON, UT1, TT, "equal")
    assert values(ephemeris.house_cusps(LONDON, numpy.float64(UT1), numpy.float64(TT), "equal")) == values(reference)
    with pytest.raises(ValueError, match="^Julian day must be finite$"):
        ephemeris.house_cusps(LONDON, numpy.float32("inf"), TT, "equal")
