"""The example program runs against the installed data packages."""

import pathlib
import subprocess
import sys

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "sky_now.py"


def test_sky_now_prints_the_bodies_de421_resolves():
    result = subprocess.run([sys.executable, str(EXAMPLE)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    lines = result.stdout.splitlines()
    assert lines[0].startswith("Apparent geocentric places for ")
    rows = [line.split()[0] for line in lines if line.split() and line.split()[0] in
            {"Sun", "Moon", "Mercury", "Venus", "Mars", "Jupiter", "Saturn"}]
    assert rows == ["Sun", "Moon", "Mercury", "Venus", "Mars"]
    assert lines[-1].startswith("Not shown: Jupiter, Saturn, Uranus, Neptune, Pluto.")
