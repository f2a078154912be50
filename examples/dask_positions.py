#!/usr/bin/env python3
"""Positions for a large array of Julian days with Dask, on every core of
this machine or across a cluster.

The days are a `dask.array` cut into blocks along the instants, and
`map_blocks` calls `Engine.positions_jd` on each block: the result is a
dask array of shape (n, bodies, 4), the array `positions_jd` would give for
all the days at once, bit for bit. The engine travels to the workers as its
pickle, the paths and checksums of its files (a few hundred bytes, the same
for every block). A worker thread unpickles it, which opens the files, on
the first block it runs, and keeps it for every later block: each worker
opens the kernels once, however many blocks it computes. The engine is
opened by the thread that runs the blocks, as an Engine serves only the
thread that made it: an engine handed to a worker as a scattered or delayed
object would be unpickled by the worker's communication thread instead.

The workers import this module by name to find `positions_block` (when the
script runs, it imports itself as `dask_positions` for that reason): on a
cluster, install it beside your code or send it with
`client.upload_file("dask_positions.py")`.

    pip install '.[data]' 'dask[array]' distributed
    python examples/dask_positions.py [--instants 2000000] [--block 250000] [--workers 2]

compares a local cluster of worker processes with one process computing the
same geometric positions of the Sun, the Moon, Mercury, Venus and Mars.
"""
import argparse
import hashlib
import pathlib
import pickle
import sys
import threading
import time
import warnings

import numpy as np

import ephemeris

BODIES = ["sun", "moon", "mercury", "venus", "mars"]

_thread_engines = threading.local()
_opened = [0]  # engines this process has unpickled


def thread_engine(recipe: bytes) -> ephemeris.Engine:
    """This thread's engine for a pickled engine: unpickled (its files opened)
    on the first call, the same object on every later call."""
    engines = vars(_thread_engines).setdefault("engines", {})
    engine = engines.get(recipe)
    if engine is None:
        engine = engines[recipe] = pickle.loads(recipe)
        _opened[0] += 1
    return engine


def engines_opened() -> int:
    """How many engines this process has unpickled (for `client.run`)."""
    return _opened[0]


def positions_block(days: np.ndarray, recipe: bytes, bodies, time_scale: str, options) -> np.ndarray:
    """One block: `positions_jd` of the thread's engine for this block of days."""
    return thread_engine(recipe).positions_jd(bodies, days, time_scale, options)


def positions(engine: ephemeris.Engine, bodies, days, time_scale: str, options):
    """`engine.positions_jd(bodies, days, time_scale, options)` for a 1-D dask
    array of Julian days, as a dask array of shape (n, len(bodies), 4) with
    the blocks of `days` along its first axis."""
    bodies = list(bodies)
    return days.map_blocks(positions_block, pickle.dumps(engine), bodies, time_scale, options,
                           new_axis=[1, 2], chunks=(days.chunks[0], (len(bodies),), (4,)),
                           dtype=np.float64, meta=np.empty((0, 0, 0)))


def open_de421() -> ephemeris.Engine:
    """DE421 from the skyfield-data package, with its checksum."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # skyfield-data warns about its other, expiring files
        import skyfield_data
        path = pathlib.Path(skyfield_data.get_skyfield_data_path()) / "de421.bsp"
    return ephemeris.Engine(str(path), hashlib.sha256(path.read_bytes()).hexdigest())


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--instants", type=int, default=2_000_000, help="Julian days (default 2,000,000)")
    parser.add_argument("--block", type=int, default=250_000, help="days per block (default 250,000)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes (default 2)")
    args = parser.parse_args()

    import dask.array as da
    from distributed import Client, LocalCluster

    engine = open_de421()
    julian_days = np.random.default_rng(1).uniform(2415020.5, 2469807.5, args.instants)  # TT, 1900-2050
    start = time.perf_counter()
    expected = engine.positions_jd(BODIES, julian_days, "tt", ephemeris.geometric())
    one_process = time.perf_counter() - start

    with LocalCluster(n_workers=args.workers, processes=True, threads_per_worker=1) as cluster, \
            Client(cluster) as client:
        days = da.from_array(julian_days, chunks=args.block)
        grid = positions(engine, BODIES, days, "tt", ephemeris.geometric())
        grid.compute()  # the first run opens each worker's engine
        start = time.perf_counter()
        result = grid.compute()
        on_cluster = time.perf_counter() - start
        opened = client.run(engines_opened)

    count = args.instants * len(BODIES)
    print(f"{count:,} geometric positions ({args.instants:,} TT days x {len(BODIES)} bodies), "
          f"blocks of {args.block:,} days")
    print(f"  one process, positions_jd:          {one_process:8.3f} s")
    print(f"  {args.workers} worker processes, map_blocks: {on_cluster:8.3f} s "
          f"(x {one_process / on_cluster:.2f}; engines opened per worker: {sorted(opened.values())})")
    print(f"  the same array bit for bit: {np.array_equal(result, expected)}")
    return 0 if np.array_equal(result, expected) else 1


if __name__ == "__main__":
    import dask_positions  # this file as a module the workers can import by name

    sys.exit(dask_positions.main())
