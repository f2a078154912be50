"""Engine.position and Engine.positions neither leak memory nor references,
whether they succeed or fail.

Each workload repeats one call many times after a warm-up and compares four
measures taken before and after the loop (each after a full collection):

- the resident set size, from /proc/self/statm, after glibc has handed its
  free pages back (malloc_trim), so that memory freed by earlier tests cannot
  absorb a leak unseen: it sees every leaked byte, but only in whole pages
  and with the allocators' own slack;
- the bytes in use in glibc's heap (mallinfo2), where the engine's C++
  objects and the interpreter's larger objects live: exact to the byte;
- sys.getallocatedblocks(), the interpreter's count of live memory blocks:
  exact for leaked Python objects;
- sys.getrefcount of every argument the calls pass (the body strings, the
  instants, the lists, the options, the engine, the classes): a reference
  taken and never released shows as a count grown by the number of calls.

Thresholds. After the warm-up nothing is left to be cached (NumPy is loaded,
the interpreter's free lists are full), and measured runs on this machine
grow the resident set by 0 to 44 KiB, the C heap by 0 to 160 bytes and the
allocated blocks by 12 to 20 (the measurement's own objects). Allowed are
2 MiB of resident growth, for allocator slack (the interpreter maps object
memory in arenas of 1 MiB); 32 KiB of C heap, half of what one smallest
chunk (32 bytes) kept per batch adds over 2,000 batches; and 256 blocks, an
eighth of one object kept per batch. Reference counts must come back exactly. So one leaked heap
block or object per call, even per batch, fails the test, and a leak of 16
bytes per single call (3.2 MB over 200,000 calls) shows in the resident set
alone. The batches ask for 5 bodies at 100 instants; the failing calls,
batches included, are repeated 200,000 times. The last tests check that
the measures do see such leaks.

The full counts run by default: the whole file takes about 10 s on a shared
2-core machine. With the module built with sanitizers and their runtime
preloaded, the resident set and glibc's counts are not used (the sanitizer's
allocator keeps freed memory in quarantine); LeakSanitizer then reports
leaked C++ memory when the process ends.
"""

import ctypes
import gc
import itertools
import os
import sys
from dataclasses import dataclass, field
from typing import Callable

import pytest

import ephemeris
import spk_writer
from ephemeris import Engine, Instant, PositionOptions

SINGLE_CALLS = 200_000
BATCHES = 2_000
FAILING_CALLS = 200_000
FAILING_BATCHES = 200_000
WARM_UP_FRACTION = 20  # the warm-up repeats a twentieth of the calls
RESIDENT_SLACK_BYTES = 2 << 20
BLOCK_SLACK = 256
C_HEAP_SLACK_BYTES = 32 << 10
CHECKSUM = "ab" * 32

try:
    PAGE_BYTES = os.sysconf("SC_PAGE_SIZE")
    with open("/proc/self/statm", encoding="ascii") as statm:
        statm.read()
    HAVE_STATM = True
except (OSError, ValueError):
    HAVE_STATM = False

pytestmark = pytest.mark.skipif(not HAVE_STATM, reason="needs /proc/self/statm")


def resident_bytes() -> int:
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * PAGE_BYTES


class MallocInfo(ctypes.Structure):
    """glibc's struct mallinfo2."""
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")]


class CHeap:
    """glibc's view of the C heap, which also holds the engine's C++ objects."""

    def __init__(self):
        libc = ctypes.CDLL(None)
        self.available = hasattr(libc, "mallinfo2") and hasattr(libc, "malloc_trim")
        if self.available:
            self._mallinfo2 = libc.mallinfo2
            self._mallinfo2.restype = MallocInfo
            self._malloc_trim = libc.malloc_trim
            self._malloc_trim.argtypes = [ctypes.c_size_t]

    def in_use_bytes(self) -> int:
        if not self.available:
            return 0
        info = self._mallinfo2()
        return info.uordblks + info.hblkhd

    def release_free_pages(self) -> None:
        """Hands free heap pages back to the system, so that memory freed by
        earlier tests cannot hide a leak from the resident set."""
        if self.available:
            self._malloc_trim(0)


C_HEAP = CHeap()


def sanitizer_allocator() -> bool:
    """Whether AddressSanitizer's allocator serves malloc in this process (the
    module built with sanitizers and the runtime preloaded). Its quarantine
    keeps freed memory for a while, so the resident set grows without a leak
    and glibc's counts see nothing; LeakSanitizer reports the C++ heap's leaks
    at exit instead."""
    with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
        return any("libasan" in line for line in maps)


SANITIZED = sanitizer_allocator()


def fresh_text(text: str) -> str:
    """An equal str that is neither interned nor immortal, so that its
    reference count counts only the references this file holds."""
    return "".join(list(text))


@dataclass
class Workload:
    call: Callable[[], object]
    count: int
    watched: list = field(default_factory=list)
    raises: type | None = None  # the exception every call must raise
    message: str = ""  # the start of its text


def repeat(workload: Workload, count: int) -> None:
    call, expected = workload.call, workload.raises
    if expected is None:
        for _ in range(count):
            call()
        return
    for _ in range(count):
        try:
            call()
        except expected:
            pass
        else:
            raise AssertionError("the call did not fail")


def closed_engine(de421, directory) -> Engine:
    """An engine closed by an additional kernel whose segment list cannot be read."""
    path = directory / "broken.bsp"
    path.write_bytes(spk_writer.kernel_bytes(
        [spk_writer.constant_offset_segment(599, 5, 0.0, 86400.0, (1.0, 2.0, 3.0))], broken_summary_chain=True))
    engine = Engine(*de421.pair())
    with pytest.raises(ValueError):
        engine.with_additional_kernel_file(str(path), CHECKSUM)
    return engine


def build_workloads(engine: Engine, closed: Engine) -> dict:
    bodies = [fresh_text(name) for name in ("sun", "moon", "mercury", "venus", "mars")]
    mars, vulcan = fresh_text("mars"), fresh_text("vulcan")
    # A hundred instants over ten years: every call loads new records into the
    # kernel's caches, so the loops exercise filling and replacing them.
    instants = [Instant.tt(2451545.0 + 36.525 * k) for k in range(100)]
    turn = itertools.cycle(instants)
    instant = instants[0]
    outside = Instant(2400000.0)
    geometric, apparent = ephemeris.geometric(), ephemeris.apparent()
    apparent_at_j2000 = PositionOptions("geocentric", "ecliptic", apparent=True)
    day = float(instant.julian_day)
    classes = [Engine, Instant, ephemeris.Position, PositionOptions]
    single = [engine, mars, geometric, apparent, *instants, *classes]
    batch = [engine, bodies, instants, geometric, apparent, *bodies, *instants, *classes]
    bad_bodies = [*bodies[:2], vulcan]
    late_instants = [*instants[:10], outside]
    return {
        "position geometric": Workload(lambda: engine.position(mars, next(turn), geometric), SINGLE_CALLS,
                                       single),
        "position apparent": Workload(lambda: engine.position(mars, next(turn), apparent), SINGLE_CALLS, single),
        "positions geometric": Workload(lambda: engine.positions(bodies, instants, geometric), BATCHES, batch),
        "positions apparent": Workload(lambda: engine.positions(bodies, instants, apparent), BATCHES, batch),
        "position unknown body": Workload(lambda: engine.position(vulcan, instant, geometric), FAILING_CALLS,
                                          [vulcan, *single], ValueError, 'unknown body "vulcan"'),
        "position outside the kernel": Workload(lambda: engine.position(mars, outside, geometric), FAILING_CALLS,
                                                [outside, *single], ValueError, "Julian day 2400000 is outside"),
        "position bad options": Workload(lambda: engine.position(mars, instant, apparent_at_j2000), FAILING_CALLS,
                                         [apparent_at_j2000, *single], ValueError,
                                         "apparent requires reference_epoch"),
        "position float instant": Workload(lambda: engine.position(mars, day, geometric), FAILING_CALLS,
                                           [day, *single], TypeError, "argument 'instant': must be Instant"),
        "position missing argument": Workload(lambda: engine.position(mars, instant), FAILING_CALLS,
                                              single, TypeError, "Engine.position() missing 1 required"),
        "position unknown keyword": Workload(lambda: engine.position(mars, instant, geometric, when=instant),
                                             FAILING_CALLS, single, TypeError, "Engine.position() got"),
        "position closed engine": Workload(lambda: closed.position(mars, instant, geometric), FAILING_CALLS,
                                           [closed, *single], ValueError, "engine is closed"),
        "positions unknown body": Workload(lambda: engine.positions(bad_bodies, instants[:10], geometric),
                                           FAILING_BATCHES, [bad_bodies, *bad_bodies, *batch], ValueError,
                                           'unknown body "vulcan"'),
        "positions outside the kernel": Workload(lambda: engine.positions(bodies, late_instants, geometric),
                                                 FAILING_BATCHES, [late_instants, outside, *batch], ValueError,
                                                 "Julian day 2400000 is outside"),
        "positions bad options": Workload(lambda: engine.positions(bodies, instants[:10], apparent_at_j2000),
                                          FAILING_BATCHES, [apparent_at_j2000, *batch], ValueError,
                                          "apparent requires reference_epoch"),
        "positions str bodies": Workload(lambda: engine.positions(mars, instants, geometric), FAILING_BATCHES,
                                         batch, TypeError, "Can't extract `str` to `Vec`"),
        "positions float element": Workload(lambda: engine.positions(bodies, [instant, day], geometric),
                                            FAILING_BATCHES, [day, *batch], TypeError,
                                            "argument 'instants': element 1 must be Instant"),
        "positions non-sequence": Workload(lambda: engine.positions(set(bodies), instants, geometric),
                                           FAILING_BATCHES, batch, TypeError,
                                           "argument 'bodies': must be a sequence"),
        "positions closed engine": Workload(lambda: closed.positions(bodies, instants[:10], geometric),
                                            FAILING_BATCHES, [closed, *batch], ValueError, "engine is closed"),
    }


WORKLOAD_NAMES = [
    "position geometric", "position apparent", "positions geometric", "positions apparent",
    "position unknown body", "position outside the kernel", "position bad options", "position float instant",
    "position missing argument", "position unknown keyword", "position closed engine",
    "positions unknown body", "positions outside the kernel", "positions bad options", "positions str bodies",
    "positions float element", "positions non-sequence", "positions closed engine",
]


@pytest.fixture(scope="module")
def workloads(de421, tmp_path_factory) -> dict:
    return build_workloads(Engine(*de421.pair()), closed_engine(de421, tmp_path_factory.mktemp("closed")))


def test_every_workload_is_run(workloads):
    assert sorted(workloads) == sorted(WORKLOAD_NAMES)


@dataclass
class Growth:
    references: list  # change of each watched object's reference count
    blocks: int
    c_heap_bytes: int
    resident_bytes: int


def measure(workload: Workload) -> Growth:
    """Repeats the call after a warm-up; what the repetitions left behind."""
    repeat(workload, workload.count // WARM_UP_FRACTION)
    gc.collect()
    C_HEAP.release_free_pages()
    references = [sys.getrefcount(item) for item in workload.watched]
    blocks = sys.getallocatedblocks()
    c_heap = C_HEAP.in_use_bytes()
    resident = resident_bytes()
    repeat(workload, workload.count)
    gc.collect()
    resident_growth = resident_bytes() - resident
    c_heap_growth = C_HEAP.in_use_bytes() - c_heap
    block_growth = sys.getallocatedblocks() - blocks
    after = [sys.getrefcount(item) for item in workload.watched]
    return Growth([now - before for now, before in zip(after, references)], block_growth, c_heap_growth,
                  resident_growth)


@pytest.mark.parametrize("name", WORKLOAD_NAMES)
def test_no_growth(workloads, name):
    workload = workloads[name]
    if workload.raises is not None:  # each failing call takes the path its name says
        with pytest.raises(workload.raises) as raised:
            workload.call()
        assert str(raised.value).startswith(workload.message)
        del raised
    growth = measure(workload)
    print(f"{name}: {workload.count} calls, resident set {growth.resident_bytes / 1024:+.0f} KiB, "
          f"C heap {growth.c_heap_bytes:+d} bytes, allocated blocks {growth.blocks:+d}, "
          f"reference counts changed {sum(map(abs, growth.references))}")
    assert growth.references == [0] * len(workload.watched)
    assert growth.blocks <= BLOCK_SLACK
    if not SANITIZED:
        assert growth.c_heap_bytes <= C_HEAP_SLACK_BYTES
        assert growth.resident_bytes <= RESIDENT_SLACK_BYTES


class TestTheMeasuresSeeLeaks:
    @pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator serves malloc")
    @pytest.mark.parametrize("calls", [SINGLE_CALLS, BATCHES])
    def test_one_small_c_block_per_call(self, calls):
        """16 bytes of C heap per call, invisible to the interpreter."""
        libc = ctypes.CDLL(None)
        libc.malloc.restype = ctypes.c_void_p
        libc.malloc.argtypes = [ctypes.c_size_t]
        libc.free.argtypes = [ctypes.c_void_p]
        blocks = (ctypes.c_void_p * (calls + calls // WARM_UP_FRACTION))()
        cursor = iter(range(len(blocks)))

        def leak():
            blocks[next(cursor)] = libc.malloc(16)

        try:
            growth = measure(Workload(leak, calls))
        finally:
            for address in blocks:
                libc.free(address)
        print(f"resident set {growth.resident_bytes / 1024:+.0f} KiB, C heap {growth.c_heap_bytes:+d} bytes")
        if calls == SINGLE_CALLS:
            assert growth.resident_bytes > RESIDENT_SLACK_BYTES
        if C_HEAP.available:
            assert growth.c_heap_bytes > C_HEAP_SLACK_BYTES

    def test_one_kept_reference_per_batch(self, workloads):
        kept = []
        batch = workloads["positions geometric"]
        growth = measure(Workload(lambda: kept.append(batch.call()), BATCHES, batch.watched))
        kept.clear()
        assert growth.blocks > BLOCK_SLACK
        # The result holds no reference to its arguments.
        assert growth.references == [0] * len(batch.watched)

    def test_one_reference_taken_per_call(self, workloads):
        watched = fresh_text("mars")
        taken = []
        growth = measure(Workload(lambda: taken.append(watched), 1000, [watched]))
        taken.clear()
        assert growth.references == [1000]
