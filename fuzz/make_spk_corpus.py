#!/usr/bin/env python3
"""Writes the seed corpus of the SPK kernel fuzz target into fuzz/corpus/spk_kernel/.

Each file is a small valid DAF/SPK kernel that opens and evaluates:

    little_endian_chain.bsp   LTL-IEEE: 10 and 3 wrt 0, 301 and 399 wrt 3 (the chain 301 -> 3 -> 0)
    big_endian_chain.bsp      the same segments written BIG-IEEE
    split_coverage.bsp        target 4 in two segments meeting at a boundary epoch, 499 wrt 4
    type3_segment.bsp         a Type 3 segment (position and velocity polynomials) beside a Type 2 one
    zero_length_segment.bsp   a segment whose start and end epochs are equal, beside a normal one
    summary_chain.bsp         BIG-IEEE, a comment record and two summary records chained NEXT/PREV
    de421_excerpt.bsp         every DE421 segment cut to the records around J2000 (whole one-record
                              segments kept), with the first lines of DE421's comment area

It also writes the target's libFuzzer dictionary, fuzz/spk_kernel.dict:
the identification words and the doubles and 32-bit integers that steer a
reader (record markers, counts, record sizes, NaN and infinities), each in
both byte orders.

    make_spk_corpus.py [OUTPUT_DIR]

The DE421 excerpt needs DE421 from skyfield-data and jplephem (both test
requirements). The output is deterministic: running the script again writes
the same bytes.
"""

import math
import pathlib
import struct
import sys
import warnings
from dataclasses import dataclass, field

RECORD_BYTES = 1024
WORDS_PER_RECORD = 128
SUMMARY_WORDS = 5  # ND = 2 doubles, NI = 6 integers packed in 3 words
SUMMARIES_PER_RECORD = 25
# The FTP validation string of the file record (bytes 699..726).
FTP_STRING = b"FTPSTR:\r:\n:\r\n:\r\x00:\x81:\x10\xce:ENDFTP"
DAY = 86400.0


@dataclass
class Segment:
    target: int
    center: int
    start_seconds: float  # TDB seconds past J2000
    end_seconds: float
    words: list = field(default_factory=list)  # the records followed by the four-word directory
    data_type: int = 2
    frame: int = 1  # J2000
    name: str = ""


def chebyshev_segment(target, center, start, record_seconds, records, coefficients, *, data_type=2,
                      radius_km=1.0e6, phase=0.0):
    """A Type 2 (or Type 3) segment of `records` equal records from `start`.
    The coefficients sample a circle of `radius_km` swept a little in each
    record, so the positions are finite, smooth and distinct; a Type 3 record
    also holds the velocity polynomials."""
    words = []
    half = record_seconds / 2.0
    for r in range(records):
        middle = start + (r + 0.5) * record_seconds
        angle = phase + 0.1 * r
        position = [radius_km * math.cos(angle), radius_km * math.sin(angle), 0.01 * radius_km * r]
        record = [middle, half]
        for axis, value in enumerate(position):
            record += [value, 1.0e3 * (axis + 1)] + [10.0 ** (1 - k) for k in range(2, coefficients)]
        if data_type == 3:
            for axis in range(3):
                record += [1.0e-3 * (axis + 1)] + [0.0] * (coefficients - 1)
        words += record
    record_size = 2 + (6 if data_type == 3 else 3) * coefficients
    words += [start, record_seconds, float(record_size), float(records)]
    return Segment(target, center, start, start + records * record_seconds, words, data_type=data_type,
                   name=f"{target} wrt {center}")


def comment_records(lines):
    """The comment area: lines ended by NUL, the text ended by EOT, NUL-padded to whole records."""
    text = b"\0".join(line.encode("ascii") for line in lines) + b"\0\x04"
    return text.ljust(-(-len(text) // RECORD_BYTES) * RECORD_BYTES, b"\0")


def kernel_bytes(segments, *, big_endian=False, per_summary_record=SUMMARIES_PER_RECORD, comments=(),
                 internal_name="EPHEMERIS FUZZ SEED"):
    """A DAF/SPK image: the file record, the comment records, the summary and
    name record pairs (chained by NEXT and PREV), then the segment words."""
    order = ">" if big_endian else "<"
    comment = comment_records(comments) if comments else b""
    first_summary = 2 + len(comment) // RECORD_BYTES
    groups = [segments[i:i + per_summary_record] for i in range(0, len(segments), per_summary_record)] or [[]]
    summary_records = [first_summary + 2 * g for g in range(len(groups))]
    address = (summary_records[-1] + 1) * WORDS_PER_RECORD + 1
    addresses = []
    for segment in segments:
        addresses.append(address)
        address += len(segment.words)
    free_address = address
    image = bytearray(-(-(free_address - 1) // WORDS_PER_RECORD) * RECORD_BYTES)

    struct.pack_into(f"{order}8sii60siii8s", image, 0, b"DAF/SPK ", 2, 6, internal_name.encode().ljust(60),
                     summary_records[0], summary_records[-1], free_address,
                     b"BIG-IEEE" if big_endian else b"LTL-IEEE")
    image[699:699 + len(FTP_STRING)] = FTP_STRING
    image[RECORD_BYTES:RECORD_BYTES + len(comment)] = comment

    index = 0
    for g, group in enumerate(groups):
        record = summary_records[g]
        next_record = summary_records[g + 1] if g + 1 < len(groups) else 0
        previous_record = summary_records[g - 1] if g > 0 else 0
        at = (record - 1) * RECORD_BYTES
        struct.pack_into(f"{order}3d", image, at, float(next_record), float(previous_record), float(len(group)))
        image[at + RECORD_BYTES:at + 2 * RECORD_BYTES] = b" " * RECORD_BYTES  # name record
        for slot, segment in enumerate(group):
            start = addresses[index]
            struct.pack_into(f"{order}2d6i", image, at + 24 + slot * 8 * SUMMARY_WORDS, segment.start_seconds,
                             segment.end_seconds, segment.target, segment.center, segment.frame,
                             segment.data_type, start, start + len(segment.words) - 1)
            name_at = at + RECORD_BYTES + slot * 8 * SUMMARY_WORDS
            image[name_at:name_at + 8 * SUMMARY_WORDS] = segment.name.encode("ascii").ljust(8 * SUMMARY_WORDS)
            index += 1

    for segment, start in zip(segments, addresses):
        struct.pack_into(f"{order}{len(segment.words)}d", image, (start - 1) * 8, *segment.words)
    return bytes(image)


def chain_segments():
    """10 and 3 wrt 0, 399 and 301 wrt 3, four 16-day records each, starting 32 days before J2000."""
    start = -32 * DAY
    return [
        chebyshev_segment(10, 0, start, 16 * DAY, 4, 5, radius_km=7.0e5),
        chebyshev_segment(3, 0, start, 16 * DAY, 4, 6, radius_km=1.496e8),
        chebyshev_segment(399, 3, start, 16 * DAY, 4, 6, radius_km=4.7e3),
        chebyshev_segment(301, 3, start, 16 * DAY, 4, 6, radius_km=3.8e5, phase=1.0),
    ]


def split_coverage_segments():
    """Target 4 before and after J2000 in two segments meeting at epoch 0, and 499 wrt 4 across both."""
    before = chebyshev_segment(4, 0, -64 * DAY, 32 * DAY, 2, 4, radius_km=2.28e8)
    after = chebyshev_segment(4, 0, 0.0, 32 * DAY, 2, 4, radius_km=2.28e8, phase=0.2)
    before.name, after.name = "4 wrt 0 before J2000", "4 wrt 0 after J2000"
    mars = chebyshev_segment(499, 4, -64 * DAY, 64 * DAY, 2, 3, radius_km=1.0)
    return [before, after, mars]


def type3_segments():
    return [
        chebyshev_segment(4, 0, -32 * DAY, 16 * DAY, 4, 5, radius_km=2.28e8),
        chebyshev_segment(499, 4, -32 * DAY, 16 * DAY, 4, 4, data_type=3, radius_km=1.0),
    ]


def zero_length_segments():
    """A segment that covers the single epoch J2000 (start = end), then a normal one of the same target."""
    point = chebyshev_segment(5, 0, -DAY, 2 * DAY, 1, 3, radius_km=7.8e8)
    point.start_seconds = point.end_seconds = 0.0
    point.name = "5 wrt 0 at J2000 only"
    return [point, chebyshev_segment(5, 0, -16 * DAY, 16 * DAY, 2, 3, radius_km=7.8e8)]


def summary_chain_segments():
    """Five segments, three in the first summary record and two in the second."""
    start = -16 * DAY
    return [chebyshev_segment(target, 0, start, 8 * DAY, 4, 3, radius_km=1.0e8 * target)
            for target in (1, 2, 3, 4, 5)]


def de421_path():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        import skyfield_data

        return pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"


def de421_excerpt(records_around_j2000=3):
    """Every DE421 segment with the records that cover J2000 and its
    neighbours (segments of a single record are kept whole), and the first
    lines of its comment area."""
    from jplephem.spk import SPK

    kernel = SPK.open(str(de421_path()))
    try:
        segments = []
        for source in kernel.segments:
            words = kernel.daf.read_array(source.start_i, source.end_i)
            init, interval, size, count = (float(w) for w in words[-4:])
            size, count = int(size), int(count)
            if count == 1:
                first, taken = 0, 1
            else:
                first = max(0, int((0.0 - init) // interval) - (records_around_j2000 - 1) // 2)
                taken = min(records_around_j2000, count - first)
            start = init + first * interval
            body = [float(w) for w in words[first * size:(first + taken) * size]]
            end = source.end_second if count == 1 else start + taken * interval
            segments.append(Segment(source.target, source.center, max(start, source.start_second), end,
                                    body + [start, interval, float(size), float(taken)],
                                    frame=source.frame, name=source.source.decode("ascii")))
        comments = kernel.comments().splitlines()[:12]
    finally:
        kernel.close()
    return kernel_bytes(segments, comments=comments, internal_name="NIO2SPK")


def corpus():
    chain = chain_segments()
    return {
        "little_endian_chain.bsp": kernel_bytes(chain),
        "big_endian_chain.bsp": kernel_bytes(chain, big_endian=True),
        "split_coverage.bsp": kernel_bytes(split_coverage_segments()),
        "type3_segment.bsp": kernel_bytes(type3_segments()),
        "zero_length_segment.bsp": kernel_bytes(zero_length_segments()),
        "summary_chain.bsp": kernel_bytes(summary_chain_segments(), big_endian=True, per_summary_record=3,
                                          comments=["Seed kernel: two summary records after a comment record."]),
        "de421_excerpt.bsp": de421_excerpt(),
    }


DICTIONARY_WORDS = [b"DAF/SPK ", b"DAF/PCK ", b"NAIF/DAF", b"LTL-IEEE", b"BIG-IEEE", b"VAX-GFLT", FTP_STRING]
DICTIONARY_DOUBLES = [
    ("zero", 0.0), ("negative_zero", -0.0), ("one", 1.0), ("two", 2.0), ("three", 3.0), ("four", 4.0),
    ("five", 5.0), ("eight", 8.0), ("eleven", 11.0), ("rsize_41", 41.0), ("records_per_word", 128.0),
    ("record_1024", 1024.0), ("nsum_125", 125.0), ("u32_max", 4294967295.0), ("u32_max_plus_one", 4294967296.0),
    ("half", 0.5), ("minus_one", -1.0), ("day", 86400.0), ("de421_start", -3169195200.0),
    ("de421_interval", 1382400.0), ("huge", 1.0e308), ("subnormal", 5.0e-324),
    ("nan", float("nan")), ("inf", float("inf")), ("minus_inf", float("-inf")),
]
DICTIONARY_INTEGERS = [
    ("nd_2", 2), ("ni_6", 6), ("zero", 0), ("one", 1), ("three", 3), ("sun", 10), ("moon", 301),
    ("earth", 399), ("free_129", 129), ("address_385", 385), ("i32_max", 0x7FFFFFFF), ("i32_min", -0x80000000),
    ("minus_one", -1),
]


def escaped(data):
    return "".join(chr(b) if 0x20 <= b < 0x7F and chr(b) not in '"\\' else f"\\x{b:02x}" for b in data)


def dictionary_text():
    lines = ["# libFuzzer dictionary of the SPK kernel target, written by make_spk_corpus.py.",
             "# DAF identification words, then doubles and 32-bit integers (le = little-endian, be = big-endian)."]
    for word in DICTIONARY_WORDS:
        lines.append(f'"{escaped(word)}"')
    for name, value in DICTIONARY_DOUBLES:
        for order, tag in (("<", "le"), (">", "be")):
            lines.append(f'f64_{name}_{tag}="{escaped(struct.pack(order + "d", value))}"')
    for name, value in DICTIONARY_INTEGERS:
        for order, tag in (("<", "le"), (">", "be")):
            lines.append(f'i32_{name}_{tag}="{escaped(struct.pack(order + "i", value))}"')
    return "\n".join(lines) + "\n"


def main():
    output = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "corpus" / "spk_kernel"
    output.mkdir(parents=True, exist_ok=True)
    total = 0
    for name, data in corpus().items():
        (output / name).write_bytes(data)
        total += len(data)
        print(f"{len(data):8d}  {output / name}")
    print(f"{total:8d}  total")
    dictionary = pathlib.Path(__file__).parent / "spk_kernel.dict"
    dictionary.write_text(dictionary_text(), encoding="ascii")
    print(f"{dictionary.stat().st_size:8d}  {dictionary}")


if __name__ == "__main__":
    main()
