"""Independent references: CSPICE (spiceypy) states, ERFA (pyerfa) rotations
to the axes of date, Skyfield apparent places and events.

Models, so that differences measure the engine rather than a choice of model:
the axes of date are IAU 2006 precession (Fukushima-Williams angles) with IAU
2000B nutation at the TDB Julian day; the J2000 ecliptic is CSPICE's
ECLIPJ2000. Skyfield's UT1 comes from a timescale whose Delta T is built from
the IERS EOP 20 C04 table (or the Bulletin A table) the engine reads, with
its built-in leap seconds, so both turn the Earth alike (for altitude and
azimuth, with the table's polar motion too); its rise and set searches get a
fixed horizon altitude, so it adds no refraction or radius of its own.
"""

import math
import pathlib
import warnings

import erfa
import numpy as np
import spiceypy

KM_PER_AU = 149597870.7
MAS_PER_RADIAN = 180.0 / math.pi * 3600e3
NAIF_CODES = {"sun": 10, "moon": 301, "mercury": 199, "venus": 299, "earth": 399, "mars": 499,
              # the system barycentres, which is all DE421 holds of the outer planets
              "mars_barycenter": 4, "jupiter_barycenter": 5, "saturn_barycenter": 6, "uranus_barycenter": 7,
              "neptune_barycenter": 8, "pluto_barycenter": 9}
ORIGIN_CODES = {"barycentric": 0, "heliocentric": 10, "geocentric": 399}


def rotation(system: str, epoch: str, nutation: bool, tdb_julian_day: float) -> np.ndarray:
    """J2000 axes to the equator or ecliptic of J2000 or of date (mean or true)."""
    if epoch == "j2000":
        return np.array(spiceypy.pxform("J2000", "ECLIPJ2000", 0.0)) if system == "ecliptic" else np.eye(3)
    gamma_bar, phi_bar, psi_bar, epsilon_a = erfa.pfw06(tdb_julian_day, 0.0)
    d_psi, d_epsilon = erfa.nut00b(tdb_julian_day, 0.0) if nutation else (0.0, 0.0)
    to_equator = erfa.fw2m(gamma_bar, phi_bar, psi_bar + d_psi, epsilon_a + d_epsilon)
    return to_equator if system == "equatorial" else erfa.rx(epsilon_a + d_epsilon, to_equator)


def spherical(vector_km: np.ndarray, velocity_km_s: np.ndarray):
    """(longitude deg in [0, 360), latitude deg, distance au, longitude speed deg/day)."""
    x, y, z = vector_km
    speed = (x * velocity_km_s[1] - y * velocity_km_s[0]) / (x * x + y * y)
    return (math.degrees(math.atan2(y, x)) % 360.0, math.degrees(math.atan2(z, math.hypot(x, y))),
            float(np.linalg.norm(vector_km)) / KM_PER_AU, math.degrees(speed) * 86400.0)


def cartesian_km(longitude_deg: float, latitude_deg: float, distance_au: float) -> np.ndarray:
    lon, lat, r = math.radians(longitude_deg), math.radians(latitude_deg), distance_au * KM_PER_AU
    return np.array([r * math.cos(lat) * math.cos(lon), r * math.cos(lat) * math.sin(lon), r * math.sin(lat)])


def angle_mas(a: np.ndarray, b: np.ndarray) -> float:
    return math.atan2(np.linalg.norm(np.cross(a, b)), float(np.dot(a, b))) * MAS_PER_RADIAN


def bulletin_a_rows(path: str):
    """astropy's IERS_A reading of a Bulletin A table: MJD, UT1 - UTC (s), pole
    x and y (arcsec), Bulletin B values where given, and the MJD of the first
    predicted row."""
    from astropy.utils.iers import IERS_A
    table = IERS_A.open(path)
    return (np.asarray(table["MJD"].value), np.asarray(table["UT1_UTC"].value), np.asarray(table["PM_x"].value),
            np.asarray(table["PM_y"].value), float(table.meta["predictive_mjd"]))


class Skyfield:
    def __init__(self, de421_path: str, eop_path: str, bulletin_a: bool = False):
        """With `bulletin_a`, UT1 comes from the Bulletin A table at `eop_path` as astropy reads it."""
        from skyfield.api import load, load_file
        from skyfield_c04 import c04_timescale, eop_timescale  # tools/, on the path through conftest
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            builtin = load.timescale(builtin=True)
        if bulletin_a:
            mjd, dut1, x, y, _ = bulletin_a_rows(eop_path)
            self.ts = eop_timescale(builtin, mjd + 2400000.5, x, y, dut1)
        else:
            self.ts = c04_timescale(builtin, pathlib.Path(eop_path))
            self.polar_ts = c04_timescale(builtin, pathlib.Path(eop_path), polar_motion=True)
        self.eph = load_file(de421_path)

    def observer(self, site):
        """The geocentre, or a site (east longitude deg, latitude deg, height m)."""
        from skyfield.api import wgs84
        if site is None:
            return self.eph["earth"]
        return self.eph["earth"] + wgs84.latlon(site[1], site[0], elevation_m=site[2])

    def apparent(self, body: str, time, site=None):
        """Apparent (RA, Dec) and (ecliptic longitude, latitude) of date, degrees, and the distance in au."""
        from skyfield.framelib import ecliptic_frame
        place = self.observer(site).at(time).observe(self.eph[body]).apparent()
        ra, dec, distance = place.radec(epoch="date")
        lat, lon, _ = place.frame_latlon(ecliptic_frame)
        return (ra._degrees, dec.degrees), (lon.degrees, lat.degrees), distance.au

    def discrete(self, function: str, start, end):
        """(TT Julian day, state) of each change of an almanac function ("seasons", "moon_phases")."""
        from skyfield import almanac
        times, states = almanac.find_discrete(start, end, getattr(almanac, function)(self.eph))
        return [(float(tt), int(state)) for tt, state in zip(times.tt, states)]

    def horizon_events(self, body: str, site, start_ut1: float, end_ut1: float, altitude_deg: float):
        """UT1 Julian days of the transits, risings and settings of a body for a site."""
        from skyfield import almanac
        observer, target = self.observer(site), self.eph[body]
        start, end = self.ts.ut1_jd(start_ut1), self.ts.ut1_jd(end_ut1)
        rises, rise_ok = almanac.find_risings(observer, target, start, end, altitude_deg)
        sets, set_ok = almanac.find_settings(observer, target, start, end, altitude_deg)
        return (np.asarray(almanac.find_transits(observer, target, start, end).ut1), np.asarray(rises.ut1[rise_ok]),
                np.asarray(sets.ut1[set_ok]))

    def altaz(self, body: str, site, ut1_days, temperature_c=None, pressure_mbar=None):
        """Altitude, azimuth (degrees) and distance (au) of the apparent place,
        with the C04 table's polar motion as well."""
        place = self.observer(site).at(self.polar_ts.ut1_jd(ut1_days)).observe(self.eph[body]).apparent()
        altitude, azimuth, distance = place.altaz(temperature_C=temperature_c, pressure_mbar=pressure_mbar)
        return altitude.degrees, azimuth.degrees, distance.au
