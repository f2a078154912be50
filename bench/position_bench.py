"""Rows of positions: batches and single requests at random and hourly
instants, the engine next to jplephem, CALCEPH, Skyfield and CSPICE doing the
same work on the same DE421 file.

- Geometric batches: Sun, Moon, Mercury, Venus, Mars, geocentric, J2000
  ecliptic, given TDB Julian days (both peers take TDB; the engine is given
  the same days as "tdb"): `Engine.positions_jd`; jplephem evaluating the
  segment chains for the whole array (the Earth once per batch) and CALCEPH's
  `compute_unit` with arrays of dates, each followed by the same NumPy
  rotation to the J2000 ecliptic and spherical conversion into the same
  (n, 5, 4) array.
- Apparent batch: the same bodies, apparent of date (true ecliptic and
  equinox), TT days: `positions_jd` against Skyfield's
  `earth.at(t).observe(body).apparent()` with one time array (the Earth's
  state computed once for all five bodies) and `frame_latlon_and_rates`.
- Single requests at random TT or TDB instants, the time objects of both sides
  made beforehand: `Engine.position` apparent Moon against Skyfield's
  `observe().apparent()`; geometric Mars (J2000 ecliptic, TDB) against
  CSPICE's `spkezr(..., "ECLIPJ2000", "NONE", "EARTH")` with `xfmsta` to
  longitude, latitude, distance and their rates.
"""

import numpy as np

import ephemeris
import harness
from harness import BODIES, Row, Side

NAMES = ("batch-geometric-random", "batch-geometric-hourly", "batch-apparent-random",
         "scalar-apparent-moon", "scalar-geometric-mars")


def rows(quick: bool, names=NAMES):
    engine = harness.open_engine()
    path = harness.de421()[0]
    repeats = 2 if quick else 5
    scale = 10 if quick else 1
    for name in names:
        harness.progress(name)
        if name == "batch-geometric-random":
            yield from geometric_batch(engine, path, name, "random", harness.random_days(100_000 // scale), repeats)
        elif name == "batch-geometric-hourly":
            yield from geometric_batch(engine, path, name, "hourly", harness.hourly_days(100_000 // scale), repeats)
        elif name == "batch-apparent-random":
            yield apparent_batch(engine, path, name, harness.random_days(10_000 // scale), repeats)
        elif name == "scalar-apparent-moon":
            yield apparent_moon(engine, path, name, harness.random_days(100_000 // scale), repeats)
        elif name == "scalar-geometric-mars":
            yield geometric_mars(engine, path, name, harness.random_days(100_000 // scale), repeats)


def geometric_batch(engine, path, name, kind, days, repeats):
    jpl = harness.JplephemGeocentric(path)
    calceph = harness.CalcephGeocentric(path)
    options = ephemeris.geometric()
    results = {}

    def ours():
        results["ours"] = engine.positions_jd(BODIES, days, "tdb", options)

    def jplephem():
        results["jplephem"] = jpl.positions(BODIES, days)

    def calcephpy():
        results["calceph"] = calceph.positions(BODIES, days)

    try:
        seconds = harness.best_times([ours, jplephem, calcephpy], repeats)
    finally:
        jpl.close()
        calceph.close()
    n = len(days)
    workload = f"batch geometric, {n:,} {kind} instants x 5 bodies"
    unit = f"batch of {n * len(BODIES):,} positions"
    us = Side("ephemeris", seconds[0], 'positions_jd(bodies, tdb_days, "tdb", geometric())')
    targets = {"random": 6.0, "hourly": 8.0}
    yield Row(name, workload + ", vs jplephem + NumPy", unit, us,
              Side(f"jplephem {harness.version('jplephem')}", seconds[1],
                   "compute_and_differentiate(tdb_days) along each chain, Earth once; NumPy ecliptic + spherical"),
              harness.difference(results["ours"], results["jplephem"]), targets[kind])
    yield Row(name + "-calceph", workload + ", vs CALCEPH + NumPy", unit, us,
              Side(f"calcephpy {harness.version('calcephpy')}", seconds[2],
                   "prefetch(); compute_unit(day, fraction arrays, NAIF id, 399, km+day); NumPy ecliptic + spherical"),
              harness.difference(results["ours"], results["calceph"]))


def apparent_batch(engine, path, name, days, repeats):
    sky = harness.SkyfieldGeocentric(path)
    options = ephemeris.apparent()
    results = {}

    def ours():
        results["ours"] = engine.positions_jd(BODIES, days, "tt", options)

    def skyfield():
        earth = sky.earth.at(sky.time(days))
        results["skyfield"] = np.stack([np.stack(sky.spherical(earth.observe(sky.targets[body]).apparent(),
                                                               sky.ecliptic_of_date), axis=-1)
                                        for body in BODIES], axis=1)

    try:
        seconds = harness.best_times([ours, skyfield], [repeats, min(repeats, 3)])
    finally:
        sky.close()
    near = harness.near_the_sun(results["ours"], BODIES)
    n = len(days)
    return Row(name, f"batch apparent, {n:,} random instants x 5 bodies, vs Skyfield",
               f"batch of {n * len(BODIES):,} positions",
               Side("ephemeris", seconds[0], 'positions_jd(bodies, tt_days, "tt", apparent())'),
               Side(f"Skyfield {harness.version('skyfield')}", seconds[1],
                    "earth.at(tt_jd(days)) once; observe(body).apparent(); frame_latlon_and_rates(ecliptic_frame)"),
               harness.difference(results["ours"], results["skyfield"], ~near) +
               f" ({int(near.sum())} places within 0.5 deg of the Sun left out)", 12.0)


def apparent_moon(engine, path, name, days, repeats):
    sky = harness.SkyfieldGeocentric(path)
    options = ephemeris.apparent()
    position = engine.position
    instants = [ephemeris.Instant.tt(day) for day in days.tolist()]
    few = max(len(days) // 200, 50)
    sky_times = [sky.time(day) for day in days[:few].tolist()]
    moon, earth, frame = sky.targets["moon"], sky.earth, sky.ecliptic_of_date
    results = {}

    def ours():
        results["ours"] = [position("moon", instant, options) for instant in instants]

    def skyfield():
        results["skyfield"] = [sky.spherical(earth.at(t).observe(moon).apparent(), frame) for t in sky_times]

    try:
        seconds = harness.best_times([ours, skyfield], [repeats, min(repeats, 3)])
    finally:
        sky.close()
    mine = np.array([[p.longitude_deg, p.latitude_deg, p.distance_au, p.longitude_speed_deg_per_day]
                     for p in results["ours"][:few]])
    return Row(name, "single apparent Moon, random instants, vs Skyfield", "call",
               Side("ephemeris", seconds[0] / len(instants),
                    f'position("moon", Instant.tt(day), apparent()), {len(instants):,} calls'),
               Side(f"Skyfield {harness.version('skyfield')}", seconds[1] / few,
                    f"earth.at(t).observe(moon).apparent() + frame_latlon_and_rates(ecliptic_frame), {few} calls"),
               harness.difference(mine, np.array(results["skyfield"])), 1000.0)


def geometric_mars(engine, path, name, days, repeats):
    import math

    import spiceypy as spice
    options = ephemeris.geometric()
    position = engine.position
    instants = [ephemeris.Instant.tdb(day) for day in days.tolist()]
    few = len(days) // 5
    seconds_past_j2000 = ((days[:few] - harness.J2000) * 86400.0).tolist()
    spkezr, xfmsta = spice.spkezr, spice.xfmsta
    results = {}

    def ours():
        results["ours"] = [position("mars", instant, options) for instant in instants]

    def cspice():
        results["spice"] = [xfmsta(spkezr("MARS", et, "ECLIPJ2000", "NONE", "EARTH")[0],
                                   "RECTANGULAR", "LATITUDINAL", " ") for et in seconds_past_j2000]

    spice.furnsh(path)
    try:
        seconds = harness.best_times([ours, cspice], repeats)
    finally:
        spice.kclear()
    mine = np.array([[p.longitude_deg, p.latitude_deg, p.distance_au, p.longitude_speed_deg_per_day]
                     for p in results["ours"][:few]])
    theirs = np.array([[math.degrees(s[1]) % 360.0, math.degrees(s[2]), s[0] / harness.KM_PER_AU,
                        math.degrees(s[4]) * 86400.0] for s in results["spice"]])
    return Row(name, "single geometric Mars, random instants, vs CSPICE", "call",
               Side("ephemeris", seconds[0] / len(instants),
                    f'position("mars", Instant.tdb(day), geometric()), {len(instants):,} calls'),
               Side(f"spiceypy {harness.version('spiceypy')}", seconds[1] / few,
                    f'spkezr("MARS", et, "ECLIPJ2000", "NONE", "EARTH") + xfmsta(..., "LATITUDINAL"), '
                    f"{few:,} calls"),
               harness.difference(mine, theirs), 60.0)
