"""Engine.positions_jd, altaz and altaz_jd end to end: Julian-day arrays give
the numbers and errors of the same calls with Instant objects, the forms a
`julian_days` argument takes, the order of the argument checks, and altitude
and azimuth against Skyfield's altaz(), with and without refraction."""

import array
import math

import numpy as np
import pytest

import ephemeris
import oracles
from ephemeris import GeodeticObserver, Instant

NAN = float("nan")
J2000 = Instant.tt(2451545.0)
SITE = GeodeticObserver(-0.1, 51.5, 20.0)
GEO = ephemeris.geometric()
# UT1 Julian days inside the C04 table, 1980 to 2026.
DAYS = np.linspace(2444240.25, 2461300.0, 9)
# (east longitude deg, latitude deg, height m): London, Sydney, the Atacama,
# Tromso, Longyearbyen, and half a degree from the pole.
SITES = [(-0.1, 51.5, 20.0), (151.2, -33.9, 50.0), (-70.4, -24.6, 2635.0), (18.9, 69.6, 10.0),
         (15.6, 78.2, 0.0), (10.0, 89.5, 0.0)]


def outcome(call):
    """The result of a call, or the type and text of what it raised."""
    try:
        return call()
    except (TypeError, ValueError) as error:
        return type(error), str(error)


def same(a, b):
    return np.array_equal(a, b) if isinstance(a, np.ndarray) and isinstance(b, np.ndarray) else a == b


@pytest.mark.parametrize(("scale", "days"), [
    ("tt", DAYS), ("tdb", DAYS[::2]), ("utc", list(DAYS)), ("ut1", array.array("d", DAYS)),
    ("tt", DAYS.astype(np.float32)), ("tt", DAYS.astype(">f8")), ("tt", tuple(DAYS.astype(np.int64))),
    ("tt", memoryview(DAYS)), ("tt", [2400000.0, *DAYS]), ("utc", [*DAYS[:7], 2471185.0]), ("tt", [])])
def test_positions_jd_is_positions_with_instants(full_engine, engine, scale, days):
    """Bit for bit, and the same error for the same first bad input, whatever
    the engine can or cannot convert (a bare engine has no UTC or UT1)."""
    site = GeodeticObserver(-70.4, -24.6, 2635.0)
    for each in (full_engine, engine):
        instants = [Instant(day, scale) for day in days]
        for bodies, options in [(["sun", "moon", "mars"], GEO), (["moon", "earth"], ephemeris.apparent()),
                                (["venus", "earth"], ephemeris.apparent("topocentric", "equatorial", site)),
                                (["mars"], ephemeris.PositionOptions("geocentric", "ecliptic", apparent=True))]:
            got = outcome(lambda: each.positions_jd(bodies, days, scale, options))
            assert same(got, outcome(lambda: each.positions(bodies, instants, options))), (scale, bodies, got)


def test_julian_days_are_checked_like_instants(full_engine, closed_engine):
    """A day the Instant class would refuse is refused with its text, after
    the bodies' names and before the time scale's, and even on a closed engine."""
    with pytest.raises(ValueError) as wanted:
        Instant(NAN, "bogus")
    for days in ([*DAYS[:7], NAN, -math.inf], np.array([2451545.0, math.inf])):
        for call in (lambda: full_engine.positions_jd(["sun"], days, "bogus", GEO),
                     lambda: closed_engine.altaz_jd("sun", SITE, days, "bogus", 10.0)):
            assert outcome(call) == (ValueError, str(wanted.value))
    assert outcome(lambda: closed_engine.positions_jd(["sun"], DAYS, "tt", GEO)) == (ValueError, "engine is closed")


TYPE_ERRORS = [
    (lambda e: e.positions_jd("sun", DAYS, "tt", GEO), "Can't extract `str` to `Vec`"),
    (lambda e: e.positions_jd(["sun"], "2451545", "tt", GEO), "Can't extract `str` to `Vec`"),
    (lambda e: e.positions_jd([3], np.zeros((2, 2)), 1, None), "argument 'bodies': element 0 must be str, not int"),
    (lambda e: e.positions_jd(["vulcan"], np.zeros((2, 2)), 1, None),
     "argument 'julian_days': must be one-dimensional, not 2-dimensional"),
    (lambda e: e.altaz_jd("vulcan", SITE, np.float64(1.0), "tt"),
     "argument 'julian_days': must be one-dimensional, not 0-dimensional"),
    (lambda e: e.positions_jd(["vulcan"], {1.0}, 1, None), "argument 'julian_days': must be a sequence, not set"),
    (lambda e: e.positions_jd(["vulcan"], [NAN, "2451545"], 1, None),
     "argument 'julian_days': element 1 must be real number, not str"),
    (lambda e: e.altaz_jd("vulcan", SITE, np.array(["2000-01-01"], dtype="datetime64[D]"), "tt"),
     "argument 'julian_days': element 0 must be real number, not datetime64"),
    (lambda e: e.positions_jd(["vulcan"], [NAN], 1, None), "argument 'time_scale': must be str, not int"),
    (lambda e: e.positions_jd(["vulcan"], [NAN], "bogus", None),
     "argument 'options': must be PositionOptions, not NoneType"),
    (lambda e: e.altaz(), "Engine.altaz() missing 3 required positional arguments: 'body', 'observer', and 'instant'"),
    (lambda e: e.altaz("vulcan", (0, 51.5), J2000), "argument 'observer': must be GeodeticObserver, not tuple"),
    (lambda e: e.altaz("vulcan", SITE, 2451545.0), "argument 'instant': must be Instant, not float"),
    (lambda e: e.altaz("vulcan", SITE, J2000, "10", 1010), "argument 'temperature_c': must be real number, not str"),
    (lambda e: e.altaz_jd("vulcan", SITE, [NAN], "bogus", 10, b"1010"),
     "argument 'pressure_mbar': must be real number, not bytes"),
]

VALUE_ERRORS = [
    (lambda e: e.positions_jd(["vulcan"], [NAN], "bogus", GEO), 'unknown body "vulcan"'),
    (lambda e: e.positions_jd(["sun"], [2451545.0], " TAI ", GEO), 'unknown time scale "tai"'),
    (lambda e: e.altaz("vulcan", SITE, J2000, 10.0), 'unknown body "vulcan"'),
    (lambda e: e.altaz("sun", SITE, J2000, 10.0), "temperature_c and pressure_mbar must be supplied together"),
    (lambda e: e.altaz_jd("sun", SITE, DAYS, "bogus", pressure_mbar=1010), 'unknown time scale "bogus"'),
    (lambda e: e.altaz_jd("sun", SITE, DAYS, "tt", pressure_mbar=1010),
     "temperature_c and pressure_mbar must be supplied together"),
    (lambda e: e.altaz("sun", SITE, Instant(2400000.0), 60.5, 1010),
     "air temperature must be finite and within [-100, 60] degrees Celsius"),
    (lambda e: e.altaz_jd("sun", SITE, [2400000.0], "tt"),
     "Julian day 2400000 is outside kernel range 2414864.5..2471184.5 Tdb"),
]


@pytest.mark.parametrize(("call", "message"), TYPE_ERRORS + VALUE_ERRORS)
def test_argument_errors_in_order(full_engine, call, message):
    assert outcome(lambda: call(full_engine)) == (TypeError if (call, message) in TYPE_ERRORS else ValueError,
                                                  message)


def low_sun_days(engine, site):
    """UT1 Julian days from four minutes before sunrise to an hour after, and a year of the DAYS."""
    rise = engine.rise_set_transit("sun", GeodeticObserver(*site), Instant.ut1(2460393.5), -0.8333).rise_ut1_julian_day
    return np.concatenate([DAYS, rise + np.array([-4.0, 0.0, 2.0, 4.0, 10.0, 60.0]) / 1440.0]) if rise else DAYS


def test_altaz_agrees_with_skyfield(full_engine, skyfield):
    """Skyfield's altaz() with the same UT1 and polar motion from the same C04
    table. Unrefracted, directions agree to 1 mas: what remains is IAU 2000A
    against 2000B nutation, relativistic against first-order aberration and
    Skyfield's deflection by the Earth, Jupiter and Saturn (about 0.9 mas
    measured; polar motion alone would be up to 0.5"). Both refract by
    Bennett's formula scaled by 0.28 P / (T + 273): the engine's apparent
    altitude less Skyfield's refraction() at it is Skyfield's unrefracted
    altitude to 1 mas; Skyfield's refracted altitude itself stops iterating
    at a step under 3e-5 degrees (108 mas), whose remaining error is below
    0.31 / 0.69 of it with the formula's slope of at most 0.31 for these
    conditions: 50 mas (about 30 measured)."""
    from skyfield.earthlib import refraction
    worst = worst_refraction = worst_iteration = 0.0
    for site in SITES:
        days = low_sun_days(full_engine, site)
        for body in ["sun", "moon", "mercury", "venus", "mars"]:
            alt, az, distance = skyfield.altaz(body, site, days)
            got = full_engine.altaz_jd(body, GeodeticObserver(*site), days, "ut1")
            single = full_engine.altaz(body, GeodeticObserver(*site), Instant.ut1(days[-1]))
            assert list(got[-1]) == [single.altitude_deg, single.azimuth_deg, single.distance_au]
            for row, a, z in zip(got, alt, az):
                worst = max(worst, oracles.angle_mas(oracles.cartesian_km(row[1], row[0], 1.0),
                                                     oracles.cartesian_km(z, a, 1.0)))
            assert np.all(abs(got[:, 2] - distance) < 1e-9)
            for temperature, pressure in [(10.0, 1010.0), (-20.0, 1040.0), (30.0, 800.0)]:
                refracted = full_engine.altaz_jd(body, GeodeticObserver(*site), days, "ut1", temperature, pressure)
                assert np.array_equal(refracted[:, 1:], got[:, 1:])
                up = alt >= -1.0
                shared = refracted[up, 0] - refraction(refracted[up, 0], temperature, pressure)
                worst_refraction = max(worst_refraction, np.max(abs(shared - alt[up]), initial=0) * 3.6e6)
                theirs = skyfield.altaz(body, site, days, temperature, pressure)[0]
                worst_iteration = max(worst_iteration, np.max(abs(refracted[:, 0] - theirs)) * 3.6e6)
    print(f"largest difference from Skyfield's altaz(): {worst:.3g} mas; refracted {worst_refraction:.3g} mas "
          f"through its refraction(), {worst_iteration:.3g} mas from its refracted altitude")
    assert worst <= 1.0 and worst_refraction <= 1.0 and worst_iteration <= 50.0
