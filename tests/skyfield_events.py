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
from skyfield_c04 import c04_timescale  # tools/, on the path through conftest

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
