"""Engine: opening, the time-kernel pairs, attaching files, the closed state,
repr and docstrings, thread binding and the shared/exclusive access marker."""

import gc
import pathlib
import sys
import threading

import pytest

import ephemeris
from ephemeris import Engine, Instant

CHECKSUM = "ab" * 32
BAD_CHECKSUM = "kernel SHA-256 must contain exactly 64 hexadecimal characters"
NO_FILE_NAME = "kernel path has no UTF-8 filename"
CLOSED = "engine is closed"
LSK_PAIR = "leap_second_kernel and leap_second_sha256 must be supplied together"
EOP_PAIR = "eop and eop_sha256 must be supplied together"
SENT = "ephemeris::PyEngine is unsendable, but sent to another thread"
DROPPED = "ephemeris::PyEngine is unsendable, but is being dropped on another thread"
J2000 = Instant(2451545.0)


def raises_value_error(text, call, *args, **kwargs):
    with pytest.raises(ValueError) as raised:
        call(*args, **kwargs)
    assert str(raised.value) == text
    assert raised.value.args == (text,)


def closed_engine(de421, tmp_path) -> Engine:
    """An engine closed by an additional kernel whose segment list cannot be read."""
    import spk_writer
    path = tmp_path / "broken.bsp"
    path.write_bytes(spk_writer.kernel_bytes([spk_writer.constant_offset_segment(599, 5, 0.0, 86400.0, (1, 2, 3))],
                                             broken_summary_chain=True))
    engine = Engine(*de421.pair())
    raises_value_error("failed to read SPK kernel: failed to fill whole buffer",
                       engine.with_additional_kernel_file, str(path), CHECKSUM)
    return engine


class TestOpening:
    def test_constructor_and_open_give_equal_engines(self, de421):
        by_class = Engine(*de421.pair())
        by_function = ephemeris.open(path=de421.path, sha256=de421.sha256.upper())
        assert type(by_function) is Engine
        assert repr(by_class) == repr(by_function) == f'Engine(kernel_name="de421.bsp", kernel_sha256="{de421.sha256}")'

    def test_primary_kernel_errors_come_first(self, de421, leap_seconds):
        raises_value_error("failed to read SPK kernel: No such file or directory (os error 2)",
                           Engine, "/nonexistent/de421.bsp", CHECKSUM, leap_second_kernel=leap_seconds.path)
        raises_value_error(BAD_CHECKSUM, Engine, de421.path, "ab" * 31 + "a", eop="x")
        raises_value_error(NO_FILE_NAME, Engine, "/", CHECKSUM)
        raises_value_error('expected DAF/SPK file identifier, found "KPL/LSK\\n"', Engine, leap_seconds.path,
                           CHECKSUM)

    def test_time_kernels_must_come_in_pairs(self, de421, leap_seconds, eop_table):
        raises_value_error(LSK_PAIR, Engine, *de421.pair(), leap_second_kernel=leap_seconds.path,
                           leap_second_sha256=None)
        raises_value_error(LSK_PAIR, Engine, *de421.pair(), leap_second_sha256=leap_seconds.sha256)
        raises_value_error(EOP_PAIR, Engine, *de421.pair(), eop_sha256=eop_table.sha256)
        raises_value_error(EOP_PAIR, ephemeris.open, *de421.pair(), *leap_seconds.pair(), eop=eop_table.path)
        # The leap-second pair is looked at before the table is.
        raises_value_error(LSK_PAIR, Engine, *de421.pair(), leap_seconds.path, None, eop_table.path)

    def test_time_kernel_errors_carry_their_own_texts(self, de421, leap_seconds, eop_table):
        raises_value_error("leap-second kernel SHA-256 must contain exactly 64 hexadecimal characters",
                           Engine, *de421.pair(), leap_seconds.path, "zz")
        raises_value_error("failed to read leap-second kernel: No such file or directory",
                           Engine, *de421.pair(), "/nonexistent/a.tls", CHECKSUM)
        raises_value_error("invalid IERS EOP 20 C04 line 1", Engine, *de421.pair(), eop=leap_seconds.path,
                           eop_sha256=CHECKSUM)

    def test_either_time_kernel_may_come_alone(self, de421, leap_seconds, eop_table):
        sun = "sun", Instant.utc(2451545.0), ephemeris.geometric()
        only_table = Engine(*de421.pair(), eop=eop_table.path, eop_sha256=eop_table.sha256)
        raises_value_error("conversion from Utc to TDB is not implemented", only_table.position, *sun)
        only_lsk = Engine(*de421.pair(), *leap_seconds.pair())
        assert only_lsk.position(*sun).distance_au == pytest.approx(0.9833, abs=1e-4)
        raises_value_error("UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop",
                           only_lsk.position, "sun", Instant.ut1(2451545.0), ephemeris.geometric())

    @pytest.mark.parametrize("call", [Engine, ephemeris.open])
    def test_arguments_must_be_text(self, de421, call):
        with pytest.raises(TypeError, match="^argument 'path': must be str, not PosixPath$"):
            call(pathlib.Path(de421.path), de421.sha256)
        with pytest.raises(TypeError, match="^argument 'sha256': must be str, not bytes$"):
            call(de421.path, de421.sha256.encode())
        with pytest.raises(TypeError, match="^argument 'eop_sha256': must be str or None, not int$"):
            call(*de421.pair(), eop_sha256=1)
        with pytest.raises(TypeError, match=r"^open\(\) missing 1 required positional argument: 'sha256'$"
                           if call is ephemeris.open else
                           r"^Engine\(\) missing 1 required positional argument: 'sha256'$"):
            call(de421.path)

    def test_type_errors_are_reported_before_the_file_is_opened(self):
        with pytest.raises(TypeError, match="argument 'leap_second_kernel'"):
            Engine("/nonexistent/x.bsp", CHECKSUM, b"x")


class TestAttachingTimeKernels:
    def test_attaching_replaces_in_place(self, de421, leap_seconds, eop_table):
        engine = Engine(*de421.pair())
        utc = "sun", Instant.utc(2451545.0), ephemeris.geometric()
        raises_value_error("conversion from Utc to TDB is not implemented", engine.position, *utc)
        assert engine.with_leap_second_kernel(*leap_seconds.pair()) is None
        first = engine.position(*utc)
        assert engine.with_leap_second_kernel(path=leap_seconds.path, sha256=leap_seconds.sha256) is None
        assert engine.position(*utc).longitude_deg == first.longitude_deg
        ut1 = "sun", Instant.ut1(2451545.0), ephemeris.geometric()
        raises_value_error("UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop",
                           engine.position, *ut1)
        assert engine.with_eop(*eop_table.pair()) is None
        assert engine.position(*ut1).distance_au == pytest.approx(first.distance_au, abs=1e-7)

    def test_time_kernels_together(self, de421, leap_seconds, eop_table):
        engine = Engine(*de421.pair())
        assert engine.with_time_kernels(*leap_seconds.pair(), *eop_table.pair()) is None
        site = ephemeris.GeodeticObserver(-0.1, 51.5)
        assert engine.position("moon", Instant.utc(2451545.0), ephemeris.geometric("topocentric", observer=site))

    def test_failed_attach_leaves_the_engine_as_it_was(self, de421, leap_seconds, eop_table):
        engine = Engine(*de421.pair(), *leap_seconds.pair())
        utc = "sun", Instant.utc(2451545.0), ephemeris.geometric()
        before = engine.position(*utc)
        raises_value_error("failed to read leap-second kernel: No such file or directory",
                           engine.with_leap_second_kernel, "/nonexistent/a.tls", CHECKSUM)
        raises_value_error("invalid IERS EOP 20 C04 line 1", engine.with_eop, leap_seconds.path, CHECKSUM)
        # The leap-second kernel is opened first; a bad table then keeps neither.
        raises_value_error("invalid IERS EOP 20 C04 line 1", engine.with_time_kernels, *leap_seconds.pair(),
                           leap_seconds.path, CHECKSUM)
        raises_value_error("leap-second kernel SHA-256 must contain exactly 64 hexadecimal characters",
                           engine.with_time_kernels, leap_seconds.path, "x", "/nonexistent", "y")
        assert engine.position(*utc).longitude_deg == before.longitude_deg

    def test_attach_arguments_are_required_text(self, engine, leap_seconds):
        with pytest.raises(TypeError, match="^argument 'sha256': must be str, not NoneType$"):
            engine.with_leap_second_kernel(leap_seconds.path, None)
        with pytest.raises(TypeError, match="^argument 'path': must be str, not PosixPath$"):
            engine.with_eop(pathlib.Path(leap_seconds.path), CHECKSUM)
        with pytest.raises(TypeError, match=r"^Engine.with_time_kernels\(\) missing 2 required positional "
                                            r"arguments: 'eop' and 'eop_sha256'$"):
            engine.with_time_kernels(*leap_seconds.pair())


class TestAdditionalKernelChecks:
    @pytest.mark.parametrize("checksum", ["ab" * 31 + "a", "ab" * 32 + "a", "g" + "a" * 63, "", "ab" * 31 + "é"])
    def test_checksum_text_is_checked_first(self, engine, checksum):
        raises_value_error(BAD_CHECKSUM, engine.with_additional_kernel_file, "/", checksum)
        assert repr(engine).startswith("Engine(")

    @pytest.mark.parametrize("path", ["/", "", "data/..", "/nonexistent/..", "//", "kernels/../", ".", "./"])
    def test_paths_without_a_file_name(self, engine, path):
        raises_value_error(NO_FILE_NAME, engine.with_additional_kernel_file, path, CHECKSUM)
        assert engine.kernel_metadata.additional_kernels() == []

    def test_files_that_cannot_be_opened_leave_the_engine_open(self, engine, leap_seconds):
        raises_value_error("failed to read SPK kernel: No such file or directory (os error 2)",
                           engine.with_additional_kernel_file, "/nonexistent/extra.bsp", "AB" * 32)
        raises_value_error('expected DAF/SPK file identifier, found "KPL/LSK\\n"',
                           engine.with_additional_kernel_file, leap_seconds.path, CHECKSUM)
        assert engine.position("sun", J2000, ephemeris.geometric())


class TestClosedEngine:
    def test_everything_reports_the_closed_engine(self, de421, leap_seconds, eop_table, tmp_path):
        engine = closed_engine(de421, tmp_path)
        with pytest.raises(ValueError, match=f"^{CLOSED}$"):
            repr(engine)
        with pytest.raises(ValueError, match=f"^{CLOSED}$"):
            engine.kernel_metadata
        with pytest.raises(ValueError, match=f"^{CLOSED}$"):
            engine.supported_range
        raises_value_error(CLOSED, engine.position, "sun", J2000, ephemeris.geometric())
        raises_value_error(CLOSED, engine.positions, [], [], ephemeris.geometric())
        raises_value_error(CLOSED, engine.with_leap_second_kernel, *leap_seconds.pair())
        raises_value_error(CLOSED, engine.with_eop, *eop_table.pair())
        raises_value_error(CLOSED, engine.with_time_kernels, *leap_seconds.pair(), *eop_table.pair())
        raises_value_error(CLOSED, engine.with_additional_kernel_file, de421.path, CHECKSUM)

    def test_argument_errors_come_before_the_closed_check(self, de421, leap_seconds, tmp_path):
        engine = closed_engine(de421, tmp_path)
        raises_value_error('unknown body "vulcan"', engine.position, "vulcan", J2000, ephemeris.geometric())
        with pytest.raises(TypeError):
            engine.position("sun", 2451545.0, ephemeris.geometric())
        raises_value_error(BAD_CHECKSUM, engine.with_additional_kernel_file, de421.path, "x")
        raises_value_error(NO_FILE_NAME, engine.with_additional_kernel_file, "/", CHECKSUM)
        raises_value_error("leap-second kernel SHA-256 must contain exactly 64 hexadecimal characters",
                           engine.with_leap_second_kernel, leap_seconds.path, "x")


class TestReprAndDocumentation:
    def test_repr_quotes_name_and_checksum(self, de421, tmp_path):
        link = tmp_path / 'odd "name"\t.bsp'
        link.symlink_to(de421.path)
        engine = Engine(str(link), de421.sha256.upper())
        assert repr(engine) == f'Engine(kernel_name="odd \\"name\\"\\t.bsp", kernel_sha256="{de421.sha256}")'

    def test_docstrings_and_text_signatures(self):
        assert Engine.__doc__ == "Open SPK kernel and evaluate geometric or apparent spherical positions."
        assert Engine.__text_signature__ == (
            "(path, sha256, leap_second_kernel=None, leap_second_sha256=None, eop=None, eop_sha256=None)")
        assert ephemeris.open.__text_signature__ == Engine.__text_signature__
        assert ephemeris.open.__doc__ == (
            "Opens an SPK/BSP kernel. `sha256` is the caller-verified 64-hex checksum.\n\n"
            "Pass `leap_second_kernel` / `leap_second_sha256` for UTC, and `eop` /\n"
            "`eop_sha256` as well for UT1 and topocentric polar motion. The same files\n"
            "can be attached later with [`PyEngine::with_time_kernels`].")
        methods = {
            "with_leap_second_kernel": ("($self, path, sha256)",
                                        "Attach a NAIF leap-second kernel so UTC (and UT1 with EOP) convert."),
            "with_eop": ("($self, path, sha256)", "Attach an IERS EOP 20 C04 table for UT1 and polar motion."),
            "with_time_kernels": ("($self, leap_second_kernel, leap_second_sha256, eop, eop_sha256)",
                                  "Attach both an LSK and an EOP table."),
            "with_additional_kernel_file": (
                "($self, path, sha256)",
                "Attach an extra planet-center SPK. The primary kernel still wins for\n"
                "any body and epoch it already covers. `sha256` is caller-verified."),
            "position": ("($self, body, instant, options)", "One spherical position for a named body."),
            "positions": ("($self, bodies, instants, options)",
                          "Batch positions as a `NumPy` array of shape `(n_instants, n_bodies, 4)`.\n\n"
                          "Columns are longitude (deg), latitude (deg), distance (au), and\n"
                          "longitude speed (deg/day)."),
        }
        for name, (signature, doc) in methods.items():
            method = getattr(Engine, name)
            assert method.__text_signature__ == signature, name
            assert method.__doc__ == doc, name

    def test_no_context_manager_and_no_close(self):
        for name in ("close", "__enter__", "__exit__", "__eq__"):
            assert name not in Engine.__dict__

    def test_star_import_hides_the_builtin_open(self):
        namespace: dict = {}
        exec("from ephemeris import *", namespace)
        assert namespace["open"] is ephemeris.open


def run_in_thread(call):
    """Runs `call` on a new thread and returns what it raised (or None)."""
    outcome = []

    def target():
        try:
            call()
            outcome.append(None)
        except BaseException as error:  # noqa: BLE001 - the refusal is not an Exception
            outcome.append(error)

    thread = threading.Thread(target=target)
    thread.start()
    thread.join()
    return outcome[0]


class TestThreadBinding:
    def test_use_from_another_thread_is_refused(self, engine, leap_seconds):
        calls = [
            lambda: engine.position("sun", J2000, ephemeris.geometric()),
            lambda: engine.positions(["sun"], [J2000], ephemeris.geometric()),
            lambda: engine.kernel_metadata,
            lambda: engine.supported_range,
            lambda: repr(engine),
            lambda: engine.with_leap_second_kernel(*leap_seconds.pair()),
        ]
        for call in calls:
            error = run_in_thread(call)
            assert isinstance(error, BaseException) and not isinstance(error, Exception)
            assert str(error) == SENT
        # The owner thread is unaffected, and argument binding runs before the thread check.
        assert engine.position("sun", J2000, ephemeris.geometric())
        assert isinstance(run_in_thread(lambda: engine.position()), TypeError)

    def test_snapshots_travel_freely(self, engine):
        metadata, span = engine.kernel_metadata, engine.supported_range
        assert run_in_thread(lambda: (metadata.as_dict(), repr(span))) is None

    def test_dropping_on_another_thread_reports_and_leaks(self, de421, monkeypatch):
        gc.collect()  # engines of earlier tests kept alive by reference cycles go now, on their own thread
        reports = []
        monkeypatch.setattr(sys, "unraisablehook", reports.append)
        holder = [Engine(*de421.pair())]
        assert run_in_thread(holder.clear) is None
        assert len(reports) == 1
        assert type(reports[0].exc_value) is RuntimeError
        assert str(reports[0].exc_value) == DROPPED

    def test_dropping_on_the_owner_thread_reports_nothing(self, de421, monkeypatch):
        reports = []
        monkeypatch.setattr(sys, "unraisablehook", reports.append)
        engine = Engine(*de421.pair())
        del engine
        gc.collect()
        assert reports == []

    def test_an_engine_made_on_another_thread_belongs_to_it(self, de421):
        gc.collect()
        made = []
        assert run_in_thread(lambda: made.append(Engine(*de421.pair()))) is None
        with pytest.raises(BaseException) as raised:
            repr(made[0])
        assert str(raised.value) == SENT
        # Dropping it here, on the foreign main thread, leaks it with a report.
        reports = []
        previous, sys.unraisablehook = sys.unraisablehook, reports.append
        try:
            made.clear()
        finally:
            sys.unraisablehook = previous
        assert [str(report.exc_value) for report in reports] == [DROPPED]


class ReentrantNames:
    """A sequence of body names whose access runs a callback, to re-enter the
    engine while a method converts its arguments."""

    def __init__(self, callback):
        self.callback = callback

    def __len__(self):
        return 1

    def __getitem__(self, index):
        if index > 0:
            raise IndexError(index)
        self.callback()
        return "sun"


class TestAccessMarker:
    def test_replacing_the_engine_during_a_computation_is_refused(self, engine, leap_seconds):
        names = ReentrantNames(lambda: engine.with_leap_second_kernel(*leap_seconds.pair()))
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            engine.positions(names, [J2000], ephemeris.geometric())
        # The marker is free again afterwards.
        assert engine.with_leap_second_kernel(*leap_seconds.pair()) is None

    def test_shared_uses_nest(self, engine):
        seen = []
        names = ReentrantNames(lambda: seen.append(engine.position("moon", J2000, ephemeris.geometric())))
        result = engine.positions(names, [J2000], ephemeris.geometric())
        assert result.shape == (1, 1, 4) and len(seen) == 1


def test_calls_release_every_reference(engine):
    classes = [Engine, ephemeris.Position, ephemeris.KernelMetadata, ephemeris.DateRange, Instant]
    bodies, instants, options = ["sun", "moon"], [J2000, Instant(2451546.0)], ephemeris.geometric()
    watched = classes + [bodies, instants, options, J2000, engine]
    before = [sys.getrefcount(item) for item in watched]
    for _ in range(500):
        engine.position("mars", J2000, options)
        engine.positions(bodies, instants, options)
        engine.positions(tuple(bodies), list(instants), options)
        repr(engine), engine.kernel_metadata.as_dict(), engine.supported_range
        for bad in (lambda: engine.position("vulcan", J2000, options),
                    lambda: engine.positions(bodies, [Instant(2400000.0)], options),
                    lambda: engine.positions(bodies, [J2000, 1.0], options)):
            with pytest.raises((ValueError, TypeError)):
                bad()
    gc.collect()
    assert [sys.getrefcount(item) for item in watched] == before
