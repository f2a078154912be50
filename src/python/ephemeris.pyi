# Type information for the extension module `ephemeris`.
import datetime
from collections.abc import Sequence
from typing import Any, Final, Protocol, SupportsFloat, SupportsIndex, final

import numpy as np
import numpy.typing as npt

__all__ = [
    "Instant",
    "GeodeticObserver",
    "HouseSystem",
    "HouseCusps",
    "HorizonEventKind",
    "RiseSetTransit",
    "HorizonEvent",
    "SeasonEvent",
    "LunationEvent",
    "SiderealMode",
    "PositionOptions",
    "Position",
    "DateRange",
    "KernelMetadata",
    "Engine",
    "open",
    "geometric",
    "apparent",
    "house_cusps",
    "J2000_JULIAN_DAY",
    "SUN_UPPER_LIMB_ALTITUDE_DEG",
    "MEAN_REFRACTION_ALTITUDE_DEG",
]

# Anything the interpreter converts to a float: float, int, __float__ or __index__.
_FloatLike = SupportsFloat | SupportsIndex

class _Named(Protocol):
    """Any object with a text `name`, such as the enumeration classes or a Python enum member."""

    @property
    def name(self) -> str: ...

_NameLike = str | _Named

J2000_JULIAN_DAY: Final[float]
SUN_UPPER_LIMB_ALTITUDE_DEG: Final[float]
MEAN_REFRACTION_ALTITUDE_DEG: Final[float]

# Not in __all__: the distribution's version, the leap-second kernel installed
# with the module, and the canonical names each name argument accepts.
__version__: Final[str]
LEAP_SECOND_KERNEL_PATH: Final[str]
LEAP_SECOND_KERNEL_SHA256: Final[str]
BODY_NAMES: Final[tuple[str, ...]]
ORIGIN_NAMES: Final[tuple[str, ...]]
COORDINATE_SYSTEM_NAMES: Final[tuple[str, ...]]
REFERENCE_EPOCH_NAMES: Final[tuple[str, ...]]
TIME_SCALE_NAMES: Final[tuple[str, ...]]
HOUSE_SYSTEM_NAMES: Final[tuple[str, ...]]
SIDEREAL_MODE_NAMES: Final[tuple[str, ...]]
SEASON_EVENT_NAMES: Final[tuple[str, ...]]
LUNATION_EVENT_NAMES: Final[tuple[str, ...]]
HORIZON_EVENT_NAMES: Final[tuple[str, ...]]

@final
class Instant:
    """Julian day with an explicit time scale."""

    def __new__(cls, julian_day: _FloatLike, time_scale: str = "tdb") -> Instant: ...
    @classmethod
    def tdb(cls, julian_day: _FloatLike) -> Instant: ...
    @classmethod
    def tt(cls, julian_day: _FloatLike) -> Instant: ...
    @classmethod
    def utc(cls, julian_day: _FloatLike) -> Instant: ...
    @classmethod
    def ut1(cls, julian_day: _FloatLike) -> Instant: ...
    @classmethod
    def from_datetime(cls, value: datetime.datetime) -> Instant:
        """UTC instant of a timezone-aware datetime.datetime (a naive one is refused)."""
    def to_datetime(self) -> datetime.datetime:
        """Timezone-aware UTC datetime.datetime of a UTC instant."""
    @property
    def julian_day(self) -> float: ...
    @property
    def time_scale(self) -> str: ...

@final
class GeodeticObserver:
    """Geodetic site on Earth (east longitude, GRS80/ITRS, height in metres)."""

    def __new__(
        cls, longitude_east_deg: _FloatLike, latitude_deg: _FloatLike, height_m: _FloatLike = 0.0
    ) -> GeodeticObserver: ...
    @property
    def longitude_east_deg(self) -> float: ...
    @property
    def latitude_deg(self) -> float: ...
    @property
    def height_m(self) -> float: ...

@final
class HouseSystem:
    """House-division algorithm (Placidus, Campanus, Equal, Whole Sign)."""

    def __new__(cls, name: str) -> HouseSystem: ...
    @classmethod
    def placidus(cls) -> HouseSystem: ...
    @classmethod
    def campanus(cls) -> HouseSystem: ...
    @classmethod
    def equal(cls) -> HouseSystem: ...
    @classmethod
    def whole_sign(cls) -> HouseSystem: ...
    @property
    def name(self) -> str: ...

@final
class HouseCusps:
    """Ecliptic longitudes of the twelve house cusps plus ASC/MC."""

    @property
    def system(self) -> HouseSystem: ...
    @property
    def cusp_ecliptic_longitude_deg(self) -> list[float]: ...
    @property
    def ascendant_deg(self) -> float: ...
    @property
    def midheaven_deg(self) -> float: ...
    @property
    def ramc_deg(self) -> float: ...
    @property
    def local_sidereal_time_deg(self) -> float: ...
    @property
    def true_obliquity_deg(self) -> float: ...

@final
class HorizonEventKind:
    """Rise, set, or meridian transit of the Sun or Moon."""

    def __new__(cls, name: str) -> HorizonEventKind: ...
    @classmethod
    def rise(cls) -> HorizonEventKind: ...
    @classmethod
    def set(cls) -> HorizonEventKind: ...
    @classmethod
    def transit(cls) -> HorizonEventKind: ...
    @property
    def name(self) -> str: ...

@final
class RiseSetTransit:
    """Same-day UT1 rise, set, and transit epochs."""

    @property
    def transit_ut1_julian_day(self) -> float: ...
    @property
    def rise_ut1_julian_day(self) -> float | None: ...
    @property
    def set_ut1_julian_day(self) -> float | None: ...

@final
class HorizonEvent:
    """One horizon event, as a UT1 Julian day."""

    @property
    def kind(self) -> HorizonEventKind: ...
    @property
    def ut1_julian_day(self) -> float: ...

@final
class SeasonEvent:
    """Equinox or solstice (Sun apparent ecliptic longitude 0/90/180/270°)."""

    def __new__(cls, name: str) -> SeasonEvent: ...
    @classmethod
    def march_equinox(cls) -> SeasonEvent: ...
    @classmethod
    def june_solstice(cls) -> SeasonEvent: ...
    @classmethod
    def september_equinox(cls) -> SeasonEvent: ...
    @classmethod
    def december_solstice(cls) -> SeasonEvent: ...
    @property
    def name(self) -> str: ...

@final
class LunationEvent:
    """New or full Moon (apparent geocentric elongation 0°/180°)."""

    def __new__(cls, name: str) -> LunationEvent: ...
    @classmethod
    def new_moon(cls) -> LunationEvent: ...
    @classmethod
    def full_moon(cls) -> LunationEvent: ...
    @property
    def name(self) -> str: ...

@final
class SiderealMode:
    """Lahiri or Fagan–Bradley ayanamsha applied to ecliptic of date."""

    def __new__(cls, name: str) -> SiderealMode: ...
    @classmethod
    def lahiri(cls) -> SiderealMode: ...
    @classmethod
    def fagan_bradley(cls) -> SiderealMode: ...
    @property
    def name(self) -> str: ...

@final
class PositionOptions:
    """Explicit geometric or apparent request options."""

    def __new__(
        cls,
        origin: str,
        coordinate_system: str,
        reference_epoch: str = "j2000",
        apparent: bool = False,
        true_ecliptic: bool = False,
        light_time: bool = False,
        aberration: bool = False,
        gravitational_deflection: bool = False,
        precession: bool = False,
        nutation: bool = False,
        observer: GeodeticObserver | None = None,
    ) -> PositionOptions: ...
    @property
    def origin(self) -> str: ...
    @property
    def observer(self) -> GeodeticObserver | None: ...
    @property
    def coordinate_system(self) -> str: ...
    @property
    def reference_epoch(self) -> str: ...
    @property
    def apparent(self) -> bool: ...
    @property
    def true_ecliptic(self) -> bool: ...

@final
class Position:
    """Spherical position returned by a scalar request."""

    @property
    def longitude_deg(self) -> float: ...
    @property
    def latitude_deg(self) -> float: ...
    @property
    def distance_au(self) -> float: ...
    @property
    def longitude_speed_deg_per_day(self) -> float: ...

@final
class DateRange:
    """Inclusive kernel coverage in the declared time scale."""

    @property
    def start_julian_day(self) -> float: ...
    @property
    def end_julian_day(self) -> float: ...
    @property
    def time_scale(self) -> str: ...

@final
class KernelMetadata:
    """Provenance recorded when the kernel was opened."""

    @property
    def engine_version(self) -> str: ...
    @property
    def kernel_name(self) -> str: ...
    @property
    def kernel_sha256(self) -> str: ...
    @property
    def coordinate_frame(self) -> str: ...
    def additional_kernels(self) -> list[tuple[str, str]]: ...
    def as_dict(self) -> dict[str, str | list[tuple[str, str]]]: ...

@final
class Engine:
    """Open SPK kernel and evaluate geometric or apparent spherical positions."""

    def __new__(
        cls,
        path: str,
        sha256: str,
        leap_second_kernel: str | None = None,
        leap_second_sha256: str | None = None,
        eop: str | None = None,
        eop_sha256: str | None = None,
    ) -> Engine: ...
    def with_leap_second_kernel(self, path: str, sha256: str) -> None: ...
    def with_eop(self, path: str, sha256: str) -> None: ...
    def with_time_kernels(
        self, leap_second_kernel: str, leap_second_sha256: str, eop: str, eop_sha256: str
    ) -> None: ...
    def with_additional_kernel_file(self, path: str, sha256: str) -> None: ...
    @property
    def kernel_metadata(self) -> KernelMetadata: ...
    @property
    def supported_range(self) -> DateRange: ...
    @property
    def earth_orientation(self) -> EarthOrientationMetadata | None: ...
    def convert(self, instant: Instant, time_scale: str) -> Instant:
        """The instant in another time scale ("utc", "ut1", "tt" or "tdb")."""
    def earth_orientation_at(self, instant: Instant) -> tuple[float, float, float]:
        """(UT1 - UTC s, pole x arcsec, pole y arcsec) from the EOP table at the instant's UTC."""
    def position(self, body: str, instant: Instant, options: PositionOptions) -> Position: ...
    def positions(
        self, bodies: Sequence[str], instants: Sequence[Instant], options: PositionOptions
    ) -> npt.NDArray[np.float64]: ...
    def sidereal_position(
        self, body: str, instant: Instant, options: PositionOptions, mode: _NameLike
    ) -> Position:
        """Ecliptic of-date position with Lahiri or Fagan–Bradley ayanamsha."""
    def next_lunation(self, after: Instant, kind: _NameLike) -> Instant:
        """Next new or full Moon after `after`. Returned instant is TT."""
    def next_season_event(self, after: Instant, kind: _NameLike) -> Instant:
        """Next equinox or solstice after `after`. Returned instant is TT."""
    def rise_set_transit(
        self, body: str, observer: GeodeticObserver, around: Instant, altitude_deg: _FloatLike
    ) -> RiseSetTransit:
        """Same-day Sun or Moon rise, set, and meridian transit (UT1 Julian days)."""
    def next_horizon_event(
        self,
        body: str,
        observer: GeodeticObserver,
        after: Instant,
        kind: _NameLike,
        altitude_deg: _FloatLike,
    ) -> HorizonEvent:
        """Next Sun or Moon rise, set, or transit strictly after `after`."""
    def positions_jd(
        self, bodies: Sequence[str], julian_days: _JulianDays, time_scale: str, options: PositionOptions
    ) -> npt.NDArray[np.float64]:
        """Batch positions for an array of Julian days, all in `time_scale`."""
    def altaz(
        self,
        body: str,
        observer: GeodeticObserver,
        instant: Instant,
        temperature_c: _FloatLike | None = None,
        pressure_mbar: _FloatLike | None = None,
    ) -> HorizontalPosition:
        """Altitude, azimuth (from north through east) and distance of a body for a site."""
    def altaz_jd(
        self,
        body: str,
        observer: GeodeticObserver,
        julian_days: _JulianDays,
        time_scale: str,
        temperature_c: _FloatLike | None = None,
        pressure_mbar: _FloatLike | None = None,
    ) -> npt.NDArray[np.float64]:
        """`altaz` for an array of Julian days as a `NumPy` array of shape `(n, 3)`."""

def open(
    path: str,
    sha256: str,
    leap_second_kernel: str | None = None,
    leap_second_sha256: str | None = None,
    eop: str | None = None,
    eop_sha256: str | None = None,
) -> Engine:
    """Opens an SPK/BSP kernel. `sha256` is the caller-verified 64-hex checksum."""

def geometric(
    origin: str = "geocentric", coordinate_system: str = "ecliptic", observer: GeodeticObserver | None = None
) -> PositionOptions:
    """Geometric J2000 request with every correction switch off."""

def apparent(
    origin: str = "geocentric", coordinate_system: str = "ecliptic", observer: GeodeticObserver | None = None
) -> PositionOptions:
    """Apparent-place convenience at the true equinox/ecliptic of date."""

def house_cusps(
    observer: GeodeticObserver, ut1: Instant | _FloatLike, tt: Instant | _FloatLike, system: _NameLike
) -> HouseCusps:
    """Ecliptic house cusps at a UT1/TT pair (no SPK kernel)."""

# A one-dimensional array of Julian days: read in place when it holds float64.
_JulianDays = Sequence[_FloatLike] | npt.NDArray[Any] | memoryview

@final
class HorizontalPosition:
    """Altitude, azimuth and distance of a body seen from a site."""

    @property
    def altitude_deg(self) -> float: ...
    @property
    def azimuth_deg(self) -> float: ...
    @property
    def distance_au(self) -> float: ...

@final
class EarthOrientationMetadata:
    """Earth orientation table of an engine: format, coverage and end of measured data."""

    @property
    def file_name(self) -> str: ...
    @property
    def sha256(self) -> str: ...
    @property
    def format(self) -> str: ...
    @property
    def first_utc_julian_day(self) -> float: ...
    @property
    def last_utc_julian_day(self) -> float: ...
    @property
    def last_measured_utc_julian_day(self) -> float | None: ...
