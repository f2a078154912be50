"""PositionOptions and the geometric()/apparent() shortcuts."""

import pytest

import ephemeris
from ephemeris import GeodeticObserver, PositionOptions

SITE = GeodeticObserver(-0.5, 51.5, 10)


def test_defaults():
    options = PositionOptions("geocentric", "ecliptic")
    assert options.origin == "geocentric"
    assert options.observer is None
    assert options.coordinate_system == "ecliptic"
    assert options.reference_epoch == "j2000"
    assert options.apparent is False
    assert options.true_ecliptic is False


def test_names_are_normalised():
    options = PositionOptions("Geocentric", "EQUATORIAL", "of-date", apparent=True, true_ecliptic=True)
    assert (options.origin, options.coordinate_system, options.reference_epoch) == (
        "geocentric", "equatorial", "of_date")
    assert options.apparent is True and options.true_ecliptic is True
    assert repr(options) == ('PositionOptions(origin="geocentric", coordinate_system="equatorial", '
                             'reference_epoch="of_date", apparent=true)')


def test_correction_switches_are_accepted_but_not_exposed():
    options = PositionOptions("barycentric", "equatorial", light_time=True, aberration=True,
                              gravitational_deflection=True, precession=True, nutation=True)
    for name in ("light_time", "aberration", "gravitational_deflection", "precession", "nutation"):
        assert not hasattr(options, name)


def test_topocentric_carries_a_copy_of_the_observer():
    options = PositionOptions("topocentric", "equatorial", observer=SITE)
    observer = options.observer
    assert type(observer) is GeodeticObserver
    assert observer is not SITE and observer is not options.observer
    assert (observer.longitude_east_deg, observer.latitude_deg, observer.height_m) == (-0.5, 51.5, 10.0)
    assert repr(options) == (
        'PositionOptions(origin="topocentric", observer=GeodeticObserver(longitude_east_deg=-0.5, '
        'latitude_deg=51.5, height_m=10), coordinate_system="equatorial", reference_epoch="j2000", '
        'apparent=false)')


@pytest.mark.parametrize(("arguments", "keywords", "message"), [
    (("topocentric", "ecliptic"), {}, 'origin "topocentric" requires a GeodeticObserver'),
    (("geocentric", "ecliptic"), {"observer": SITE}, 'observer is only valid with origin "topocentric"'),
    (("selenocentric", "ecliptic"), {"observer": SITE}, 'unknown origin "selenocentric"'),
    (("geocentric", "galactic"), {}, 'unknown coordinate system "galactic"'),
    (("geocentric", "ecliptic", "of date"), {}, 'unknown reference epoch "of date"'),
    # The origin is parsed first, then the coordinate system, then the epoch.
    (("nowhere", "galactic", "b1950"), {}, 'unknown origin "nowhere"'),
    (("geocentric", "galactic", "b1950"), {}, 'unknown coordinate system "galactic"'),
])
def test_parse_failures(arguments, keywords, message):
    with pytest.raises(ValueError) as raised:
        PositionOptions(*arguments, **keywords)
    assert str(raised.value) == message


def test_type_errors_come_before_parse_errors():
    with pytest.raises(TypeError, match="argument 'nutation'"):
        PositionOptions("nowhere", "ecliptic", nutation=0)


def test_geometric_and_apparent_defaults():
    assert repr(ephemeris.geometric()) == ('PositionOptions(origin="geocentric", coordinate_system="ecliptic", '
                                           'reference_epoch="j2000", apparent=false)')
    assert repr(ephemeris.apparent()) == ('PositionOptions(origin="geocentric", coordinate_system="ecliptic", '
                                          'reference_epoch="of_date", apparent=true)')
    assert ephemeris.apparent().true_ecliptic is False
    assert ephemeris.geometric().true_ecliptic is False


@pytest.mark.parametrize("shortcut", [ephemeris.geometric, ephemeris.apparent])
def test_shortcuts_parse_origin_and_coordinate_system(shortcut):
    options = shortcut(" Topocentric", "Equatorial", SITE)
    assert (options.origin, options.coordinate_system) == ("topocentric", "equatorial")
    assert options.observer.latitude_deg == 51.5
    with pytest.raises(ValueError, match='^origin "topocentric" requires a GeodeticObserver$'):
        shortcut("topocentric")
    with pytest.raises(ValueError, match='^observer is only valid with origin "topocentric"$'):
        shortcut(observer=SITE)
    with pytest.raises(ValueError, match='^unknown coordinate system "horizontal"$'):
        shortcut(coordinate_system="horizontal")
