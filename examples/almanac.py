#!/usr/bin/env python3
"""A small almanac: the coming equinoxes and solstices, the next new and full
Moons, and for each site today's rising, transit and setting of the Sun and
the Moon and the house cusps of the moment.

    pip install '.[data]' && python examples/almanac.py [LONGITUDE LATITUDE [HEIGHT]]

LONGITUDE is east-positive and LATITUDE north-positive, in degrees; HEIGHT is
in metres above the GRS80 ellipsoid. Without a site, three are shown: the
Royal Observatory, Greenwich, Sydney Observatory and Tromsø (north of the
Arctic Circle). Like sky_now.py it opens JPL's DE421 (skyfield-data), the
leap-second kernel installed with the module and IERS Bulletin A
(finals2000A.all, astropy-iers-data), whose Earth orientation is measured to
a few weeks ago and predicted for about a year ahead: rise and set need UT1,
so today and the coming months are served.

The engine returns equinoxes, solstices and lunations as TT Julian days and
horizon events as UT1 Julian days; Engine.convert turns them into UTC with
the same leap-second kernel and Bulletin A table.
"""
import argparse
import datetime
import math
import sys

import ephemeris
from sky_now import LEAP_SECONDS, data_files, eop_text, sexagesimal, sha256_of, zodiac

# (name, east longitude deg, latitude deg, height m)
SITES = [("Royal Observatory, Greenwich", -0.0015, 51.4769, 46.0),  # the Airy transit circle
         ("Sydney Observatory", 151.2048, -33.8593, 43.0),
         ("Tromsø", 18.9553, 69.6496, 10.0)]
SEASONS = [("march_equinox", "March equinox"), ("june_solstice", "June solstice"),
           ("september_equinox", "September equinox"), ("december_solstice", "December solstice")]
LUNATIONS = [("new_moon", "New Moon"), ("full_moon", "Full Moon")]


def utc_datetime(engine, instant: ephemeris.Instant) -> datetime.datetime:
    """The instant in UTC, to the nearest second."""
    moment = engine.convert(instant, "utc").to_datetime() + datetime.timedelta(microseconds=500_000)
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
            found = sorted(((search(now, name), label) for name, label in events), key=lambda event: event[0].julian_day)
        except ValueError as error:  # for example a moment outside the kernel
            print(f"  unavailable: {error}")
            found = []
        for tt, label in found:
            print(f"  {label:<20} {utc_datetime(engine, tt):%Y-%m-%d %H:%M:%S} UTC")
        print()


def local_day_start(observer, now_utc: float) -> float:
    """UTC Julian day at which the site's local mean solar day containing `now_utc` begins."""
    offset = observer.longitude_east_deg / 360.0  # local mean time - UTC, days
    return math.floor(now_utc + offset - 0.5) + 0.5 - offset


def time_text(engine, ut1_julian_day: float, local_date: datetime.date) -> str:
    moment = utc_datetime(engine, ephemeris.Instant.ut1(ut1_julian_day))
    suffix = "" if moment.date() == local_date else f" ({moment:%Y-%m-%d})"
    return f"{moment:%H:%M:%S} UTC{suffix}"


def print_sun(engine, observer, day_start_utc: float, local_date: datetime.date) -> None:
    altitude = ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG
    try:
        noon = engine.convert(ephemeris.Instant.utc(day_start_utc + 0.5), "ut1")
        days = engine.rise_set_transit("sun", observer, noon, altitude)
    except ValueError as error:  # for example a day beyond the Earth orientation table
        print(f"  Sun                      unavailable: {error}")
        return
    if days.rise_ut1_julian_day is None:
        # No crossing: the altitude at transit tells midnight Sun from polar night.
        place = engine.position("sun", ephemeris.Instant.ut1(days.transit_ut1_julian_day),
                                ephemeris.apparent("topocentric", "equatorial", observer))
        noon_altitude = 90.0 - abs(observer.latitude_deg - place.latitude_deg)
        state = "above" if noon_altitude > altitude else "below"
        print(f"  Sunrise, sunset          none: the Sun stays {state} the horizon all day")
    else:
        print(f"  Sunrise                  {time_text(engine, days.rise_ut1_julian_day, local_date)}")
    print(f"  Sun transit              {time_text(engine, days.transit_ut1_julian_day, local_date)}")
    if days.set_ut1_julian_day is not None:
        print(f"  Sunset                   {time_text(engine, days.set_ut1_julian_day, local_date)}")


def print_moon(engine, observer, day_start_utc: float, local_date: datetime.date) -> None:
    try:
        start = engine.convert(ephemeris.Instant.utc(day_start_utc), "ut1")
        end_ut1 = engine.convert(ephemeris.Instant.utc(day_start_utc + 1.0), "ut1").julian_day
    except ValueError as error:
        print(f"  Moon                     unavailable: {error}")
        return
    events = []
    for kind, label in (("rise", "Moonrise"), ("transit", "Moon transit"), ("set", "Moonset")):
        try:
            event = engine.next_horizon_event("moon", observer, start, kind, ephemeris.MEAN_REFRACTION_ALTITUDE_DEG)
        except ValueError as error:  # "no Rise of Moon within 3 days ...", or a day beyond the tables
            text = "none within three days" if str(error).startswith("no ") else f"unavailable: {error}"
            events.append((math.inf, f"  {label:<24} {text}"))
            continue
        if event.ut1_julian_day >= end_ut1:
            next_time = utc_datetime(engine, ephemeris.Instant.ut1(event.ut1_julian_day))
            events.append((event.ut1_julian_day, f"  {label:<24} none on this day (next {next_time:%Y-%m-%d %H:%M} UTC)"))
        else:
            events.append((event.ut1_julian_day, f"  {label:<24} {time_text(engine, event.ut1_julian_day, local_date)}"))
    for _, line in sorted(events):
        print(line)


def print_house_cusps(engine, observer, system: str, now: ephemeris.Instant) -> None:
    title = f"House cusps at {utc_datetime(engine, now):%Y-%m-%d %H:%M:%S} UTC"
    try:
        ut1, tt = engine.convert(now, "ut1"), engine.convert(now, "tt")
    except ValueError as error:  # UT1 beyond the Earth orientation table
        print(f"{title}: unavailable ({error})")
        return
    notes, cusps = [], None
    for name in [system] + [other for other in ("campanus", "equal") if other != system]:
        try:
            cusps = ephemeris.house_cusps(observer, ut1, tt, name)
            break
        except ValueError as error:  # Placidus has no cusps in the polar circles
            notes.append(f"{name.replace('_', ' ').title()}: {error}")
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


def print_site(engine, name: str, observer, now: ephemeris.Instant, houses: str) -> None:
    print(f"{name}: {site_text(observer)}" if name else f"Site: {site_text(observer)}")
    day_start = local_day_start(observer, now.julian_day)
    local_date = (ephemeris.Instant.utc(day_start + 0.5).to_datetime()).date()
    table = engine.earth_orientation
    if not table.first_utc_julian_day <= day_start <= table.last_utc_julian_day:
        source = "beyond the table"
    elif table.last_measured_utc_julian_day is None or day_start > table.last_measured_utc_julian_day:
        source = "predicted"
    else:
        source = "measured"
    print(f"Sun and Moon on {local_date:%Y-%m-%d} (local mean solar day; apparent upper limb of the Sun at "
          f"{ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG:.4f} deg, centre of the Moon at "
          f"{ephemeris.MEAN_REFRACTION_ALTITUDE_DEG:.4f} deg; Earth orientation {source})")
    print_sun(engine, observer, day_start, local_date)
    print_moon(engine, observer, day_start, local_date)
    print_house_cusps(engine, observer, houses, now)
    print()


def arguments(argv):
    parser = argparse.ArgumentParser(description="Seasons, Moon phases, rise and set, and house cusps for a site.")
    parser.add_argument("site", nargs="*", type=float, metavar="LONGITUDE LATITUDE [HEIGHT]",
                        help="east longitude and latitude in degrees, height in metres "
                             "(default: Greenwich, Sydney and Tromsø)")
    parser.add_argument("--at", type=parse_moment, metavar="YYYY-MM-DD[THH:MM[:SS]]",
                        help="UTC moment of the almanac (default: now)")
    parser.add_argument("--houses", default="placidus", help="house system (default: placidus)")
    options = parser.parse_args(argv)
    if len(options.site) not in (0, 2, 3):
        parser.error("give LONGITUDE LATITUDE and optionally HEIGHT")
    return options


def main(argv=None) -> int:
    options = arguments(argv)
    try:
        sites = [(name, ephemeris.GeodeticObserver(*site)) for name, *site in SITES] if not options.site else \
            [("", ephemeris.GeodeticObserver(*options.site))]
        ephemeris.HouseSystem(options.houses)
    except ValueError as error:
        print(f"almanac: {error}", file=sys.stderr)
        return 2

    de421, eop = data_files()
    engine = ephemeris.open(str(de421), sha256_of(de421),
                            leap_second_kernel=ephemeris.LEAP_SECOND_KERNEL_PATH,
                            leap_second_sha256=ephemeris.LEAP_SECOND_KERNEL_SHA256,
                            eop=str(eop), eop_sha256=sha256_of(eop))

    moment = options.at or datetime.datetime.now(datetime.timezone.utc)
    now = ephemeris.Instant.from_datetime(moment)
    print(f"Almanac for {moment:%Y-%m-%d %H:%M:%S} UTC")
    print(f"kernel {engine.kernel_metadata.kernel_name}, leap seconds {LEAP_SECONDS.name}, "
          f"Earth orientation {eop_text(engine)}")
    print()
    print_seasons_and_lunations(engine, now)
    for name, observer in sites:
        print_site(engine, name, observer, now, options.houses)
    return 0


if __name__ == "__main__":
    sys.exit(main())
