#!/usr/bin/env python3
"""Python-level timings of the `ephemeris` module next to jplephem and Skyfield.

Measures, in one run and on the same DE421 file:

- single requests, Mars geocentric, at TT instants an hour apart (as the C++
  engine benchmark asks them; jplephem is given the same instants in TDB):
  `Engine.position` geometric (J2000 ecliptic) and apparent (true ecliptic of
  date), jplephem's state vectors for the same geometric request, and
  Skyfield's `earth.at(t).observe(mars)` (astrometric: light time applied),
  its plain difference of states `(mars - earth).at(t)`, and `.apparent()`,
  each turned into ecliptic longitude, latitude, distance and longitude rate;
- batches of 100,000 instants (an hour apart) x 5 bodies (Sun, Moon, Mercury,
  Venus, Mars), geocentric, geometric J2000 ecliptic and apparent of date:
  `Engine.positions`, jplephem's vectorised Chebyshev evaluation plus the
  NumPy rotation to the J2000 ecliptic and the spherical conversion (the same
  output array), and Skyfield with time arrays;
- Julian-day arrays: `Engine.positions_jd` given the batch's days as one
  float64 array (and as a list of floats) against `positions` given the
  prebuilt `Instant` list and given a list made from the days, and `Engine.altaz_jd` (the Sun from Greenwich,
  100,000 UT1 hours, unrefracted and refracted) next to `Engine.altaz` per
  instant and Skyfield's `altaz()` with a time array;
- the cost of binding: trivial calls into the module (a class-method
  constructor, a property, argument errors, an empty batch) next to
  `position`, and the bare Python loop that every per-call figure includes.

Every figure is the best of several repeats of a timed loop
(time.perf_counter, garbage collector paused); the loops take turns, so that
other load on a shared machine falls on all of them alike. Run from the
repository root after installing the module:

    python3 -m pip install '.[test]'
    python3 bench/python_bench.py [--repeats 5] [--instants 100000] [--quick]
        [--engine-benchmark build/<dir>/src/engine/engine_benchmark]
"""

import argparse
import gc
import hashlib
import json
import math
import pathlib
import platform
import subprocess
import sys
import time
import warnings

import numpy as np

import ephemeris

J2000 = 2451545.0
KM_PER_AU = 149597870.7
# The J2000 ecliptic: the equator tilted by the obliquity 84381.448 arcseconds.
OBLIQUITY_J2000_RAD = math.radians(84381.448 / 3600.0)
BODIES = ["sun", "moon", "mercury", "venus", "mars"]
# DE421 segments (centre, target) that lead each body to the barycentre.
CHAINS = {
    "sun": [(0, 10)],
    "moon": [(0, 3), (3, 301)],
    "mercury": [(0, 1), (1, 199)],
    "venus": [(0, 2), (2, 299)],
    "mars": [(0, 4), (4, 499)],
    "earth": [(0, 3), (3, 399)],
}


def de421_path():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # skyfield-data warns about its other, expiring files
        import skyfield_data
    return pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"


class Case:
    """One timed loop: `run()` makes `calls` calls of `positions_per_call` positions each."""

    def __init__(self, group, what, library, calls, positions_per_call, run, repeats=None):
        self.group, self.what, self.library = group, what, library
        self.calls, self.positions_per_call, self.run = calls, positions_per_call, run
        self.repeats = repeats  # None: as many as the command line asks
        self.best = math.inf

    def row(self) -> str:
        per_call_us = self.best / self.calls * 1e6
        per_position = f"{self.best / (self.calls * self.positions_per_call) * 1e9:>10.1f}" \
            if self.positions_per_call else f"{'':>10}"
        count = f"{self.positions_per_call:<6}" if self.positions_per_call else " " * 6
        shape = f"{self.calls:>7} {'x' if self.positions_per_call else ' '} {count}"
        return (f"  {self.what:<46} {self.library:<10} {shape} "
                f"{self.best * 1e3:>9.2f} ms {per_call_us:>12.3f} {per_position}")


def time_cases(cases, repeats: int) -> None:
    """Times every case `repeats` times (fewer where a case says so), taking
    turns, so that other load on a shared machine falls on every case alike;
    each keeps its shortest time. The garbage collector runs between the
    timed loops, not inside them."""
    for round_number in range(repeats):
        for case in cases:
            if case.repeats is not None and round_number >= case.repeats:
                continue
            gc.collect()
            gc.disable()
            try:
                start = time.perf_counter()
                case.run()
                case.best = min(case.best, time.perf_counter() - start)
            finally:
                gc.enable()
        print(f"  round {round_number + 1} of {repeats} done", file=sys.stderr, flush=True)


def print_table(cases) -> None:
    titles = {"single": "Single requests: Mars geocentric, instants an hour apart",
              "batch": "Batches: instants an hour apart x 5 bodies (Sun, Moon, Mercury, Venus, Mars), geocentric",
              "arrays": "Julian-day arrays: the same batches given days in TT; horizontal coordinates",
              "binding": "Binding: calls into the module, and the bare loop every per-call figure includes"}
    header = f"  {'what':<46} {'library':<10} {'calls':>7} x {'pos.':<6} {'best':>12} {'us/call':>12} {'ns/pos.':>10}"
    for group, title in titles.items():
        print(title)
        print(header)
        for case in cases:
            if case.group == group:
                print(case.row())
        print()


# ---------------------------------------------------------------------------
# jplephem: state vectors from the Chebyshev segments


class JplephemGeocentric:
    def __init__(self, path):
        from jplephem.spk import SPK
        self.kernel = SPK.open(str(path))

    def state(self, body, tdb_julian_day):
        """Barycentric position (km) and velocity (km/day) summed along the chain."""
        position = velocity = 0.0
        for centre, target in CHAINS[body]:
            p, v = self.kernel[centre, target].compute_and_differentiate(tdb_julian_day)
            position = position + p
            velocity = velocity + v
        return position, velocity

    def geocentric(self, body, tdb_julian_day, earth=None):
        """Geocentric position and velocity; `earth`, the Earth's barycentric
        state at the same instants, is evaluated when not given."""
        if body == "moon":  # the Moon and the Earth share the Earth-Moon barycentre
            p_moon, v_moon = self.kernel[3, 301].compute_and_differentiate(tdb_julian_day)
            p_earth, v_earth = self.kernel[3, 399].compute_and_differentiate(tdb_julian_day)
            return p_moon - p_earth, v_moon - v_earth
        p, v = self.state(body, tdb_julian_day)
        p_earth, v_earth = earth if earth is not None else self.state("earth", tdb_julian_day)
        return p - p_earth, v - v_earth

    def geocentric_batch(self, bodies, tdb_julian_days):
        """Geocentric states of every body; the Earth's is evaluated once."""
        earth = self.state("earth", tdb_julian_days)
        return [self.geocentric(body, tdb_julian_days, earth) for body in bodies]

    def close(self):
        self.kernel.close()


def ecliptic_spherical(position_km, velocity_km_per_day):
    """Equatorial J2000 vectors (3, n) -> longitude, latitude (deg), distance
    (au), longitude rate (deg/day) on the J2000 ecliptic."""
    c, s = math.cos(OBLIQUITY_J2000_RAD), math.sin(OBLIQUITY_J2000_RAD)
    x, y, z = position_km
    vx, vy = velocity_km_per_day[0], velocity_km_per_day[1] * c + velocity_km_per_day[2] * s
    y, z = y * c + z * s, -y * s + z * c
    rho2 = x * x + y * y
    longitude = np.degrees(np.arctan2(y, x)) % 360.0
    latitude = np.degrees(np.arctan2(z, np.sqrt(rho2)))
    distance = np.sqrt(rho2 + z * z) / KM_PER_AU
    rate = np.degrees((x * vy - y * vx) / rho2)
    return longitude, latitude, distance, rate


# ---------------------------------------------------------------------------
# Skyfield


class SkyfieldGeocentric:
    def __init__(self, path):
        from skyfield.api import load, load_file
        from skyfield.framelib import ecliptic_frame, ecliptic_J2000_frame
        self.timescale = load.timescale(builtin=True)
        self.planets = load_file(str(path))
        self.earth = self.planets["earth"]
        self.targets = {"sun": self.planets["sun"], "moon": self.planets["moon"],
                        "mercury": self.planets["mercury"], "venus": self.planets["venus"],
                        "mars": self.planets["mars"]}
        self.ecliptic_j2000 = ecliptic_J2000_frame
        self.ecliptic_of_date = ecliptic_frame

    def time(self, tt_julian_day):
        return self.timescale.tt_jd(tt_julian_day)

    def tdb(self, tt_julian_day):
        """TDB Julian days of TT instants, for jplephem."""
        return self.time(tt_julian_day).tdb

    @staticmethod
    def spherical(position, frame):
        latitude, longitude, distance, _, longitude_rate, _ = position.frame_latlon_and_rates(frame)
        return longitude.degrees, latitude.degrees, distance.au, longitude_rate.degrees.per_day

    def observed(self, body, t):
        return self.spherical(self.earth.at(t).observe(self.targets[body]), self.ecliptic_j2000)

    def difference(self, body, t):
        return self.spherical((self.targets[body] - self.earth).at(t), self.ecliptic_j2000)

    def apparent(self, body, t):
        return self.spherical(self.earth.at(t).observe(self.targets[body]).apparent(), self.ecliptic_of_date)

    def close(self):
        self.planets.close()


# ---------------------------------------------------------------------------


def single_request_cases(engine, jpl, sky, calls):
    days = [J2000 + k / 24.0 for k in range(calls)]
    instants = [ephemeris.Instant.tt(day) for day in days]
    geometric, apparent = ephemeris.geometric(), ephemeris.apparent()
    position = engine.position

    def series(options):
        def run():
            for instant in instants:
                position("mars", instant, options)
        return run

    jpl_days = [float(sky.tdb(day)) for day in days[:calls // 10]]

    def jpl_vectors():
        for day in jpl_days:
            jpl.geocentric("mars", day)

    sky_times = [sky.time(day) for day in days[:calls // 200]]

    def skyfield(method):
        def run():
            for t in sky_times:
                method("mars", t)
        return run

    return [
        Case("single", "geometric, J2000 ecliptic", "ephemeris", calls, 1, series(geometric)),
        Case("single", "apparent, true ecliptic of date", "ephemeris", calls, 1, series(apparent)),
        Case("single", "geometric state vectors only", "jplephem", len(jpl_days), 1, jpl_vectors),
        Case("single", "observe (light time), J2000 ecliptic", "skyfield", len(sky_times), 1,
             skyfield(sky.observed)),
        Case("single", "(mars - earth).at(t), J2000 ecliptic", "skyfield", len(sky_times), 1,
             skyfield(sky.difference)),
        Case("single", "observe().apparent(), ecliptic of date", "skyfield", len(sky_times), 1,
             skyfield(sky.apparent)),
    ]


def batch_cases(engine, jpl, sky, n, results):
    """Each case leaves its last result in `results`, for the agreement check."""
    days = J2000 + np.arange(n) / 24.0
    instants = [ephemeris.Instant.tt(float(day)) for day in days]
    tdb_days = sky.tdb(days)
    positions = n * len(BODIES)

    def ours(options, key):
        def run():
            results[key] = engine.positions(BODIES, instants, options)
        return run

    def making_instants():
        [ephemeris.Instant.tt(day) for day in days.tolist()]

    def jpl_vectors():
        jpl.geocentric_batch(BODIES, tdb_days)

    def jpl_spherical():
        result = np.empty((n, len(BODIES), 4))
        for column, state in enumerate(jpl.geocentric_batch(BODIES, tdb_days)):
            for field, values in enumerate(ecliptic_spherical(*state)):
                result[:, column, field] = values
        results["jplephem"] = result

    t = sky.time(days)

    def skyfield(method, key):
        def run():
            rows = [np.stack(method(body, t), axis=-1) for body in BODIES]
            results[key] = np.stack(rows, axis=1)
        return run

    few = 3  # Skyfield's batches take seconds each
    return [
        Case("batch", "geometric, J2000 ecliptic", "ephemeris", 1, positions, ours(ephemeris.geometric(), "geometric")),
        Case("batch", "apparent, true ecliptic of date", "ephemeris", 1, positions,
             ours(ephemeris.apparent(), "apparent")),
        Case("batch", "making the Instant list (not in the above)", "ephemeris", 1, 0, making_instants),
        Case("batch", "geometric state vectors only", "jplephem", 1, positions, jpl_vectors),
        Case("batch", "geometric, J2000 ecliptic (+ NumPy spherical)", "jplephem", 1, positions, jpl_spherical),
        Case("batch", "observe (light time), J2000 ecliptic", "skyfield", 1, positions,
             skyfield(sky.observed, "skyfield observed"), few),
        Case("batch", "(body - earth).at(t), J2000 ecliptic", "skyfield", 1, positions,
             skyfield(sky.difference, "skyfield geometric"), few),
        Case("batch", "observe().apparent(), ecliptic of date", "skyfield", 1, positions,
             skyfield(sky.apparent, "skyfield apparent"), few),
    ]


def array_cases(engine, timed_engine, sky, n, results):
    """positions_jd against positions with prebuilt Instants; altaz_jd, altaz and Skyfield's altaz()."""
    days = J2000 + np.arange(n) / 24.0
    day_list = days.tolist()
    instants = [ephemeris.Instant.tt(day) for day in day_list]
    positions = n * len(BODIES)
    geometric, apparent = ephemeris.geometric(), ephemeris.apparent()

    def batch(method, argument, options, key):
        def run():
            results[key] = method(BODIES, argument, options)
        return run

    site = ephemeris.GeodeticObserver(0.0, 51.4769, 46.0)
    some = days[:n // 10]

    def altaz_jd(*weather):
        def run():
            key = "altaz_jd refracted" if weather else "altaz_jd"
            results[key] = timed_engine.altaz_jd("sun", site, days, "ut1", *weather)
        return run

    def altaz_loop():
        for day in some:
            timed_engine.altaz("sun", site, ephemeris.Instant.ut1(day))

    from skyfield.api import wgs84
    observer = sky.earth + wgs84.latlon(51.4769, 0.0, elevation_m=46.0)
    sky_times = sky.timescale.ut1_jd(days)

    def skyfield_altaz():
        altitude, azimuth, distance = observer.at(sky_times).observe(sky.targets["sun"]).apparent().altaz()
        results["skyfield altaz"] = np.stack([altitude.degrees, azimuth.degrees, distance.au], axis=-1)

    return [
        Case("arrays", "positions, prebuilt Instant list, geometric", "ephemeris", 1, positions,
             batch(engine.positions, instants, geometric, "positions geometric")),
        Case("arrays", "Instants made from the days, then positions", "ephemeris", 1, positions,
             batch(lambda b, d, o: engine.positions(b, [ephemeris.Instant.tt(day) for day in d], o), day_list,
                   geometric, "positions from days")),
        Case("arrays", "positions_jd, float64 array, geometric", "ephemeris", 1, positions,
             batch(lambda b, d, o: engine.positions_jd(b, d, "tt", o), days, geometric, "positions_jd geometric")),
        Case("arrays", "positions_jd, list of floats, geometric", "ephemeris", 1, positions,
             batch(lambda b, d, o: engine.positions_jd(b, d, "tt", o), day_list, geometric, "positions_jd list")),
        Case("arrays", "positions, prebuilt Instant list, apparent", "ephemeris", 1, positions,
             batch(engine.positions, instants, apparent, "positions apparent")),
        Case("arrays", "positions_jd, float64 array, apparent", "ephemeris", 1, positions,
             batch(lambda b, d, o: engine.positions_jd(b, d, "tt", o), days, apparent, "positions_jd apparent")),
        Case("arrays", "altaz_jd, Sun from Greenwich, UT1", "ephemeris", 1, n, altaz_jd()),
        Case("arrays", "altaz_jd, the same refracted (10 C, 1010 mbar)", "ephemeris", 1, n, altaz_jd(10.0, 1010.0)),
        Case("arrays", "altaz per instant (a tenth of the days)", "ephemeris", len(some), 1, altaz_loop),
        Case("arrays", "observe(sun).apparent().altaz(), time array", "skyfield", 1, n, skyfield_altaz, 3),
    ]


def print_array_agreement(results):
    """positions_jd gives the positions array bit for bit; altaz_jd is near Skyfield's altaz()."""
    print("Julian-day arrays")
    for kind in ("geometric", "apparent"):
        print(f"  positions_jd {kind} equals positions with Instants bit for bit: "
              f"{np.array_equal(results['positions_jd ' + kind], results['positions ' + kind])}")
    ours, theirs = results["altaz_jd"], results["skyfield altaz"]
    altitude = np.abs(ours[:, 0] - theirs[:, 0]) * 3600.0
    azimuth = np.abs((ours[:, 1] - theirs[:, 1] + 180.0) % 360.0 - 180.0) * np.cos(np.radians(ours[:, 0])) * 3600.0
    print(f"  altaz_jd against Skyfield (its built-in UT1, no polar motion): altitude {altitude.max():.2e}\", "
          f"azimuth x cos(altitude) {azimuth.max():.2e}\"")
    print()


def arcseconds(a_deg, b_deg):
    return np.abs((np.asarray(a_deg) - np.asarray(b_deg) + 180.0) % 360.0 - 180.0) * 3600.0


def print_agreement(results):
    """The libraries did the same work: their answers agree."""
    geometric, apparent = results["geometric"], results["apparent"]
    # A planet within half a degree of the Sun's centre is behind or in front
    # of its disc, where the models of light deflection part.
    sun = np.radians(apparent[:, :1, :2])
    body = np.radians(apparent[:, :, :2])
    cos_elongation = (np.sin(body[..., 1]) * np.sin(sun[..., 1]) +
                      np.cos(body[..., 1]) * np.cos(sun[..., 1]) * np.cos(body[..., 0] - sun[..., 0]))
    near_the_sun = cos_elongation > math.cos(math.radians(0.5))
    near_the_sun[:, 0] = False
    print("Agreement of the batch results (largest difference over all instants and bodies)")
    for label, ours, theirs, mask in (
            ("geometric vs jplephem", geometric, results["jplephem"], None),
            ("geometric vs skyfield", geometric, results["skyfield geometric"], None),
            ("apparent vs skyfield", apparent, results["skyfield apparent"], None),
            (f"apparent vs skyfield, {int(near_the_sun.sum())} places within 0.5 deg of the Sun left out",
             apparent, results["skyfield apparent"], ~near_the_sun)):
        longitude, latitude = arcseconds(ours[..., 0], theirs[..., 0]), arcseconds(ours[..., 1], theirs[..., 1])
        distance = np.abs(ours[..., 2] - theirs[..., 2])
        if mask is not None:
            longitude, latitude, distance = longitude[mask], latitude[mask], distance[mask]
        print(f"  {label}: longitude {longitude.max():.2e}\", latitude {latitude.max():.2e}\", "
              f"distance {distance.max():.2e} au")
    print()


def binding_cases(engine, calls):
    items = range(calls)
    instant = ephemeris.Instant.tt(J2000)
    geometric = ephemeris.geometric()
    tdb = ephemeris.Instant.tdb
    position, positions = engine.position, engine.positions

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

    result = position("mars", instant, geometric)

    def result_fields():
        for _ in items:
            result.longitude_deg, result.latitude_deg, result.distance_au, result.longitude_speed_deg_per_day

    def empty_batch():
        for _ in items:
            positions([], [], geometric)

    def one_position_batch():
        for _ in items:
            positions(["mars"], [instant], geometric)

    return [Case("binding", what, "ephemeris", calls, 0, run) for what, run in (
        ("empty Python loop", empty_loop),
        ("abs(1.0), a builtin call", builtin_call),
        ("Instant.tdb(2451545.0)", constructor),
        ("instant.julian_day", attribute),
        ("reading the 4 fields of a Position", result_fields),
        ("position(...) TypeError for a float instant", type_error),
        ("position(...) ValueError unknown body", unknown_body),
        ("position geometric, one instant again", same_instant),
        ("the same by keywords", keywords),
        ("positions([], [], geometric())", empty_batch),
        ("positions(['mars'], [instant], geometric())", one_position_batch))]


def print_engine_benchmark(path, repeats):
    """The C++ engine benchmark's figures: the same requests without Python."""
    output = subprocess.run([path, "--benchmark_format=json", f"--benchmark_repetitions={repeats}"],
                            check=True, capture_output=True, text=True).stdout
    best = {}
    for run in json.loads(output)["benchmarks"]:
        if run.get("run_type") == "iteration":
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
            best[run["run_name"]] = min(best.get(run["run_name"], math.inf), run["real_time"] * scale)
    print(f"C++ engine benchmark ({pathlib.Path(path).name}, best of {repeats}), no Python in the loop")
    for name, seconds in best.items():
        positions = 500_000 if "Batch" in name else 1
        print(f"  {name:<46} {seconds * 1e6:>12.3f} us/call {seconds / positions * 1e9:>10.1f} ns/position")
    print()


def time_kernels():
    """The example's leap-second kernel and the C04 table, with their checksums, for UT1."""
    import astropy_iers_data
    lsk = pathlib.Path(__file__).resolve().parent.parent / "examples" / "data" / "latest_leapseconds.tls"
    eop = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"
    return [item for file in (lsk, eop) for item in (str(file), hashlib.sha256(file.read_bytes()).hexdigest())]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5, help="timed repeats; the best counts (default 5)")
    parser.add_argument("--instants", type=int, default=100_000, help="instants per batch (default 100000)")
    parser.add_argument("--single-calls", type=int, default=100_000,
                        help="calls per single-request loop (default 100000; jplephem a tenth, Skyfield 1/200)")
    parser.add_argument("--quick", action="store_true", help="a tenth of the counts and 2 repeats, for a smoke run")
    parser.add_argument("--engine-benchmark", metavar="PATH",
                        help="also run this build of the C++ engine_benchmark program and print its figures")
    args = parser.parse_args()
    if args.quick:
        args.repeats, args.instants, args.single_calls = 2, args.instants // 10, args.single_calls // 10

    path = de421_path()
    sha256 = hashlib.sha256(path.read_bytes()).hexdigest()
    engine = ephemeris.Engine(str(path), sha256)
    timed_engine = ephemeris.Engine(str(path), sha256, *time_kernels())
    jpl = JplephemGeocentric(path)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        sky = SkyfieldGeocentric(path)
        import jplephem
        import skyfield

    print(f"Python {platform.python_version()} on {platform.machine()}, NumPy {np.__version__}, "
          f"jplephem {jplephem.__version__}, Skyfield {skyfield.__version__}; kernel {path.name}; "
          f"best of {args.repeats} (Skyfield batches: of {min(args.repeats, 3)})")
    print()
    results: dict[str, np.ndarray] = {}
    try:
        cases = (single_request_cases(engine, jpl, sky, args.single_calls) +
                 batch_cases(engine, jpl, sky, args.instants, results) +
                 array_cases(engine, timed_engine, sky, args.instants, results) +
                 binding_cases(engine, args.single_calls))
        time_cases(cases, args.repeats)
    finally:
        jpl.close()
        sky.close()
    print_table(cases)
    print_agreement(results)
    print_array_agreement(results)
    if args.engine_benchmark:
        print_engine_benchmark(args.engine_benchmark, args.repeats)
    return 0


if __name__ == "__main__":
    sys.exit(main())
