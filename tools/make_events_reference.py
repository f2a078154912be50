#!/usr/bin/env python3
"""Writes src/engine/testdata/events_reference.inc: what Skyfield says about
equinoxes, solstices, lunations, and rise, set and transit times from JPL
DE421, for the engine's event-search tests.

- Seasons and moon phases 2000-2050 from `almanac.seasons` and
  `almanac.moon_phases`, as TT Julian days (Skyfield's built-in timescale,
  whose leap-second table is the one of the test leap-second kernel): every
  SEASON_STRIDE-th season and LUNATION_STRIDE-th new or full Moon and the
  last of each (`--all` keeps every one).
- Rise, set and transit of the Sun and the Moon from `almanac.find_risings`,
  `find_settings` and `find_transits` for sites at latitudes 0, +-35, +-52
  and 65 degrees, as UT1 Julian days. A fixed `horizon_degrees` is passed,
  so Skyfield adds no refraction or radius of its own. Skyfield's UT1 comes
  from a timescale whose Delta T table is built from the IERS EOP 20 C04
  table (the one the engine reads) and the built-in leap seconds, so both
  sides turn the Earth by the same UT1.

Run it from the repository root: python3 tools/make_events_reference.py [--all]
"""
import math
import pathlib
import sys
import warnings

warnings.simplefilter("ignore")

import numpy as np  # noqa: E402
from skyfield import almanac  # noqa: E402
from skyfield.api import load as sf_load, load_file, wgs84  # noqa: E402
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from skyfield_c04 import c04_timescale  # noqa: E402

import astropy_iers_data  # noqa: E402
import skyfield_data  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "src" / "engine" / "testdata" / "events_reference.inc"
DE421 = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
EOPC04 = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"

SUN_ALTITUDE = -0.8333333333333334   # upper limb with mean refraction
MOON_ALTITUDE = -0.5666666666666667  # mean refraction only
# (east longitude deg, latitude deg, height m)
SITES = [(10.0, 0.0, 0.0), (139.7, 35.0, 40.0), (-58.4, -35.0, 25.0), (13.4, 52.0, 34.0),
         (-70.9, -52.0, 10.0), (-18.1, 65.0, 15.0)]
# UTC calendar dates, none next to a leap second.
DATES = [(2003, 3, 20), (2010, 6, 21), (2016, 9, 15), (2019, 2, 19), (2021, 12, 21)]
# Query offsets from a transit (hours), cycled through the cases.
OFFSETS_H = [-5.0, -1.0, 2.0, 5.5]
UTC_SAMPLES = [2451545.0, 2455197.75, 2458000.3, 2459580.5]
# Strides prime to the 4 seasons and the 2 phases, so that the kept rows cycle
# through every kind and spread over the 51 years (one season in about two
# years, one lunation in about a year). One root finder serves all rows.
SEASON_STRIDE = 7
LUNATION_STRIDE = 25


def fmt(x):
    return repr(float(x))


def utc_instant(ts, utc_jd):
    """The Skyfield time of a UTC Julian date (not on a leap-second day)."""
    day = math.floor(utc_jd - 0.5) + 0.5
    year, month, mday = (int(v) for v in ts.tt_jd(day).tt_calendar()[:3])
    return ts.utc(year, month, mday, (utc_jd - day) * 24.0)


def thinned(rows, stride):
    """Every `stride`-th row from the first, and the last one."""
    if "--all" in sys.argv[1:]:
        return rows
    return rows[::stride] + ([rows[-1]] if (len(rows) - 1) % stride else [])


def season_rows(ts, eph):
    t, kinds = almanac.find_discrete(ts.utc(2000, 1, 1), ts.utc(2051, 1, 1), almanac.seasons(eph))
    return thinned([(tt, int(k)) for tt, k in zip(t.tt, kinds)], SEASON_STRIDE)


def lunation_rows(ts, eph):
    t, phases = almanac.find_discrete(ts.utc(2000, 1, 1), ts.utc(2051, 1, 1), almanac.moon_phases(eph))
    return thinned([(tt, int(p) // 2) for tt, p in zip(t.tt, phases) if p in (0, 2)], LUNATION_STRIDE)


def horizon_rows(ts, eph):
    earth = eph["earth"]
    bodies = [("0", eph["sun"], SUN_ALTITUDE), ("1", eph["moon"], MOON_ALTITUDE)]
    rows, next_rows = [], []
    case = 0
    for lon, lat, height in SITES:
        observer = earth + wgs84.latlon(lat, lon, elevation_m=height)
        for year, month, day in DATES:
            noon_utc = ts.utc(year, month, day, 12.0 - lon / 15.0).ut1  # about local noon, as UT1
            start, end = ts.ut1_jd(noon_utc - 2.5), ts.ut1_jd(noon_utc + 2.5)
            for code, target, altitude in bodies:
                transits = almanac.find_transits(observer, target, start, end).ut1
                rises, rise_ok = almanac.find_risings(observer, target, start, end, altitude)
                sets, set_ok = almanac.find_settings(observer, target, start, end, altitude)
                rises, sets = rises.ut1[rise_ok], sets.ut1[set_ok]
                transit = transits[np.argmin(abs(transits - noon_utc))]
                query = transit + OFFSETS_H[case % len(OFFSETS_H)] / 24.0
                case += 1
                before = rises[(rises < transit) & (rises > transit - 0.75)]
                after = sets[(sets > transit) & (sets < transit + 0.75)]
                if len(before) != len(after):
                    print(f"skipped {lon} {lat} {year}-{month}-{day} body {code}: one-sided crossing",
                          file=sys.stderr)
                    continue
                rise = before[-1] if len(before) else math.nan
                set_ = after[0] if len(after) else math.nan
                rows.append((lon, lat, height, code, altitude, query, transit, rise, set_))
                # The first event of each kind strictly after a query near local midnight.
                midnight = noon_utc - 0.5
                for kind, events in (("0", rises), ("1", sets), ("2", transits)):
                    later = events[events > midnight + 1.0 / 86400.0]
                    next_rows.append((lon, lat, height, code, altitude, midnight, kind, later[0]))
    return rows, next_rows


def polar_rows(ts, eph):
    """Midnight Sun and polar night: Skyfield finds no crossing within five days."""
    earth = eph["earth"]
    rows = []
    for lon, lat in ((15.6, 78.2), (166.7, -77.8)):
        observer = earth + wgs84.latlon(lat, lon)
        start, end = ts.utc(2020, 6, 19), ts.utc(2020, 6, 24)
        _, rise_ok = almanac.find_risings(observer, eph["sun"], start, end, SUN_ALTITUDE)
        transits = almanac.find_transits(observer, eph["sun"], start, end).ut1
        assert not rise_ok.any()
        rows.append((lon, lat, ts.utc(2020, 6, 21, 12.0).ut1, transits[2]))
    return rows


def main():
    builtin = sf_load.timescale(builtin=True)
    ts = c04_timescale(builtin, EOPC04)
    eph = load_file(str(DE421))
    lines = [
        "// Generated by tools/make_events_reference.py with Skyfield and JPL DE421; do not edit.",
        "",
        "struct SeasonReference {",
        "  double tt_julian_day;",
        "  int kind;  // 0 March equinox, 1 June solstice, 2 September equinox, 3 December solstice",
        "};",
        "struct LunationReference {",
        "  double tt_julian_day;",
        "  int kind;  // 0 new Moon, 1 full Moon",
        "};",
        "struct RiseSetTransitReference {",
        "  double longitude_deg, latitude_deg, height_m;",
        "  int body;  // 0 Sun, 1 Moon",
        "  double altitude_deg;",
        "  double query_ut1_julian_day;",
        "  double transit_ut1_julian_day, rise_ut1_julian_day, set_ut1_julian_day;  // NaN: no crossing",
        "};",
        "struct NextEventReference {",
        "  double longitude_deg, latitude_deg, height_m;",
        "  int body;",
        "  double altitude_deg;",
        "  double query_ut1_julian_day;",
        "  int kind;  // 0 rise, 1 set, 2 transit",
        "  double event_ut1_julian_day;",
        "};",
        "struct PolarDayReference {",
        "  double longitude_deg, latitude_deg;",
        "  double query_ut1_julian_day, transit_ut1_julian_day;",
        "};",
        "struct Ut1Reference {",
        "  double utc_julian_day, ut1_julian_day;",
        "};",
        "",
        f"// almanac.seasons 2000-2050, every {SEASON_STRIDE}th and the last: {{TT Julian day, kind}}",
        "inline constexpr SeasonReference kSkyfieldSeasons[] = {",
    ]
    lines += [f"    {{{fmt(tt)}, {k}}}," for tt, k in season_rows(builtin, eph)]
    lines += ["};", "",
              f"// almanac.moon_phases, new and full Moons 2000-2050, every {LUNATION_STRIDE}th and the last: "
              "{TT Julian day, kind}",
              "inline constexpr LunationReference kSkyfieldLunations[] = {"]
    lines += [f"    {{{fmt(tt)}, {k}}}," for tt, k in lunation_rows(builtin, eph)]
    rows, next_rows = horizon_rows(ts, eph)
    lines += ["};", "",
              "// find_transits, find_risings, find_settings: the transit nearest the query and the",
              "// rise before and set after it (UT1 Julian days)",
              "inline constexpr RiseSetTransitReference kSkyfieldRiseSetTransit[] = {"]
    for lon, lat, h, code, alt, query, transit, rise, set_ in rows:
        values = ", ".join(fmt(v) for v in (query, transit, rise, set_)).replace("nan", "kNaN")
        lines.append(f"    {{{fmt(lon)}, {fmt(lat)}, {fmt(h)}, {code}, {fmt(alt)}, {values}}},")
    lines += ["};", "", "// The first rise, set or transit later than one second after the query (UT1)",
              "inline constexpr NextEventReference kSkyfieldNextEvents[] = {"]
    for lon, lat, h, code, alt, query, kind, event in next_rows:
        lines.append(f"    {{{fmt(lon)}, {fmt(lat)}, {fmt(h)}, {code}, {fmt(alt)}, {fmt(query)}, {kind}, "
                     f"{fmt(event)}}},")
    lines += ["};", "", "// Polar day and night around the June solstice 2020: no rise or set, one transit",
              "inline constexpr PolarDayReference kSkyfieldPolarDays[] = {"]
    for lon, lat, query, transit in polar_rows(ts, eph):
        lines.append(f"    {{{fmt(lon)}, {fmt(lat)}, {fmt(query)}, {fmt(transit)}}},")
    lines += ["};", "", "// Skyfield's UT1 of UTC instants with the C04-based Delta T",
              "inline constexpr Ut1Reference kSkyfieldUt1[] = {"]
    for utc in UTC_SAMPLES:
        lines.append(f"    {{{fmt(utc)}, {fmt(utc_instant(ts, utc).ut1)}}},")
    lines.append("};")
    OUT.parent.mkdir(parents=True, exist_ok=True)
    OUT.write_text("\n".join(lines) + "\n")
    print(f"wrote {OUT}", file=sys.stderr)


if __name__ == "__main__":
    main()
