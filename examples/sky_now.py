#!/usr/bin/env python3
"""Where the Sun, the Moon and the planets stand in the sky right now.

Opens JPL's DE421 kernel (from the skyfield-data package), the leap-second
kernel installed with the module and the IERS EOP 20 C04 table (from the
astropy-iers-data package), and prints the apparent geocentric places of
date of every body DE421 resolves, for the current UTC time:

    pip install '.[data]' && python examples/sky_now.py
"""
import datetime
import hashlib
import pathlib
import sys
import warnings

import ephemeris

LEAP_SECONDS = pathlib.Path(ephemeris.LEAP_SECOND_KERNEL_PATH)  # installed with the module
BODIES = ["sun", "moon", "mercury", "venus", "mars", "jupiter", "saturn", "uranus", "neptune", "pluto"]
SIGNS = ["Aries", "Taurus", "Gemini", "Cancer", "Leo", "Virgo",
         "Libra", "Scorpio", "Sagittarius", "Capricorn", "Aquarius", "Pisces"]


def data_files():
    """Paths of DE421 and the EOP table in the installed data packages."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # skyfield-data warns about its other, expiring files
        import astropy_iers_data
        import skyfield_data
        de421 = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
    eop = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"
    return de421, eop


def sha256_of(path: pathlib.Path) -> str:
    """The checksum the engine is given; verifying a download against a
    published value would happen here."""
    digest = hashlib.sha256()
    with path.open("rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def julian_day(moment: datetime.datetime) -> float:
    return ephemeris.Instant.from_datetime(moment).julian_day


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
    instant = ephemeris.Instant.utc(julian_day(now))

    resolved = []
    missing = []
    for body in BODIES:
        try:
            engine.position(body, instant, ephemeris.apparent())
            resolved.append(body)
        except ValueError:
            missing.append(body)

    # One batch per frame: rows are instants (one here), columns bodies, and
    # the last axis longitude, latitude, distance and longitude speed.
    ecliptic = engine.positions(resolved, [instant], ephemeris.apparent("geocentric", "ecliptic"))[0]
    equatorial = engine.positions(resolved, [instant], ephemeris.apparent("geocentric", "equatorial"))[0]

    metadata = engine.kernel_metadata
    print(f"Apparent geocentric places for {now:%Y-%m-%d %H:%M:%S} UTC (Julian day {instant.julian_day:.5f} UTC)")
    print(f"kernel {metadata.kernel_name} (SHA-256 {metadata.kernel_sha256[:12]}...), "
          f"leap seconds {LEAP_SECONDS.name}, Earth orientation {eop.name}")
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
        print(f"{body.capitalize():<8} {sexagesimal(longitude):>13} {zodiac(longitude):<18} "
              f"{sexagesimal(latitude, signed=True):>11} {distance:>14.6f} {speed:>10.4f}{motion}   "
              f"{sexagesimal(right_ascension / 15.0, ('h', 'm', 's'), decimals=1):>12} "
              f"{sexagesimal(declination, signed=True):>12}")
    if missing:
        names = ", ".join(body.capitalize() for body in missing)
        print()
        print(f"Not shown: {names}. DE421 holds only the barycentres of their systems; attach a planet-centre "
              "kernel with Engine.with_additional_kernel_file to include them.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
