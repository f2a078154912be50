#!/usr/bin/env python3
"""A small almanac for a site: the coming equinoxes and solstices, the next
new and full Moons, today's rising, transit and setting of the Sun and the
Moon, and the house cusps of the moment.

    pip install '.[data]' && python examples/almanac.py [LONGITUDE LATITUDE [HEIGHT]]

LONGITUDE is east-positive and LATITUDE north-positive, in degrees; HEIGHT is
in metres above the GRS80 ellipsoid. Without a site the Royal Observatory,
Greenwich is used. Like sky_now.py it opens JPL's DE421 (skyfield-data), the
leap-second kernel installed with the module and the IERS EOP 20 C04 table
(astropy-iers-data).

The engine returns equinoxes, solstices and lunations as TT Julian days and
horizon events as UT1 Julian days. They are shown in UTC: TT through
Engine.convert (the leap-second kernel), and UTC = UT1 - (UT1 - UTC), with
UT1 - UTC interpolated linearly in the C04 table. Rise and set need UT1, so they can
only be computed for days the C04 table covers (with the few days after them
that the next-event searches look at); when today lies beyond that, the last
day the table serves is shown instead and the output says so. House cusps
need UT1 as well: beyond the table, UT1 - UTC is held at its last value
(it changes by about a millisecond a day, a few thousandths of a degree of
sidereal time over months).
"""
import argparse
import datetime
import math
import pathlib
import sys

import ephemeris
from sky_now import LEAP_SECONDS, data_files, julian_day, sexagesimal, sha256_of, zodiac

GREENWICH = (-0.0015, 51.4769, 46.0)  # Airy transit circle: east longitude, latitude (deg), height (m)
MJD_ZERO = 2400000.5
SECONDS_PER_DAY = 86400.0
# Next-event searches look at the day of the query and the two after it, and
# each refinement may move about half a day: the table must reach this far.
HORIZON_SEARCH_DAYS = 4.0
SEASONS = [("march_equinox", "March equinox"), ("june_solstice", "June solstice"),
           ("september_equinox", "September equinox"), ("december_solstice", "December solstice")]
LUNATIONS = [("new_moon", "New Moon"), ("full_moon", "Full Moon")]


class Ut1Table:
    """UT1 - UTC from the C04 table (sampled at 0h UTC), linearly interpolated
    as the engine does; held at the end values outside the table."""

    def __init__(self, path: pathlib.Path):
        self.utc, self.dut1 = [], []
        for line in path.read_text(encoding="ascii", errors="replace").splitlines():
            fields = line.split()
            if line.startswith("#") or len(fields) < 8:
                continue
            try:
                self.utc.append(float(fields[4]) + MJD_ZERO)
                self.dut1.append(float(fields[7]))
            except ValueError:
                continue
        if not self.utc:
            raise ValueError(f"{path.name} holds no UT1 - UTC values")

    @property
    def first_utc(self) -> float:
        return self.utc[0]

    @property
    def last_utc(self) -> float:
        return self.utc[-1]

    def dut1_days(self, utc_julian_day: float) -> float:
        if utc_julian_day <= self.utc[0]:
            return self.dut1[0] / SECONDS_PER_DAY
        if utc_julian_day >= self.utc[-1]:
            return self.dut1[-1] / SECONDS_PER_DAY
        low, high = 0, len(self.utc) - 1
        while high - low > 1:
            middle = (low + high) // 2
            if self.utc[middle] <= utc_julian_day:
                low = middle
            else:
                high = middle
        fraction = (utc_julian_day - self.utc[low]) / (self.utc[high] - self.utc[low])
        return (self.dut1[low] + fraction * (self.dut1[high] - self.dut1[low])) / SECONDS_PER_DAY

    def ut1_from_utc(self, utc_julian_day: float) -> float:
        return utc_julian_day + self.dut1_days(utc_julian_day)

    def utc_from_ut1(self, ut1_julian_day: float) -> float:
        utc = ut1_julian_day - self.dut1_days(ut1_julian_day)
        return ut1_julian_day - self.dut1_days(utc)


def utc_datetime(utc_julian_day: float) -> datetime.datetime:
    """To the nearest second."""
    moment = ephemeris.Instant.utc(utc_julian_day).to_datetime() + datetime.timedelta(microseconds=500_000)
    return moment.replace(microsecond=0)


def parse_moment(text: str) -> datetime.datetime:
    """An ISO date or date and time, taken as UTC."""
    moment = datetime.datetime.fromisoformat(text)
    if moment.tzinfo is None:
        moment = moment.replace(tzinfo=datetime.timezone.utc)
    return moment.astimezone(datetime.timezone.utc)


def site_text(observer: ephemeris.GeodeticObserver) -> str:
    longitude, latitude = observer.longitude_east_deg, observer.latitude_deg
    return (f"longitude {sexagesimal(abs(longitude))} {'E' if longitude >= 0 else 'W'}, "
            f"latitude {sexagesimal(abs(latitude))} {'N' if latitude >= 0 else 'S'}, "
            f"height {observer.height_m:g} m")


def print_seasons_and_lunations(engine, now: ephemeris.Instant) -> None:
    # The searches run in the scale of the query (UTC here) and return TT.
    sections = [("Equinoxes and solstices (apparent solar longitude 0, 90, 180, 270 degrees)",
                 engine.next_season_event, SEASONS),
                ("Moon phases (apparent elongation 0 and 180 degrees)", engine.next_lunation, LUNATIONS)]
    for title, search, events in sections:
        print(title)
        try:
            found = sorted((search(now, name).julian_day, label) for name, label in events)
        except ValueError as error:  # for example a moment outside the kernel
            print(f"  unavailable: {error}")
            found = []
        for tt, label in found:
            utc = engine.convert(ephemeris.Instant.tt(tt), "utc").julian_day
            print(f"  {label:<20} {utc_datetime(utc):%Y-%m-%d %H:%M:%S} UTC")
        print()


def horizon_day(table: Ut1Table, observer, now_utc: float):
    """UTC Julian day at which the site's local mean solar day containing
    `now_utc` begins, moved back to the last day the C04 table fully serves
    when needed; and whether it was moved."""
    offset = observer.longitude_east_deg / 360.0  # local mean time - UTC, days
    start = math.floor(now_utc + offset - 0.5) + 0.5 - offset
    latest = math.floor(table.last_utc - HORIZON_SEARCH_DAYS + offset - 0.5) + 0.5 - offset
    if start <= latest:
        return start, False
    return latest, True


def time_text(table: Ut1Table, ut1_julian_day: float, day_start_utc: float) -> str:
    moment = utc_datetime(table.utc_from_ut1(ut1_julian_day))
    day = utc_datetime(day_start_utc + 0.5)  # the local date of the day
    suffix = "" if moment.date() == day.date() else f" ({moment:%Y-%m-%d})"
    return f"{moment:%H:%M:%S} UTC{suffix}"


def print_sun(engine, table: Ut1Table, observer, day_start_utc: float) -> None:
    noon = ephemeris.Instant.ut1(table.ut1_from_utc(day_start_utc + 0.5))
    altitude = ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG
    try:
        days = engine.rise_set_transit("sun", observer, noon, altitude)
    except ValueError as error:
        print(f"  Sun: {error}")
        return
    if days.rise_ut1_julian_day is None:
        # No crossing: the altitude at transit tells midnight Sun from polar night.
        place = engine.position("sun", ephemeris.Instant.ut1(days.transit_ut1_julian_day),
                                ephemeris.apparent("topocentric", "equatorial", observer))
        noon_altitude = 90.0 - abs(observer.latitude_deg - place.latitude_deg)
        state = "above" if noon_altitude > altitude else "below"
        print(f"  Sunrise, sunset          none: the Sun stays {state} the horizon all day")
    else:
        print(f"  Sunrise                  {time_text(table, days.rise_ut1_julian_day, day_start_utc)}")
    print(f"  Sun transit              {time_text(table, days.transit_ut1_julian_day, day_start_utc)}")
    if days.set_ut1_julian_day is not None:
        print(f"  Sunset                   {time_text(table, days.set_ut1_julian_day, day_start_utc)}")


def print_moon(engine, table: Ut1Table, observer, day_start_utc: float) -> None:
    start = ephemeris.Instant.ut1(table.ut1_from_utc(day_start_utc))
    end_ut1 = table.ut1_from_utc(day_start_utc + 1.0)
    events = []
    for kind, label in (("rise", "Moonrise"), ("transit", "Moon transit"), ("set", "Moonset")):
        try:
            event = engine.next_horizon_event("moon", observer, start, kind, ephemeris.MEAN_REFRACTION_ALTITUDE_DEG)
        except ValueError as error:
            events.append((math.inf, f"  {label:<24} none within three days ({error})"))
            continue
        if event.ut1_julian_day >= end_ut1:
            events.append((event.ut1_julian_day, f"  {label:<24} none on this day (next "
                           f"{utc_datetime(table.utc_from_ut1(event.ut1_julian_day)):%Y-%m-%d %H:%M} UTC)"))
        else:
            events.append((event.ut1_julian_day,
                           f"  {label:<24} {time_text(table, event.ut1_julian_day, day_start_utc)}"))
    for _, line in sorted(events):
        print(line)


def print_house_cusps(engine, observer, system: str, moment_utc: float, table: Ut1Table):
    ut1 = table.ut1_from_utc(moment_utc)
    tt = engine.convert(ephemeris.Instant.utc(moment_utc), "tt")
    notes = []
    if not table.first_utc <= moment_utc <= table.last_utc:
        notes.append("UT1 - UTC held at the table's nearest value")
    cusps = None
    for name in [system] + [other for other in ("campanus", "equal") if other != system]:
        try:
            cusps = ephemeris.house_cusps(observer, ut1, tt, name)
            break
        except ValueError as error:  # Placidus has no cusps in the polar circles
            notes.append(f"{name.replace('_', ' ').title()}: {error}")
    title = f"House cusps at {utc_datetime(moment_utc):%Y-%m-%d %H:%M:%S} UTC"
    if cusps is None:
        print(f"{title}: none ({'; '.join(notes)})")
        return
    print(f"{title} ({cusps.system.name.replace('_', ' ').title()})")
    for note in notes:
        print(f"  Note: {note}")
    print(f"  Ascendant {zodiac(cusps.ascendant_deg)}   Midheaven {zodiac(cusps.midheaven_deg)}   "
          f"local sidereal time {sexagesimal(cusps.local_sidereal_time_deg / 15.0, ('h', 'm', 's'))}")
    longitudes = cusps.cusp_ecliptic_longitude_deg
    for house in range(6):
        print(f"  {house + 1:>2}  {zodiac(longitudes[house]):<18}  {house + 7:>2}  {zodiac(longitudes[house + 6])}")


def arguments(argv):
    parser = argparse.ArgumentParser(description="Seasons, Moon phases, rise and set, and house cusps for a site.")
    parser.add_argument("site", nargs="*", type=float, metavar="LONGITUDE LATITUDE [HEIGHT]",
                        help="east longitude and latitude in degrees, height in metres (default: Greenwich)")
    parser.add_argument("--at", type=parse_moment, metavar="YYYY-MM-DD[THH:MM[:SS]]",
                        help="UTC moment of the almanac (default: now)")
    parser.add_argument("--houses", default="placidus", help="house system (default: placidus)")
    options = parser.parse_args(argv)
    if len(options.site) == 0:
        options.site = list(GREENWICH)
    elif len(options.site) not in (2, 3):
        parser.error("give LONGITUDE LATITUDE and optionally HEIGHT")
    return options


def main(argv=None) -> int:
    options = arguments(argv)
    try:
        observer = ephemeris.GeodeticObserver(*options.site)
        ephemeris.HouseSystem(options.houses)
    except ValueError as error:
        print(f"almanac: {error}", file=sys.stderr)
        return 2

    de421, eop = data_files()
    engine = ephemeris.open(str(de421), sha256_of(de421),
                            leap_second_kernel=ephemeris.LEAP_SECOND_KERNEL_PATH,
                            leap_second_sha256=ephemeris.LEAP_SECOND_KERNEL_SHA256,
                            eop=str(eop), eop_sha256=sha256_of(eop))
    table = Ut1Table(eop)

    moment = options.at or datetime.datetime.now(datetime.timezone.utc)
    now_utc = julian_day(moment)
    print(f"Almanac for {site_text(observer)}")
    print(f"at {moment:%Y-%m-%d %H:%M:%S} UTC; kernel {engine.kernel_metadata.kernel_name}, leap seconds "
          f"{LEAP_SECONDS.name}, Earth orientation {eop.name} (to {utc_datetime(table.last_utc):%Y-%m-%d})")
    print()
    print_seasons_and_lunations(engine, ephemeris.Instant.utc(now_utc))

    day_start, moved = horizon_day(table, observer, now_utc)
    day = utc_datetime(day_start + 0.5)
    if now_utc < table.first_utc:
        print(f"The Earth orientation table starts {utc_datetime(table.first_utc):%Y-%m-%d}: "
              "no rise and set before it.")
    else:
        print(f"Sun and Moon on {day:%Y-%m-%d} (local mean solar day; apparent upper limb of the Sun at "
              f"{ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG:.4f} deg, centre of the Moon at "
              f"{ephemeris.MEAN_REFRACTION_ALTITUDE_DEG:.4f} deg)")
        if moved:
            print(f"  Note: rise and set need UT1, and the Earth orientation table ends "
                  f"{utc_datetime(table.last_utc):%Y-%m-%d}; showing {day:%Y-%m-%d}, the last day whose searches it "
                  f"covers, instead of {utc_datetime(now_utc):%Y-%m-%d}.")
        print_sun(engine, table, observer, day_start)
        print_moon(engine, table, observer, day_start)
    print()
    print_house_cusps(engine, observer, options.houses, now_utc, table)
    return 0


if __name__ == "__main__":
    sys.exit(main())
