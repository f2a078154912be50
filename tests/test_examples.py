"""The example programs run against the installed data packages (today
included: Bulletin A predicts the Earth's orientation), and the UTC times the
almanac prints agree with Skyfield's."""

import datetime
import pathlib
import re
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"


def run(example, *arguments):
    return subprocess.run([sys.executable, str(EXAMPLES / example), *arguments], capture_output=True, text=True,
                          timeout=120)


def test_sky_now_prints_every_planet_and_marks_the_barycentres():
    result = run("sky_now.py")
    assert result.returncode == 0 and result.stderr == "", result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith("Apparent geocentric places for ")
    assert "Earth orientation finals2000A.all (measured to " in lines[1]
    assert [line.split()[0] for line in lines[6:16]] == ["Sun", "Moon", "Mercury", "Venus", "Mars", "Jupiter*",
                                                         "Saturn*", "Uranus*", "Neptune*", "Pluto*"]
    assert lines[17].startswith('* the barycentre of the planet\'s system ("jupiter_barycenter" ...)')


@pytest.mark.parametrize(("arguments", "expected"), [
    ((), ["\nEquinoxes and solstices", "\nMoon phases",
          "\nRoyal Observatory, Greenwich: longitude 0°00'05\" W, latitude 51°28'37\" N, height 46 m\nSun and Moon on ",
          "\n  Sunrise ", "\nHouse cusps at ", "\nSydney Observatory: ", "\nTromsø: "]),
    (("10", "45", "--at", "2099-01-01"), ["Earth orientation beyond the table)\n  Sun                      "
                                          "unavailable: UTC Julian day 2487704.97", "is outside EOP coverage",
                                          "Moon phases (apparent elongation 0 and 180 degrees)\n  unavailable: "]),
    (("15.6", "78.2", "--at", "2020-06-21T12:00"), [
        "Sunrise, sunset          none: the Sun stays above the horizon all day",
        "House cusps at 2020-06-21 12:00:00 UTC (Campanus)\n  Note: Placidus: house cusps are undefined"]),
])
def test_almanac_runs(arguments, expected):
    result = run("almanac.py", *arguments)
    assert result.returncode == 0 and result.stderr == "", result.stderr
    for text in expected:
        assert text in result.stdout, text
    assert arguments or "unavailable" not in result.stdout, result.stdout  # today is served


@pytest.mark.parametrize(("arguments", "message"), [
    (["1"], "give LONGITUDE LATITUDE and optionally HEIGHT"),
    (["0", "0", "--houses", "koch"], 'unknown house system "koch"'),
])
def test_almanac_reports_bad_sites_and_systems(arguments, message):
    result = run("almanac.py", *arguments)
    assert result.returncode == 2 and message in result.stderr


def test_almanac_times_agree_with_skyfield(skyfield):
    """The almanac prints whole seconds, after converting TT and UT1 to UTC with
    the leap-second kernel and Bulletin A; Skyfield converts with its own leap
    seconds and the C04 UT1 (for 2024 within a millisecond of Bulletin A's).
    One second allows for the rounding."""
    from skyfield import almanac
    result = run("almanac.py", "-0.1", "51.5", "20", "--at", "2024-03-24T10:00")
    assert result.returncode == 0, result.stderr
    ts, sun = skyfield.ts, skyfield.eph["sun"]
    labels = ["March equinox", "June solstice", "September equinox", "December solstice"]
    wanted = {labels[state]: ts.tt_jd(tt) for tt, state in skyfield.discrete("seasons", ts.utc(2024, 3, 24, 10),
                                                                             ts.utc(2025, 3, 24))}
    for tt, phase in skyfield.discrete("moon_phases", ts.utc(2024, 3, 24, 10), ts.utc(2024, 4, 24)):
        if phase in (0, 2):
            wanted.setdefault(["New Moon", "", "Full Moon"][phase], ts.tt_jd(tt))
    site, start, end = skyfield.observer((-0.1, 51.5, 20)), ts.utc(2024, 3, 24, 0, 0, 24), ts.utc(2024, 3, 25, 0, 0, 24)
    wanted["Sunrise"] = almanac.find_risings(site, sun, start, end, -50 / 60)[0][0]
    wanted["Sunset"] = almanac.find_settings(site, sun, start, end, -50 / 60)[0][0]
    wanted["Sun transit"] = almanac.find_transits(site, sun, start, end)[0]
    for label, time in wanted.items():
        match = re.search(rf"^  {label} +(\d{{4}}-\d\d-\d\d )?(\d\d:\d\d:\d\d) UTC", result.stdout, re.MULTILINE)
        assert match, f"no {label} line in\n{result.stdout}"
        printed = datetime.datetime.fromisoformat(f"{(match.group(1) or '2024-03-24 ').strip()}T{match.group(2)}+00:00")
        print(f"{label}: wanted {time.utc_datetime()} printed {printed}")
        assert abs((printed - time.utc_datetime()).total_seconds()) <= 1.0, label
    assert len(wanted) == 9
