"""Engine: opening with the time-kernel pairs, attaching files, additional
kernels and provenance, the closed state, thread binding, the
shared/exclusive access marker, pickling and interruption."""

import concurrent.futures
import multiprocessing
import os
import pickle
import shutil
import subprocess
import sys
import time

import numpy as np
import pytest

import ephemeris
import oracles
from ephemeris import Engine, GeodeticObserver, Instant

CHECKSUM = "ab" * 32
J2000 = Instant(2451545.0)
GEO = ephemeris.geometric()
SITE = GeodeticObserver(-0.1, 51.5)
BAD_CHECKSUM = "kernel SHA-256 must contain exactly 64 hexadecimal characters"
BAD_LSK_CHECKSUM = "leap-second kernel SHA-256 must contain exactly 64 hexadecimal characters"
NO_FILE_NAME = "kernel path has no UTF-8 filename"
LSK_PAIR = "leap_second_kernel and leap_second_sha256 must be supplied together"
EOP_PAIR = "eop and eop_sha256 must be supplied together"
NO_UTC = "conversion from Utc to TDB is not implemented"
NO_UT1 = "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop"
CLOSED = "engine is closed"
SENT = "ephemeris::PyEngine is unsendable, but sent to another thread"
DROPPED = "ephemeris::PyEngine is unsendable, but is being dropped on another thread"


def fails(message, call, *args, **kwargs):
    with pytest.raises(ValueError) as raised:
        call(*args, **kwargs)
    assert raised.value.args == (message,)


def test_opening_checks_the_kernel_then_each_time_kernel_pair(de421, leap_seconds, eop_table):
    lsk, eop = leap_seconds, eop_table
    fails("failed to read SPK kernel: No such file or directory (os error 2)", Engine, "/nonexistent/de421.bsp",
          CHECKSUM, leap_second_kernel=lsk.path)
    fails(BAD_CHECKSUM, ephemeris.open, de421.path, "ab" * 31 + "a", eop="x")
    fails(NO_FILE_NAME, Engine, "/", CHECKSUM)
    fails(LSK_PAIR, Engine, *de421.pair(), leap_second_kernel=lsk.path, leap_second_sha256=None)
    fails(LSK_PAIR, ephemeris.open, *de421.pair(), lsk.path, None, eop.path)  # before the table's pair
    fails(LSK_PAIR, Engine, *de421.pair(), leap_second_sha256=lsk.sha256)
    fails(EOP_PAIR, Engine, *de421.pair(), eop_sha256=eop.sha256)
    fails(EOP_PAIR, ephemeris.open, *de421.pair(), *lsk.pair(), eop=eop.path)
    fails(BAD_LSK_CHECKSUM, Engine, *de421.pair(), lsk.path, "zz")
    fails("invalid IERS EOP 20 C04 line 1", Engine, *de421.pair(), eop=lsk.path, eop_sha256=CHECKSUM)
    only_table = Engine(*de421.pair(), eop=eop.path, eop_sha256=eop.sha256)
    fails(NO_UTC, only_table.position, "sun", Instant.utc(2451545.0), GEO)
    only_lsk = ephemeris.open(de421.path, de421.sha256.upper(), *lsk.pair())
    assert repr(only_lsk) == f'Engine(kernel_name="de421.bsp", kernel_sha256="{de421.sha256}")'
    assert only_lsk.position("sun", Instant.utc(2451545.0), GEO).distance_au == pytest.approx(0.98, abs=0.01)
    fails(NO_UT1, only_lsk.position, "sun", Instant.ut1(2451545.0), GEO)


def test_attaching_time_kernels_replaces_them_in_place(de421, engine, leap_seconds, eop_table):
    utc, ut1 = Instant.utc(2451545.0), Instant.ut1(2451545.0)
    fails(NO_UTC, engine.position, "sun", utc, GEO)
    assert engine.with_leap_second_kernel(*leap_seconds.pair()) is None
    first = engine.position("sun", utc, GEO)
    fails(NO_UT1, engine.position, "sun", ut1, GEO)
    assert engine.with_eop(*eop_table.pair()) is None
    assert engine.position("sun", ut1, GEO).distance_au == pytest.approx(first.distance_au, abs=1e-7)
    # A failed attach changes nothing: the leap-second kernel is opened first, a bad table then keeps neither.
    fails("failed to read leap-second kernel: No such file or directory", engine.with_leap_second_kernel,
          "/nonexistent/a.tls", CHECKSUM)
    fails("invalid IERS EOP 20 C04 line 1", engine.with_eop, leap_seconds.path, CHECKSUM)
    fails("invalid IERS EOP 20 C04 line 1", engine.with_time_kernels, *leap_seconds.pair(), leap_seconds.path,
          CHECKSUM)
    fails(BAD_LSK_CHECKSUM, engine.with_time_kernels, leap_seconds.path, "x", "/nonexistent", "y")
    assert engine.position("sun", utc, GEO).longitude_deg == first.longitude_deg
    both = Engine(*de421.pair())
    assert both.with_time_kernels(*leap_seconds.pair(), *eop_table.pair()) is None
    assert both.position("sun", ut1, GEO).longitude_deg == engine.position("sun", ut1, GEO).longitude_deg


@pytest.mark.parametrize(("path", "checksum", "message"), [
    ("/", "ab" * 31 + "a", BAD_CHECKSUM),  # the checksum text is checked first
    ("/nonexistent", "g" + "a" * 63, BAD_CHECKSUM),
    ("data/..", CHECKSUM, NO_FILE_NAME),
    ("", CHECKSUM, NO_FILE_NAME),
    ("/nonexistent/extra.bsp", "AB" * 32, "failed to read SPK kernel: No such file or directory (os error 2)"),
])
def test_additional_kernels_that_cannot_be_opened_leave_the_engine_open(engine, path, checksum, message):
    fails(message, engine.with_additional_kernel_file, path, checksum)
    assert engine.position("sun", J2000, GEO) and engine.kernel_metadata.additional_kernels() == []


def test_a_fifo_or_a_device_as_a_kernel_fails_at_once(de421, tmp_path):
    # A FIFO without a writer once blocked opening for ever with the interpreter lock held, deaf to signals: a
    # child process with a timeout turns such a regression into a failure instead of a hung suite.
    fifo = tmp_path / "kernel.bsp"
    os.mkfifo(fifo)
    script = """if True:
        import sys, ephemeris
        primary, checksum = sys.argv[1:3]
        engine = ephemeris.Engine(primary, checksum)
        for path in sys.argv[3:]:
            for call in (ephemeris.Engine, engine.with_additional_kernel_file):
                try:
                    call(path, checksum)
                except ValueError as error:
                    print(error)
        print(engine.kernel_metadata.additional_kernels())
    """
    child = subprocess.run([sys.executable, "-c", script, *de421.pair(), str(fifo), "/dev/zero"],
                           capture_output=True, text=True, timeout=60)
    assert child.stdout.splitlines() == ["failed to read SPK kernel: not a regular file"] * 4 + ["[]"], child.stderr


def test_additional_kernels_serve_what_the_primary_lacks(engine, spice, write_kernel):
    offset, barycentric = np.array([30000.0, -20000.0, 5000.0]), ephemeris.geometric("barycentric", "equatorial")
    before = engine.kernel_metadata
    # DE421 holds Jupiter only as its system barycentre, which the message names as a second sentence.
    fails('no SPK segment continues the center chain from target 599 at TDB epoch 0. The kernels may hold this '
          'planet only as its system barycenter, "jupiter_barycenter".', engine.position, "jupiter", J2000, barycentric)
    jupiter = write_kernel("jupiter_centre.bsp", [(599, 5, 2414864.5, 2471184.5, offset)])
    mars = write_kernel("mars.bsp", [(499, 4, 2414864.5, 2471184.5, (1e6, 0.0, 0.0))])
    assert engine.with_additional_kernel_file(jupiter, "AB" * 32) is None
    assert engine.with_additional_kernel_file(f"{mars[:-8]}/./mars.bsp", CHECKSUM) is None
    # CSPICE's Jupiter barycentre plus the offset, to the spherical round trip of 8e8 km; DE421 still serves Mars.
    for body, wanted in [("jupiter", spice.spkezr("5", 0.0, "J2000", "NONE", "0")[0][:3] + offset),
                         ("mars", spice.spkezr("499", 0.0, "J2000", "NONE", "0")[0][:3])]:
        got = engine.position(body, J2000, barycentric)
        got_km = oracles.cartesian_km(got.longitude_deg, got.latitude_deg, got.distance_au)
        assert np.linalg.norm(got_km - wanted) < 1e-6, body
    after = engine.kernel_metadata
    assert before.additional_kernels() == [] and before.as_dict()["additional_kernels"] == []
    assert list(after.as_dict().items()) == [
        ("engine_version", "0.1.0"), ("kernel_name", "de421.bsp"), ("kernel_sha256", before.kernel_sha256),
        ("coordinate_frame", "ICRF/J2000"), ("additional_kernels", [("jupiter_centre.bsp", CHECKSUM),
                                                                    ("mars.bsp", CHECKSUM)])]
    assert [after.engine_version, after.kernel_name, after.kernel_sha256, after.coordinate_frame,
            after.additional_kernels()] == list(after.as_dict().values())


CLOSED_CALLS = [
    lambda e, f: repr(e),
    lambda e, f: e.kernel_metadata,
    lambda e, f: e.supported_range,
    lambda e, f: e.position("sun", J2000, GEO),
    lambda e, f: e.positions([], [], GEO),
    lambda e, f: e.sidereal_position("sun", J2000, GEO, "lahiri"),  # refused by the engine were it open
    lambda e, f: e.next_lunation(J2000, "new_moon"),
    lambda e, f: e.next_season_event(J2000, ephemeris.SeasonEvent.june_solstice()),
    lambda e, f: e.rise_set_transit("mars", SITE, J2000, 0.0),
    lambda e, f: e.next_horizon_event("moon", SITE, J2000, "rise", 0.0),
    lambda e, f: e.with_leap_second_kernel(*f[0].pair()),
    lambda e, f: e.with_eop(*f[1].pair()),
    lambda e, f: e.with_time_kernels(*f[0].pair(), *f[1].pair()),
    lambda e, f: e.with_additional_kernel_file(f[2].path, CHECKSUM),
    lambda e, f: e.convert(J2000, "tt"),
    lambda e, f: e.earth_orientation,
    lambda e, f: e.earth_orientation_at(J2000),
]


@pytest.mark.parametrize("call", CLOSED_CALLS)
def test_a_closed_engine_refuses_everything(closed_engine, leap_seconds, eop_table, de421, call):
    fails(CLOSED, call, closed_engine, (leap_seconds, eop_table, de421))


def test_argument_errors_come_before_the_closed_check(closed_engine, de421, leap_seconds):
    fails('unknown body "vulcan"', closed_engine.position, "vulcan", J2000, GEO)
    fails('unknown sidereal mode "x"', closed_engine.sidereal_position, "sun", J2000, GEO, "x")
    fails('unknown horizon event "noon"', closed_engine.next_horizon_event, "sun", SITE, J2000, "noon", 0.0)
    fails(BAD_CHECKSUM, closed_engine.with_additional_kernel_file, de421.path, "x")
    fails(NO_FILE_NAME, closed_engine.with_additional_kernel_file, "/", CHECKSUM)
    fails(BAD_LSK_CHECKSUM, closed_engine.with_leap_second_kernel, leap_seconds.path, "x")


def test_snapshots_travel_freely(engine, in_thread):
    metadata, span = engine.kernel_metadata, engine.supported_range
    assert in_thread(lambda: (metadata.as_dict(), repr(span))) is None


@pytest.mark.parametrize("call", CLOSED_CALLS)
def test_use_from_another_thread_is_refused(engine, leap_seconds, eop_table, de421, in_thread, call):
    error = in_thread(lambda: call(engine, (leap_seconds, eop_table, de421)))
    assert type(error).__name__ == "ThreadBindingError" and not isinstance(error, Exception)
    assert str(error) == SENT
    assert isinstance(in_thread(lambda: engine.position()), TypeError)  # binding comes first
    assert in_thread(lambda: ephemeris.house_cusps(SITE, 2451545.0, 2451545.0, "equal")) is None  # no engine


def test_dropping_on_another_thread_reports_and_leaks(de421, in_thread, monkeypatch):
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    Engine(*de421.pair())  # dropped at once, on its own thread
    assert reports == []
    holder = [Engine(*de421.pair())]
    assert in_thread(holder.clear) is None
    made = []
    assert in_thread(lambda: made.append(Engine(*de421.pair()))) is None
    with pytest.raises(BaseException, match=f"^{SENT}$"):
        repr(made[0])  # an engine belongs to the thread that made it
    made.clear()
    assert [(type(report.exc_value), str(report.exc_value)) for report in reports] == [(RuntimeError, DROPPED)] * 2


class ReentrantNames:
    """One body name whose access runs a callback, re-entering the engine while a method converts its arguments."""

    def __init__(self, callback):
        self.callback = callback

    def __len__(self):
        return 1

    def __getitem__(self, index):
        if index > 0:
            raise IndexError(index)
        self.callback()
        return "sun"


def test_replacing_the_engine_during_a_computation_is_refused(engine, leap_seconds):
    names = ReentrantNames(lambda: engine.with_leap_second_kernel(*leap_seconds.pair()))
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        engine.positions(names, [J2000], GEO)
    assert engine.with_leap_second_kernel(*leap_seconds.pair()) is None  # free again afterwards
    seen = []
    names = ReentrantNames(lambda: seen.append(engine.position("moon", J2000, GEO)))
    assert engine.positions(names, [J2000], GEO).shape == (1, 1, 4) and len(seen) == 1  # shared uses nest


def batch(engine, instants):
    return engine.positions(["moon", "mars", "sun"], instants, ephemeris.apparent())


def test_an_engine_pickles_as_the_files_it_was_opened_with(de421, leap_seconds, eop_table, write_kernel, tmp_path,
                                                           monkeypatch):
    # Relative paths are recorded against the working directory of the moment.
    monkeypatch.chdir(os.path.dirname(de421.path))
    engine = Engine(os.path.basename(de421.path), de421.sha256.upper(), eop=eop_table.path, eop_sha256=eop_table.sha256)
    monkeypatch.chdir(tmp_path)
    extra = write_kernel("extra.bsp", [(599, 5, 2451545.0, 2451546.0, (1.0, 2.0, 3.0))])
    engine.with_additional_kernel_file(extra, CHECKSUM)
    engine.with_leap_second_kernel(*leap_seconds.pair())
    fails("failed to read leap-second kernel: No such file or directory", engine.with_leap_second_kernel,
          "/nonexistent/a.tls", CHECKSUM)  # a failed attach leaves the recipe as it was
    copy = pickle.loads(pickle.dumps(engine))
    assert copy is not engine and copy != engine
    assert copy.kernel_metadata.as_dict() == engine.kernel_metadata.as_dict()
    instants = [Instant.utc(2460000.5 + day) for day in range(40)]
    assert batch(copy, instants).tobytes() == batch(engine, instants).tobytes()
    assert copy.convert(instants[0], "ut1").julian_day == engine.convert(instants[0], "ut1").julian_day
    # The receiving side opens the files again: a missing one gives the usual error.
    state = pickle.dumps(engine)
    os.remove(extra)
    fails("failed to read SPK kernel: No such file or directory (os error 2)", pickle.loads, state)


def test_engines_travel_to_worker_processes(full_engine, closed_engine):
    instants = [Instant.tt(2451545.0 + 10.5 * day) for day in range(100)]
    # The pool pickles the engine on a thread of its own: pickling is allowed from any thread.
    with concurrent.futures.ProcessPoolExecutor(1, mp_context=multiprocessing.get_context("spawn")) as pool:
        remote = pool.submit(batch, full_engine, instants).result(timeout=120)
    assert remote.tobytes() == batch(full_engine, instants).tobytes()
    fails(CLOSED, pickle.dumps, closed_engine)


@pytest.mark.parametrize("options", [ephemeris.apparent(), ephemeris.geometric("barycentric")])
def test_ctrl_c_stops_a_long_batch_and_leaves_the_engine_usable(full_engine, options):
    small = [Instant.tt(2451545.0 + day) for day in range(300)]
    expected = batch(full_engine, small)
    instants = [Instant.tt(2451545.0 + day / 1000) for day in range(1_000_000)]  # 13 s of apparent places
    bodies = ["moon", "mars", "sun", "venus", "mercury"]
    # A SIGINT from outside, as a terminal sends it: the batch holds the interpreter lock, so no thread
    # of this process could run Python code to raise one.
    killer = subprocess.Popen(["sh", "-c", f"sleep 0.3; kill -INT {os.getpid()}"])
    try:
        started = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            for _ in range(100):  # the uncorrected path takes 0.3 s a batch
                full_engine.positions(bodies, instants, options)
        assert time.monotonic() - started < 5
    finally:
        killer.wait()
    assert batch(full_engine, small).tobytes() == expected.tobytes()
