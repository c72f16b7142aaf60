"""rulescore.dask on a local cluster of two worker processes."""
import logging

import numpy as np
import pandas as pd
import pytest

dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

import rulescore
import rulescore.dask
from conftest import ROOT

MODEL = ROOT / "examples" / "credit_risk.pmml"


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=logging.ERROR)
    client = distributed.Client(cluster)
    yield client
    client.close()
    cluster.close()


def records(n, seed):
    rng = np.random.default_rng(seed)
    return pd.DataFrame({
        "age": rng.integers(18, 90, n).astype(float),
        "income": rng.choice([np.nan, 10_000.0, 30_000.0, 60_000.0, 90_000.0], n),
        "debt_ratio": rng.random(n),
        "employment": pd.Categorical(rng.choice(["salaried", "unemployed", "retired"], n)),
        "region": rng.choice(np.array(["north", "south", "east", "west", None], dtype=object), n),
    }, index=pd.RangeIndex(n) * 2)


def test_empty_partitions_and_meta(client):
    frame = records(1000, 3)
    ddf = dd.from_pandas(frame, npartitions=4)
    none = ddf[ddf["age"] > 1000]  # every partition empty
    scored = rulescore.dask.score(none, MODEL)
    result = scored.compute()
    assert len(result) == 0
    assert list(result.dtypes) == list(scored._meta.dtypes)
    some = rulescore.dask.score(ddf[ddf["age"] < 30], MODEL, threads=1).compute()
    pd.testing.assert_frame_equal(some, rulescore.load(MODEL).score(frame[frame["age"] < 30]))
    # Each worker process loaded the model once for all its partitions (the
    # example python_dask.py compares many rows on the cluster with one process).
    loads = client.run(lambda: sum(key[2] == (("threads", 1),) for key in rulescore.dask._cache))
    assert max(loads.values()) == 1
