"""The almanac example runs against the installed data packages, and the UTC
times it prints agree with Skyfield's."""

import datetime
import pathlib
import re
import subprocess
import sys

import pytest

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "almanac.py"


def run(*arguments):
    result = subprocess.run([sys.executable, str(EXAMPLE), *arguments], capture_output=True, text=True, timeout=120)
    return result


def printed_time(output: str, label: str, day: str = "2024-03-24") -> datetime.datetime:
    """The UTC date and time printed after `label` ("Sunrise", "March equinox",
    ...); a time alone belongs to the almanac's `day`."""
    match = re.search(rf"^  {label} +(\d{{4}}-\d\d-\d\d )?(\d\d:\d\d:\d\d) UTC(?: \((\d{{4}}-\d\d-\d\d)\))?",
                      output, re.MULTILINE)
    assert match, f"no {label} line in\n{output}"
    date = match.group(1) or match.group(3) or day
    return datetime.datetime.fromisoformat(f"{date.strip()}T{match.group(2)}+00:00")


def test_now_at_the_default_site():
    result = run()
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    output = result.stdout
    assert output.startswith("Almanac for longitude 0°00'05\" W, latitude 51°28'37\" N, height 46 m")
    for heading in ["Equinoxes and solstices", "Moon phases", "Sun and Moon on ", "House cusps at "]:
        assert f"\n{heading}" in output
    for label in ["March equinox", "June solstice", "September equinox", "December solstice", "New Moon",
                  "Full Moon", "Sunrise", "Sun transit", "Sunset"]:
        assert re.search(rf"^  {label} ", output, re.MULTILINE), label


def test_a_day_beyond_the_earth_orientation_table_falls_back_and_says_so():
    result = run("10", "45", "--at", "2099-01-01")
    assert result.returncode == 0, result.stderr
    assert "  Note: rise and set need UT1, and the Earth orientation table ends " in result.stdout
    assert "instead of 2099-01-01." in result.stdout
    assert re.search(r"^  Sunrise +\d\d:\d\d:\d\d UTC", result.stdout, re.MULTILINE)
    assert "Moon phases (apparent elongation 0 and 180 degrees)\n  unavailable: " in result.stdout


def test_polar_day_and_the_house_system_fallback():
    result = run("15.6", "78.2", "--at", "2020-06-21T12:00")
    assert result.returncode == 0, result.stderr
    assert "Sunrise, sunset          none: the Sun stays above the horizon all day" in result.stdout
    assert "House cusps at 2020-06-21 12:00:00 UTC (Campanus)\n  Note: Placidus: house cusps are undefined" \
        in result.stdout


@pytest.mark.parametrize(("arguments", "message"), [
    (["1"], "give LONGITUDE LATITUDE and optionally HEIGHT"),
    (["0", "91"], "geodetic latitude must be finite and within [-90, 90] degrees"),
    (["0", "0", "--houses", "koch"], 'unknown house system "koch"'),
])
def test_bad_sites_and_systems_are_reported(arguments, message):
    result = run(*arguments)
    assert result.returncode == 2
    assert message in result.stderr


# The example prints whole seconds, after converting TT and UT1 to UTC with
# the leap-second kernel and the C04 table; Skyfield converts with its own
# leap seconds and the same C04 UT1. One second allows for the rounding.
PRINTED_TOLERANCE_S = 1.0


def test_printed_times_agree_with_skyfield(de421, eop_table):
    pytest.importorskip("skyfield")
    from skyfield import almanac
    from skyfield.api import wgs84
    from skyfield_events import Skyfield

    result = run("-0.1", "51.5", "20", "--at", "2024-03-24T10:00")
    assert result.returncode == 0, result.stderr
    output = result.stdout
    sky = Skyfield(de421.path, eop_table.path)
    ts = sky.c04
    start, end = ts.utc(2024, 3, 24), ts.utc(2025, 3, 25)
    wanted = {}
    times, kinds = almanac.find_discrete(start, end, almanac.seasons(sky.eph))
    for time, kind in zip(times, kinds):
        label = ["March equinox", "June solstice", "September equinox", "December solstice"][int(kind)]
        wanted.setdefault(label, time.utc_datetime())
    times, phases = almanac.find_discrete(start, ts.utc(2024, 4, 24), almanac.moon_phases(sky.eph))
    for time, phase in zip(times, phases):
        if int(phase) in (0, 2):
            wanted.setdefault("New Moon" if int(phase) == 0 else "Full Moon", time.utc_datetime())
    observer = sky.eph["earth"] + wgs84.latlon(51.5, -0.1, elevation_m=20)
    day_start, day_end = ts.utc(2024, 3, 24, 0, 0, 24), ts.utc(2024, 3, 25, 0, 0, 24)  # local mean day
    rises, _ = almanac.find_risings(observer, sky.eph["sun"], day_start, day_end, -0.8333333333333334)
    sets, _ = almanac.find_settings(observer, sky.eph["sun"], day_start, day_end, -0.8333333333333334)
    transits = almanac.find_transits(observer, sky.eph["sun"], day_start, day_end)
    wanted["Sunrise"], wanted["Sunset"] = rises[0].utc_datetime(), sets[0].utc_datetime()
    wanted["Sun transit"] = transits[0].utc_datetime()
    worst = 0.0
    for label, time in wanted.items():
        difference = abs((printed_time(output, label) - time).total_seconds())
        print(f"{label}: wanted {time} printed {printed_time(output, label)}")
        worst = max(worst, difference)
        assert difference <= PRINTED_TOLERANCE_S, label
    assert len(wanted) == 9
    print(f"largest difference of the printed times from Skyfield: {worst:.3g} s")
