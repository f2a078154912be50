"""No call leaks memory or references, whether it succeeds or fails.

Each workload repeats one call after a warm-up of a twentieth as many, and
compares four measures taken before and after the loop, each after a full
collection:

- sys.getrefcount of every object the call passes (names, instants, lists,
  options, the engine, the classes): a reference taken and never released
  grows a count by the number of calls; the counts must come back exactly;
- sys.getallocatedblocks(), the interpreter's live memory blocks: exact for
  leaked Python objects;
- the bytes in use in glibc's heap (mallinfo2), which holds the engine's C++
  objects: exact to the byte;
- the resident set (/proc/self/statm) after malloc_trim has handed free pages
  back, so that memory freed by earlier tests cannot absorb a leak: it sees
  every leaked byte, in whole pages.

Thresholds. After the warm-up nothing is left to be cached (NumPy is loaded,
the interpreter's free lists are full); measured runs grow the resident set
by 0 to 44 KiB, the C heap by 0 to 160 bytes and the blocks by 12 to 20 (the
measurement's own objects). Allowed are 2 MiB of resident set (allocator
slack: the interpreter maps object memory in arenas of 1 MiB), 16 KiB of C
heap and 256 blocks. The fewest calls, 1,000 of the slow event searches, so
still fail for one smallest heap chunk (32 bytes) or one object kept per
call. With sanitizers (the runtime preloaded) the resident set and glibc's
counts are not used: the sanitizer's allocator keeps freed memory in
quarantine, and LeakSanitizer reports the C++ heap's leaks at exit instead.
"""

import ctypes
import gc
import itertools
import os
import sys

import pytest

import ephemeris
from ephemeris import Engine, GeodeticObserver, Instant, PositionOptions

CALLS, BATCHES, SEARCHES = 100_000, 2_000, 1_000
RESIDENT_SLACK_BYTES, C_HEAP_SLACK_BYTES, BLOCK_SLACK = 2 << 20, 16 << 10, 256


class MallocInfo(ctypes.Structure):
    """glibc's struct mallinfo2."""
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")]


LIBC = ctypes.CDLL(None)
LIBC.mallinfo2.restype = MallocInfo
LIBC.malloc_trim.argtypes = [ctypes.c_size_t]
with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
    SANITIZED = any("libasan" in line for line in maps)


def measures():
    gc.collect()
    LIBC.malloc_trim(0)
    info = LIBC.mallinfo2()
    with open("/proc/self/statm", encoding="ascii") as statm:
        resident = int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    return sys.getallocatedblocks(), info.uordblks + info.hblkhd, resident


measures()  # the first measurement allocates ctypes' and the interpreter's own caches
def fresh(text: str) -> str:
    """An equal str that is neither interned nor immortal, so that its
    reference count counts only the references this file holds."""
    return "".join(list(text))


def workloads(engine, closed):
    bodies = [fresh(name) for name in ("sun", "moon", "mercury", "venus", "mars")]
    mars, vulcan, equal, bogus = fresh("mars"), fresh("vulcan"), fresh("equal"), fresh("bogus")
    # A hundred instants over ten years: the single calls load new records
    # into the kernel's caches, so the loops fill and replace them.
    instants = [Instant.tt(2451545.0 + 36.525 * k) for k in range(100)]
    turn = itertools.cycle(instants)
    instant, outside, day = instants[0], Instant(2400000.0), 2451545.0
    geometric, apparent = ephemeris.geometric(), ephemeris.apparent()
    apparent_at_j2000 = PositionOptions("geocentric", "ecliptic", apparent=True)
    site = GeodeticObserver(-0.1, 51.5)
    topocentric = ephemeris.apparent("topocentric", observer=site)
    bad_bodies, late = [*bodies[:2], vulcan], [*instants[:10], outside]
    shared = [engine, closed, mars, vulcan, instant, outside, geometric, apparent, apparent_at_j2000, site,
              bodies, *bodies, instants, *instants, bad_bodies, late, Engine, Instant, ephemeris.Position,
              PositionOptions, GeodeticObserver, ephemeris.HouseCusps, ephemeris.HouseSystem, ephemeris.SeasonEvent]
    season, moon, sun = fresh("march_equinox"), fresh("new_moon"), fresh("sun")
    shared += [equal, bogus, season, moon, sun, topocentric]
    return shared, {
        "position geometric": (lambda: engine.position(mars, next(turn), geometric), CALLS, None),
        "position apparent": (lambda: engine.position(mars, next(turn), apparent), CALLS, None),
        "positions geometric": (lambda: engine.positions(bodies, instants, geometric), BATCHES, None),
        "positions apparent": (lambda: engine.positions(bodies, instants, apparent), BATCHES, None),
        "sidereal position": (lambda: engine.sidereal_position(mars, instant, apparent, "lahiri"), CALLS, None),
        "value classes": (lambda: (Instant.tt(day), GeodeticObserver(1, 2, 3), topocentric.observer,
                                   ephemeris.HouseSystem(equal).name), CALLS, None),
        "house cusps": (lambda: ephemeris.house_cusps(site, instant, day, equal).system, CALLS // 10, None),
        "snapshots": (lambda: (repr(engine), engine.kernel_metadata.as_dict(), engine.supported_range), CALLS,
                      None),
        "next season event": (lambda: engine.next_season_event(instant, season), SEARCHES, None),
        "next lunation": (lambda: engine.next_lunation(instant, moon), SEARCHES, None),
        "rise set transit": (lambda: engine.rise_set_transit(sun, site, instant, -0.8), SEARCHES, None),
        "next horizon event": (lambda: engine.next_horizon_event(sun, site, instant, "transit", -0.8), SEARCHES,
                               None),
        "position unknown body": (lambda: engine.position(vulcan, instant, geometric), CALLS,
                                  (ValueError, 'unknown body "vulcan"')),
        "position outside the kernel": (lambda: engine.position(mars, outside, geometric), CALLS,
                                        (ValueError, "Julian day 2400000 is outside")),
        "position bad options": (lambda: engine.position(mars, instant, apparent_at_j2000), CALLS,
                                 (ValueError, "apparent requires reference_epoch")),
        "position float instant": (lambda: engine.position(mars, day, geometric), CALLS,
                                   (TypeError, "argument 'instant': must be Instant")),
        "position missing argument": (lambda: engine.position(mars, instant), CALLS,
                                      (TypeError, "Engine.position() missing 1 required")),
        "position unknown keyword": (lambda: engine.position(mars, instant, geometric, when=instant), CALLS,
                                     (TypeError, "Engine.position() got an unexpected")),
        "position closed engine": (lambda: closed.position(mars, instant, geometric), CALLS,
                                   (ValueError, "engine is closed")),
        "positions unknown body": (lambda: engine.positions(bad_bodies, instants[:10], geometric), CALLS,
                                   (ValueError, 'unknown body "vulcan"')),
        "positions outside the kernel": (lambda: engine.positions(bodies, late, geometric), CALLS,
                                         (ValueError, "Julian day 2400000 is outside")),
        "positions bad options": (lambda: engine.positions(bodies, instants[:10], apparent_at_j2000), CALLS,
                                  (ValueError, "apparent requires reference_epoch")),
        "positions str bodies": (lambda: engine.positions(mars, instants, geometric), CALLS,
                                 (TypeError, "Can't extract `str` to `Vec`")),
        "positions float element": (lambda: engine.positions(bodies, [instant, day], geometric), CALLS,
                                    (TypeError, "argument 'instants': element 1 must be Instant")),
        "positions non-sequence": (lambda: engine.positions(set(bodies), instants, geometric), CALLS,
                                   (TypeError, "argument 'bodies': must be a sequence")),
        "positions closed engine": (lambda: closed.positions(bodies, instants[:10], geometric), CALLS,
                                    (ValueError, "engine is closed")),
        "unknown name": (lambda: ephemeris.SeasonEvent(bogus), CALLS, (ValueError, 'unknown season event "bogus"')),
        "event name expected": (lambda: engine.next_lunation(instant, 3), CALLS,
                                (ValueError, "expected a name string")),
    }


NAMES = list(workloads(None, None)[1])


def repeat(call, count, raises):
    for _ in range(count):
        try:
            call()
        except raises[0] if raises else ():
            pass
        else:
            assert raises is None, "the call did not fail"


@pytest.mark.parametrize("name", NAMES)
def test_no_growth(full_engine, closed_engine, name):
    watched, table = workloads(full_engine, closed_engine)
    call, count, raises = table[name]
    if raises:  # each failing call takes the path its name says
        with pytest.raises(raises[0]) as raised:
            call()
        assert str(raised.value).startswith(raises[1])
        del raised
    repeat(call, count // 20, raises)
    references = [sys.getrefcount(item) for item in watched]
    blocks, c_heap, resident = measures()
    repeat(call, count, raises)
    blocks_after, c_heap_after, resident_after = measures()
    after = [sys.getrefcount(item) for item in watched]
    print(f"{name}: {count} calls, resident set {(resident_after - resident) / 1024:+.0f} KiB, "
          f"C heap {c_heap_after - c_heap:+d} bytes, allocated blocks {blocks_after - blocks:+d}")
    assert [(item, count) for item, count, before in zip(watched, after, references) if count != before] == []
    assert blocks_after - blocks <= BLOCK_SLACK
    if not SANITIZED:
        assert c_heap_after - c_heap <= C_HEAP_SLACK_BYTES
        assert resident_after - resident <= RESIDENT_SLACK_BYTES
