"""Shared parts of the Python fuzz drivers (hostile_arguments.py, thread_stress.py).

A driver runs in two processes. The supervisor makes a temporary directory,
starts the same script again as a child with `--child DIRECTORY`, watches it
and deletes the directory when the child has ended, however it ended. The
child makes every call; before each one it stores the call's number and
description in a small file shared with the supervisor (a memory mapping, no
system call per call). So:

- a crash (the child dies on a signal) is reported with the call that was
  running, from the shared file, after faulthandler's traceback;
- a hang (the call counter stands still for `--stall-seconds`) is reported the
  same way: the supervisor asks faulthandler for every thread's traceback
  (SIGUSR1), then kills the child;
- the child's own findings (wrong exceptions, leaks) make it exit with 1, a
  failure of the driver itself with 3.

The child also measures the process: open descriptors, mappings of given
files (kernel files must have none), and the anonymous resident memory
(RssAnon: the heap, not file pages).
"""

import argparse
import faulthandler
import mmap
import os
import pathlib
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import warnings

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT / "fuzz" / "corpus" / "spk_kernel"
CHECKSUM = "ab" * 32
PROGRESS_BYTES = 1 << 14
_HEADER = struct.Struct("<QQ")  # calls begun, description length
DRIVER_ERROR = 3  # the child's status when the driver itself failed


def parse_arguments(description, add_arguments=None):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--seconds", type=float, default=5.0, help="how long to run (default 5)")
    parser.add_argument("--seed", type=int, help="seed of the random choices (default: drawn and printed)")
    parser.add_argument("--stall-seconds", type=float, default=20.0,
                        help="a call running longer than this is a hang (default 20)")
    parser.add_argument("--child", metavar="DIRECTORY", help=argparse.SUPPRESS)
    if add_arguments:
        add_arguments(parser)
    arguments = parser.parse_args()
    if arguments.seed is None:
        arguments.seed = int.from_bytes(os.urandom(4), "little")
    return arguments


def de421_path() -> str:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        import skyfield_data

        return str(pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp")


def eop_path() -> str:
    import astropy_iers_data

    return str(pathlib.Path(astropy_iers_data.__file__).parent / "data" / "eopc04.1962-now")


def bulletin_a_path() -> str:
    import astropy_iers_data

    return str(pathlib.Path(astropy_iers_data.__file__).parent / "data" / "finals2000A.all")


def write_leap_second_kernel(directory: pathlib.Path) -> str:
    sys.path.insert(0, str(ROOT / "tools"))
    from leap_second_kernel import leap_second_kernel_text

    path = directory / "test.tls"
    path.write_text(leap_second_kernel_text(), encoding="utf-8")
    return str(path)


def write_short_eop_table(directory: pathlib.Path, first_year=1999, last_year=2001) -> str:
    """The C04 table's header and its rows of a few years: a small valid table."""
    lines = pathlib.Path(eop_path()).read_text(encoding="ascii").splitlines(keepends=True)
    kept = [line for line in lines
            if line.startswith("#") or first_year <= int(line[:4] or 0) <= last_year]
    path = directory / "short.eopc04"
    path.write_text("".join(kept), encoding="ascii")
    return str(path)


class Progress:
    """The child's side of the shared progress file."""

    def __init__(self, directory: pathlib.Path):
        descriptor = os.open(directory / "progress", os.O_RDWR)
        try:
            self._map = mmap.mmap(descriptor, PROGRESS_BYTES)
        finally:
            os.close(descriptor)
        self.count = 0

    def begin(self, description: str) -> None:
        text = description.encode("utf-8", "backslashreplace")[:PROGRESS_BYTES - _HEADER.size]
        self._map[_HEADER.size:_HEADER.size + len(text)] = text
        self.count += 1
        _HEADER.pack_into(self._map, 0, self.count, len(text))


def _read_progress(path: pathlib.Path):
    data = path.read_bytes()
    count, length = _HEADER.unpack_from(data)
    return count, data[_HEADER.size:_HEADER.size + length].decode("utf-8", "replace")


def run(arguments, child_main) -> int:
    """In the supervisor: runs the child and returns the exit status to use.
    In the child (`--child`): runs `child_main(arguments, directory, progress)`."""
    if arguments.child:
        faulthandler.enable()
        faulthandler.register(signal.SIGUSR1, all_threads=True)
        directory = pathlib.Path(arguments.child)
        try:
            return child_main(arguments, directory, Progress(directory))
        except BaseException:  # noqa: BLE001 - a fault of the driver itself, told apart from findings
            traceback.print_exc()
            sys.stderr.flush()
            os._exit(DRIVER_ERROR)

    print(f"{pathlib.Path(sys.argv[0]).name}: seed {arguments.seed}, {arguments.seconds:g} s", flush=True)
    directory = pathlib.Path(tempfile.mkdtemp(prefix="ephemeris-fuzz-"))
    try:
        progress_path = directory / "progress"
        progress_path.write_bytes(bytes(PROGRESS_BYTES))
        command = [sys.executable, sys.argv[0], *sys.argv[1:], "--seed", str(arguments.seed),
                   "--child", str(directory)]
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL)
        return _watch(child, progress_path, arguments)
    finally:
        shutil.rmtree(directory, ignore_errors=True)


def _watch(child, progress_path, arguments) -> int:
    last_count, last_change = -1, time.monotonic()
    # Setup and the closing measures run outside the calls; allow them a minute.
    give_up = time.monotonic() + arguments.seconds + arguments.stall_seconds + 60.0
    while True:
        try:
            status = child.wait(timeout=0.25)
            break
        except subprocess.TimeoutExpired:
            pass
        count, _ = _read_progress(progress_path)
        now = time.monotonic()
        if count != last_count:
            last_count, last_change = count, now
        elif (now - last_change > arguments.stall_seconds and count > 0) or now > give_up:
            _, description = _read_progress(progress_path)
            print(f"FINDING: hang: a call has run for more than {now - last_change:.0f} s "
                  f"(seed {arguments.seed}): {description}", flush=True)
            child.send_signal(signal.SIGUSR1)  # every thread's traceback, from faulthandler
            time.sleep(2.0)
            child.kill()
            child.wait()
            return 1
    if status == 0:
        return 0
    _, description = _read_progress(progress_path)
    if status < 0:
        print(f"FINDING: crash: the child died on signal {signal.Signals(-status).name} "
              f"(seed {arguments.seed}) in: {description}", flush=True)
    elif status == DRIVER_ERROR:
        print(f"the driver failed (seed {arguments.seed}) after: {description}", flush=True)
    elif status != 1:
        print(f"FINDING: the child exited with status {status} (seed {arguments.seed}) in: {description}",
              flush=True)
    return 1


# Resource figures of the calling process.

def open_descriptors() -> dict:
    """Descriptor number -> what it refers to."""
    result = {}
    for name in os.listdir("/proc/self/fd"):
        try:
            result[int(name)] = os.readlink(f"/proc/self/fd/{name}")
        except OSError:
            pass  # the directory's own descriptor, closed by now
    return result


def _without_deleted(target: str) -> str:
    return target[:-len(" (deleted)")] if target.endswith(" (deleted)") else target


def descriptor_targets() -> list:
    """What each open descriptor refers to (an unlinked file keeps its path)."""
    return [_without_deleted(target) for target in open_descriptors().values()]


def mapped_files() -> list:
    """The file of each file mapping in /proc/self/maps, one entry per mapping."""
    files = []
    with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
        for line in maps:
            fields = line.split(maxsplit=5)
            if len(fields) == 6 and fields[5].startswith("/"):
                files.append(_without_deleted(fields[5].rstrip("\n")))
    return files


def anonymous_resident_kib() -> int:
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("RssAnon:"):
                return int(line.split()[1])
    return 0
