"""Time scales and datetimes: Engine.convert against astropy (the same leap
seconds and, for UT1, the same EOP file) and CSPICE, the Bulletin A table
against astropy's IERS_A, Instant.from_datetime
and Instant.to_datetime against ERFA's calendar, and the leap-second kernel
installed with the module.

A Julian day is one float: its spacing (40 us for present dates) bounds every
comparison, so a result must lie within half a spacing plus 1 us of the
oracle's exact two-part value."""

import datetime
import hashlib
import pathlib
import random
import subprocess
import sys

import numpy as np
import pytest

import ephemeris
import oracles
from conftest import need
from ephemeris import Instant
from leap_second_kernel import LEAP_SECONDS, leap_second_kernel_text

UTC = datetime.timezone.utc
# TDB - TT of the leap-second kernel's model (NAIF's DELTET) against ERFA's
# full series, which astropy uses: they differ by up to 36 us.
DELTET_VS_SERIES_S = 40e-6
# Julian days of the first day of each new TAI - UTC (1972-07-01 on).
LEAP_DAYS = [2440587.5 + (datetime.date(y, m, 1) - datetime.date(1970, 1, 1)).days for _, y, m in LEAP_SECONDS[1:]]


def tolerance_s(julian_day, extra_s=1e-6):
    return np.spacing(julian_day) / 2 * 86400 + extra_s


@pytest.fixture(scope="module")
def astropy_time(eop_table):
    need("astropy")
    from astropy.time import Time
    from astropy.utils import iers
    return Time, iers.IERS_B.open(eop_table.path)


def utc_days():
    """Random UTC Julian days of 1972-2023, and noon and the last half second of each leap-second day."""
    rng = random.Random(7)
    return [rng.uniform(2441318.5, 2460300.5) for _ in range(200)] + \
        [day - offset for day in LEAP_DAYS for offset in (0.5, 0.5 / 86400)]


def test_convert_agrees_with_astropy(full_engine, astropy_time, spice):
    Time, eop = astropy_time
    for utc in utc_days():
        t = Time(utc, format="jd", scale="utc")
        if any(0 < day - utc < 1 for day in LEAP_DAYS):
            # astropy reads the Julian day of a leap-second day as a quasi day
            # of 86,401 s; name the same instant through its calendar instead.
            year, month, day, hms = need("erfa").d2dtf("", 9, utc, 0.0)
            t = Time(f"{year:04d}-{month:02d}-{day:02d}T{hms[0]:02d}:{hms[1]:02d}:{hms[2]:02d}.{hms[3]:09d}",
                     scale="utc", precision=9)
        tt = full_engine.convert(Instant.utc(utc), "tt").julian_day
        tdb = full_engine.convert(Instant.utc(utc), "tdb").julian_day
        # UTC -> TDB rounds the TT day twice on its way (two offsets added in turn).
        for got, want, extra in [(tt, t.tt, 1e-6), (tdb, t.tdb, DELTET_VS_SERIES_S + np.spacing(tdb) * 86400)]:
            assert abs((got - want.jd1 - want.jd2) * 86400) <= tolerance_s(got, extra), utc
        # TT -> TDB by the model CSPICE shares, and every conversion back to UTC.
        tt_seconds = (tt - 2451545.0) * 86400
        model = spice.unitim(tt_seconds, "TT", "TDB") - tt_seconds
        got = full_engine.convert(Instant.tt(tt), "tdb").julian_day
        assert abs((got - tt) * 86400 - model) <= 2 * tolerance_s(tt), utc
        for day, scale in [(tt, "tt"), (tdb, "tdb")]:
            back = full_engine.convert(Instant(day, scale), "utc")
            assert back.time_scale == "utc" and abs(back.julian_day - utc) * 86400 <= 2 * tolerance_s(utc)
        # UT1 with the same C04 table. On the day before a leap second the
        # engine interpolates DUT1 linearly across the table's 1 s step, where
        # astropy removes the step first: those days are not compared.
        if not any(0 < day - utc < 1 for day in LEAP_DAYS):
            t.delta_ut1_utc = t.get_delta_ut1_utc(eop)
            ut1 = full_engine.convert(Instant.utc(utc), "ut1").julian_day
            assert abs((ut1 - t.ut1.jd1 - t.ut1.jd2) * 86400) <= tolerance_s(ut1), utc
            assert abs(full_engine.convert(Instant.ut1(ut1), "utc").julian_day - utc) * 86400 <= 2 * tolerance_s(utc)


def test_bulletin_a_agrees_with_astropy_at_every_row_and_between(de421, leap_seconds, bulletin_a):
    """The table holds the rows of astropy's IERS_A, with its choice of values
    (Bulletin B where given), exactly, and ends its measurements where astropy
    starts its predictions. Between rows both interpolate linearly: within
    1e-9 s and 1e-9 arcsec at 1,000 random dates, the intervals with a leap
    second left out (astropy removes the 1 s step first, the engine does not)."""
    need("astropy")
    from astropy.utils.iers import IERS_A
    engine = ephemeris.Engine(*de421.pair(), *leap_seconds.pair(), *bulletin_a.pair())
    mjd, dut1, x, y, predictive_mjd = oracles.bulletin_a_rows(bulletin_a.path)
    days = mjd + 2400000.5
    at = [engine.earth_orientation_at(Instant.utc(day)) for day in days]
    assert at == list(zip(dut1.tolist(), x.tolist(), y.tolist()))
    table = engine.earth_orientation
    assert (table.format, table.first_utc_julian_day, table.last_utc_julian_day) == ("bulletin_a", days[0], days[-1])
    assert table.last_measured_utc_julian_day == days[mjd < predictive_mjd][-1] < table.last_utc_julian_day

    iers_a, rng = IERS_A.open(bulletin_a.path), random.Random(11)
    smooth = np.flatnonzero(np.abs(np.diff(dut1)) < 0.5)
    between = [rng.uniform(days[i], days[i + 1]) for i in (rng.choice(smooth) for _ in range(1000))]
    got = np.array([engine.earth_orientation_at(Instant.utc(day)) for day in between])
    wanted_x, wanted_y = (part.to_value("arcsec") for part in iers_a.pm_xy(np.array(between), 0.0))
    worst_s = np.max(np.abs(got[:, 0] - iers_a.ut1_utc(np.array(between), 0.0).to_value("s")))
    worst_arcsec = max(np.max(np.abs(got[:, 1] - wanted_x)), np.max(np.abs(got[:, 2] - wanted_y)))
    print(f"Bulletin A between rows: largest difference from astropy {worst_s:.3g} s, {worst_arcsec:.3g} arcsec")
    assert worst_s <= 1e-9 and worst_arcsec <= 1e-9
    with pytest.raises(ValueError) as raised:
        ephemeris.Engine(*de421.pair()).earth_orientation_at(Instant.utc(days[0]))
    assert raised.value.args == (NO_UT1,)


LEAP = 2457754.5  # 2017-01-01: TAI - UTC 36 -> 37 s
NO_UTC = "conversion from Utc to TDB is not implemented"
NO_UT1 = "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop"


@pytest.mark.parametrize("kernels, instant, scale, message", [
    ("", Instant.utc(2451545.0), "tt", NO_UTC),
    ("", Instant.tt(2451545.0), "ut1", "conversion from Ut1 to TDB is not implemented"),
    ("lsk", Instant.utc(2451545.0), "ut1", NO_UT1),
    ("lsk", Instant.utc(2441000.5), "tdb", "UTC Julian day 2441000.5 precedes the kernel's earliest leap-second "
                                           "entry (2441317.5); the offset is not extrapolated"),
    ("lsk", Instant.tt(LEAP + 68.5 / 86400), "utc",
     "TT Julian day 2457754.500792824 falls inside a leap second, which has no UTC Julian day"),
    ("lsk", Instant.utc(2451545.0), "Tai", 'unknown time scale "tai"'),
])
def test_convert_needs_the_time_kernels_but_not_the_kernel_range(de421, leap_seconds, kernels, instant, scale,
                                                                  message):
    engine = ephemeris.Engine(*de421.pair(), *(leap_seconds.pair() if kernels else ()))
    with pytest.raises(ValueError) as raised:
        engine.convert(instant, scale)
    assert raised.value.args == (message,)
    # Its own scale, and TT <-> TDB, need no kernel; nor do instants beyond DE421 (1900-2050).
    assert engine.convert(instant, instant.time_scale).julian_day == instant.julian_day
    far = engine.convert(Instant.tt(2500000.0), " TDB ")
    assert far.time_scale == "tdb" and 0 < abs(far.julian_day - 2500000.0) * 86400 < 0.002


def test_datetimes_follow_erfa_calendar_with_86400_second_days():
    erfa = need("erfa")
    rng = random.Random(11)
    days = [rng.uniform(1721425.5, 5373484.49) for _ in range(5000)] + [day - 1e-9 for day in LEAP_DAYS]
    for day in days:
        moment = Instant.utc(day).to_datetime()
        assert moment.tzinfo is UTC and Instant.from_datetime(moment).julian_day == day  # bit for bit
        # ERFA with no time scale counts 86,400 s a day, as the engine's UTC Julian days do.
        year, month, date, (hour, minute, second, micro) = erfa.d2dtf("", 6, day, 0.0)
        oracle = datetime.datetime(year, month, date, hour, minute, second, micro, UTC)
        assert abs((moment - oracle).total_seconds()) <= tolerance_s(day), day
        jd1, jd2 = erfa.dtf2d("", moment.year, moment.month, moment.day, moment.hour, moment.minute,
                              moment.second + moment.microsecond / 1e6)
        assert abs((day - jd1 - jd2) * 86400) <= tolerance_s(day), day
    # Datetimes at whole 100 us come back unchanged, whatever their time zone.
    for moment in [datetime.datetime(2016, 12, 31, 23, 59, 59, 999900, UTC),
                   datetime.datetime(2024, 3, 20, 3, 6, tzinfo=datetime.timezone(datetime.timedelta(hours=-5))),
                   datetime.datetime(1, 1, 1, tzinfo=UTC), datetime.datetime(9999, 12, 31, 23, 59, 59, 999900, UTC)]:
        assert Instant.from_datetime(moment).to_datetime() == moment


@pytest.mark.parametrize("call, error, message", [
    (lambda: Instant.from_datetime(datetime.datetime(2024, 1, 1)), ValueError,
     "naive datetime: attach a time zone, for example value.replace(tzinfo=datetime.timezone.utc)"),
    (lambda: Instant.from_datetime(datetime.date(2024, 1, 1)), TypeError,
     "argument 'value': must be datetime.datetime, not date"),
    (lambda: Instant.tt(2451545.0).to_datetime(), ValueError,
     'to_datetime() needs a UTC instant, not "tt"; convert it first with Engine.convert(instant, "utc")'),
    (lambda: Instant.utc(1721425.0).to_datetime(), ValueError,
     "UTC Julian day 1721425 is outside the years 1 to 9999 that datetime holds"),
])
def test_datetime_errors(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert raised.value.args == (message,)


def test_the_installed_leap_second_kernel_opens_from_any_directory(de421, tmp_path):
    path = pathlib.Path(ephemeris.LEAP_SECOND_KERNEL_PATH)
    assert path.is_absolute() and path.parent.parent == pathlib.Path(ephemeris.__file__).parent
    assert hashlib.sha256(path.read_bytes()).hexdigest() == ephemeris.LEAP_SECOND_KERNEL_SHA256
    assert path.read_text(encoding="utf-8") == leap_second_kernel_text()  # the tool's output, not a copy
    code = (f"import ephemeris; e = ephemeris.Engine({de421.path!r}, {de421.sha256!r}, "
            "ephemeris.LEAP_SECOND_KERNEL_PATH, ephemeris.LEAP_SECOND_KERNEL_SHA256); "
            "print(e.convert(ephemeris.Instant.utc(2457754.5), 'tt').julian_day)")
    result = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert float(result.stdout) == 2457754.5 + 69.184 / 86400
