"""Independent references for the position tests: CSPICE (spiceypy) states,
ERFA (pyerfa) rotations to the axes of date and geocentric site states, and
Skyfield apparent places.

Models, so that differences measure the engine rather than a choice of model:
the axes of date are IAU 2006 precession (Fukushima-Williams angles) with
IAU 2000B nutation, evaluated at the TDB Julian day; the J2000 ecliptic is
CSPICE's ECLIPJ2000 (obliquity 84381.448"); a site is on the GRS80
ellipsoid, placed with UT1 and the pole linearly interpolated in the IERS
EOP 20 C04 table.
"""

import math
import pathlib

import erfa
import numpy as np
import spiceypy

KM_PER_AU = 149597870.7
MAS_PER_RADIAN = 180.0 / math.pi * 3600e3
DEGREES_PER_DAY_PER_RADIAN_PER_SECOND = 180.0 / math.pi * 86400.0
NAIF_CODES = {"sun": 10, "moon": 301, "mercury": 199, "venus": 299, "earth": 399, "mars": 499}
ORIGIN_CODES = {"barycentric": 0, "heliocentric": 10, "geocentric": 399}
EARTH_ROTATION_RAD_PER_S = 7.292115e-5


def tdb_seconds(julian_day: float) -> float:
    return (julian_day - 2451545.0) * 86400.0


def rotation_of_date(tdb_julian_day: float, nutation: bool, equatorial: bool) -> np.ndarray:
    """J2000/GCRS axes to the true (or mean) equator or ecliptic of date."""
    gamma_bar, phi_bar, psi_bar, epsilon_a = erfa.pfw06(tdb_julian_day, 0.0)
    d_psi, d_epsilon = erfa.nut00b(tdb_julian_day, 0.0) if nutation else (0.0, 0.0)
    to_equator = erfa.fw2m(gamma_bar, phi_bar, psi_bar + d_psi, epsilon_a + d_epsilon)
    if equatorial:
        return to_equator
    return erfa.rx(epsilon_a + d_epsilon, to_equator)  # undo the final tilt onto the equator


def spherical(vector_km: np.ndarray, velocity_km_s: np.ndarray):
    """(longitude deg in [0, 360), latitude deg, distance au, longitude speed deg/day)."""
    x, y, z = vector_km
    longitude = math.degrees(math.atan2(y, x)) % 360.0
    latitude = math.degrees(math.atan2(z, math.hypot(x, y)))
    speed = (x * velocity_km_s[1] - y * velocity_km_s[0]) / (x * x + y * y)
    return longitude, latitude, float(np.linalg.norm(vector_km)) / KM_PER_AU, speed * DEGREES_PER_DAY_PER_RADIAN_PER_SECOND


def cartesian_km(longitude_deg: float, latitude_deg: float, distance_au: float) -> np.ndarray:
    lon, lat = math.radians(longitude_deg), math.radians(latitude_deg)
    r = distance_au * KM_PER_AU
    return np.array([r * math.cos(lat) * math.cos(lon), r * math.cos(lat) * math.sin(lon), r * math.sin(lat)])


def angle_mas(a: np.ndarray, b: np.ndarray) -> float:
    return math.atan2(np.linalg.norm(np.cross(a, b)), float(np.dot(a, b))) * MAS_PER_RADIAN


class EopTable:
    """MJD, pole x, y (arcsec) and UT1-UTC (s) of the C04 table, interpolated linearly."""

    def __init__(self, path: str):
        rows = []
        for line in pathlib.Path(path).read_text().splitlines():
            fields = line.split()
            if len(fields) < 8 or line.startswith("#"):
                continue
            try:
                rows.append([float(v) for v in fields[4:8]])
            except ValueError:
                continue
        self.mjd, self.x, self.y, self.dut1 = np.array(rows).T

    def at(self, utc_julian_day: float):
        mjd = utc_julian_day - 2400000.5
        return (float(np.interp(mjd, self.mjd, self.x)), float(np.interp(mjd, self.mjd, self.y)),
                float(np.interp(mjd, self.mjd, self.dut1)))


def site_gcrs_state(eop: EopTable, longitude_deg, latitude_deg, height_m, tdb_julian_day):
    """Geocentric GCRS position (km) and velocity (km/s) of a site, ERFA's
    equinox-based IAU 2006/2000B chain. TT comes from CSPICE's TDB-TT model
    (a leap-second kernel must be loaded), UTC from ERFA's leap seconds."""
    tt_seconds = spiceypy.unitim(tdb_seconds(tdb_julian_day), "TDB", "TT")
    tt = 2451545.0 + tt_seconds / 86400.0
    tai1, tai2 = erfa.tttai(tt, 0.0)
    utc1, utc2 = erfa.taiutc(tai1, tai2)
    xp, yp, dut1 = eop.at(utc1 + utc2)
    ut11, ut12 = erfa.utcut1(utc1, utc2, dut1)
    d_psi, d_epsilon = erfa.nut00b(tt, 0.0)
    rbpn = erfa.pn06(tt, 0.0, d_psi, d_epsilon)[-1]
    gst = erfa.gst06(ut11, ut12, tt, 0.0, rbpn)
    rpom = erfa.pom00(xp * erfa.DAS2R, yp * erfa.DAS2R, erfa.sp00(tt, 0.0))
    itrs = erfa.gd2gc(2, math.radians(longitude_deg), math.radians(latitude_deg), height_m)  # GRS80, metres
    position = erfa.c2teqx(rbpn, gst, rpom).T @ itrs / 1000.0
    tirs = rpom.T @ itrs
    v_tirs = np.array([-EARTH_ROTATION_RAD_PER_S * tirs[1], EARTH_ROTATION_RAD_PER_S * tirs[0], 0.0])
    velocity = (rbpn.T @ erfa.rz(-gst, np.eye(3))) @ v_tirs / 1000.0
    return position, velocity


def spice_state(body: str, origin: str, tdb_julian_day: float, correction: str, site_state=None):
    """CSPICE state (km, km/s) of `body` from `origin` in J2000 axes. A
    topocentric origin takes the site's geocentric J2000 state."""
    et = tdb_seconds(tdb_julian_day)
    if origin == "topocentric":
        state, _ = spiceypy.spkcvo(str(NAIF_CODES[body]), et, "J2000", "OBSERVER", correction,
                                   np.concatenate(site_state), et, "399", "J2000")
    else:
        state, _ = spiceypy.spkezr(str(NAIF_CODES[body]), et, "J2000", correction, str(ORIGIN_CODES[origin]))
    return np.array(state[:3]), np.array(state[3:])
