"""Shared fixtures: the real data files with their checksums, the test
leap-second kernel, engines opened on them, small synthetic kernels and the
independent oracles. A missing data package or oracle fails the test that
needs it, naming what is missing: nothing here skips."""

import concurrent.futures
import gc
import hashlib
import importlib
import pathlib
import struct
import sys
import warnings

import pytest

import ephemeris

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))

from leap_second_kernel import leap_second_kernel_text  # noqa: E402

CHECKSUM = "ab" * 32


def need(module_name: str):
    try:
        return importlib.import_module(module_name)
    except ImportError as error:
        pytest.fail(f"missing test dependency {module_name!r} ({error}); install requirements-test.txt",
                    pytrace=False)


class DataFile:
    """A file on disk with its SHA-256 computed by the caller, as a real program would."""

    def __init__(self, path: pathlib.Path):
        if not path.is_file():
            pytest.fail(f"missing data file {path}", pytrace=False)
        self.path = str(path)
        self.sha256 = hashlib.sha256(path.read_bytes()).hexdigest()

    def pair(self):
        return self.path, self.sha256


@pytest.fixture(scope="session")
def de421() -> DataFile:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return DataFile(pathlib.Path(need("skyfield_data").get_skyfield_data_path()) / "de421.bsp")


@pytest.fixture(scope="session")
def eop_table() -> DataFile:
    return DataFile(pathlib.Path(need("astropy_iers_data").__file__).parent / "data" / "eopc04.1962-now")


@pytest.fixture(scope="session")
def bulletin_a() -> DataFile:
    """IERS Bulletin A (measured rows, then about a year of predictions), beside the C04 table."""
    return DataFile(pathlib.Path(need("astropy_iers_data").__file__).parent / "data" / "finals2000A.all")


@pytest.fixture(scope="session")
def leap_seconds(tmp_path_factory) -> DataFile:
    path = tmp_path_factory.mktemp("lsk") / "test.tls"
    path.write_text(leap_second_kernel_text(), encoding="utf-8")
    return DataFile(path)


@pytest.fixture
def engine(de421) -> ephemeris.Engine:
    """DE421 alone: TDB and TT instants only."""
    return ephemeris.Engine(*de421.pair())


@pytest.fixture(scope="module")
def full_engine(de421, leap_seconds, eop_table) -> ephemeris.Engine:
    """DE421 with both time kernels, shared by the tests of one file (the
    computing methods leave no state visible to Python)."""
    return ephemeris.Engine(*de421.pair(), *leap_seconds.pair(), *eop_table.pair())


@pytest.fixture
def write_kernel(tmp_path):
    """Writes a little-endian DAF/SPK kernel of Type 2 segments, each given as
    (target, centre, first and last TDB Julian day, offset in km): one record of
    two Chebyshev coefficients per axis, a constant position. Records: the file
    record, one summary record, its (blank) name record, then the data. With
    `broken_summary_chain` the summary record names a next one far past the
    end of the file, so the segment list cannot be read."""
    def write(name, segments, broken_summary_chain=False) -> str:
        words, summaries, address = [], b"", 3 * 128 + 1
        for target, centre, first, last, offset in segments:
            start, end = ((day - 2451545.0) * 86400.0 for day in (first, last))
            record = [(start + end) / 2, (end - start) / 2, offset[0], 0.0, offset[1], 0.0, offset[2], 0.0]
            record += [start, end - start, 8.0, 1.0]  # directory: INIT, INTLEN, RSIZE, N
            summaries += struct.pack("<2d6i", start, end, target, centre, 1, 2, address, address + len(record) - 1)
            words, address = words + record, address + len(record)
        file_record = struct.pack("<8sii60siii8s", b"DAF/SPK ", 2, 6, b"test kernel".ljust(60), 2, 2, address,
                                  b"LTL-IEEE")
        summary_record = struct.pack("<3d", 999.0 if broken_summary_chain else 0.0, 0.0, len(segments)) + summaries
        parts = (file_record, summary_record, b"", struct.pack(f"<{len(words)}d", *words))
        path = tmp_path / name
        path.write_bytes(b"".join(part.ljust(max(1, -(-len(part) // 1024)) * 1024, b"\0") for part in parts))
        return str(path)
    return write


@pytest.fixture
def closed_engine(de421, write_kernel) -> ephemeris.Engine:
    """An engine closed by an additional kernel whose segment list cannot be read."""
    broken = write_kernel("broken.bsp", [(599, 5, 2451545.0, 2451546.0, (1.0, 2.0, 3.0))], True)
    engine = ephemeris.Engine(*de421.pair())
    with pytest.raises(ValueError, match="^failed to read SPK kernel: failed to fill whole buffer$"):
        engine.with_additional_kernel_file(broken, CHECKSUM)
    return engine


@pytest.fixture(scope="session")
def in_thread():
    """Runs a call on a new thread; what it raised (BaseException included), or None."""
    def run(call):
        gc.collect()  # engines of earlier tests kept alive by reference cycles go now, on their own thread,
        gc.disable()  # and none on the new thread
        try:
            with concurrent.futures.ThreadPoolExecutor(1) as pool:
                return pool.submit(call).exception()
        finally:
            gc.enable()
    return run


@pytest.fixture(scope="module")
def spice(de421, leap_seconds):
    """CSPICE with DE421 and the leap-second kernel loaded."""
    spiceypy = need("spiceypy")
    for path in (de421.path, leap_seconds.path):
        spiceypy.furnsh(path)
    yield spiceypy
    spiceypy.kclear()


@pytest.fixture(scope="session")
def skyfield(de421, eop_table):
    need("skyfield")
    from oracles import Skyfield
    return Skyfield(de421.path, eop_table.path)


@pytest.fixture(scope="session")
def swisseph():
    return need("swisseph")
