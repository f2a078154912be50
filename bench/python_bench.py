"""Rows of the module as a Python program uses it: single requests at hourly
instants next to jplephem and Skyfield, Julian-day arrays against lists of
`Instant` objects, horizontal coordinates next to Skyfield's `altaz()`, and
what a call into the module costs by itself.

- Single requests: Mars, geocentric, at TT instants an hour apart (as the C++
  engine benchmark asks them): `Engine.position` geometric (J2000 ecliptic)
  against jplephem's state vectors (the same instants in TDB, no rotation or
  spherical conversion) and Skyfield's `(mars - earth).at(t)`; light time
  only against Skyfield's `observe(mars)`; apparent (true ecliptic of date)
  against `observe(mars).apparent()`; Skyfield's converted with
  `frame_latlon_and_rates`.
- Julian-day arrays (100,000 hourly TT days x 5 bodies): `positions_jd` given
  a float64 array, against the `Instant` list made from the days and
  `positions`; with a list of floats; `positions` with the list made
  beforehand; apparent likewise. `altaz_jd` for the Sun from Greenwich at the
  same days read as UT1, unrefracted (against Skyfield's
  `(earth + site).at(t).observe(sun).apparent().altaz()` with a time array:
  its built-in UT1 and no polar motion, which part by up to 0.5") and
  refracted, and `altaz` once per instant.
- Binding: the bare loop every per-call figure includes, a builtin call for
  scale, trivial calls into the module, argument error paths, `position` at
  one instant again and again, an empty and a one-position batch.
"""

import numpy as np

import ephemeris
import harness
from harness import BODIES, J2000, Row, Side

NAMES = ("python-single", "python-arrays", "python-binding")


def rows(quick: bool, names=NAMES):
    engine = harness.open_engine()
    repeats = 2 if quick else 5
    calls = 10_000 if quick else 100_000
    for name in names:
        harness.progress(name)
        if name == "python-single":
            yield from single_rows(engine, calls, repeats)
        elif name == "python-arrays":
            yield from array_rows(engine, calls, repeats)
        elif name == "python-binding":
            yield from binding_rows(engine, calls, repeats)


def fields(position):
    return [position.longitude_deg, position.latitude_deg, position.distance_au, position.longitude_speed_deg_per_day]


def single_rows(engine, calls, repeats):
    path = harness.de421()[0]
    jpl, sky = harness.JplephemGeocentric(path), harness.SkyfieldGeocentric(path)
    days = harness.hourly_days(calls).tolist()
    instants = [ephemeris.Instant.tt(day) for day in days]
    few = calls // 200
    jpl_days = [float(sky.tdb(day)) for day in days[:calls // 10]]
    sky_times = [sky.time(day) for day in days[:few]]
    position = engine.position
    requests = {"geometric": ephemeris.geometric(), "astrometric": ephemeris.PositionOptions(
        "geocentric", "ecliptic", light_time=True), "apparent": ephemeris.apparent()}
    results = {}

    def ours(kind):
        options = requests[kind]

        def run():
            results[kind] = [position("mars", instant, options) for instant in instants]
        return run

    def jpl_vectors():
        for day in jpl_days:
            jpl.geocentric("mars", day)

    def skyfield(method, kind):
        def run():
            results["skyfield " + kind] = [method("mars", t) for t in sky_times]
        return run

    try:
        seconds = harness.best_times(
            [ours("geometric"), ours("astrometric"), ours("apparent"), jpl_vectors,
             skyfield(sky.difference, "geometric"), skyfield(sky.observed, "astrometric"),
             skyfield(sky.apparent, "apparent")], repeats)
    finally:
        jpl.close()
        sky.close()
    per_call = [seconds[0] / calls, seconds[1] / calls, seconds[2] / calls, seconds[3] / len(jpl_days)] + \
        [s / few for s in seconds[4:]]
    how = 'position("mars", Instant.tt(day), {})'
    geometric = Side("ephemeris", per_call[0], how.format("geometric()"))
    skyfield_version = f"Skyfield {harness.version('skyfield')}"

    def agreement(kind):
        mine = np.array([fields(p) for p in results[kind][:few]])
        return harness.difference(mine, np.array(results["skyfield " + kind]))

    yield Row("python-single-geometric-jplephem", "single geometric Mars, hourly instants, vs jplephem", "call",
              geometric, Side(f"jplephem {harness.version('jplephem')}", per_call[3],
                              "compute_and_differentiate along both chains (TDB); state vectors only"),
              "(vectors only, not compared)")
    yield Row("python-single-geometric-skyfield", "single geometric Mars, hourly instants, vs Skyfield", "call",
              geometric, Side(skyfield_version, per_call[4],
                              "(mars - earth).at(t) + frame_latlon_and_rates(ecliptic_J2000_frame)"),
              agreement("geometric"))
    yield Row("python-single-astrometric-skyfield", "single light-time-corrected Mars, hourly, vs Skyfield", "call",
              Side("ephemeris", per_call[1], how.format('PositionOptions("geocentric", "ecliptic", light_time=True)')),
              Side(skyfield_version, per_call[5], "earth.at(t).observe(mars) + frame_latlon_and_rates(J2000 ecl.)"),
              agreement("astrometric"))
    yield Row("python-single-apparent-skyfield", "single apparent Mars, hourly instants, vs Skyfield", "call",
              Side("ephemeris", per_call[2], how.format("apparent()")),
              Side(skyfield_version, per_call[6], "observe(mars).apparent() + frame_latlon_and_rates(ecliptic_frame)"),
              agreement("apparent"))


def array_rows(engine, n, repeats):
    timed_engine = harness.open_engine(with_time_kernels=True)
    sky = harness.SkyfieldGeocentric(harness.de421()[0])
    days = harness.hourly_days(n)
    day_list = days.tolist()
    instants = [ephemeris.Instant.tt(day) for day in day_list]
    geometric, apparent = ephemeris.geometric(), ephemeris.apparent()
    site = ephemeris.GeodeticObserver(0.0, 51.4769, 46.0)
    some = day_list[:n // 10]
    from skyfield.api import wgs84
    observer = sky.earth + wgs84.latlon(51.4769, 0.0, elevation_m=46.0)
    results = {}

    def keep(key, method, *arguments):
        def run():
            results[key] = method(*arguments)
        return run

    def from_days():
        results["from days"] = engine.positions(BODIES, [ephemeris.Instant.tt(day) for day in day_list], geometric)

    def altaz_loop():
        for day in some:
            timed_engine.altaz("sun", site, ephemeris.Instant.ut1(day))

    def skyfield_altaz():
        altitude, azimuth, distance = observer.at(sky.timescale.ut1_jd(days)).observe(
            sky.targets["sun"]).apparent().altaz()
        results["skyfield altaz"] = np.stack([altitude.degrees, azimuth.degrees, distance.au], axis=-1)

    try:
        seconds = harness.best_times([
            keep("jd geometric", engine.positions_jd, BODIES, days, "tt", geometric), from_days,
            keep("jd list", engine.positions_jd, BODIES, day_list, "tt", geometric),
            keep("geometric", engine.positions, BODIES, instants, geometric),
            keep("jd apparent", engine.positions_jd, BODIES, days, "tt", apparent),
            keep("apparent", engine.positions, BODIES, instants, apparent),
            keep("altaz_jd", timed_engine.altaz_jd, "sun", site, days, "ut1"),
            keep("altaz_jd refracted", timed_engine.altaz_jd, "sun", site, days, "ut1", 10.0, 1010.0),
            altaz_loop, skyfield_altaz], [repeats] * 9 + [min(repeats, 3)])
    finally:
        sky.close()
    batch = f"batch of {n * len(BODIES):,} positions"

    def same(a, b):
        return "bit-identical" if np.array_equal(results[a], results[b]) else "DIFFERENT"

    ours = Side("ephemeris", seconds[0], 'positions_jd(bodies, float64 days, "tt", geometric())')
    yield Row("python-arrays-geometric", f"geometric, {n:,} hourly TT days x 5 bodies, days as an array", batch,
              ours, Side("ephemeris", seconds[1], "positions(bodies, [Instant.tt(d) for d in days], geometric())"),
              same("jd geometric", "from days"))
    yield Row("python-arrays-geometric-list", "the same, days as a list of floats", batch,
              Side("ephemeris", seconds[2], 'positions_jd(bodies, list of floats, "tt", geometric())'),
              agreement=same("jd list", "jd geometric"))
    yield Row("python-arrays-geometric-prebuilt", "the same, Instant list made beforehand (not timed)", batch,
              Side("ephemeris", seconds[3], "positions(bodies, instants, geometric())"),
              agreement=same("geometric", "jd geometric"))
    yield Row("python-arrays-apparent", f"apparent, {n:,} hourly TT days x 5 bodies, days as an array", batch,
              Side("ephemeris", seconds[4], 'positions_jd(bodies, float64 days, "tt", apparent())'),
              Side("ephemeris", seconds[5], "positions(bodies, instants made beforehand, apparent())"),
              same("jd apparent", "apparent"))
    ours, theirs = results["altaz_jd"], results["skyfield altaz"]
    altitude = np.abs(ours[:, 0] - theirs[:, 0]) * 3600.0
    azimuth = harness.arcseconds(ours[:, 1], theirs[:, 1]) * np.cos(np.radians(ours[:, 0]))
    yield Row("python-arrays-altaz", f"Sun altitude and azimuth from Greenwich, {n:,} UT1 hours", f"{n:,} instants",
              Side("ephemeris", seconds[6], 'altaz_jd("sun", site, days, "ut1")'),
              Side(f"Skyfield {harness.version('skyfield')}", seconds[9],
                   "(earth + site).at(ut1_jd(days)).observe(sun).apparent().altaz()"),
              f"alt {altitude.max():.1e}\", az x cos(alt) {azimuth.max():.1e}\" (Skyfield's UT1, no polar motion)")
    yield Row("python-arrays-altaz-refracted", "the same, refracted (10 C, 1010 mbar)", f"{n:,} instants",
              Side("ephemeris", seconds[7], 'altaz_jd("sun", site, days, "ut1", 10.0, 1010.0)'))
    yield Row("python-arrays-altaz-single", "the same, one call per instant", "call",
              Side("ephemeris", seconds[8] / len(some), 'altaz("sun", site, Instant.ut1(day))'))


def binding_rows(engine, calls, repeats):
    items = range(calls)
    instant = ephemeris.Instant.tt(J2000)
    geometric = ephemeris.geometric()
    tdb = ephemeris.Instant.tdb
    position, positions = engine.position, engine.positions
    result = position("mars", instant, geometric)

    def empty_loop():
        for _ in items:
            pass

    def builtin_call():
        for _ in items:
            abs(1.0)

    def constructor():
        for _ in items:
            tdb(J2000)

    def attribute():
        for _ in items:
            instant.julian_day

    def result_fields():
        for _ in items:
            result.longitude_deg, result.latitude_deg, result.distance_au, result.longitude_speed_deg_per_day

    def type_error():
        for _ in items:
            try:
                position("mars", J2000, geometric)
            except TypeError:
                pass

    def unknown_body():
        for _ in items:
            try:
                position("vulcan", instant, geometric)
            except ValueError:
                pass

    def same_instant():
        for _ in items:
            position("mars", instant, geometric)

    def keywords():
        for _ in items:
            position(body="mars", instant=instant, options=geometric)

    def empty_batch():
        for _ in items:
            positions([], [], geometric)

    def one_position_batch():
        for _ in items:
            positions(["mars"], [instant], geometric)

    cases = [("empty", "empty Python loop", empty_loop),
             ("builtin", "abs(1.0), a builtin call, for scale", builtin_call),
             ("constructor", "Instant.tdb(2451545.0)", constructor),
             ("property", "instant.julian_day", attribute),
             ("fields", "reading the 4 fields of a Position", result_fields),
             ("type-error", "position(...) TypeError for a float instant", type_error),
             ("value-error", "position(...) ValueError unknown body", unknown_body),
             ("position", "position geometric, one instant again", same_instant),
             ("keywords", "the same by keywords", keywords),
             ("empty-batch", "positions([], [], geometric())", empty_batch),
             ("one-batch", "positions(['mars'], [instant], geometric())", one_position_batch)]
    seconds = harness.best_times([run for _, _, run in cases], repeats)
    for (name, what, _), best in zip(cases, seconds):
        yield Row(f"python-binding-{name}", what, "call (with the loop)",
                  Side("ephemeris" if name not in ("empty", "builtin") else "Python", best / calls,
                       f"{calls:,} calls in a for loop"))
