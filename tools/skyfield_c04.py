"""A Skyfield timescale whose UT1 comes from the IERS EOP 20 C04 table, so
that Skyfield turns the Earth exactly as the engine does. Shared by the
event reference script and the Python event tests."""
import pathlib

import numpy as np


def c04_timescale(builtin, eop_path: pathlib.Path):
    """A Skyfield timescale whose Delta T = TT - UT1 comes from the C04 table;
    `builtin` is Skyfield's built-in timescale, which gives the leap seconds."""
    from skyfield.timelib import Timescale

    mjd, dut1 = [], []
    for line in pathlib.Path(eop_path).read_text().splitlines():
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
