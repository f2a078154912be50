"""The module frame: contents and their order, constants, class properties."""

import inspect
import subprocess
import sys
import textwrap

import pytest

import ephemeris

# The names the module lists in __all__, in order.
EXPECTED_ALL = [
    "Instant",
    "GeodeticObserver",
    "HouseSystem",
    "HouseCusps",
    "HorizonEventKind",
    "RiseSetTransit",
    "HorizonEvent",
    "SeasonEvent",
    "LunationEvent",
    "SiderealMode",
    "PositionOptions",
    "Position",
    "DateRange",
    "KernelMetadata",
    "Engine",
    "open",
    "geometric",
    "apparent",
    "house_cusps",
    "J2000_JULIAN_DAY",
    "SUN_UPPER_LIMB_ALTITUDE_DEG",
    "MEAN_REFRACTION_ALTITUDE_DEG",
]

CLASS_NAMES = [name for name in EXPECTED_ALL if isinstance(getattr(ephemeris, name), type)]
CONSTRUCTIBLE = ["Instant", "GeodeticObserver", "HouseSystem", "HorizonEventKind", "SeasonEvent",
                 "LunationEvent", "SiderealMode", "PositionOptions", "Engine"]
RESULT_CLASSES = ["HouseCusps", "RiseSetTransit", "HorizonEvent", "Position", "DateRange", "KernelMetadata"]


def test_all_lists_the_module_contents_in_order():
    assert ephemeris.__all__ == EXPECTED_ALL
    assert all(hasattr(ephemeris, name) for name in EXPECTED_ALL)
    assert len(CLASS_NAMES) == 15


def test_module_has_empty_docstring_and_no_version():
    assert ephemeris.__doc__ == ""
    assert not hasattr(ephemeris, "__version__")


def test_constants_are_exact_floats():
    assert type(ephemeris.J2000_JULIAN_DAY) is float
    assert ephemeris.J2000_JULIAN_DAY == 2451545.0
    assert ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG == -50 / 60 == -0.8333333333333334
    assert ephemeris.MEAN_REFRACTION_ALTITUDE_DEG == -34 / 60 == -0.5666666666666667


def test_star_import_binds_every_listed_name():
    namespace: dict = {}
    exec("from ephemeris import *", namespace)
    for name in ephemeris.__all__:
        assert namespace[name] is getattr(ephemeris, name)


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_classes_report_the_module_and_cannot_be_subclassed(name):
    cls = getattr(ephemeris, name)
    assert cls.__module__ == "ephemeris"
    assert cls.__qualname__ == name
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Derived", (cls,), {})


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_class_attributes_cannot_be_changed(name):
    with pytest.raises(TypeError):
        setattr(getattr(ephemeris, name), "extra", 1)


@pytest.mark.parametrize("name", RESULT_CLASSES)
def test_result_classes_have_no_constructor(name):
    with pytest.raises(TypeError, match=f"cannot create 'ephemeris.{name}' instances"):
        getattr(ephemeris, name)()


@pytest.mark.parametrize("name", CONSTRUCTIBLE)
def test_constructors_carry_a_text_signature(name):
    cls = getattr(ephemeris, name)
    signature = inspect.signature(cls)
    assert list(signature.parameters)[0] in {"julian_day", "longitude_east_deg", "name", "origin", "path"}


def test_docstrings_and_signatures():
    assert ephemeris.Instant.__doc__ == "Julian day with an explicit time scale."
    assert ephemeris.Instant.__text_signature__ == '(julian_day, time_scale="tdb")'
    assert ephemeris.Instant.tdb.__text_signature__ == "($cls, julian_day)"
    assert ephemeris.HouseSystem.__text_signature__ == "(name)"
    assert ephemeris.HouseSystem.placidus.__text_signature__ == "($cls)"
    assert ephemeris.GeodeticObserver.__doc__ == (
        "Geodetic site on Earth (east longitude, GRS80/ITRS, height in metres).")
    assert ephemeris.PositionOptions.__doc__ == "Explicit geometric or apparent request options."
    assert ephemeris.Position.__doc__ == "Spherical position returned by a scalar request."
    assert ephemeris.HouseCusps.__doc__ == "Ecliptic longitudes of the twelve house cusps plus ASC/MC."
    assert ephemeris.RiseSetTransit.__doc__ == "Same-day UT1 rise, set, and transit epochs."
    assert ephemeris.HorizonEvent.__doc__ == "One horizon event, as a UT1 Julian day."
    assert ephemeris.DateRange.__doc__ == "Inclusive kernel coverage in the declared time scale."
    assert ephemeris.KernelMetadata.__doc__ == "Provenance recorded when the kernel was opened."
    assert ephemeris.KernelMetadata.as_dict.__text_signature__ == "($self)"
    assert ephemeris.KernelMetadata.additional_kernels.__text_signature__ == "($self)"
    assert ephemeris.geometric.__doc__ == "Geometric J2000 request with every correction switch off."
    assert ephemeris.apparent.__doc__ == "Apparent-place convenience at the true equinox/ecliptic of date."
    assert ephemeris.house_cusps.__text_signature__ == "(observer, ut1, tt, system)"
    assert ephemeris.house_cusps.__doc__ == (
        "Ecliptic house cusps at a UT1/TT pair (no SPK kernel).\n\n"
        "`ut1` and `tt` may be [`PyInstant`] values or Julian-day floats.")
    assert ephemeris.geometric.__module__ == "ephemeris"


@pytest.mark.parametrize(("name", "doc"), [
    ("HouseSystem", "House-division algorithm (Placidus, Campanus, Equal, Whole Sign)."),
    ("SeasonEvent", "Equinox or solstice (Sun apparent ecliptic longitude 0/90/180/270\u00b0)."),
    ("LunationEvent", "New or full Moon (apparent geocentric elongation 0\u00b0/180\u00b0)."),
    ("SiderealMode", "Lahiri or Fagan\u2013Bradley ayanamsha applied to ecliptic of date."),
    ("HorizonEventKind", "Rise, set, or meridian transit of the Sun or Moon."),
])
def test_enumeration_docstrings(name, doc):
    assert getattr(ephemeris, name).__doc__ == doc


def run_python(code: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=120)


def test_module_imports_and_works_without_numpy():
    result = run_python("""
        import sys
        sys.modules["numpy"] = None  # any import of NumPy now fails
        import ephemeris
        observer = ephemeris.GeodeticObserver(-0.5, 51.5)
        print(repr(ephemeris.apparent()))
        print(ephemeris.house_cusps(observer, 2451545.0, 2451545.0, "equal").system.name)
        assert "numpy" not in sys.modules or sys.modules["numpy"] is None
        """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        'PositionOptions(origin="geocentric", coordinate_system="ecliptic", reference_epoch="of_date", '
        'apparent=true)',
        "equal",
    ]


def test_import_does_not_load_numpy():
    result = run_python("""
        import sys
        import ephemeris
        print("numpy" in sys.modules)
        """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "False"


def test_reimport_after_removal_gives_a_working_module():
    result = run_python("""
        import sys
        import ephemeris
        first = ephemeris.Instant
        del sys.modules["ephemeris"]
        import ephemeris as again
        assert again.Instant is first
        assert again.__all__ == ephemeris.__all__
        print(repr(again.Instant.tt(1)))
        """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == 'Instant(1.0, time_scale="tt")'


def test_type_stub_matches_the_module():
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "ephemeris"], capture_output=True,
                            text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr


def test_instances_release_their_class_references():
    observer = ephemeris.GeodeticObserver(1, 2)
    classes = [ephemeris.Instant, ephemeris.GeodeticObserver, ephemeris.PositionOptions, ephemeris.HouseSystem,
               ephemeris.HouseCusps, ephemeris.SeasonEvent]
    before = [sys.getrefcount(cls) for cls in classes]
    for _ in range(1000):
        ephemeris.Instant.tt(1.5)
        ephemeris.GeodeticObserver(1, 2, 3)
        ephemeris.apparent("topocentric", observer=observer).observer
        cusps = ephemeris.house_cusps(observer, 2451545.0, 2451545.0, ephemeris.HouseSystem.equal())
        cusps.system
        ephemeris.SeasonEvent("march_equinox")
        with pytest.raises(ValueError):
            ephemeris.SeasonEvent("bogus")
        del cusps
    assert [sys.getrefcount(cls) for cls in classes] == before


def test_text_that_cannot_be_encoded_raises_the_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        ephemeris.Instant(1, "t\ud800t")


def test_type_checkers_find_the_installed_stub(tmp_path):
    source = tmp_path / "uses_ephemeris.py"
    source.write_text(textwrap.dedent("""
        import ephemeris
        site = ephemeris.GeodeticObserver(0, 51.5)
        cusps = ephemeris.house_cusps(site, ephemeris.Instant.ut1(2451545), 2451545.0, "equal")
        longitudes: list[float] = cusps.cusp_ecliptic_longitude_deg
        wrong: int = ephemeris.geometric()
        """))
    result = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(source)],
                            capture_output=True, text=True, timeout=600, cwd=tmp_path)
    assert result.returncode == 1, result.stdout + result.stderr
    errors = [line for line in result.stdout.splitlines() if ": error:" in line]
    assert len(errors) == 1 and '"PositionOptions"' in errors[0], result.stdout
