#!/usr/bin/env python3
"""Prints the CMake cache definitions that point the C++ tests at real data:
JPL DE421 from skyfield-data and the IERS EOP 20 C04 table from
astropy-iers-data. Both packages are in the `test` extra of pyproject.toml."""
import pathlib
import warnings

warnings.simplefilter("ignore")

import astropy_iers_data  # noqa: E402
import skyfield_data  # noqa: E402

de421 = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
eop = pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now"
print(f"-DEPHEMERIS_DE421_PATH={de421}")
print(f"-DEPHEMERIS_EOPC04_PATH={eop}")
