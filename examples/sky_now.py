#!/usr/bin/env python3
"""Where the Sun, the Moon and the planets stand in the sky right now.

Opens JPL's DE421 kernel (from the skyfield-data package), the leap-second
kernel installed with the module and IERS Bulletin A (finals2000A.all, from
the astropy-iers-data package: measured Earth orientation and a year of
predictions), and prints the apparent geocentric places of date of the Sun,
the Moon and every planet for the current UTC time. DE421 holds Jupiter to
Pluto only as the barycentres of their systems; those are shown, marked:

    pip install '.[data]' && python examples/sky_now.py
"""
import datetime
import hashlib
import pathlib
import sys
import textwrap
import warnings

import ephemeris

LEAP_SECONDS = pathlib.Path(ephemeris.LEAP_SECOND_KERNEL_PATH)  # installed with the module
BODIES = ["sun", "moon", "mercury", "venus", "mars", "jupiter", "saturn", "uranus", "neptune", "pluto"]
BARYCENTER_MARK = "*"
SIGNS = ["Aries", "Taurus", "Gemini", "Cancer", "Leo", "Virgo",
         "Libra", "Scorpio", "Sagittarius", "Capricorn", "Aquarius", "Pisces"]


def data_files():
    """Paths of DE421 and IERS Bulletin A in the installed data packages."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # skyfield-data warns about its other, expiring files
        import astropy_iers_data
        import skyfield_data
        de421 = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
    eop = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "finals2000A.all"
    return de421, eop


def sha256_of(path: pathlib.Path) -> str:
    """The checksum the engine is given; verifying a download against a
    published value would happen here."""
    digest = hashlib.sha256()
    with path.open("rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def eop_text(engine) -> str:
    """The Earth orientation table and how far its measurements and predictions reach."""
    table = engine.earth_orientation

    def date(day):
        return f"{ephemeris.Instant.utc(day).to_datetime():%Y-%m-%d}"

    if table.last_measured_utc_julian_day == table.last_utc_julian_day:
        return f"{table.file_name} (to {date(table.last_utc_julian_day)})"
    measured = "none" if table.last_measured_utc_julian_day is None else date(table.last_measured_utc_julian_day)
    return f"{table.file_name} (measured to {measured}, predicted to {date(table.last_utc_julian_day)})"


def resolved_name(engine, body: str, instant: ephemeris.Instant) -> str:
    """`body`, or its system barycentre when the kernel holds no segment for its centre."""
    try:
        engine.position(body, instant, ephemeris.geometric())
        return body
    except ValueError as error:
        if not str(error).startswith("no SPK segment continues the center chain"):
            raise
        return f"{body}_barycenter"


def sexagesimal(value: float, unit_marks=("°", "'", '"'), signed=False, decimals=0) -> str:
    """12.5 -> 12°30'00"; with `signed` a + or - sign leads."""
    scale = 10 ** decimals
    total = round(abs(value) * 3600 * scale)  # in units of the last digit
    sign = "-" if value < 0 and total > 0 else ("+" if signed else "")
    whole, rest = divmod(total, 3600 * scale)
    minutes, seconds = divmod(rest, 60 * scale)
    second_text = f"{seconds / scale:0{3 + decimals if decimals else 2}.{decimals}f}"
    return f"{sign}{whole}{unit_marks[0]}{minutes:02d}{unit_marks[1]}{second_text}{unit_marks[2]}"


def zodiac(longitude_deg: float) -> str:
    """Ecliptic longitude as degrees within a sign: 254.2 -> 14°12' Sagittarius."""
    total_minutes = round((longitude_deg % 360.0) * 60) % (360 * 60)  # round first: 29°59.9' is 0°00' of the next
    sign, within = divmod(total_minutes, 30 * 60)
    degrees, minutes = divmod(within, 60)
    return f"{degrees:2d}°{minutes:02d}' {SIGNS[sign]}"


def main() -> int:
    de421, eop = data_files()
    engine = ephemeris.open(str(de421), sha256_of(de421),
                            leap_second_kernel=ephemeris.LEAP_SECOND_KERNEL_PATH,
                            leap_second_sha256=ephemeris.LEAP_SECOND_KERNEL_SHA256,
                            eop=str(eop), eop_sha256=sha256_of(eop))

    now = datetime.datetime.now(datetime.timezone.utc)
    instant = ephemeris.Instant.from_datetime(now)
    resolved = [resolved_name(engine, body, instant) for body in BODIES]

    # One batch per frame: rows are instants (one here), columns bodies, and
    # the last axis longitude, latitude, distance and longitude speed.
    ecliptic = engine.positions(resolved, [instant], ephemeris.apparent("geocentric", "ecliptic"))[0]
    equatorial = engine.positions(resolved, [instant], ephemeris.apparent("geocentric", "equatorial"))[0]

    metadata = engine.kernel_metadata
    print(f"Apparent geocentric places for {now:%Y-%m-%d %H:%M:%S} UTC (Julian day {instant.julian_day:.5f} UTC)")
    print(f"kernel {metadata.kernel_name} (SHA-256 {metadata.kernel_sha256[:12]}...), "
          f"leap seconds {LEAP_SECONDS.name}, Earth orientation {eop_text(engine)}")
    print("true ecliptic and equator of date; light time, aberration, deflection, precession and nutation applied")
    print()
    header = (f"{'Body':<8} {'Longitude':>13} {'in the zodiac':<18} {'Latitude':>11} {'Distance (au)':>14} "
              f"{'Speed (°/d)':>12}   {'RA':>12} {'Dec':>12}")
    print(header)
    print("-" * len(header))
    for column, body in enumerate(resolved):
        longitude, latitude, distance, speed = ecliptic[column]
        right_ascension, declination = equatorial[column][0], equatorial[column][1]
        motion = " R" if speed < 0 else "  "  # R: retrograde
        name = body.removesuffix("_barycenter").capitalize() + (BARYCENTER_MARK if body.endswith("_barycenter") else "")
        print(f"{name:<8} {sexagesimal(longitude):>13} {zodiac(longitude):<18} "
              f"{sexagesimal(latitude, signed=True):>11} {distance:>14.6f} {speed:>10.4f}{motion}   "
              f"{sexagesimal(right_ascension / 15.0, ('h', 'm', 's'), decimals=1):>12} "
              f"{sexagesimal(declination, signed=True):>12}")
    if any(body.endswith("_barycenter") for body in resolved):
        print()
        print(textwrap.fill(f"{BARYCENTER_MARK} the barycentre of the planet's system (\"jupiter_barycenter\" ...): "
                            f"{metadata.kernel_name} holds no segment for the planet's centre, which lies within "
                            "about 2,100 km of it (Pluto and Charon; at most 300 km for the others). Attach a "
                            "planet-centre kernel with Engine.with_additional_kernel_file to show the centres.",
                            width=len(header), subsequent_indent="  "))
    return 0


if __name__ == "__main__":
    sys.exit(main())
