"""Shared fixtures: the real data files with their checksums, the test
leap-second kernel and engines opened on them."""

import hashlib
import pathlib
import sys
import warnings

import pytest

import ephemeris

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))

from leap_second_kernel import leap_second_kernel_text  # noqa: E402


class DataFile:
    """A file on disk with its SHA-256 computed by the caller, as a real program would."""

    def __init__(self, path: pathlib.Path):
        self.path = str(path)
        self.sha256 = hashlib.sha256(path.read_bytes()).hexdigest()

    def pair(self):
        return self.path, self.sha256


@pytest.fixture(scope="session")
def de421() -> DataFile:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        import skyfield_data

        data_dir = skyfield_data.get_skyfield_data_path()
    return DataFile(pathlib.Path(data_dir) / "de421.bsp")


@pytest.fixture(scope="session")
def eop_table() -> DataFile:
    import astropy_iers_data
    return DataFile(pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now")


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
