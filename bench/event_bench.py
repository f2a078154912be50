#!/usr/bin/env python3
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
  in the same search: its row finds twice the events (the per-event figures
  are printed beside).

Every figure is the best of several repeats (time.perf_counter, garbage
collector paused), the loops taking turns, so that other load on the shared
machine falls on both sides alike. The load average is printed before and
after. The results of the two sides are compared, so that the figures are
known to stand for the same events. Run from the repository root with the
module installed together with its `test` extra (Skyfield, skyfield-data,
astropy-iers-data), for instance in the venv of scripts/test:

    build/venv/bin/python bench/event_bench.py [--repeats 5]
"""

import argparse
import gc
import hashlib
import math
import os
import pathlib
import sys
import time
import warnings

import numpy as np

warnings.simplefilter("ignore")  # skyfield-data warns about its other, expiring files

import astropy_iers_data  # noqa: E402
import skyfield_data  # noqa: E402
from skyfield import almanac  # noqa: E402
from skyfield.api import load as sf_load, load_file, wgs84  # noqa: E402

import ephemeris  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))
from skyfield_c04 import c04_timescale  # noqa: E402

DE421 = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
EOPC04 = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"
LATITUDE, LONGITUDE = 48.85, 2.35
ALTITUDE = ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG
YEAR_START, YEAR_END = 2460676.5, 2461041.5  # UT1 days of 2025-01-01 and 2026-01-01
SPAN_START, SPAN_END = 2451544.5, 2469807.5  # TT days of 2000-01-01 and 2050-01-01
SEASONS = ["march_equinox", "june_solstice", "september_equinox", "december_solstice"]
LUNATIONS = ["new_moon", "full_moon"]
SECOND = 1.0 / 86400.0


def sha256(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest()


class Engine:
    def __init__(self):
        self.engine = ephemeris.Engine(str(DE421), sha256(DE421), ephemeris.LEAP_SECOND_KERNEL_PATH,
                                       ephemeris.LEAP_SECOND_KERNEL_SHA256, str(EOPC04), sha256(EOPC04))
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
        self.ts = c04_timescale(sf_load.timescale(builtin=True), EOPC04)
        self.eph = load_file(str(DE421))
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


class Case:
    def __init__(self, what, side, events, run):
        self.what, self.side, self.events, self.run = what, side, events, run
        self.best = math.inf


def time_cases(cases, repeats):
    for round_number in range(repeats):
        for case in cases:
            gc.collect()
            gc.disable()
            try:
                start = time.perf_counter()
                case.run()
                case.best = min(case.best, time.perf_counter() - start)
            finally:
                gc.enable()
        print(f"  round {round_number + 1} of {repeats} done", file=sys.stderr, flush=True)


def largest_difference_s(a, b):
    a, b = np.sort(np.asarray(a)), np.sort(np.asarray(b))
    if len(a) != len(b):
        return f"counts differ: {len(a)} against {len(b)}"
    return f"largest difference {np.max(np.abs(a - b)) / SECOND:.3f} s over {len(a)} events"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()

    engine, sky = Engine(), Sky()
    print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")

    # Agreement first: the figures below stand for the same events.
    days, chained, sky_year = engine.days(), engine.chained(), sky.rises_and_sets()
    for kind in ("rise", "set"):
        per_day = [getattr(d, f"{kind}_ut1_julian_day") for d in days]
        print(f"{kind}s: rise_set_transit {largest_difference_s(per_day, sky_year[kind])}; "
              f"next_horizon_event {largest_difference_s(chained[kind], sky_year[kind])}")
    sky_quarters, phases = sky.moon_phases()
    print(f"seasons: {largest_difference_s(engine.seasons(), sky.seasons())}")
    print(f"new and full Moons: {largest_difference_s(engine.lunations(), sky_quarters[phases % 2 == 0])}")

    n_seasons, n_lunations, n_quarters = len(engine.seasons()), len(engine.lunations()), len(sky_quarters)
    cases = {
        "days": Case("Sun rise/set 2025, 48.85 N: rise_set_transit x 365", "ephemeris", 730, engine.days),
        "chained": Case("  the same: next_horizon_event chained x 730", "ephemeris", 730, engine.chained),
        "sky_year": Case("  Skyfield find_risings + find_settings", "Skyfield", 730, sky.rises_and_sets),
        "seasons": Case("Seasons 2000-2050: next_season_event chained", "ephemeris", n_seasons, engine.seasons),
        "sky_seasons": Case("  Skyfield find_discrete(seasons)", "Skyfield", n_seasons, sky.seasons),
        "lunations": Case("New/full Moons 2000-2050: next_lunation chained", "ephemeris", n_lunations,
                          engine.lunations),
        "sky_phases": Case("  Skyfield find_discrete(moon_phases), quarters too", "Skyfield", n_quarters,
                           sky.moon_phases),
    }
    time_cases(list(cases.values()), args.repeats)
    print(f"load average after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")

    print(f"\n  {'what':<52} {'side':<10} {'events':>6} {'best':>10} {'per event':>11}   Skyfield/ephemeris")
    rows = [("days", "sky_year"), ("chained", "sky_year"), ("sky_year", None), ("seasons", "sky_seasons"),
            ("sky_seasons", None), ("lunations", "sky_phases"), ("sky_phases", None)]
    for key, against in rows:
        case = cases[key]
        ratio = f"{cases[against].best / case.best:>8.1f}x" if against else ""
        print(f"  {case.what:<52} {case.side:<10} {case.events:>6} {case.best * 1e3:>8.2f} ms "
              f"{case.best / case.events * 1e6:>8.1f} us   {ratio}")


if __name__ == "__main__":
    main()
