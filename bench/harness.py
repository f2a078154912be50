"""What every row module of the benchmark shares: the row record, the
interleaved timing loop, the instants, the data files and the peers' code
(jplephem, CALCEPH and Skyfield asked for the same positions as the engine).

A row module is a Python file in bench/ with a function `rows(quick)` that
yields `Row` records (or mappings with the same keys, `ours` and `peer` as
`Side` records or mappings): run.py imports it, runs it and prints its rows.
A module may also name its rows in a tuple `NAMES` and accept
`rows(quick, names)`, so that `run.py --rows NAME` runs only those.
"""

import dataclasses
import functools
import gc
import hashlib
import math
import os
import pathlib
import sys
import time
import warnings
from collections.abc import Callable, Sequence

# One BLAS thread: idle OpenBLAS threads spinning beside the timed loops take
# CPU from both sides on a small machine.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402

import ephemeris  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent
J2000 = 2451545.0
KM_PER_AU = 149597870.7
# The J2000 ecliptic: the equator tilted by the obliquity 84381.448 arcseconds.
OBLIQUITY_J2000_RAD = math.radians(84381.448 / 3600.0)
BODIES = ["sun", "moon", "mercury", "venus", "mars"]
# 1900-01-01 and 2050-01-01 at 0h, as Julian days: the span of the random instants.
FIRST_DAY, LAST_DAY = 2415020.5, 2469807.5
SEED = 20240601


@dataclasses.dataclass
class Side:
    """One side of a row: who computes, the best time of one unit of work, and how it is called."""
    library: str
    seconds: float
    how: str = ""


@dataclasses.dataclass
class Row:
    """One line of the table. `ratio` is the peer's time over ours: above 1, we are faster."""
    name: str                  # short identifier, for --rows
    workload: str              # what both sides compute
    unit: str                  # what one timed figure covers ("batch of 500,000 positions", "call")
    ours: Side
    peer: Side | None = None
    agreement: str = ""        # largest difference between the two sides' results
    target: float | None = None  # the ratio the current goals ask for
    note: str = ""

    @property
    def ratio(self) -> float | None:
        return self.peer.seconds / self.ours.seconds if self.peer else None

    @classmethod
    def of(cls, record) -> "Row":
        """A Row from a Row or from a mapping with the same keys."""
        if isinstance(record, Row):
            return record
        fields = dict(record)
        for key in ("ours", "peer"):
            if isinstance(fields.get(key), dict):
                fields[key] = Side(**fields[key])
        return cls(**fields)


def best_times(loops: Sequence[Callable[[], object]], repeats: int | Sequence[int]) -> list[float]:
    """The shortest time of each loop over its repeats (one count for all, or
    one each). The loops take turns in every round, so that other load on a
    shared machine falls on all of them alike; the garbage collector runs
    between the timed loops, not inside them."""
    counts = [repeats] * len(loops) if isinstance(repeats, int) else list(repeats)
    best = [math.inf] * len(loops)
    for round_number in range(max(counts)):
        for index, loop in enumerate(loops):
            if round_number >= counts[index]:
                continue
            gc.collect()
            gc.disable()
            try:
                start = time.perf_counter()
                loop()
                best[index] = min(best[index], time.perf_counter() - start)
            finally:
                gc.enable()
    return best


def random_days(n: int, seed: int = SEED) -> np.ndarray:
    """`n` Julian days drawn uniformly over 1900-2050 (seeded), in drawing order."""
    return np.random.default_rng(seed).uniform(FIRST_DAY, LAST_DAY, n)


def hourly_days(n: int) -> np.ndarray:
    """`n` Julian days an hour apart from J2000."""
    return J2000 + np.arange(n) / 24.0


def load_average() -> str:
    one, five, fifteen = os.getloadavg()
    return f"{one:.2f} {five:.2f} {fifteen:.2f}"


def progress(text: str) -> None:
    print(f"  [{time.strftime('%H:%M:%S')} load {load_average()}] {text}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------
# Data files


@functools.cache
def de421() -> tuple[str, str]:
    """The path of DE421 (from skyfield-data) and its SHA-256."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # skyfield-data warns about its other, expiring files
        import skyfield_data
        path = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
    return str(path), hashlib.sha256(path.read_bytes()).hexdigest()


@functools.cache
def time_kernels() -> tuple[str, str, str, str]:
    """The leap-second kernel installed with the module and the C04 table
    (from astropy-iers-data), with their checksums."""
    import astropy_iers_data
    eop = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"
    return (ephemeris.LEAP_SECOND_KERNEL_PATH, ephemeris.LEAP_SECOND_KERNEL_SHA256,
            str(eop), hashlib.sha256(eop.read_bytes()).hexdigest())


def open_engine(with_time_kernels: bool = False) -> ephemeris.Engine:
    return ephemeris.Engine(*de421(), *(time_kernels() if with_time_kernels else ()))


def version(module_name: str) -> str:
    from importlib import metadata
    names = {"calcephpy": "calcephpy", "spiceypy": "spiceypy", "jplephem": "jplephem", "skyfield": "skyfield",
             "dask": "dask", "distributed": "distributed", "numpy": "numpy"}
    try:
        return metadata.version(names.get(module_name, module_name))
    except metadata.PackageNotFoundError:
        return "?"


# ---------------------------------------------------------------------------
# Agreement


def arcseconds(a_deg, b_deg) -> np.ndarray:
    """Angular differences in arcseconds, across the 0/360 seam."""
    return np.abs((np.asarray(a_deg) - np.asarray(b_deg) + 180.0) % 360.0 - 180.0) * 3600.0


def difference(ours: np.ndarray, theirs: np.ndarray, mask=None) -> str:
    """The largest differences of two (..., 4) arrays of longitude, latitude,
    distance and longitude speed."""
    longitude, latitude = arcseconds(ours[..., 0], theirs[..., 0]), arcseconds(ours[..., 1], theirs[..., 1])
    distance = np.abs(ours[..., 2] - theirs[..., 2])
    speed = np.abs(ours[..., 3] - theirs[..., 3]) * 3600.0
    if mask is not None:
        longitude, latitude, distance, speed = longitude[mask], latitude[mask], distance[mask], speed[mask]
    return (f"lon {longitude.max():.1e}\", lat {latitude.max():.1e}\", dist {distance.max():.1e} au, "
            f"speed {speed.max():.1e}\"/d")


def near_the_sun(apparent: np.ndarray, bodies: Sequence[str], degrees: float = 0.5) -> np.ndarray:
    """Where a body other than the Sun stands within `degrees` of the Sun's
    centre (behind or in front of its disc, where models of light deflection
    part), in an (n, bodies, 4) array whose bodies include the Sun."""
    sun = np.radians(apparent[:, bodies.index("sun"), :2])[:, None, :]
    body = np.radians(apparent[:, :, :2])
    cos_elongation = (np.sin(body[..., 1]) * np.sin(sun[..., 1]) +
                      np.cos(body[..., 1]) * np.cos(sun[..., 1]) * np.cos(body[..., 0] - sun[..., 0]))
    near = cos_elongation > math.cos(math.radians(degrees))
    near[:, bodies.index("sun")] = False
    return near


# ---------------------------------------------------------------------------
# jplephem and CALCEPH: geocentric states, then the NumPy ecliptic conversion

# DE421 segments (centre, target) that lead each body to the barycentre.
CHAINS = {
    "sun": [(0, 10)],
    "moon": [(0, 3), (3, 301)],
    "mercury": [(0, 1), (1, 199)],
    "venus": [(0, 2), (2, 299)],
    "mars": [(0, 4), (4, 499)],
    "earth": [(0, 3), (3, 399)],
}
NAIF_IDS = {"sun": 10, "moon": 301, "mercury": 199, "venus": 299, "mars": 499, "earth": 399}


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


def spherical_grid(states, n: int) -> np.ndarray:
    """The (n, bodies, 4) array of `positions` from one geocentric state per body."""
    result = np.empty((n, len(states), 4))
    for column, state in enumerate(states):
        for field, values in enumerate(ecliptic_spherical(*state)):
            result[:, column, field] = values
    return result


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

    def positions(self, bodies, tdb_julian_days):
        """The same (n, bodies, 4) array as `Engine.positions_jd` geometric (J2000 ecliptic)."""
        return spherical_grid(self.geocentric_batch(bodies, tdb_julian_days), len(tdb_julian_days))

    def close(self):
        self.kernel.close()


class CalcephGeocentric:
    """CALCEPH's `compute_unit` with NumPy arrays of TDB dates (whole day and
    fraction), NAIF codes, kilometres and days; CALCEPH walks the chains.
    The file is read into memory first (`prefetch`, CALCEPH's advice for
    speed: three times faster here at random dates)."""

    def __init__(self, path):
        from calcephpy import CalcephBin, Constants
        self.kernel = CalcephBin.open(str(path))
        self.kernel.prefetch()
        self.unit = Constants.UNIT_KM + Constants.UNIT_DAY + Constants.USE_NAIFID

    def geocentric(self, body, whole, fraction):
        state = np.asarray(self.kernel.compute_unit(whole, fraction, NAIF_IDS[body], 399, self.unit))
        return state[:3], state[3:]

    def positions(self, bodies, tdb_julian_days):
        whole = np.floor(tdb_julian_days)
        fraction = tdb_julian_days - whole
        return spherical_grid([self.geocentric(body, whole, fraction) for body in bodies], len(tdb_julian_days))

    def close(self):
        self.kernel.close()


# ---------------------------------------------------------------------------
# Skyfield


class SkyfieldGeocentric:
    def __init__(self, path):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            from skyfield.api import load, load_file
            from skyfield.framelib import ecliptic_frame, ecliptic_J2000_frame
            self.timescale = load.timescale(builtin=True)
            self.planets = load_file(str(path))
        self.earth = self.planets["earth"]
        self.targets = {body: self.planets[body] for body in BODIES}
        self.ecliptic_j2000 = ecliptic_J2000_frame
        self.ecliptic_of_date = ecliptic_frame

    def time(self, tt_julian_day):
        return self.timescale.tt_jd(tt_julian_day)

    def tdb(self, tt_julian_day):
        """TDB Julian days of TT instants."""
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

    def grid(self, method, bodies, t) -> np.ndarray:
        """The (n, bodies, 4) array of `positions` with a time array."""
        return np.stack([np.stack(method(body, t), axis=-1) for body in bodies], axis=1)

    def close(self):
        self.planets.close()
