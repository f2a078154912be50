#!/usr/bin/env python3
"""Rise, set and transit of the Sun and the Moon over a whole year against
Skyfield, and the compact table of hard cases for the C++ tests
(src/engine/testdata/horizon_reference.inc).

The sweep: every day of 2025 at 18.9 degrees east, sea level, latitudes 0,
+-30, +-50, +-60, +-65, +-70, +-75 and +-80; the Sun at -0.8333 degrees and
the Moon at -0.5667 degrees (a fixed `horizon_degrees`, so Skyfield adds no
refraction or radius). Skyfield's UT1 comes from the IERS EOP 20 C04 table the
engine reads (tools/skyfield_c04.py), so both turn the Earth alike.

- Every event: the engine's `next_horizon_event` chained from the start of the
  year (each search starting at the event before) against Skyfield's
  `find_risings` and `find_settings` (the crossings it reports as real). Each
  Skyfield event must be found within 2 s, and the engine must find no other;
  an event found by one side only is checked against Skyfield's altitude a
  minute either side, to tell a real crossing from a spurious one.
- Every day: `rise_set_transit` at each of Skyfield's upper transits (queried
  up to 0.45 day away) against `find_transits`, and the rise and set the day's
  rule picks from Skyfield's events between the lower transits around it
  (`meridian_transits`).

- With --sampled, for the Moon at 60 to 80 degrees: every crossing seen in
  Skyfield's altitude sampled each minute must be among the engine's events (a check of
  completeness that does not rest on Skyfield's search).

It prints, per body and latitude, the events on each side, the largest
difference, and every missed or extra event. With --write it also writes the
table: the three moonrise and moonset cases at 69.6 N 18.9 E reported against
the former search, every day of the sweep with a single crossing or none next
to one with two, the grazing crossings (rise and set less than three hours
apart, or the body level with the altitude within 0.1 degree at the lower or
upper culmination), and a few ordinary days.

Run it from the repository root with the module installed (for instance in the
venv of scripts/test): build/venv/bin/python tools/make_horizon_reference.py [--write]
"""
import argparse
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
from leap_second_kernel import leap_second_kernel_text  # noqa: E402

import astropy_iers_data  # noqa: E402
import skyfield_data  # noqa: E402

import ephemeris  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "src" / "engine" / "testdata" / "horizon_reference.inc"
DE421 = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
EOPC04 = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"

LONGITUDE = 18.9
LATITUDES = [0.0, 30.0, -30.0, 50.0, -50.0, 60.0, -60.0, 65.0, -65.0, 70.0, -70.0, 75.0, -75.0, 80.0, -80.0]
BODIES = [(0, "sun", ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG), (1, "moon", ephemeris.MEAN_REFRACTION_ALTITUDE_DEG)]
YEAR_START, YEAR_END = 2460676.5, 2461041.5  # UT1 Julian days of 2025-01-01 and 2026-01-01
TOLERANCE_S = 2.0
SECOND = 1.0 / 86400.0
DENSE_STEP = 60.0 * SECOND  # the independent check of completeness above 60 degrees
QUERY_OFFSETS = [-0.45, -0.1, 0.2, 0.45]  # days from the transit, cycled through the rows


class Sky:
    def __init__(self):
        builtin = sf_load.timescale(builtin=True)
        self.ts = c04_timescale(builtin, EOPC04)
        self.eph = load_file(str(DE421))

    def events(self, name, latitude, altitude, start, end):
        """UT1 days of the real rises and sets, the upper and the lower transits."""
        site = wgs84.latlon(latitude, LONGITUDE)
        observer, target = self.eph["earth"] + site, self.eph[name]
        t0, t1 = self.ts.ut1_jd(start), self.ts.ut1_jd(end)
        rises, rise_ok = almanac.find_risings(observer, target, t0, t1, altitude)
        sets, set_ok = almanac.find_settings(observer, target, t0, t1, altitude)
        times, upper = almanac.find_discrete(t0, t1, almanac.meridian_transits(self.eph, target, site))
        return (np.asarray(rises.ut1[rise_ok]), np.asarray(sets.ut1[set_ok]), np.asarray(times.ut1[upper == 1]),
                np.asarray(times.ut1[upper == 0]))

    def altitude(self, name, latitude, ut1_days):
        observer = self.eph["earth"] + wgs84.latlon(latitude, LONGITUDE)
        t = self.ts.ut1_jd(np.asarray(ut1_days))
        return observer.at(t).observe(self.eph[name]).apparent().altaz()[0].degrees


def open_engine(tmp: pathlib.Path):
    import hashlib
    lsk = tmp / "horizon_reference.tls"
    lsk.write_text(leap_second_kernel_text(), encoding="utf-8")
    files = []
    for path in (DE421, lsk, EOPC04):
        files += [str(path), hashlib.sha256(path.read_bytes()).hexdigest()]
    return ephemeris.Engine(*files)


def engine_chain(engine, name, latitude, altitude, kind, start, end):
    """Every event of one kind in [start, end], chained through next_horizon_event."""
    site, found, t = ephemeris.GeodeticObserver(LONGITUDE, latitude, 0.0), [], start
    while t < end:
        try:
            t = engine.next_horizon_event(name, site, ephemeris.Instant.ut1(t), kind, altitude).ut1_julian_day
            found.append(t)
        except ValueError as error:
            assert str(error).startswith(f"no {kind.capitalize()} of"), error
            t += 2.0  # nothing within two days after t
    return np.array([x for x in found if x <= end])


def day_rule(rises, sets, transit, lower_before, lower_after):
    """The rise and set rise_set_transit reports for the day of `transit`."""
    def pick(events, before_first):
        before = events[(events >= lower_before) & (events < transit)]
        after = events[(events >= transit) & (events < lower_after)]
        if before_first:
            return before[-1] if len(before) else (after[0] if len(after) else math.nan)
        return after[0] if len(after) else (before[-1] if len(before) else math.nan)
    return pick(rises, True), pick(sets, False)


def compare_events(sky, name, latitude, kind, wanted, got):
    """Matches the two sides' events; returns the largest difference and the lines for misses and extras."""
    largest, lines = 0.0, []
    used = np.zeros(len(got), dtype=bool)
    for w in wanted:
        i = int(np.argmin(abs(got - w))) if len(got) else -1
        if i >= 0 and abs(got[i] - w) / SECOND < TOLERANCE_S:
            largest, used[i] = max(largest, abs(got[i] - w) / SECOND), True
        else:
            lines.append(f"  missed {kind} {w!r} ({real_crossing(sky, name, latitude, w)})")
    for g in got[~used]:
        lines.append(f"  extra {kind} {g!r} ({real_crossing(sky, name, latitude, g)})")
    return largest, lines


def dense_crossings(sky, name, latitude, altitude):
    """Rises and sets seen in Skyfield's altitude sampled every DENSE_STEP over the year."""
    t = np.arange(YEAR_START, YEAR_END, DENSE_STEP)
    f = np.concatenate([sky.altitude(name, latitude, chunk) for chunk in np.array_split(t, 20)]) - altitude
    up, down = (f[:-1] < 0) & (f[1:] >= 0), (f[:-1] >= 0) & (f[1:] < 0)
    return t[:-1][up] + DENSE_STEP / 2, t[:-1][down] + DENSE_STEP / 2


def real_crossing(sky, name, latitude, ut1, altitude=None):
    alt = sky.altitude(name, latitude, [ut1 - 60 * SECOND, ut1 + 60 * SECOND])
    return f"Skyfield altitude a minute before and after: {alt[0]:.5f}, {alt[1]:.5f} deg"


def sweep(sky, engine, with_samples):
    day_rows, series, skip, failures = [], {}, set(), 0
    for code, name, altitude in BODIES:
        for latitude in LATITUDES:
            rises, sets, uppers, lowers = sky.events(name, latitude, altitude, YEAR_START - 3, YEAR_END + 3)
            inside = lambda x: x[(x > YEAR_START + 0.01) & (x < YEAR_END - 0.01)]  # noqa: E731
            largest, lines = 0.0, []
            counts = []
            dense = dense_crossings(sky, name, latitude, altitude) if with_samples and code == 1 and abs(
                latitude) >= 60 else None
            for kind, wanted in (("rise", rises), ("set", sets)):
                got = engine_chain(engine, name, latitude, altitude, kind, YEAR_START, YEAR_END + 1)
                worst, extra = compare_events(sky, name, latitude, kind, inside(wanted), inside(got))
                largest, lines = max(largest, worst), lines + extra
                counts.append(f"{kind}s {len(inside(wanted))}/{len(inside(got))}")
                if dense is not None:
                    sampled = inside(dense[kind == "set"])
                    unmatched = [x for x in sampled if not len(got) or np.min(abs(got - x)) > DENSE_STEP]
                    counts[-1] += f"/{len(sampled)}"
                    lines += [f"  {kind} in the altitude samples, not found: {x!r}" for x in unmatched]
            # rise_set_transit at every upper transit of the year.
            site = ephemeris.GeodeticObserver(LONGITUDE, latitude, 0.0)
            days = 0
            for i, transit in enumerate(uppers):
                if not YEAR_START <= transit < YEAR_END:
                    continue
                lower_before, lower_after = lowers[lowers < transit][-1], lowers[lowers > transit][0]
                rise, set_ = day_rule(rises, sets, transit, lower_before, lower_after)
                query = transit + QUERY_OFFSETS[i % len(QUERY_OFFSETS)] * min(transit - lower_before,
                                                                              lower_after - transit) / 0.5
                day = engine.rise_set_transit(name, site, ephemeris.Instant.ut1(query), altitude)
                days += 1
                for what, w, g in (("transit", transit, day.transit_ut1_julian_day),
                                   ("day rise", rise, day.rise_ut1_julian_day),
                                   ("day set", set_, day.set_ut1_julian_day)):
                    if math.isnan(w) and g is None:
                        continue
                    if math.isnan(w) or g is None or abs(g - w) / SECOND >= TOLERANCE_S:
                        lines.append(f"  {what} of the transit {transit!r}: Skyfield {w!r}, engine {g!r}")
                    else:
                        largest = max(largest, abs(g - w) / SECOND)
                day_rows.append((latitude, code, altitude, query, transit, rise, set_, lower_before, lower_after))
            series[(latitude, code)] = (rises, sets)
            # Days with a disagreement stay out of the table (the output above tells them).
            for line in lines:
                for x in [float(v) for v in line.replace("(", " ").replace(")", " ").split() if v[:3] == "246"]:
                    skip.update(u for u in uppers if abs(u - x) < 1.1)
            failures += len(lines)
            print(f"{name:4} {latitude:+5.0f}: {', '.join(counts)} (Skyfield/engine/sampled), {days} days, "
                  f"largest difference {largest:.3f} s, {len(lines)} disagreements", flush=True)
            for line in lines:
                print(line)
    print(f"{failures} disagreements in all")
    return day_rows, series, skip


def hard_days(day_rows, skip):
    """Per body and latitude, a few days of each hard kind, and a few ordinary days."""
    keep = []
    by_series = {}
    for row in day_rows:
        if row[4] not in skip:
            by_series.setdefault((row[0], row[1]), []).append(row)
    for rows in by_series.values():
        crossings = [2 - math.isnan(r[5]) - math.isnan(r[6]) for r in rows]
        kinds = {"one": [], "edge": [], "short": [], "after": []}
        for i, r in enumerate(rows):
            near = crossings[max(0, i - 1):i + 2]
            if crossings[i] == 1:
                kinds["one"].append(r)
            elif crossings[i] == 0 and max(near) > 0:
                kinds["edge"].append(r)
            elif crossings[i] == 2 and abs(r[6] - r[5]) < 0.125:
                kinds["short"].append(r)
            if (not math.isnan(r[5]) and r[5] > r[4]) or (not math.isnan(r[6]) and r[6] < r[4]):
                kinds["after"].append(r)
        for chosen in kinds.values():
            keep += chosen[::max(1, len(chosen) // 3)][:3]
    ordinary = [r for r in day_rows if r[0] in (0.0, 30.0, -50.0)][::61]
    return sorted(set(keep), key=lambda r: (r[1], r[0], r[4])) + ordinary


def next_rows_for(day_rows, series):
    """For each day, the next rise and set from the start of the day (NaN: none within the three windows)."""
    rows = []
    for latitude, code, altitude, _, transit, _, _, lower_before, _ in day_rows:
        rises, sets = series[(latitude, code)]
        query = lower_before + 0.01
        for kind, events in ((0, rises), (1, sets)):
            later = events[events > query + SECOND]
            if len(later) and later[0] <= query + 2.0:
                rows.append((latitude, code, altitude, query, kind, later[0]))
            elif not len(later) or later[0] > query + 3.2:
                rows.append((latitude, code, altitude, query, kind, math.nan))
    return rows


def issue_rows(sky):
    """Moonrise and moonset at 69.6 N 18.9 E that the former search missed."""
    latitude, altitude = 69.6, ephemeris.MEAN_REFRACTION_ALTITUDE_DEG
    rises, sets, uppers, lowers = sky.events("moon", latitude, altitude, 2460840.0, 2461330.0)
    days, nexts = [], []
    for utc_day in (2461032.5, 2461318.5):  # 2025-12-23, 2026-10-05
        transit = uppers[np.argmin(abs(uppers - (utc_day + 0.45)))]
        lower_before, lower_after = lowers[lowers < transit][-1], lowers[lowers > transit][0]
        rise, set_ = day_rule(rises, sets, transit, lower_before, lower_after)
        days.append((latitude, 1, altitude, transit, transit, rise, set_, lower_before, lower_after))
    for query, kind, events in ((2460847.5, 0, rises), (2461318.5, 1, sets)):  # 2025-06-21, 2026-10-05
        nexts.append((latitude, 1, altitude, query, kind, events[events > query][0]))
    return days, nexts


def fmt(x):
    return "kNaN" if isinstance(x, float) and math.isnan(x) else repr(float(x))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--write", action="store_true", help=f"write {OUT.relative_to(ROOT)}")
    parser.add_argument("--sampled", action="store_true",
                        help="also match every crossing of the Moon in Skyfield's altitude sampled each minute at "
                             "60 to 80 degrees (about 10 minutes)")
    args = parser.parse_args()
    import tempfile
    sky = Sky()
    with tempfile.TemporaryDirectory() as tmp:
        engine = open_engine(pathlib.Path(tmp))
    day_rows, series, skip = sweep(sky, engine, args.sampled)
    if not args.write:
        return
    days = hard_days(day_rows, skip)
    nexts = next_rows_for(days, series)
    issue_days, issue_nexts = issue_rows(sky)
    days, nexts = issue_days + days, issue_nexts + nexts
    lines = [
        "// Generated by tools/make_horizon_reference.py with Skyfield and JPL DE421; do not edit.",
        "// Sites at 18.9 degrees east, sea level; the Sun at -0.8333 degrees, the Moon at -0.5667.",
        "",
        "struct HorizonDayReference {",
        "  double latitude_deg;",
        "  int body;  // 0 Sun, 1 Moon",
        "  double query_ut1_julian_day;",
        "  double transit_ut1_julian_day, rise_ut1_julian_day, set_ut1_julian_day;  // NaN: none",
        "};",
        "struct HorizonNextReference {",
        "  double latitude_deg;",
        "  int body;",
        "  double query_ut1_julian_day;",
        "  int kind;  // 0 rise, 1 set",
        "  double event_ut1_julian_day;  // NaN: none within the three days",
        "};",
        "struct Ut1Reference {",
        "  double utc_julian_day, ut1_julian_day;",
        "};",
        "",
        "// rise_set_transit: the 69.6 N cases first, then the hard days of the 2025 sweep and a few ordinary ones",
        "inline constexpr HorizonDayReference kSkyfieldDays[] = {",
    ]
    for latitude, code, _, query, transit, rise, set_, _, _ in days:
        lines.append(f"    {{{fmt(latitude)}, {code}, {', '.join(fmt(v) for v in (query, transit, rise, set_))}}},")
    lines += ["};", "", "// next_horizon_event from the start of those days",
              "inline constexpr HorizonNextReference kSkyfieldNextEvents[] = {"]
    for latitude, code, _, query, kind, event in nexts:
        lines.append(f"    {{{fmt(latitude)}, {code}, {fmt(query)}, {kind}, {fmt(event)}}},")
    lines += ["};", "", "// Skyfield's UT1 of UTC instants with the C04-based Delta T",
              "inline constexpr Ut1Reference kSkyfieldUt1[] = {"]
    for utc in (2451545.0, 2455197.75, 2458000.3, 2460847.5):
        lines.append(f"    {{{fmt(utc)}, {fmt(utc_instant(sky.ts, utc).ut1)}}},")
    lines.append("};")
    OUT.write_text("\n".join(lines) + "\n")
    print(f"wrote {OUT}: {len(days)} days, {len(nexts)} next events", file=sys.stderr)


def utc_instant(ts, utc_jd):
    """The Skyfield time of a UTC Julian date (not on a leap-second day)."""
    day = math.floor(utc_jd - 0.5) + 0.5
    year, month, mday = (int(v) for v in ts.tt_jd(day).tt_calendar()[:3])
    return ts.utc(year, month, mday, (utc_jd - day) * 24.0)


if __name__ == "__main__":
    main()
