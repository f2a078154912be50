"""No call leaks memory or references, whether it succeeds or fails.

Each workload repeats one call after a warm-up of a twentieth as many and
compares, after a full collection before and after the loop: the reference
count of every object the call passes (exactly), the interpreter's allocated
blocks (exact for leaked objects), the bytes in use in glibc's heap, which
holds the engine's C++ objects (exact to the byte), and the resident set
after malloc_trim has handed free pages back (every leaked byte, in pages).

Measured runs grow the blocks by 3 to 20 (the measurement's own objects), the
C heap by 0 to 160 bytes and the resident set by 0 to 44 KiB. Allowed are 256
blocks, 16 KiB and 2 MiB (allocator slack: the interpreter maps arenas of
1 MiB): with 1,000 calls at least (the slow event searches), one object or
one smallest heap chunk (32 bytes) kept per call fails. Under the sanitizers'
allocator, whose quarantine keeps freed memory, only the first two are used
and LeakSanitizer reports the C++ heap at exit.
"""

import ctypes
import gc
import itertools
import os
import sys

import numpy as np
import pytest

import ephemeris
from ephemeris import Engine, GeodeticObserver, Instant, PositionOptions

CALLS, BATCHES, SEARCHES = 100_000, 2_000, 1_000
BLOCK_SLACK, C_HEAP_SLACK_BYTES, RESIDENT_SLACK_BYTES = 256, 16 << 10, 2 << 20


class MallocInfo(ctypes.Structure):
    """glibc's struct mallinfo2."""
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")]


LIBC = ctypes.CDLL(None)
LIBC.mallinfo2.restype = MallocInfo
LIBC.malloc_trim.argtypes = [ctypes.c_size_t]
with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
    SANITIZED = any("libasan" in line for line in maps)


def memory():
    """Allocated blocks, C heap bytes in use and resident bytes, after a collection."""
    gc.collect()
    LIBC.malloc_trim(0)
    info = LIBC.mallinfo2()
    with open("/proc/self/statm", encoding="ascii") as statm:
        resident = int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    return sys.getallocatedblocks(), info.uordblks + info.hblkhd, resident


memory()  # the first measurement allocates ctypes' own state


def fresh(text: str) -> str:
    """An equal str that is neither interned nor immortal: its reference count counts this file's references only."""
    return "".join(list(text))


def workloads(engine, closed):
    """The watched objects, and each workload's call, count and (exception, start of its text) if it fails."""
    bodies = [fresh(name) for name in ("sun", "moon", "mercury", "venus", "mars")]
    mars, vulcan, equal, bogus, sun = (fresh(name) for name in ("mars", "vulcan", "equal", "bogus", "sun"))
    # A hundred instants over ten years: the calls fill and replace the kernel's record caches.
    instants = [Instant.tt(2451545.0 + 36.525 * k) for k in range(100)]
    turn = itertools.cycle(instants)
    instant, outside, day = instants[0], Instant(2400000.0), 2451545.0
    geo, app = ephemeris.geometric(), ephemeris.apparent()
    bad = PositionOptions("geocentric", "ecliptic", apparent=True)
    site = GeodeticObserver(-0.1, 51.5)
    topocentric, member = ephemeris.apparent("topocentric", observer=site), ephemeris.HouseSystem(equal)
    few, bad_bodies, late = instants[:10], [*bodies[:2], vulcan], [*instants[:10], outside]
    days = np.array([instant.julian_day for instant in instants])
    day_list, grid, not_finite = days.tolist(), days.reshape(10, 10), [*days[:10], float("nan")]
    watched = [engine, closed, mars, vulcan, equal, bogus, sun, instant, outside, geo, app, bad, site, topocentric,
               member, bodies, *bodies, instants, *instants, bad_bodies, late, days, day_list, grid, not_finite,
               Engine, Instant, ephemeris.Position, PositionOptions, GeodeticObserver, ephemeris.HouseCusps,
               ephemeris.HouseSystem, ephemeris.SeasonEvent, ephemeris.HorizontalPosition]
    return watched, {
        "position geometric": (lambda: engine.position(mars, next(turn), geo), CALLS, None),
        "position apparent": (lambda: engine.position(mars, next(turn), app), CALLS, None),
        "positions geometric": (lambda: engine.positions(bodies, instants, geo), BATCHES, None),
        "positions apparent": (lambda: engine.positions(bodies, instants, app), BATCHES, None),
        "sidereal position": (lambda: engine.sidereal_position(mars, instant, app, "lahiri"), CALLS, None),
        "value classes": (lambda: (Instant.tt(day), GeodeticObserver(1, 2, 3), topocentric.observer,
                                   ephemeris.HouseSystem(equal).name), CALLS, None),
        "house cusps": (lambda: ephemeris.house_cusps(site, instant, day, member).system, CALLS // 10, None),
        "snapshots": (lambda: (repr(engine), engine.kernel_metadata.as_dict(), engine.supported_range,
                               repr(engine.earth_orientation), engine.earth_orientation_at(instant)), CALLS, None),
        "next season event": (lambda: engine.next_season_event(instant, "march_equinox"), SEARCHES, None),
        "next lunation": (lambda: engine.next_lunation(instant, "new_moon"), SEARCHES, None),
        "rise set transit": (lambda: engine.rise_set_transit(sun, site, instant, -0.8), SEARCHES, None),
        "next horizon event": (lambda: engine.next_horizon_event(sun, site, instant, "transit", -0.8), SEARCHES, None),
        "position unknown body": (lambda: engine.position(vulcan, instant, geo), CALLS, (ValueError, "unknown body")),
        "position outside": (lambda: engine.position(mars, outside, geo), CALLS, (ValueError, "Julian day 2400000")),
        "position bad options": (lambda: engine.position(mars, instant, bad), CALLS, (ValueError, "apparent requires")),
        "position float instant": (lambda: engine.position(mars, day, geo), CALLS, (TypeError, "argument 'instant'")),
        "position missing argument": (lambda: engine.position(mars, instant), CALLS, (TypeError, "Engine.position()")),
        "position unknown keyword": (lambda: engine.position(mars, instant, geo, when=instant), CALLS,
                                     (TypeError, "Engine.position() got")),
        "position closed": (lambda: closed.position(mars, instant, geo), CALLS, (ValueError, "engine is closed")),
        "positions unknown body": (lambda: engine.positions(bad_bodies, few, geo), CALLS, (ValueError, "unknown body")),
        "positions outside": (lambda: engine.positions(bodies, late, geo), CALLS, (ValueError, "Julian day 2400000")),
        "positions bad options": (lambda: engine.positions(bodies, few, bad), CALLS, (ValueError, "apparent requires")),
        "positions str bodies": (lambda: engine.positions(mars, few, geo), CALLS, (TypeError, "Can't extract `str`")),
        "positions float element": (lambda: engine.positions(bodies, [instant, day], geo), CALLS,
                                    (TypeError, "argument 'instants': element 1")),
        "positions non-sequence": (lambda: engine.positions(set(bodies), few, geo), CALLS,
                                   (TypeError, "argument 'bodies': must be a sequence")),
        "positions closed": (lambda: closed.positions(bodies, few, geo), CALLS, (ValueError, "engine is closed")),
        "positions_jd array": (lambda: engine.positions_jd(bodies, days, "tt", geo), BATCHES, None),
        "positions_jd list": (lambda: engine.positions_jd(bodies, day_list, "tt", geo), BATCHES, None),
        "altaz refracted": (lambda: engine.altaz(sun, site, instant, 10.0, 1010.0), CALLS // 10, None),
        "altaz_jd": (lambda: engine.altaz_jd(mars, site, days, "tt"), BATCHES, None),
        "positions_jd 2-D": (lambda: engine.positions_jd(bodies, grid, "tt", geo), CALLS,
                             (TypeError, "argument 'julian_days': must be one-dimensional")),
        "positions_jd not finite": (lambda: engine.positions_jd(bodies, not_finite, "tt", geo), CALLS,
                                    (ValueError, "Julian day must be finite")),
        "altaz_jd outside": (lambda: engine.altaz_jd(mars, site, [*days, 2400000.0], "tt"), BATCHES,
                             (ValueError, "Julian day 2400000")),
        "altaz one weather value": (lambda: engine.altaz(sun, site, instant, 10.0), CALLS,
                                    (ValueError, "temperature_c and pressure_mbar")),
        "unknown name": (lambda: ephemeris.SeasonEvent(bogus), CALLS, (ValueError, "unknown season event")),
        "name expected": (lambda: engine.next_lunation(instant, 3), CALLS, (ValueError, "expected a name string")),
    }


def repeat(call, count, error):
    for _ in range(count):
        try:
            call()
        except error[0] if error else ():
            pass
        else:
            assert error is None, "the call did not fail"


@pytest.mark.parametrize("name", list(workloads(None, None)[1]))
def test_no_growth(full_engine, closed_engine, name):
    watched, table = workloads(full_engine, closed_engine)
    call, count, error = table[name]
    if error:  # each failing call takes the path its name says
        with pytest.raises(error[0]) as raised:
            call()
        assert str(raised.value).startswith(error[1])
        del raised
    repeat(call, count // 20, error)
    gc.collect()
    references = [sys.getrefcount(item) for item in watched]
    blocks, c_heap, resident = memory()
    repeat(call, count, error)
    blocks_after, c_heap_after, resident_after = memory()
    after = [sys.getrefcount(item) for item in watched]
    print(f"{name}: {count} calls, allocated blocks {blocks_after - blocks:+d}, C heap {c_heap_after - c_heap:+d} "
          f"bytes, resident set {(resident_after - resident) / 1024:+.0f} KiB")
    assert [(item, now - then) for item, now, then in zip(watched, after, references) if now != then] == []
    assert blocks_after - blocks <= BLOCK_SLACK
    if not SANITIZED:
        assert c_heap_after - c_heap <= C_HEAP_SLACK_BYTES and resident_after - resident <= RESIDENT_SLACK_BYTES
