#!/usr/bin/env python3
"""Writes src/engine/testdata/engine_reference.inc: what independent tools say
about positions from JPL DE421, for the engine's tests.

- CSPICE (spiceypy): geometric, light-time ("CN") and light-time plus
  aberration ("CN+S") states in the J2000 frame for several targets and
  centres.
- Skyfield: apparent geocentric places of date (true equator and ecliptic).
- ERFA (pyerfa): the geocentric GCRS state of a site at UTC instants, with
  TT from ERFA's leap-second table, UT1 and the pole from the IERS EOP 20 C04
  table interpolated linearly, and the equinox-based IAU 2006/2000B chain.

Run it from the repository root: python3 tools/make_engine_reference.py
"""
import math
import pathlib
import sys
import tempfile
import warnings

warnings.simplefilter("ignore")

import erfa  # noqa: E402
import numpy as np  # noqa: E402
import spiceypy as spice  # noqa: E402
from skyfield.api import load_file  # noqa: E402
from skyfield.framelib import ecliptic_frame  # noqa: E402
from skyfield.api import load as sf_load  # noqa: E402

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from leap_second_kernel import leap_second_kernel_text  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "src" / "engine" / "testdata" / "engine_reference.inc"

import astropy_iers_data  # noqa: E402
import skyfield_data  # noqa: E402

DE421 = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
EOPC04 = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"

# TDB seconds past J2000 across DE421's coverage (1899-07-29 to 2053-10-09),
# whole multiples of 1/1024 day so that the Julian day the engine is given
# converts back to exactly these seconds.
EPOCHS = [d * 86400.0 for d in (-36680.25, -35880.25, -17361.125, -2893.5, 0.0, 1428.875, 8680.5, 19639.25)]
# (target, centre) pairs: barycentric, heliocentric and geocentric.
PAIRS = [(10, 0), (399, 0), (499, 0), (301, 10), (199, 10), (299, 10), (499, 10),
         (10, 399), (301, 399), (199, 399), (299, 399), (499, 399)]
# Bodies DE421 resolves besides the Earth.
APPARENT_BODIES = [10, 301, 199, 299, 499]
APPARENT_TT = [2415100.5, 2440000.25, 2451545.0, 2455197.5, 2460676.75, 2469000.5]

SITES = [(-0.1278, 51.5074, 35.0), (139.6917, 35.6895, 40.0), (-70.4, -24.6, 2635.0), (0.0, 90.0, 0.0)]
SITE_UTC = [2444239.5, 2451545.0, 2456293.75, 2460000.3]


def fmt(x):
    return repr(float(x))


def spice_rows(abcorr):
    rows = []
    for et in EPOCHS:
        for target, center in PAIRS:
            state, _ = spice.spkezr(str(target), et, "J2000", abcorr, str(center))
            rows.append((target, center, et, state))
    return rows


def skyfield_rows():
    eph = load_file(str(DE421))
    ts = sf_load.timescale(builtin=True)
    names = {10: "sun", 301: "moon", 199: "mercury", 299: "venus", 499: "mars"}
    earth = eph["earth"]
    rows = []
    for tt in APPARENT_TT:
        t = ts.tt_jd(tt)
        for code in APPARENT_BODIES:
            apparent = earth.at(t).observe(eph[names[code]]).apparent()
            ra, dec, dist = apparent.radec(epoch="date")
            lat, lon, _ = apparent.frame_latlon(ecliptic_frame)
            rows.append((code, tt, lon.degrees, lat.degrees, ra._degrees, dec.degrees, dist.au))
    return rows


def eop_samples():
    mjd, xp, yp, dut1 = [], [], [], []
    for line in EOPC04.read_text().splitlines():
        parts = line.split()
        if len(parts) < 10 or line.startswith("#"):
            continue
        try:
            mjd.append(float(parts[4]))
            xp.append(float(parts[5]))
            yp.append(float(parts[6]))
            dut1.append(float(parts[7]))
        except ValueError:
            continue
    return np.array(mjd), np.array(xp), np.array(yp), np.array(dut1)


def site_rows():
    mjd, xp_tab, yp_tab, dut1_tab = eop_samples()
    rows = []
    for lon, lat, height in SITES:
        itrs = erfa.gd2gc(2, math.radians(lon), math.radians(lat), height)  # GRS80, metres
        for utc in SITE_UTC:
            m = utc - 2400000.5
            xp = np.interp(m, mjd, xp_tab) * erfa.DAS2R
            yp = np.interp(m, mjd, yp_tab) * erfa.DAS2R
            dut1 = np.interp(m, mjd, dut1_tab)
            tai1, tai2 = erfa.utctai(utc, 0.0)
            tt1, tt2 = erfa.taitt(tai1, tai2)
            ut11, ut12 = erfa.utcut1(utc, 0.0, dut1)
            dpsi, deps = erfa.nut00b(tt1, tt2)
            rbpn = erfa.pn06(tt1, tt2, dpsi, deps)[-1]
            gst = erfa.gst06(ut11, ut12, tt1, tt2, rbpn)
            rpom = erfa.pom00(xp, yp, erfa.sp00(tt1, tt2))
            c2t = erfa.c2teqx(rbpn, gst, rpom)
            # Velocity of the site: Earth rotation in the TIRS, 7.292115e-5 rad/s.
            tirs = rpom.T @ itrs
            v_tirs = np.array([-7.292115e-5 * tirs[1], 7.292115e-5 * tirs[0], 0.0])
            t2c = c2t.T
            pos = t2c @ itrs / 1000.0
            vel = (rbpn.T @ erfa.rz(-gst, np.eye(3))) @ v_tirs / 1000.0
            rows.append((lon, lat, height, utc, np.concatenate([pos, vel])))
    return rows


def main():
    lines = ["// Generated by tools/make_engine_reference.py from JPL DE421; do not edit.", "",
             "struct SpiceStateReference {",
             "  int target;",
             "  int center;",
             "  double tdb_seconds;",
             "  double state[6];",
             "};",
             "struct ApparentReference {",
             "  int body;",
             "  double tt_julian_day;",
             "  double ecliptic_longitude_deg, ecliptic_latitude_deg;",
             "  double right_ascension_deg, declination_deg;",
             "  double distance_au;",
             "};",
             "struct SiteStateReference {",
             "  double longitude_deg, latitude_deg, height_m;",
             "  double utc_julian_day;",
             "  double state[6];",
             "};",
             ""]
    lines.append("// {target, centre, TDB seconds past J2000, x, y, z (km), vx, vy, vz (km/s)}")
    for name, abcorr in (("kSpiceGeometric", "NONE"), ("kSpiceLightTime", "CN"), ("kSpiceLightTimeAberration", "CN+S")):
        lines.append(f"// CSPICE spkezr, frame J2000, aberration correction {abcorr}")
        lines.append(f"inline constexpr SpiceStateReference {name}[] = {{")
        for target, center, et, s in spice_rows(abcorr):
            lines.append(f"    {{{target}, {center}, {fmt(et)}, {{{', '.join(fmt(v) for v in s)}}}}},")
        lines.append("};")
        lines.append("")
    lines.append("// Skyfield observe().apparent(): {body code, TT Julian day, ecliptic longitude, latitude of date (deg),")
    lines.append("//  right ascension, declination of date (deg), distance (au)}")
    lines.append("inline constexpr ApparentReference kSkyfieldApparent[] = {")
    for code, tt, lon, lat, ra, dec, dist in skyfield_rows():
        lines.append(f"    {{{code}, {fmt(tt)}, {fmt(lon)}, {fmt(lat)}, {fmt(ra)}, {fmt(dec)}, {fmt(dist)}}},")
    lines.append("};")
    lines.append("")
    lines.append("// ERFA site state: {east longitude (deg), latitude (deg), height (m), UTC Julian day,")
    lines.append("//  GCRS x, y, z (km), vx, vy, vz (km/s)}")
    lines.append("inline constexpr SiteStateReference kErfaSiteStates[] = {")
    for lon, lat, h, utc, s in site_rows():
        lines.append(f"    {{{fmt(lon)}, {fmt(lat)}, {fmt(h)}, {fmt(utc)}, {{{', '.join(fmt(v) for v in s)}}}}},")
    lines.append("};")
    OUT.parent.mkdir(parents=True, exist_ok=True)
    OUT.write_text("\n".join(lines) + "\n")
    print(f"wrote {OUT}", file=sys.stderr)


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as tmp:
        lsk = pathlib.Path(tmp) / "test.tls"
        lsk.write_text(leap_second_kernel_text())
        spice.furnsh(str(lsk))
        spice.furnsh(str(DE421))
        main()
