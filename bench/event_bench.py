"""Event searches of the `ephemeris` module next to Skyfield's almanac, in one run.

Rows (each side given the same work, the same DE421 file and the same Earth
rotation):

- Sun rise and set for 2025 at 48.85 N 2.35 E (sea level), altitude
  -0.8333 degrees: the engine's `rise_set_transit` once per day (365 calls,
  each queried at 12h UT1, so each returns that day's transit with its rise
  and set), and `next_horizon_event` chained through the year (365 rises and
  365 sets, each search starting at the event before), against Skyfield's
  `almanac.find_risings` plus `almanac.find_settings` over the same year
  (with the same fixed `horizon_degrees`, so Skyfield adds no refraction or
  radius). Skyfield's UT1 comes from the IERS EOP 20 C04 table the engine
  reads (tools/skyfield_c04.py).
- Every equinox, solstice, new and full Moon of 2000-2050: the engine's
  `next_season_event` chained through the four kinds in turn and
  `next_lunation` chained through new and full Moon, against Skyfield's
  `almanac.find_discrete` with `almanac.seasons` and `almanac.moon_phases`
  over the same span. Skyfield's `moon_phases` also reports the two quarters
  in the same search: its row finds twice the events.

Each row is timed by the harness (both sides taking turns, the best of
several repeats) and prints the largest difference between the two sides'
events, so that the figures are known to stand for the same events:

    build/venv/bin/python bench/run.py --rows events
"""

import sys
import warnings

import numpy as np

warnings.simplefilter("ignore")  # skyfield-data warns about its other, expiring files

import harness  # noqa: E402
from skyfield import almanac  # noqa: E402
from skyfield.api import load as sf_load, load_file, wgs84  # noqa: E402

import ephemeris  # noqa: E402

sys.path.insert(0, str(harness.ROOT / "tools"))
from skyfield_c04 import c04_timescale  # noqa: E402

LATITUDE, LONGITUDE = 48.85, 2.35
ALTITUDE = ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG
YEAR_START, YEAR_END = 2460676.5, 2461041.5  # UT1 days of 2025-01-01 and 2026-01-01
SPAN_START, SPAN_END = 2451544.5, 2469807.5  # TT days of 2000-01-01 and 2050-01-01
SEASONS = ["march_equinox", "june_solstice", "september_equinox", "december_solstice"]
LUNATIONS = ["new_moon", "full_moon"]
SECOND = 1.0 / 86400.0


class Engine:
    def __init__(self):
        self.engine = harness.open_engine(with_time_kernels=True)
        self.site = ephemeris.GeodeticObserver(LONGITUDE, LATITUDE, 0.0)
        self.noons = [ephemeris.Instant.ut1(YEAR_START + day + 0.5) for day in range(365)]

    def days(self):
        rst = self.engine.rise_set_transit
        return [rst("sun", self.site, noon, ALTITUDE) for noon in self.noons]

    def chained(self):
        found = {}
        for kind in ("rise", "set"):
            events, t = [], YEAR_START
            while t < YEAR_END:
                t = self.engine.next_horizon_event("sun", self.site, ephemeris.Instant.ut1(t), kind,
                                                   ALTITUDE).ut1_julian_day
                events.append(t)
            found[kind] = np.array(events[:-1])
        return found

    def chain(self, search, kinds):
        events, t, k = [], ephemeris.Instant.tt(SPAN_START), 0
        while True:
            t = search(t, kinds[k % len(kinds)])
            if t.julian_day >= SPAN_END:
                return np.array(events)
            events.append(t.julian_day)
            k += 1

    def seasons(self):
        return self.chain(self.engine.next_season_event, SEASONS)

    def lunations(self):
        return self.chain(self.engine.next_lunation, LUNATIONS)


class Sky:
    def __init__(self):
        self.ts = c04_timescale(sf_load.timescale(builtin=True), harness.time_kernels()[2])
        self.eph = load_file(harness.de421()[0])
        self.site = wgs84.latlon(LATITUDE, LONGITUDE)
        self.observer = self.eph["earth"] + self.site
        self.year = self.ts.ut1_jd(YEAR_START), self.ts.ut1_jd(YEAR_END)
        self.span = self.ts.tt_jd(SPAN_START), self.ts.tt_jd(SPAN_END)

    def rises_and_sets(self):
        sun = self.eph["sun"]
        rises, rise_ok = almanac.find_risings(self.observer, sun, *self.year, horizon_degrees=ALTITUDE)
        sets, set_ok = almanac.find_settings(self.observer, sun, *self.year, horizon_degrees=ALTITUDE)
        return {"rise": rises.ut1[rise_ok], "set": sets.ut1[set_ok]}

    def seasons(self):
        times, _ = almanac.find_discrete(*self.span, almanac.seasons(self.eph))
        return times.tt

    def moon_phases(self):
        times, phases = almanac.find_discrete(*self.span, almanac.moon_phases(self.eph))
        return times.tt, phases


def largest_difference_s(a, b):
    a, b = np.sort(np.asarray(a)), np.sort(np.asarray(b))
    if len(a) != len(b):
        return f"counts differ: {len(a)} against {len(b)}"
    return f"largest difference {np.max(np.abs(a - b)) / SECOND:.3f} s over {len(a)} events"


NAMES = ("events-riseset-days", "events-riseset-chained", "events-seasons", "events-lunations")


def rows(quick, names=NAMES):
    """The rows of bench/run.py: each of our loops against the Skyfield search it matches."""
    engine, sky = Engine(), Sky()
    sky_year = sky.rises_and_sets()
    sky_quarters, phases = sky.moon_phases()
    sky_full_and_new = sky_quarters[phases % 2 == 0]

    def agreement_rise_set(found):
        return "; ".join(f"{kind}s {largest_difference_s(found[kind], sky_year[kind])}" for kind in ("rise", "set"))

    def per_day():
        days = engine.days()
        return {kind: [getattr(d, f"{kind}_ut1_julian_day") for d in days] for kind in ("rise", "set")}

    site = f"{LATITUDE} N {LONGITUDE} E"
    skyfield = f"skyfield {harness.version('skyfield')}"
    cases = {
        "events-riseset-days": (
            f"Sun rise and set for 2025 at {site}", "year (365 days)", engine.days, sky.rises_and_sets,
            'rise_set_transit("sun", site, noon, -0.8333) for each day', "find_risings + find_settings, same horizon",
            lambda: agreement_rise_set(per_day()), 3.0),
        "events-riseset-chained": (
            f"Sun rise and set for 2025 at {site}", "year (730 events)", engine.chained, sky.rises_and_sets,
            "next_horizon_event chained through the rises, then the sets", "find_risings + find_settings",
            lambda: agreement_rise_set(engine.chained()), 3.0),
        "events-seasons": (
            "equinoxes and solstices 2000-2050", "50 years (200 events)", engine.seasons, sky.seasons,
            "next_season_event chained through the four kinds", "find_discrete(seasons)",
            lambda: largest_difference_s(engine.seasons(), sky.seasons()), 100.0),
        "events-lunations": (
            "new and full Moons 2000-2050", "50 years", engine.lunations, sky.moon_phases,
            "next_lunation chained through new and full Moon", "find_discrete(moon_phases): quarters too",
            lambda: largest_difference_s(engine.lunations(), sky_full_and_new), 100.0),
    }
    repeats = 2 if quick else 5
    for name in names:
        harness.progress(name)
        workload, unit, ours, theirs, how_ours, how_theirs, agreement, target = cases[name]
        seconds = harness.best_times([ours, theirs], repeats)
        yield harness.Row(name, workload + ", vs Skyfield's almanac", unit,
                          harness.Side("ephemeris", seconds[0], how_ours),
                          harness.Side(skyfield, seconds[1], how_theirs), agreement(), target)
