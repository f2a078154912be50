"""Engine.with_additional_kernel_file with synthetic planet-centre kernels:
attaching, resolving bodies the primary kernel lacks, provenance, and the
closed engine after a kernel the engine rejects."""

import math

import numpy as np
import pytest
import spiceypy

import ephemeris
import spk_writer
from ephemeris import Engine, Instant

DE421_FIRST_DAY, DE421_LAST_DAY = 2414864.5, 2471184.5
JUPITER_OFFSET_KM = (30000.0, -20000.0, 5000.0)
SATURN_OFFSET_KM = (-1000.0, 400.0, 250.0)
KM_PER_AU = 149597870.7


def write_kernel(directory, name, segments, **options):
    path = directory / name
    path.write_bytes(spk_writer.kernel_bytes(segments, **options))
    return str(path)


def centre_segment(target, barycentre, offset, first_day=DE421_FIRST_DAY, last_day=DE421_LAST_DAY):
    return spk_writer.constant_offset_segment(target, barycentre, spk_writer.days_to_seconds(first_day),
                                              spk_writer.days_to_seconds(last_day), offset)


@pytest.fixture
def jupiter_kernel(tmp_path):
    return write_kernel(tmp_path, "jupiter_centre.bsp", [centre_segment(599, 5, JUPITER_OFFSET_KM)])


@pytest.fixture
def broken_kernel(tmp_path):
    return write_kernel(tmp_path, "broken.bsp", [centre_segment(699, 6, SATURN_OFFSET_KM)],
                        broken_summary_chain=True)


@pytest.fixture
def spice_with(de421):
    """CSPICE with DE421 and the given extra kernels loaded; unloaded afterwards."""
    loaded = []

    def load(*paths):
        for path in (de421.path, *paths):
            spiceypy.furnsh(path)
            loaded.append(path)

    yield load
    for path in loaded:
        spiceypy.unload(path)


def cartesian_km(position):
    lon, lat = math.radians(position.longitude_deg), math.radians(position.latitude_deg)
    r = position.distance_au * KM_PER_AU
    return np.array([r * math.cos(lat) * math.cos(lon), r * math.cos(lat) * math.sin(lon), r * math.sin(lat)])


def test_attached_kernel_resolves_jupiter(engine, jupiter_kernel, spice_with):
    barycentric = ephemeris.geometric("barycentric", "equatorial")
    with pytest.raises(ValueError, match="no SPK segment continues the center chain from target 599"):
        engine.position("jupiter", Instant(2451545.0), barycentric)
    assert engine.with_additional_kernel_file(jupiter_kernel, "AB" * 32) is None
    spice_with(jupiter_kernel)
    # CSPICE reads the same synthetic file: its state is DE421's barycentre plus the offset.
    worst = 0.0
    for day in (2415000.5, 2451545.0, 2460000.25, 2471000.5):
        et = spk_writer.days_to_seconds(day)
        wanted = spiceypy.spkezr("599", et, "J2000", "NONE", "0")[0][:3]
        barycentre = spiceypy.spkezr("5", et, "J2000", "NONE", "0")[0][:3]
        assert np.allclose(wanted - barycentre, JUPITER_OFFSET_KM, rtol=0, atol=1e-6)
        actual = cartesian_km(engine.position("jupiter", Instant(day), barycentric))
        worst = max(worst, float(np.linalg.norm(actual - wanted)))
    print(f"largest difference from CSPICE: {worst:.3g} km")
    assert worst < 1e-6  # the spherical round trip of a 8e8 km vector


def test_batches_use_the_attached_kernel(engine, jupiter_kernel):
    engine.with_additional_kernel_file(jupiter_kernel, "ab" * 32)
    instants = [Instant(2451545.0), Instant(2455000.5)]
    options = ephemeris.geometric("heliocentric", "ecliptic")
    batch = engine.positions(["jupiter", "mars"], instants, options)
    for i, instant in enumerate(instants):
        one = engine.position("jupiter", instant, options)
        assert list(batch[i, 0]) == [one.longitude_deg, one.latitude_deg, one.distance_au,
                                     one.longitude_speed_deg_per_day]


def test_provenance_grows_and_earlier_snapshots_stay(engine, jupiter_kernel, tmp_path):
    before = engine.kernel_metadata
    engine.with_additional_kernel_file(jupiter_kernel, "AB" * 32)
    after_one = engine.kernel_metadata
    write_kernel(tmp_path, "saturn_centre.bsp", [centre_segment(699, 6, SATURN_OFFSET_KM)])
    # Repeated separators and "." components do not change the recorded name.
    engine.with_additional_kernel_file(f"{tmp_path}//./saturn_centre.bsp", "0123456789abcdefABCDEF" + "0" * 42)
    after_two = engine.kernel_metadata
    assert before.additional_kernels() == []
    assert after_one.additional_kernels() == [("jupiter_centre.bsp", "ab" * 32)]
    assert after_two.additional_kernels() == [("jupiter_centre.bsp", "ab" * 32),
                                              ("saturn_centre.bsp", "0123456789abcdefabcdef" + "0" * 42)]
    assert after_two.as_dict()["additional_kernels"] == after_two.additional_kernels()
    assert before.as_dict()["additional_kernels"] == []
    # The primary kernel's identity does not change.
    assert after_two.kernel_name == before.kernel_name == "de421.bsp"
    assert engine.position("saturn", Instant(2451545.0), ephemeris.geometric()).distance_au > 8


def test_primary_kernel_wins_where_it_covers(engine, tmp_path):
    # A second kernel with Mars (499) displaced by 1e6 km changes nothing.
    displaced = write_kernel(tmp_path, "mars.bsp", [centre_segment(499, 4, (1e6, 0.0, 0.0))])
    options = ephemeris.geometric()
    before = engine.position("mars", Instant(2451545.0), options)
    engine.with_additional_kernel_file(displaced, "ab" * 32)
    after = engine.position("mars", Instant(2451545.0), options)
    assert (after.longitude_deg, after.distance_au) == (before.longitude_deg, before.distance_au)


def test_rejected_kernel_closes_the_engine(engine, broken_kernel, jupiter_kernel):
    snapshot = engine.kernel_metadata
    with pytest.raises(ValueError) as raised:
        engine.with_additional_kernel_file(broken_kernel, "ab" * 32)
    assert str(raised.value) == "failed to read SPK kernel: failed to fill whole buffer"
    for call in (lambda: repr(engine), lambda: engine.kernel_metadata,
                 lambda: engine.position("sun", Instant(2451545.0), ephemeris.geometric()),
                 lambda: engine.with_additional_kernel_file(jupiter_kernel, "ab" * 32)):
        with pytest.raises(ValueError, match="^engine is closed$"):
            call()
    # What was handed out before stays valid.
    assert repr(snapshot) == f'KernelMetadata(kernel_name="de421.bsp", kernel_sha256="{snapshot.kernel_sha256}")'


def test_kernel_outside_the_range_attaches_but_does_not_serve(engine, tmp_path):
    # Coverage of the additional kernel is not checked at attach time; epochs it
    # does not cover simply find no segment.
    short = write_kernel(tmp_path, "short.bsp", [centre_segment(599, 5, JUPITER_OFFSET_KM, 2451545.0, 2451546.0)])
    engine.with_additional_kernel_file(short, "ab" * 32)
    options = ephemeris.geometric()
    assert engine.position("jupiter", Instant(2451545.5), options)
    with pytest.raises(ValueError, match="no SPK segment continues the center chain from target 599"):
        engine.position("jupiter", Instant(2451547.0), options)
    assert engine.supported_range.end_julian_day == DE421_LAST_DAY
