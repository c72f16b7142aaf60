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


def test_million_rows_over_eight_partitions_equal_one_process(client):
    frame = records(1_000_000, 11)
    ddf = dd.from_pandas(frame, npartitions=8)
    scored = rulescore.dask.score(ddf, MODEL)
    assert list(scored.columns) == list(rulescore.RESULT_COLUMNS)
    on_cluster = scored.compute()
    here = rulescore.load(MODEL).score(frame)
    pd.testing.assert_frame_equal(on_cluster, here)
    # Each worker process loaded the model once for its partitions.
    loads = client.run(lambda: len(rulescore.dask._cache))
    assert sorted(loads.values()) == [1, 1]


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
