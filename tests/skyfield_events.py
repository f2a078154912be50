"""Skyfield as the independent reference for the event searches: seasons,
Moon phases, and rise, set and transit times with JPL DE421.

Skyfield's UT1 comes from a timescale whose Delta T table is built from the
IERS EOP 20 C04 table the engine reads, with Skyfield's built-in leap
seconds, so both sides turn the Earth by the same UT1. A fixed horizon
altitude is passed to the rise and set searches, so Skyfield adds no
refraction or radius of its own.
"""

import pathlib
import warnings

import numpy as np

SEASON_NAMES = ["march_equinox", "june_solstice", "september_equinox", "december_solstice"]
LUNATION_NAMES = {0: "new_moon", 2: "full_moon"}  # Skyfield's phase numbers


class Skyfield:
    def __init__(self, de421_path: str, eop_path: str):
        from skyfield.api import load, load_file
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            self.builtin = load.timescale(builtin=True)
        self.c04 = c04_timescale(self.builtin, pathlib.Path(eop_path))
        self.eph = load_file(de421_path)

    def seasons(self, first_year: int, end_year: int):
        """(TT Julian day, name) of every equinox and solstice from 1 January of
        `first_year` to 1 January of `end_year`."""
        from skyfield import almanac
        ts = self.builtin
        times, kinds = almanac.find_discrete(ts.utc(first_year, 1, 1), ts.utc(end_year, 1, 1),
                                             almanac.seasons(self.eph))
        return [(float(tt), SEASON_NAMES[int(kind)]) for tt, kind in zip(times.tt, kinds)]

    def lunations(self, first_year: int, end_year: int):
        """(TT Julian day, name) of every new and full Moon in the same span."""
        from skyfield import almanac
        ts = self.builtin
        times, phases = almanac.find_discrete(ts.utc(first_year, 1, 1), ts.utc(end_year, 1, 1),
                                              almanac.moon_phases(self.eph))
        return [(float(tt), LUNATION_NAMES[int(phase)]) for tt, phase in zip(times.tt, phases)
                if int(phase) in LUNATION_NAMES]

    def horizon_events(self, body: str, site, start_ut1: float, end_ut1: float, altitude_deg: float):
        """UT1 Julian days of the transits, risings and settings of the Sun or
        the Moon for a site (east longitude deg, latitude deg, height m)."""
        from skyfield import almanac
        from skyfield.api import wgs84
        longitude, latitude, height = site
        observer = self.eph["earth"] + wgs84.latlon(latitude, longitude, elevation_m=height)
        target = self.eph[body]
        start, end = self.c04.ut1_jd(start_ut1), self.c04.ut1_jd(end_ut1)
        transits = almanac.find_transits(observer, target, start, end).ut1
        rises, rise_ok = almanac.find_risings(observer, target, start, end, altitude_deg)
        sets, set_ok = almanac.find_settings(observer, target, start, end, altitude_deg)
        return np.asarray(transits), np.asarray(rises.ut1[rise_ok]), np.asarray(sets.ut1[set_ok])


def c04_timescale(builtin, eop_path: pathlib.Path):
    """A Skyfield timescale whose Delta T = TT - UT1 comes from the C04 table."""
    from skyfield.timelib import Timescale
    mjd, dut1 = [], []
    for line in eop_path.read_text().splitlines():
        parts = line.split()
        if line.startswith("#") or len(parts) < 8:
            continue
        mjd.append(float(parts[4]))
        dut1.append(float(parts[7]))
    utc = np.array(mjd) + 2400000.5
    dut1 = np.array(dut1)
    keep = utc >= 2441317.5  # integral TAI - UTC from 1972-01-01 (10 s) on
    utc, dut1 = utc[keep], dut1[keep]
    steps = np.concatenate([[10.0], builtin.leap_offsets])  # leap_dates[i] starts leap_offsets[i]
    tai_utc = steps[np.searchsorted(builtin.leap_dates, utc, side="right")]
    tt = utc + (tai_utc + 32.184) / 86400.0
    delta_t = 32.184 + tai_utc - dut1
    return Timescale((tt, delta_t), builtin.leap_dates, builtin.leap_offsets)
