"""A Skyfield timescale whose UT1 comes from the IERS EOP 20 C04 table (or
the rows of a Bulletin A table), so that Skyfield turns the Earth exactly as
the engine does. Shared by the event reference script and the Python event
tests."""
import pathlib

import numpy as np


def c04_timescale(builtin, eop_path: pathlib.Path, polar_motion: bool = False):
    """A Skyfield timescale whose Delta T = TT - UT1 comes from the C04 table;
    `builtin` is Skyfield's built-in timescale, which gives the leap seconds.
    With `polar_motion`, the table's pole coordinates too, which Skyfield then
    applies in its ITRS and altazimuth rotations."""
    mjd, x, y, dut1 = [], [], [], []
    for line in pathlib.Path(eop_path).read_text().splitlines():
        parts = line.split()
        if line.startswith("#") or len(parts) < 8:
            continue
        mjd.append(float(parts[4]))
        x.append(float(parts[5]))
        y.append(float(parts[6]))
        dut1.append(float(parts[7]))
    return eop_timescale(builtin, np.array(mjd) + 2400000.5, x, y, dut1, polar_motion)


def eop_timescale(builtin, utc, x, y, dut1, polar_motion: bool = False):
    """The same from daily rows read elsewhere (UTC Julian days, pole x and y
    in arcseconds, UT1 - UTC in seconds): for a Bulletin A table, the rows
    that astropy's IERS_A reads."""
    from skyfield.timelib import Timescale

    utc = np.asarray(utc, dtype=float)
    keep = utc >= 2441317.5  # integral TAI - UTC from 1972-01-01 (10 s) on
    utc, x, y, dut1 = utc[keep], np.array(x)[keep], np.array(y)[keep], np.array(dut1)[keep]
    steps = np.concatenate([[10.0], builtin.leap_offsets])  # leap_dates[i] starts leap_offsets[i]
    tai_utc = steps[np.searchsorted(builtin.leap_dates, utc, side="right")]
    tt = utc + (tai_utc + 32.184) / 86400.0
    delta_t = 32.184 + tai_utc - dut1
    timescale = Timescale((tt, delta_t), builtin.leap_dates, builtin.leap_offsets)
    if polar_motion:
        timescale.polar_motion_table = (tt, x, y)
    return timescale
