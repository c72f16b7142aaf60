"""Scoring a Dask DataFrame with a rulescore model, partition by partition.

    import dask.dataframe as dd
    import rulescore.dask

    ddf = dd.read_parquet("records/")
    scores = rulescore.dask.score(ddf, "/models/risk.pmml", threads=1)
    scores.compute()

Every worker process loads the model once and keeps it for later
partitions: models are cached per process by path, modification time and
load options, so a changed file is loaded again. The path must be readable
on every worker.
"""

import os
import threading

from . import load

__all__ = ["score", "cached_model"]

_cache = {}
_cache_lock = threading.Lock()


def cached_model(path, **load_options):
    """The model at ``path`` loaded with ``load_options``, loaded once per
    process for each modification time of the file."""
    path = os.path.abspath(os.fspath(path))
    key = (path, os.stat(path).st_mtime_ns, tuple(sorted(load_options.items())))
    with _cache_lock:
        model = _cache.get(key)
        if model is None:
            model = load(path, **load_options)
            _cache[key] = model
    return model


def _score_partition(partition, path, load_options):
    return cached_model(path, **dict(load_options)).score(partition)


def score(ddf, path, **load_options):
    """Scores every partition of the Dask DataFrame ``ddf`` with the model at
    ``path`` and returns a Dask DataFrame with the partitions' indexes and
    the columns of the model's ``Model.columns`` (``RESULT_COLUMNS``, then
    one per output field). A partition without rows gives none. ``load_options`` are those
    of ``rulescore.load`` (``semantics``, ``threads``)."""
    path = os.path.abspath(os.fspath(path))
    options = tuple(sorted(load_options.items()))
    meta = cached_model(path, **load_options)._empty_result()
    meta.index = ddf._meta.index[:0]
    return ddf.map_partitions(_score_partition, path, options, meta=meta)
