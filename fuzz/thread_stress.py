#!/usr/bin/env python3
"""Engines on many threads: each thread opens, uses and drops its own
engines, tries the engines of the other threads (every such call must be
refused with the thread error), and starts short-lived threads that do the
same; the process's descriptors are watched throughout.

    python fuzz/thread_stress.py --seconds 60 [--seed S] [--threads 4] [--leaks 4]

Checks:
- every result equals, bit for bit, the one computed on the main thread before
  the threads start (same kernel, same arguments);
- every call on another thread's engine raises the BaseException-derived
  thread error with its fixed message, whatever the method;
- an engine dropped on its own thread releases its descriptor: at the end the
  descriptors of the kernel files are back to the baseline, except for the
  deliberate leaks below;
- kernel files are read, never mapped: no mapping of one, before, during
  (sampled) or after the run;
- `--leaks` engines are dropped on a foreign thread on purpose, half of them
  handed to the main thread and half orphaned by a thread that exits, then
  used and dropped by a new thread that the C library gave the same thread
  identity (found within 50 starts, or the drop happens on a fresh one). Each
  must be refused, must report one unraisable "dropped on another thread"
  error, and keeps its descriptor of leak.bsp, as designed;
- the anonymous resident memory grows by at most `--memory-slack-mib`.

Prints the operations by kind and the resource figures; exits 1 on a finding.
Needs the module and the test requirements; writes only into a temporary
directory that it deletes.
"""

import collections
import gc
import os
import random
import shutil
import sys
import threading
import time


import driver_support as support

import ephemeris
from ephemeris import Engine, Instant

SENT = "ephemeris::PyEngine is unsendable, but sent to another thread"
DROPPED = "ephemeris::PyEngine is unsendable, but is being dropped on another thread"
REUSE_ATTEMPTS = 50
J2000 = 2451545.0
BODIES = ["sun", "moon", "mercury", "venus", "mars"]


class Findings:
    def __init__(self):
        self.lock = threading.Lock()
        self.items = []

    def add(self, text):
        with self.lock:
            self.items.append(text)
        print(f"FINDING: {text}", flush=True)


FINDINGS = Findings()


class Workload:
    """The calls every engine answers, with the answers of a main-thread engine."""

    def __init__(self, files):
        self.files = files
        self.instants = [Instant(J2000 + day, scale) for day, scale in ((0.0, "tdb"), (10.25, "tt"), (-3.5, "utc"))]
        self.options = [ephemeris.geometric(), ephemeris.apparent(),
                        ephemeris.apparent("topocentric", "equatorial", ephemeris.GeodeticObserver(2.35, 48.85, 35.0))]
        engine = self.open()
        self.expected = self.run(engine)

    def open(self, extra=False):
        files = self.files
        engine = Engine(files["de421"], support.CHECKSUM, files["lsk"], support.CHECKSUM, files["eop"],
                        support.CHECKSUM)
        if extra:
            engine.with_additional_kernel_file(files["extra"], support.CHECKSUM)
        return engine

    def run(self, engine):
        results = []
        for options in self.options:
            for instant in self.instants:
                position = engine.position("mars", instant, options)
                results.append((position.longitude_deg, position.latitude_deg, position.distance_au,
                                position.longitude_speed_deg_per_day))
            results.append(engine.positions(BODIES, self.instants, options).tobytes())
        results.append(engine.next_lunation(self.instants[0], "full_moon").julian_day)
        results.append(engine.rise_set_transit("sun", ephemeris.GeodeticObserver(0.0, 51.5), self.instants[2],
                                               ephemeris.SUN_UPPER_LIMB_ALTITUDE_DEG).transit_ut1_julian_day)
        return results

    def check(self, engine, where):
        if self.run(engine) != self.expected:
            FINDINGS.add(f"{where}: results differ from the main thread's")

    def foreign_calls(self):
        """Every kind of call, for the engines of other threads."""
        files, instant, options = self.files, self.instants[0], self.options[0]
        return [
            lambda e: e.position("sun", instant, options),
            lambda e: e.positions(BODIES, [instant], options),
            lambda e: e.sidereal_position("moon", instant, ephemeris.PositionOptions(
                "geocentric", "ecliptic", "of_date"), "lahiri"),
            lambda e: e.next_lunation(instant, "new_moon"),
            lambda e: e.next_season_event(instant, "march_equinox"),
            lambda e: e.rise_set_transit("sun", ephemeris.GeodeticObserver(0.0, 51.5), instant, -0.8333),
            lambda e: e.next_horizon_event("moon", ephemeris.GeodeticObserver(0.0, 51.5), instant, "rise", 0.0),
            lambda e: e.kernel_metadata,
            lambda e: e.supported_range,
            lambda e: repr(e),
            lambda e: e.with_leap_second_kernel(files["lsk"], support.CHECKSUM),
            lambda e: e.with_eop(files["eop"], support.CHECKSUM),
            lambda e: e.with_time_kernels(files["lsk"], support.CHECKSUM, files["eop"], support.CHECKSUM),
            lambda e: e.with_additional_kernel_file(files["extra"], support.CHECKSUM),
        ]


def expect_refusal(call, engine, where):
    try:
        call(engine)
    except BaseException as error:  # noqa: BLE001 - the refusal is not an Exception
        if type(error).__name__ != "ThreadBindingError" or isinstance(error, Exception) or str(error) != SENT:
            FINDINGS.add(f"{where}: raised {type(error).__name__}: {error} instead of the thread error")
        return
    FINDINGS.add(f"{where}: a call on another thread's engine was accepted")


class Board:
    """Engines published by their threads for the others to try. A borrowed
    engine is handed back before its owner may drop it, so that the last
    reference always goes on the owner's thread."""

    def __init__(self):
        self.lock = threading.Lock()
        self.entries = {}  # key -> [engine, owner ident, borrowers, retiring]
        self.next_key = 0

    def publish(self, engine):
        with self.lock:
            self.next_key += 1
            self.entries[self.next_key] = [engine, threading.get_ident(), 0, False]
            return self.next_key

    def borrow(self, rng):
        with self.lock:
            keys = [k for k, e in self.entries.items() if e[1] != threading.get_ident() and not e[3]]
            if not keys:
                return None, None
            key = rng.choice(keys)
            self.entries[key][2] += 1
            return key, self.entries[key][0]

    def give_back(self, key):
        with self.lock:
            self.entries[key][2] -= 1

    def retire(self, key):
        with self.lock:
            self.entries[key][3] = True
        while True:
            with self.lock:
                if self.entries[key][2] == 0:
                    del self.entries[key]
                    return
            time.sleep(0.0005)


class Stress:
    def __init__(self, arguments, workload, progress):
        self.arguments, self.workload, self.progress = arguments, workload, progress
        self.board = Board()
        self.counts = collections.Counter()
        self.lock = threading.Lock()
        self.deadline = time.monotonic() + arguments.seconds
        self.foreign_calls = workload.foreign_calls()

    def begin(self, what):
        with self.lock:
            self.counts[what] += 1
            self.progress.begin(f"{threading.current_thread().name}: {what}")

    def worker(self, number):
        rng = random.Random(f"{self.arguments.seed}/{number}")
        owned = []  # (key, engine) published by this thread
        try:
            while time.monotonic() < self.deadline and not FINDINGS.items:
                choice = rng.random()
                if choice < 0.3 or not owned:
                    self.begin("open, check and publish an engine")
                    engine = self.workload.open(extra=rng.random() < 0.3)
                    self.workload.check(engine, f"worker {number}")
                    owned.append((self.board.publish(engine), engine))
                    del engine
                elif choice < 0.5 or len(owned) > 3:
                    self.begin("retire and drop an engine on its own thread")
                    key, engine = owned.pop(rng.randrange(len(owned)))
                    self.board.retire(key)
                    del engine
                elif choice < 0.9:
                    self.begin("call another thread's engine")
                    key, engine = self.board.borrow(rng)
                    if key is not None:
                        with self.lock:
                            self.counts["  of which refused as they must be"] += 1
                        try:
                            expect_refusal(rng.choice(self.foreign_calls), engine, f"worker {number}")
                        finally:
                            del engine
                            self.board.give_back(key)
                else:
                    self.begin("short-lived thread: open, use, drop")
                    thread = threading.Thread(target=self.short_lived, name=f"short-{number}")
                    thread.start()
                    thread.join()
        finally:
            while owned:
                key, engine = owned.pop()
                self.board.retire(key)
                del engine

    def short_lived(self):
        engine = self.workload.open()
        self.workload.check(engine, "short-lived thread")
        del engine


def deliberate_leaks(count, workload, stress):
    """Engines dropped on a foreign thread on purpose; returns how many were made."""
    for number in range(count):
        made = []
        stress.begin("deliberate leak: open on a thread that exits")
        maker = threading.Thread(target=lambda: made.append(Engine(workload.files["leak"], support.CHECKSUM)))
        maker.start()
        maker_identity = maker.ident
        maker.join()
        if number % 2 == 0:
            stress.begin("deliberate leak: refused and dropped on the main thread")
            expect_refusal(lambda e: repr(e), made[0], "main thread, leaked engine")
            made.clear()
            continue

        def reuse():
            reused = threading.get_ident() == maker_identity
            if reused or attempt == REUSE_ATTEMPTS - 1:
                expect_refusal(lambda e: e.supported_range, made[0], "thread with the maker's identity"
                               if reused else "new thread")
                stress.counts["identity reused" if reused else "identity not reused"] += 1
                made.clear()

        stress.begin("deliberate leak: refused and dropped on a thread with the same identity")
        for attempt in range(REUSE_ATTEMPTS):
            thread = threading.Thread(target=reuse)
            thread.start()
            thread.join()
            if not made:
                break
    return count


def measure(files):
    gc.collect()
    descriptors, mapped = support.descriptor_targets(), support.mapped_files()
    figures = {"descriptors": len(descriptors), "RssAnon KiB": support.anonymous_resident_kib()}
    for name in ("de421", "leak", "extra"):
        figures[f"{name} descriptors"] = descriptors.count(files[f"{name}_real"])
        figures[f"{name} mappings"] = mapped.count(files[f"{name}_real"])
    return figures


def child_main(arguments, directory, progress) -> int:
    files = {"de421": support.de421_path(), "lsk": support.write_leap_second_kernel(directory),
             "eop": support.write_short_eop_table(directory), "leak": str(directory / "leak.bsp"),
             "extra": str(directory / "extra.bsp")}
    shutil.copyfile(support.CORPUS / "little_endian_chain.bsp", files["leak"])
    shutil.copyfile(support.CORPUS / "split_coverage.bsp", files["extra"])
    for name in ("de421", "leak", "extra"):
        files[f"{name}_real"] = os.path.realpath(files[name])
    reports = []
    sys.unraisablehook = reports.append
    workload = Workload(files)
    workload.check(workload.open(extra=True), "main thread")  # warm-up, dropped here on its own thread
    baseline = measure(files)

    stress = Stress(arguments, workload, progress)
    started = time.monotonic()
    leaks = deliberate_leaks(arguments.leaks, workload, stress)
    threads = [threading.Thread(target=stress.worker, args=(n,), name=f"worker-{n}") for n in range(arguments.threads)]
    for thread in threads:
        thread.start()
    peak = dict(baseline)
    while any(thread.is_alive() for thread in threads):
        time.sleep(0.2)
        descriptors, mapped = support.descriptor_targets(), support.mapped_files()
        peak["descriptors"] = max(peak["descriptors"], len(descriptors))
        peak["de421 mappings"] = max(peak["de421 mappings"], mapped.count(files["de421_real"]))
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    final = measure(files)

    print(f"operations in {elapsed:.1f} s with {arguments.threads} threads (seed {arguments.seed}):")
    for what, count in sorted(stress.counts.items(), key=lambda item: -item[1]):
        print(f"  {count:8d}  {what}")
    print(f"peak while running: {peak['descriptors']} descriptors, {peak['de421 mappings']} mappings of DE421")
    print("resources before -> after: " + ", ".join(f"{key} {baseline[key]} -> {final[key]}" for key in baseline))
    messages = [str(report.exc_value) for report in reports]
    print(f"unraisable reports: {len(messages)} (expected {leaks}, one per deliberate leak)")
    if messages != [DROPPED] * leaks:
        FINDINGS.add(f"unraisable reports {collections.Counter(messages)}, expected {leaks} x {DROPPED!r}")
    expected = dict(baseline)
    expected["descriptors"] += leaks
    expected["leak descriptors"] += leaks
    for key in expected:
        if key != "RssAnon KiB" and final[key] != expected[key]:
            FINDINGS.add(f"{key}: {final[key]} at the end, expected {expected[key]}")
    for when, figures in (("before", baseline), ("while running", peak), ("at the end", final)):
        for key, value in figures.items():
            if key.endswith(" mappings") and value:
                FINDINGS.add(f"{key} {when}: {value}, expected none (kernels are read, not mapped)")
    growth = final["RssAnon KiB"] - baseline["RssAnon KiB"]
    if growth > arguments.memory_slack_mib * 1024:
        FINDINGS.add(f"anonymous resident memory grew by {growth} KiB")
    print(f"findings: {len(FINDINGS.items)}")
    sys.stdout.flush()
    os._exit(1 if FINDINGS.items else 0)  # the leaked engines stay leaked: nothing is dropped at exit


def add_arguments(parser):
    parser.add_argument("--threads", type=int, default=4, help="worker threads (default 4)")
    parser.add_argument("--leaks", type=int, default=4, help="engines dropped on a foreign thread on purpose")
    parser.add_argument("--memory-slack-mib", type=float, default=32.0,
                        help="allowed growth of the anonymous resident memory (default 32 MiB)")


if __name__ == "__main__":
    sys.exit(support.run(support.parse_arguments(__doc__.splitlines()[0], add_arguments), child_main))
