"""KernelMetadata and DateRange: the snapshots an Engine hands out."""

import threading

import pytest

import ephemeris
from ephemeris import DateRange, KernelMetadata

METADATA_KEYS = ["engine_version", "kernel_name", "kernel_sha256", "coordinate_frame", "additional_kernels"]


class TestKernelMetadata:
    def test_fields(self, engine, de421):
        metadata = engine.kernel_metadata
        assert type(metadata) is KernelMetadata
        assert metadata.engine_version == "0.1.0"
        assert metadata.kernel_name == "de421.bsp"
        assert metadata.kernel_sha256 == de421.sha256
        assert metadata.coordinate_frame == "ICRF/J2000"
        assert metadata.additional_kernels() == []

    def test_checksum_is_recorded_in_lower_case(self, de421):
        engine = ephemeris.Engine(de421.path, de421.sha256.upper())
        assert engine.kernel_metadata.kernel_sha256 == de421.sha256

    def test_as_dict_keeps_its_key_order(self, engine):
        metadata = engine.kernel_metadata
        as_dict = metadata.as_dict()
        assert list(as_dict) == METADATA_KEYS
        assert as_dict == {"engine_version": metadata.engine_version, "kernel_name": "de421.bsp",
                           "kernel_sha256": metadata.kernel_sha256, "coordinate_frame": "ICRF/J2000",
                           "additional_kernels": []}

    def test_every_read_is_a_new_object(self, engine):
        assert engine.kernel_metadata is not engine.kernel_metadata
        metadata = engine.kernel_metadata
        metadata.additional_kernels().append(("x", "y"))
        assert metadata.additional_kernels() == []
        metadata.as_dict()["kernel_name"] = "changed"
        assert metadata.kernel_name == "de421.bsp"

    def test_repr(self, engine, de421):
        assert repr(engine.kernel_metadata) == (
            f'KernelMetadata(kernel_name="de421.bsp", kernel_sha256="{de421.sha256}")')

    def test_attributes_are_read_only(self, engine):
        with pytest.raises(AttributeError):
            engine.kernel_metadata.kernel_name = "x"


class TestDateRange:
    def test_supported_range_of_de421(self, engine):
        span = engine.supported_range
        assert type(span) is DateRange
        assert (span.start_julian_day, span.end_julian_day, span.time_scale) == (2414864.5, 2471184.5, "tdb")
        assert repr(span) == 'DateRange(start_julian_day=2414864.5, end_julian_day=2471184.5, time_scale="tdb")'

    def test_bounds_outside_the_range_are_refused(self, engine):
        span = engine.supported_range
        options = ephemeris.geometric()
        assert engine.position("sun", ephemeris.Instant(span.start_julian_day), options)
        assert engine.position("sun", ephemeris.Instant(span.end_julian_day), options)
        with pytest.raises(ValueError) as raised:
            engine.position("sun", ephemeris.Instant(2471185.0), options)
        assert str(raised.value) == "Julian day 2471185 is outside kernel range 2414864.5..2471184.5 Tdb"

    def test_integral_bounds_print_without_a_decimal_point(self, engine, tmp_path):
        import spk_writer
        # A kernel covering exactly TDB Julian days 2451545 to 2451545.5.
        segments = [spk_writer.constant_offset_segment(code, 0, 0.0, 43200.0, (1e8, 0.0, 0.0))
                    for code in (3, 10, 399)]
        path = tmp_path / "half_day.bsp"
        path.write_bytes(spk_writer.kernel_bytes(segments))
        span = ephemeris.Engine(str(path), "ab" * 32).supported_range
        assert repr(span) == 'DateRange(start_julian_day=2451545, end_julian_day=2451545.5, time_scale="tdb")'
        assert span.start_julian_day == 2451545.0

    def test_snapshots_outlive_the_engine_and_cross_threads(self, de421):
        engine = ephemeris.Engine(*de421.pair())
        span, metadata = engine.supported_range, engine.kernel_metadata
        del engine
        texts = []
        thread = threading.Thread(target=lambda: texts.extend([repr(span), metadata.as_dict()["kernel_name"]]))
        thread.start()
        thread.join()
        assert texts == ['DateRange(start_julian_day=2414864.5, end_julian_day=2471184.5, time_scale="tdb")',
                         "de421.bsp"]
