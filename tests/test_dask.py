"""The Dask recipe of examples/dask_positions.py on a local cluster of two
worker processes gives the array one process gives, bit for bit, and each
worker opens its engine once however many blocks it computes."""

import numpy as np

import ephemeris
from conftest import ROOT, need

BODIES = ["sun", "moon", "mercury", "venus", "mars"]


def test_blocks_on_two_worker_processes_equal_one_process(de421, monkeypatch):
    da, distributed = need("dask.array"), need("distributed")
    monkeypatch.syspath_prepend(str(ROOT / "examples"))  # the workers import the example by name
    import dask_positions

    engine = ephemeris.Engine(*de421.pair())
    days = np.random.default_rng(3).uniform(2415020.5, 2469807.5, 20_000)
    expected = engine.positions_jd(BODIES, days, "tt", ephemeris.apparent())
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        grid = dask_positions.positions(engine, BODIES, da.from_array(days, chunks=1_000), "tt",
                                        ephemeris.apparent())
        assert grid.shape == expected.shape and grid.chunks == ((1_000,) * 20, (5,), (4,))
        result = grid.compute()
        opened = client.run(dask_positions.engines_opened)
    assert np.array_equal(result, expected)
    assert sorted(opened.values()) == [1, 1]
