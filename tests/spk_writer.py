"""Writes small DAF/SPK kernels with Type 2 segments for the tests.

Layout: the file record (record 1), one summary record and its name record
(records 2 and 3), then the segment data. Little-endian IEEE ("LTL-IEEE").
"""

import struct
from dataclasses import dataclass, field

RECORD_BYTES = 1024
WORDS_PER_RECORD = 128
SECONDS_PER_DAY = 86400.0


@dataclass
class Segment:
    target: int
    center: int
    start_seconds: float  # TDB seconds past J2000
    end_seconds: float
    words: list = field(default_factory=list)  # Type 2 records followed by the directory
    frame: int = 1  # J2000
    data_type: int = 2
    name: str = ""


def constant_offset_segment(target: int, center: int, start_seconds: float, end_seconds: float,
                            offset_km: tuple, record_count: int = 4) -> Segment:
    """A Type 2 segment whose position is `offset_km` at every epoch (velocity 0):
    each record holds, per axis, the constant and a zero linear coefficient
    (RSIZE 8: MID, RADIUS, two coefficients for x, y and z)."""
    interval = (end_seconds - start_seconds) / record_count
    words = []
    for r in range(record_count):
        middle = start_seconds + (r + 0.5) * interval
        words += [middle, interval / 2.0]
        for component in offset_km:
            words += [component, 0.0]
    words += [start_seconds, interval, 8.0, float(record_count)]
    return Segment(target, center, start_seconds, end_seconds, words, name=f"{target} wrt {center}")


def kernel_bytes(segments, *, broken_summary_chain: bool = False) -> bytes:
    """The bytes of a kernel holding `segments`. With `broken_summary_chain`,
    the summary record names a next summary record far past the end of the
    file, so the file record is valid but the segment list cannot be read."""
    first_data_address = 3 * WORDS_PER_RECORD + 1
    addresses = []
    address = first_data_address
    for segment in segments:
        addresses.append(address)
        address += len(segment.words)
    free_address = address
    record_count = max(3, -(-(free_address - 1) // WORDS_PER_RECORD))
    image = bytearray(record_count * RECORD_BYTES)

    # File record: identification, ND = 2, NI = 6, internal name, first and
    # last summary record, first free address, binary format.
    struct.pack_into("<8sii60siii8s", image, 0, b"DAF/SPK ", 2, 6, b"test kernel".ljust(60), 2, 2,
                     free_address, b"LTL-IEEE")

    # Summary record: NEXT, PREV, NSUM, then one packed summary per segment
    # (two doubles, six integers); the names follow in record 3.
    next_record = 999.0 if broken_summary_chain else 0.0
    struct.pack_into("<3d", image, RECORD_BYTES, next_record, 0.0, float(len(segments)))
    for index, (segment, start) in enumerate(zip(segments, addresses)):
        at = RECORD_BYTES + 24 + index * 40
        struct.pack_into("<2d6i", image, at, segment.start_seconds, segment.end_seconds, segment.target,
                         segment.center, segment.frame, segment.data_type, start, start + len(segment.words) - 1)
        struct.pack_into("<40s", image, 2 * RECORD_BYTES + index * 40, segment.name.encode().ljust(40))

    for segment, start in zip(segments, addresses):
        struct.pack_into(f"<{len(segment.words)}d", image, (start - 1) * 8, *segment.words)
    return bytes(image)


def days_to_seconds(julian_day: float) -> float:
    return (julian_day - 2451545.0) * SECONDS_PER_DAY
