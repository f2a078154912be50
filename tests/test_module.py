"""The module and its classes: class flags, the repr and read-only attributes
of every class, the enumeration members, the type stub, re-import, and import
and use without NumPy."""

import copy
import importlib.metadata
import inspect
import pickle
import subprocess
import sys
import textwrap

import pytest

import ephemeris
from ephemeris import GeodeticObserver, Instant, PositionOptions

CLASSES = [name for name in ephemeris.__all__ if isinstance(getattr(ephemeris, name), type)] + \
    ["HorizontalPosition", "EarthOrientationMetadata"]
RESULT_CLASSES = {"HouseCusps", "RiseSetTransit", "HorizonEvent", "Position", "HorizontalPosition", "DateRange",
                  "KernelMetadata", "EarthOrientationMetadata"}
ENUMERATIONS = [ephemeris.HouseSystem, ephemeris.SeasonEvent, ephemeris.LunationEvent, ephemeris.SiderealMode,
                ephemeris.HorizonEventKind]
SITE = GeodeticObserver(-0.5, 51.5, 10)


@pytest.mark.parametrize("name", CLASSES)
def test_classes_belong_to_the_module_and_are_final_and_immutable(name):
    cls = getattr(ephemeris, name)
    assert (cls.__module__, cls.__qualname__) == ("ephemeris", name)
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Derived", (cls,), {})
    with pytest.raises(TypeError):
        cls.extra = 1
    if name in RESULT_CLASSES:
        with pytest.raises(TypeError, match=f"^cannot create 'ephemeris.{name}' instances$"):
            cls()


def instances(engine):
    """(object, its repr) for every class, with the object's attributes checked on the way."""
    yield Instant.tt(1e-5), 'Instant(1e-5, time_scale="tt")'
    yield SITE, "GeodeticObserver(longitude_east_deg=-0.5, latitude_deg=51.5, height_m=10)"
    yield ephemeris.geometric(), ('PositionOptions(origin="geocentric", coordinate_system="ecliptic", '
                                  'reference_epoch="j2000", apparent=false)')
    options = PositionOptions(" Topocentric", "EQUATORIAL", "of-date", apparent=True, true_ecliptic=True,
                              light_time=True, observer=SITE)
    assert (options.origin, options.coordinate_system, options.reference_epoch) == ("topocentric", "equatorial",
                                                                                    "of_date")
    assert options.apparent is True and options.true_ecliptic is True and not hasattr(options, "light_time")
    assert repr(options.observer) == repr(SITE) and options.observer is not SITE
    yield options, ('PositionOptions(origin="topocentric", observer=GeodeticObserver(longitude_east_deg=-0.5, '
                    'latitude_deg=51.5, height_m=10), coordinate_system="equatorial", reference_epoch="of_date", '
                    'apparent=true)')
    yield ephemeris.apparent(), ('PositionOptions(origin="geocentric", coordinate_system="ecliptic", '
                                 'reference_epoch="of_date", apparent=true)')
    yield ephemeris.HouseSystem("Whole-Sign"), 'HouseSystem("whole_sign")'
    cusps = ephemeris.house_cusps(SITE, 2451545.0, 2451545.0, "equal")
    assert cusps.local_sidereal_time_deg == cusps.ramc_deg and 23.43 < cusps.true_obliquity_deg < 23.44
    assert cusps.system.name == "equal" and cusps.cusp_ecliptic_longitude_deg is not cusps.cusp_ecliptic_longitude_deg
    yield cusps, f'HouseCusps(system="equal", ascendant_deg={cusps.ascendant_deg}, midheaven_deg={cusps.midheaven_deg})'
    position = engine.position("sun", Instant(2451545.0), ephemeris.geometric())
    yield position, (f"Position(longitude_deg={position.longitude_deg}, latitude_deg={position.latitude_deg}, "
                     f"distance_au={position.distance_au}, "
                     f"longitude_speed_deg_per_day={position.longitude_speed_deg_per_day})")
    place = engine.altaz("sun", SITE, Instant(2451545.0), 10.0, 1010.0)
    yield place, (f"HorizontalPosition(altitude_deg={place.altitude_deg}, azimuth_deg={place.azimuth_deg}, "
                  f"distance_au={place.distance_au})")
    day = engine.rise_set_transit("sun", SITE, Instant.ut1(2460393.5), -0.8)
    yield day, (f"RiseSetTransit(transit_ut1_julian_day={day.transit_ut1_julian_day}, "
                f"rise_ut1_julian_day=Some({day.rise_ut1_julian_day}), "
                f"set_ut1_julian_day=Some({day.set_ut1_julian_day}))")
    polar_day = engine.rise_set_transit("sun", GeodeticObserver(15.6, 78.2), Instant.utc(2459022.0), -0.8)
    yield polar_day, (f"RiseSetTransit(transit_ut1_julian_day={polar_day.transit_ut1_julian_day}, "
                      "rise_ut1_julian_day=None, set_ut1_julian_day=None)")
    event = engine.next_horizon_event("moon", SITE, Instant.utc(2460393.5), "rise", -0.5)
    assert type(event.kind) is ephemeris.HorizonEventKind and event.kind.name == "rise"
    yield event, f'HorizonEvent(kind="rise", ut1_julian_day={event.ut1_julian_day})'
    span = engine.supported_range
    assert (span.start_julian_day, span.end_julian_day, span.time_scale) == (2414864.5, 2471184.5, "tdb")
    yield span, 'DateRange(start_julian_day=2414864.5, end_julian_day=2471184.5, time_scale="tdb")'
    metadata = engine.kernel_metadata
    yield metadata, f'KernelMetadata(kernel_name="de421.bsp", kernel_sha256="{metadata.kernel_sha256}")'
    table = engine.earth_orientation  # a C04 table: every row measured
    last = table.last_utc_julian_day
    assert (table.format, table.last_measured_utc_julian_day, len(table.sha256)) == ("c04", last, 64)
    yield table, ('EarthOrientationMetadata(file_name="eopc04.1962-now", format="c04", first_utc_julian_day=2437665.5, '
                  f"last_measured_utc_julian_day=Some({last}), last_utc_julian_day={last})")
    yield engine, f'Engine(kernel_name="de421.bsp", kernel_sha256="{metadata.kernel_sha256}")'


def test_reprs_and_read_only_attributes(full_engine):
    seen = set()
    for value, text in instances(full_engine):
        seen.add(type(value).__name__)
        assert repr(value) == text
        for name in (name for name, member in vars(type(value)).items() if inspect.isgetsetdescriptor(member)):
            with pytest.raises(AttributeError):
                setattr(value, name, getattr(value, name))
        with pytest.raises(AttributeError):
            value.extra = 1
    assert len(seen) == 13  # every class; the enumerations but HouseSystem in the next test


def test_values_pickle_and_copy_by_value(full_engine):
    for value, text in instances(full_engine):
        if isinstance(value, ephemeris.Engine):
            continue  # pickled as the files it opened: test_engine.py
        for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
            again = pickle.loads(pickle.dumps(value, protocol))
            assert type(again) is type(value) and again is not value and repr(again) == text
        assert repr(copy.deepcopy(value)) == text
    # The switches that no attribute shows travel too.
    options = PositionOptions("geocentric", "ecliptic", aberration=True)
    position = full_engine.position("mars", Instant(2451545.0), options)
    again = full_engine.position("mars", Instant(2451545.0), pickle.loads(pickle.dumps(options)))
    assert repr(again) == repr(position) != repr(full_engine.position("mars", Instant(2451545.0),
                                                                      ephemeris.geometric()))


NAME_LISTS = [
    ("BODY_NAMES", lambda name: name, 20),  # parsed by the test itself
    ("ORIGIN_NAMES", lambda name: PositionOptions(name, "ecliptic", observer=SITE if name == "topocentric" else None)
     .origin, 4),
    ("COORDINATE_SYSTEM_NAMES", lambda name: PositionOptions("geocentric", name).coordinate_system, 2),
    ("REFERENCE_EPOCH_NAMES", lambda name: PositionOptions("geocentric", "ecliptic", name).reference_epoch, 2),
    ("TIME_SCALE_NAMES", lambda name: Instant(0, name).time_scale, 4),
    ("HOUSE_SYSTEM_NAMES", lambda name: ephemeris.HouseSystem(name).name, 4),
    ("SIDEREAL_MODE_NAMES", lambda name: ephemeris.SiderealMode(name).name, 2),
    ("SEASON_EVENT_NAMES", lambda name: ephemeris.SeasonEvent(name).name, 4),
    ("LUNATION_EVENT_NAMES", lambda name: ephemeris.LunationEvent(name).name, 2),
    ("HORIZON_EVENT_NAMES", lambda name: ephemeris.HorizonEventKind(name).name, 3),
]


@pytest.mark.parametrize("attribute, canonical, count", NAME_LISTS, ids=[row[0] for row in NAME_LISTS])
def test_accepted_names_are_the_canonical_names_of_the_parsers(full_engine, attribute, canonical, count):
    names = getattr(ephemeris, attribute)
    assert type(names) is tuple and len(names) == len(set(names)) == count and attribute not in ephemeris.__all__
    for name in names:
        assert canonical(name) == name
        if attribute == "BODY_NAMES":  # accepted (an empty batch parses its names and computes nothing)
            assert full_engine.positions([name], [], ephemeris.geometric("barycentric")).shape == (0, 1, 4)


def test_version_comes_from_the_distribution():
    assert ephemeris.__version__ == importlib.metadata.version("ephemeris-engine")
    assert len(ephemeris.__all__) == 22 and {"__version__", "HorizontalPosition"}.isdisjoint(ephemeris.__all__)


@pytest.mark.parametrize("cls", ENUMERATIONS, ids=lambda cls: cls.__name__)
def test_enumeration_members(cls):
    members = [name for name in vars(cls) if not name.startswith("_") and name != "name"]
    assert len(members) >= 2
    for name in members:
        member = getattr(cls, name)()
        assert type(member) is cls and member.name == name
        assert repr(member) == f'{cls.__name__}("{name}")'
        assert cls(name=f" {name.upper()} ").name == name
        assert member != getattr(cls, name)()  # no value equality: identity only


def run_python(code: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=120)


@pytest.mark.parametrize("numpy_blocked", [False, True])
def test_numpy_is_loaded_by_the_first_batch_only(de421, numpy_blocked):
    result = run_python(f"""
        import sys
        if {numpy_blocked}:
            sys.modules["numpy"] = None  # any import of NumPy now fails
        import ephemeris
        engine = ephemeris.open({de421.path!r}, {de421.sha256!r})
        site = ephemeris.GeodeticObserver(0, 51.5)
        ephemeris.house_cusps(site, 2451545.0, 2451545.0, "equal"), repr(ephemeris.apparent())
        engine.position("sun", ephemeris.Instant(2451545.0), ephemeris.geometric())
        print(sys.modules.get("numpy") is not None)
        try:
            array = engine.positions(["sun"], [ephemeris.Instant(2451545.0)], ephemeris.geometric())
            print(type(array).__module__, sys.modules.get("numpy") is not None)
        except ImportError as error:
            print(type(error).__name__)
        """)
    assert result.returncode == 0 and result.stderr == "", result.stderr
    assert result.stdout.split() == (["False", "ModuleNotFoundError"] if numpy_blocked else ["False", "numpy", "True"])


def test_reimport_after_removal_gives_the_same_classes():
    result = run_python("""
        import sys
        import ephemeris
        first = ephemeris.Instant
        del sys.modules["ephemeris"]
        import ephemeris as again
        assert again.Instant is first and again.__all__ == ephemeris.__all__
        print(repr(again.Instant.tt(1)))
        """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == 'Instant(1.0, time_scale="tt")'


def test_type_stub_matches_the_module():
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "ephemeris"], capture_output=True,
                            text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr

