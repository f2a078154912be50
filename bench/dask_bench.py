"""Rows of scale-out with Dask: the recipe of examples/dask_positions.py
(`map_blocks` over a dask array of Julian days, each worker thread opening
its engine once by unpickling it) on a `distributed.LocalCluster` of two
worker processes with one thread each, against one process calling
`positions_jd` on the whole array.

- 10 million geometric positions: 2,000,000 random TT days (1900-2050) x
  Sun, Moon, Mercury, Venus, Mars, in blocks of 250,000 days; the result
  gathered into the client as one NumPy array (`compute()`, 320 MB through
  the workers' sockets), and kept on the workers (`persist()`, as a job whose
  next step runs there too).
- What the machine gives two processes at the moment: two plain worker
  processes (`concurrent.futures`, no Dask) computing half the days each and
  returning nothing, against the same one process. On a shared machine this
  is the ceiling of the speed-up: Linux groups a session's processes for CPU
  fairness (autogroup), so while other sessions keep the cores busy, two
  processes of one session share one session's part.
- The cost of a block: many blocks of 10 days each, whose computing is
  negligible, so that the wall time per block is what the scheduler, the
  messages and the task call cost.

The cluster is started before the timing, and one run first opens each
worker's engine; both are reported apart.
"""

import concurrent.futures
import multiprocessing
import pickle
import sys
import time

import numpy as np

import ephemeris
import harness
from harness import BODIES, Row, Side

sys.path.insert(0, str(harness.ROOT / "examples"))

NAMES = ("dask-10m", "dask-block-cost")


def compute_and_drop(days, recipe, options) -> None:
    """One plain worker process's share: the positions, computed and dropped."""
    import dask_positions
    dask_positions.positions_block(days, recipe, BODIES, "tt", options)


def rows(quick: bool, names=NAMES):
    try:
        import dask
        import dask.array as da
        import distributed
    except ImportError as error:
        raise RuntimeError(f"the Dask rows need dask[array] and distributed ({error}): "
                           "pip install '.[bench]'") from error
    import dask_positions

    engine = harness.open_engine()
    options = ephemeris.geometric()
    instants = 200_000 if quick else 2_000_000
    block = instants // 8
    repeats = 2 if quick else 3
    harness.progress("starting a LocalCluster of 2 worker processes")
    load_before = harness.load_average()
    start = time.perf_counter()
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        started = time.perf_counter() - start
        days = harness.random_days(instants)
        grid = dask_positions.positions(engine, BODIES, da.from_array(days, chunks=block), "tt", options)
        start = time.perf_counter()
        grid.sum().compute()  # opens each worker's engine
        first = time.perf_counter() - start
        results = {}

        def one_process():
            results["one"] = engine.positions_jd(BODIES, days, "tt", options)

        def gathered():
            results["cluster"] = grid.compute()

        def persisted():
            kept = grid.persist()
            distributed.wait(kept)
            del kept

        recipe = pickle.dumps(engine)
        halves = np.array_split(days, 2)

        def plain_processes():
            for future in [pool.submit(compute_and_drop, half, recipe, options) for half in halves]:
                future.result()

        if "dask-10m" in names:
            harness.progress(f"{instants * len(BODIES):,} positions: one process and the cluster")
            with concurrent.futures.ProcessPoolExecutor(2, multiprocessing.get_context("spawn")) as pool:
                for future in [pool.submit(compute_and_drop, days[:10], recipe, options) for _ in range(4)]:
                    future.result()  # both processes started, their engines open
                seconds = harness.best_times([one_process, gathered, persisted, plain_processes], repeats)
            same = np.array_equal(results["one"], results["cluster"])
            opened = sorted(client.run(dask_positions.engines_opened).values())
            results.clear()
            unit = f"{instants * len(BODIES):,} positions"
            alone = Side("ephemeris, 1 process", seconds[0],
                         f'positions_jd(bodies, {instants:,} tt days, "tt", geometric())')
            note = (f"cluster started in {started:.1f} s; first run (opens the engines) {first:.2f} s; "
                    f"engines opened per worker {opened}; load {load_before} -> {harness.load_average()}")
            agreement = "bit-identical" if same else "DIFFERENT"
            yield Row("dask-10m", "geometric positions on a 2-process LocalCluster, result in the client",
                      unit, Side("ephemeris + Dask, 2 processes", seconds[1],
                                 f"map_blocks over {instants // block} blocks of {block:,} days; compute()"),
                      alone, agreement, 1.7, note)
            yield Row("dask-10m-persist", "the same, result kept on the workers", unit,
                      Side("ephemeris + Dask, 2 processes", seconds[2], "the same graph; persist() and wait()"),
                      alone, agreement, 1.7)
            yield Row("dask-10m-ceiling", "the same, two plain processes without Dask, results dropped", unit,
                      Side("ephemeris, 2 plain processes", seconds[3],
                           "ProcessPoolExecutor(2): positions_jd on half the days each"), alone,
                      note="what the machine gave two processes of this session in this run")

        if "dask-block-cost" in names:
            count, size = (200, 10) if quick else (2_000, 10)
            harness.progress(f"{count:,} blocks of {size} days")
            small = harness.random_days(count * size)
            tiny = dask_positions.positions(engine, BODIES, da.from_array(small, chunks=size), "tt", options)
            blocks = np.split(small, count)

            def cluster_blocks():
                tiny.compute()

            def loop_blocks():
                for piece in blocks:
                    engine.positions_jd(BODIES, piece, "tt", options)

            seconds = harness.best_times([cluster_blocks, loop_blocks], repeats)
            yield Row("dask-block-cost", f"wall time per block, {count:,} blocks of {size} days x 5 bodies",
                      "block", Side("ephemeris + Dask, 2 processes", seconds[0] / count,
                                    "map_blocks; compute(): scheduling, messages, task call, gathering"),
                      Side("ephemeris, 1 process", seconds[1] / count, "positions_jd per block in a loop"),
                      note=f"the cluster adds about {(seconds[0] - seconds[1] / 2) / count * 1e3:.2f} ms "
                           f"of wall time per block (its two workers run blocks side by side)")
