#!/usr/bin/python3
"""Scores a Dask DataFrame on a local cluster of two worker processes and
checks the rows against scoring in this process.

    PYTHONPATH=build/python /usr/bin/python3 examples/python_dask.py [ROWS]
"""
import logging
import os
import sys
import time

import dask.dataframe as dd
import numpy as np
import pandas as pd
from distributed import Client, LocalCluster

import rulescore
import rulescore.dask

HERE = os.path.dirname(os.path.abspath(__file__))
MODEL = os.path.join(HERE, "credit_risk.pmml")


def main():
    print("python:", sys.executable)
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 200_000
    rng = np.random.default_rng(1)
    frame = pd.DataFrame({
        "age": rng.integers(18, 90, rows).astype(float),
        "income": rng.choice([np.nan, 15_000.0, 40_000.0, 80_000.0], rows),
        "debt_ratio": rng.random(rows),
        "employment": pd.Categorical(rng.choice(["salaried", "unemployed", "retired"], rows)),
        "region": rng.choice(["north", "south", "east", "west"], rows),
    })
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                      silence_logs=logging.ERROR) as cluster, Client(cluster):
        ddf = dd.from_pandas(frame, npartitions=8)
        start = time.perf_counter()
        on_cluster = rulescore.dask.score(ddf, MODEL).compute()
        seconds = time.perf_counter() - start
    here = rulescore.load(MODEL).score(frame)
    pd.testing.assert_frame_equal(on_cluster, here)
    print("%d rows on 2 workers in %.2f s, the same rows as in one process" % (rows, seconds))
    print(on_cluster["prediction"].value_counts().to_string())


if __name__ == "__main__":
    main()
