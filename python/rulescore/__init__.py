"""Score PMML rule-set models (RuleSetModel documents) from Python.

Load a model once, then score whole tables in one call::

    import pandas as pd
    import rulescore

    model = rulescore.load("risk.pmml")            # a path or the PMML text
    frame = pd.DataFrame({"age": [70.0, 30.0], "region": ["north", None]})
    result = model.score(frame)                     # one row per input row
    result.loc[0, "prediction"], result.loc[0, "fired_rules"]

    model.score_record({"age": 70.0, "region": "north"})   # one record -> dict

``Model.score`` accepts a pandas DataFrame, a dict of columns (lists or
numpy arrays) or a list of dicts, and returns a DataFrame with the input's
index and these columns:

* ``prediction``: object, the predicted category (a str) or None; float64
  (NaN for none) when every category of the target is a number;
* ``confidence``: float64, NaN when there is none;
* ``winning_rule``: object, the id (a str) of the rule that decided, or None
  when a default did;
* ``fired_rules``: object, a tuple of the ids of the rules that fired, in
  firing order (rows that fired the same rules share one tuple);
* ``error``: object, None, or the text saying why the row was not scored.

A document that declares an ``Output`` adds one column per ``OutputField``
that is a final result, after these and named after it (``Model.outputs``):
float64 (NaN for missing) when its values are always numbers (a
probability, a confidence, a numeric prediction or transformedValue), else
object (texts, numbers, None for missing). A row that is not scored has
every output missing. An output field named like a standard column gives
a second column of that name (as the tool's header does); ``score_record``
keeps the standard value under that key.

Numeric columns are read straight from their buffers; texts and ``category``
columns are looked up once per distinct value. Scoring runs without the GIL;
``load(..., threads=N)`` translates the model N times and splits large tables
over N threads.

How input is read:

* Only the fields the model reads are looked at (``Model.fields``); other
  columns are ignored. A field with no column is missing in every row, with
  one ``MissingColumnWarning`` per call.
* NaN, None, ``pd.NA`` and ``pd.NaT`` are missing values.
* A number column for a string field is matched by the number; texts for a
  numeric field must read as numbers (or be a value the field declares
  missing): any other text makes that row invalid. The row keeps its place,
  with no prediction, NaN confidence and the reason in ``error``.
* Under ``semantics="pmml"`` each field's MiningField treatments judge its
  values instead: a text in a numeric field, a value outside the field's
  Values or Intervals is invalid, and under ``returnInvalid`` (the default)
  the row is kept unscored with ``error`` as the tool words it
  (``Field age: the value "abc" is invalid``); ``asIs``, ``asMissing`` and
  ``asValue`` score it. Missing values take ``missingValueReplacement``.
* A column of dates or time spans, or an object column holding values that
  are neither texts, numbers, booleans nor missing markers, raises
  ``TypeError``, and so do columns under a MultiIndex; a field that
  appears under two columns raises ``ValueError``; an empty table gives an
  empty result, and a table with rows but none of the fields a row per
  row with every field missing.
* An empty text is a text, not a missing value: in a numeric field it
  makes its row invalid.

A document that cannot be read raises ``ModelError`` with ``.code``,
``.message`` and ``.line``. ``rulescore.dask.score`` scores a Dask DataFrame
partition by partition on a cluster.
"""

import numbers
import os
import warnings
from typing import NamedTuple

import numpy as np
import pandas as pd

from . import _core
from ._errors import ModelError

__all__ = ["load", "Model", "ModelError", "Field", "Output", "MissingColumnWarning", "RESULT_COLUMNS"]

#: The columns of every result, in order.
RESULT_COLUMNS = ("prediction", "confidence", "winning_rule", "fired_rules", "error")


class MissingColumnWarning(UserWarning):
    """Fields the model reads that the scored table has no column for."""


class Field(NamedTuple):
    """A field the model reads: its name, data type ("double" or "string")
    and optype ("continuous", "ordinal" or "nominal")."""

    name: str
    data_type: str
    optype: str


class Output(NamedTuple):
    """An output field with a result column: its name, its feature
    ("predictedValue", "probability", "ruleId", "transformedValue", ...)
    and whether its column is float64 (else object)."""

    name: str
    feature: str
    numeric: bool


def load(path_or_text, semantics="native", threads=1):
    """Reads a PMML document holding RuleSetModel elements into a Model.

    Args:
        path_or_text: a file path (str or os.PathLike), or the document
            itself (a str starting with "<", or bytes).
        semantics: "native" (the default), the engine's own reading, or
            "pmml", the PMML 4.4 RuleSet and MiningSchema chapters as
            written: absent rule weights and confidences are 1, a test on
            a missing value is UNKNOWN (three-valued logic), each field's
            MiningField treatments of invalid, missing and outlying values
            apply (an invalid value under ``returnInvalid`` leaves its row
            unscored with the reason in ``error``), and a rule set without
            a ``defaultScore`` predicts nothing when no rule fires.
        threads: how many threads ``Model.score`` may use; the document is
            translated once per thread.

    Raises:
        ModelError: the document cannot be read or translated.
        ValueError: an unknown ``semantics`` or ``threads`` below 1.
    """
    if isinstance(path_or_text, bytes):
        source, is_text, name = path_or_text.decode("utf-8"), True, "<text>"
    elif isinstance(path_or_text, os.PathLike):
        source, is_text = os.fspath(path_or_text), False
        name = source
    elif isinstance(path_or_text, str):
        is_text = path_or_text.lstrip().startswith("<")
        source = path_or_text
        name = "<text>" if is_text else path_or_text
    else:
        raise TypeError("load() takes a path or the PMML text, not %s" % type(path_or_text).__name__)
    if not isinstance(threads, numbers.Integral) or isinstance(threads, bool):
        raise TypeError("threads must be an int")
    if semantics not in ("native", "pmml"):
        raise ValueError('semantics must be "native" or "pmml", not %r' % (semantics,))
    return Model(_core.Model(source, is_text, name, semantics, int(threads)), semantics)


class Model:
    """A translated rule-set model. Create it with ``rulescore.load``.

    A Model may be used from several Python threads at once; each call takes
    a translation of its own (waiting when all are busy).
    """

    def __init__(self, core, semantics):
        self._core = core
        self._semantics = semantics
        self._fields = [Field(*f) for f in core.fields]
        self._outputs = [Output(*o) for o in core.outputs]
        self._columns = RESULT_COLUMNS + tuple(o.name for o in self._outputs)
        self._categories = list(core.categories)
        self._numeric_target = bool(self._categories) and all(
            isinstance(c, float) for c in self._categories)

    @property
    def fields(self):
        """The fields the model reads, as a list of ``Field``."""
        return list(self._fields)

    @property
    def outputs(self):
        """The output fields that get a result column, after the standard
        ones, as a list of ``Output`` (empty when the document declares
        none)."""
        return list(self._outputs)

    @property
    def columns(self):
        """The columns of a result, in order: ``RESULT_COLUMNS`` then the
        output fields' names."""
        return list(self._columns)

    @property
    def target(self):
        """The name of the target field, or None."""
        return self._core.target

    @property
    def categories(self):
        """The target's categories, the values a prediction can take."""
        return list(self._categories)

    @property
    def rule_sets(self):
        """One dict per rule set: ``criterion``, ``default_score``,
        ``default_confidence`` and ``rules``, a list of dicts with ``id``,
        ``score``, ``weight``, ``confidence`` and ``predicate`` (text)."""
        return self._core.rule_sets

    @property
    def threads(self):
        """How many threads ``score`` uses by default."""
        return self._core.threads

    @property
    def semantics(self):
        """The semantics the model was loaded with: "native" or "pmml"."""
        return self._semantics

    def check(self):
        """The warnings of ``rulescore check`` under the model's semantics,
        as a list of texts (each line's text after "warning: "), empty when
        there is nothing to warn about. Natively they include the reasons
        why the document would score otherwise under ``semantics="pmml"``."""
        return self._core.check()

    def show(self):
        """The model's text dump, as ``rulescore show`` prints it."""
        return self._core.show()

    def __repr__(self):
        return "<rulescore.Model target=%r, %d rule set(s), %d field(s)>" % (
            self.target, len(self.rule_sets), len(self._fields))

    def score_record(self, record):
        """Scores one record, a dict of field name to value, into a dict
        with the keys of ``Model.columns`` (``RESULT_COLUMNS`` and the
        output fields), valued as a row of ``score`` (``fired_rules`` a
        tuple of rule ids). Absent keys, None and NaN are missing values."""
        if not isinstance(record, dict):
            if not hasattr(record, "keys"):
                raise TypeError("score_record() takes a dict, not %s" % type(record).__name__)
            record = dict(record)
        result = self._core.score_record(record)
        if self._numeric_target and result["prediction"] is None:
            result["prediction"] = float("nan")
        return result

    def score(self, data, threads=None):
        """Scores every row of ``data`` (a DataFrame, a dict of columns or a
        list of dicts) into a DataFrame with the same index and the columns
        of ``Model.columns``: ``RESULT_COLUMNS``, then one per output
        field. ``threads`` defaults to the model's."""
        count = self._core.threads if threads is None else int(threads)
        if count < 1:
            raise ValueError("threads must be at least 1")
        frame = _as_frame(data)
        if isinstance(frame.columns, pd.MultiIndex):
            raise TypeError("score() reads columns by name: flatten the MultiIndex of the columns first")
        rows = len(frame.index)
        names = frame.columns
        duplicated = set(names[names.duplicated()])
        column_args = []
        absent = []
        for field in self._fields:
            if field.name in duplicated:
                raise ValueError("the field %r appears under more than one column" % field.name)
            if field.name not in names:
                absent.append(field.name)
                continue
            column_args.append(_column(field.name, frame[field.name], field.data_type == "string"))
        if absent:
            warnings.warn("the model reads %s, which the data has no column for: missing in every row"
                          % ", ".join(repr(a) for a in absent), MissingColumnWarning, stacklevel=2)
        return _result_frame(self._columns, self._core.score_columns(column_args, rows, count),
                             frame.index)

    def _empty_result(self):
        """A result with no rows, with the dtypes of a real one."""
        dtypes = [np.float64 if self._numeric_target else object, np.float64, object, object, object]
        dtypes += [np.float64 if o.numeric else object for o in self._outputs]
        return _result_frame(self._columns, [np.empty(0, dtype=d) for d in dtypes], pd.RangeIndex(0))


_COLUMN_NAMES = {}  # the names of a result's object columns, made once


def _result_frame(names, columns, index):
    """The frame of the columns `names` from the arrays the compiled scorer
    gives. Its object columns, rows of one 2-d array, become one block of
    the frame as they are (no copy, no search for dates)."""
    at_object = [at for at, values in enumerate(columns) if values.dtype == object]
    objects = tuple(names[at] for at in at_object)
    labels = _COLUMN_NAMES.get(objects)
    if labels is None:
        labels = _COLUMN_NAMES.setdefault(objects, pd.Index(objects, dtype=object))
    block = columns[at_object[0]].base
    if block is None or block.ndim != 2 or block.shape[0] != len(objects):
        block = np.stack([columns[at] for at in at_object])
    frame = _frame_of_blocks(names, columns, block, at_object, index)
    if frame is not None:
        return frame
    frame = pd.DataFrame(block.T, index=index, columns=labels, dtype=object, copy=False)
    for at, (name, values) in enumerate(zip(names, columns)):
        if values.dtype != object:
            # An output field may share a standard column's name.
            frame.insert(at, name, values, allow_duplicates=True)
    return frame


def _frame_of_blocks(names, columns, block, at_object, index):
    """The result frame made of the arrays themselves, the object block and
    a block per number column, without the copy DataFrame.insert makes of
    each number column; None where this pandas has no such way."""
    try:
        from pandas.core.internals import BlockManager
        from pandas.core.internals.api import make_block
        blocks = [make_block(block, placement=at_object, ndim=2)]
        for at, values in enumerate(columns):
            if values.dtype != object:
                blocks.append(make_block(values.reshape(1, -1), placement=[at], ndim=2))
        manager = BlockManager(blocks, [pd.Index(list(names), dtype=object), index])
        if hasattr(pd.DataFrame, "_from_mgr"):
            return pd.DataFrame._from_mgr(manager, axes=manager.axes)
        return pd.DataFrame(manager)
    except (ImportError, AttributeError, TypeError, ValueError, AssertionError):
        return None


def _as_frame(data):
    if isinstance(data, pd.DataFrame):
        return data
    if isinstance(data, dict):
        try:
            return pd.DataFrame(data)
        except ValueError as e:
            if data and all(np.ndim(v) == 0 for v in data.values()):
                raise TypeError("a dict of columns needs lists or arrays as values; "
                                "score_record() scores one record") from None
            raise ValueError("the columns cannot form a table: %s" % e) from None
    if isinstance(data, (list, tuple)):
        if not data:
            return pd.DataFrame(index=pd.RangeIndex(0))
        for row in data:
            if not isinstance(row, dict):
                raise TypeError("a list to score holds dicts, not %s" % type(row).__name__)
        return pd.DataFrame.from_records(list(data))
    raise TypeError("score() takes a DataFrame, a dict of columns or a list of dicts, not %s"
                    % type(data).__name__)


def _is_missing(value):
    if value is None or value is pd.NA or value is pd.NaT:
        return True
    return isinstance(value, float) and value != value


def _text(value, is_string):
    """The text a code column gives for one distinct value."""
    if isinstance(value, str):
        return value
    if isinstance(value, (bool, np.bool_)):
        if is_string:
            return "true" if value else "false"
        return "1" if value else "0"
    if isinstance(value, numbers.Number) and not isinstance(value, complex):
        number = float(value)
        if number.is_integer() and abs(number) < 2 ** 53:
            return str(int(number))
        return repr(number)
    if isinstance(value, bytes):
        return value.decode("utf-8")
    raise TypeError("cannot score a %s value" % type(value).__name__)


def _cell(value):
    """One value of score_record that is not a str, float or int: a float,
    a text, or None for missing."""
    if _is_missing(value):
        return None
    if isinstance(value, (bool, np.bool_)):
        return float(value)
    if isinstance(value, numbers.Number) and not isinstance(value, complex):
        number = float(value)
        return None if number != number else number
    if isinstance(value, bytes):
        return value.decode("utf-8")
    raise TypeError("cannot score a %s value" % type(value).__name__)


def _column(name, series, is_string):
    """The column arguments of one field for the compiled scorer."""
    dtype = series.dtype
    if isinstance(dtype, pd.CategoricalDtype):
        codes = np.ascontiguousarray(series.cat.codes.to_numpy(), dtype=np.int32)
        try:
            texts = [_text(v, is_string) for v in dtype.categories]
        except TypeError as e:
            raise TypeError("column %r: %s" % (name, e)) from None
        return (name, codes, texts, None, False)
    if (dtype.kind in "mM" or isinstance(dtype, (pd.DatetimeTZDtype, pd.PeriodDtype,
                                                  pd.IntervalDtype))):
        raise TypeError("column %r holds %s values: give numbers or texts" % (name, dtype))
    if dtype == np.float64:
        return (name, np.ascontiguousarray(series.to_numpy()), None, None, True)
    if dtype.kind in "iub" and not pd.api.types.is_extension_array_dtype(dtype):
        return (name, series.to_numpy(dtype=np.float64), None, None, True)
    if pd.api.types.is_extension_array_dtype(dtype) and (
            pd.api.types.is_numeric_dtype(dtype) or pd.api.types.is_bool_dtype(dtype)):
        return (name, series.to_numpy(dtype=np.float64, na_value=np.nan), None, None, True)
    if dtype.kind == "f":
        return (name, series.to_numpy(dtype=np.float64), None, None, True)
    if dtype == object or isinstance(dtype, pd.StringDtype):
        # Texts and missing markers, each distinct object looked at once.
        done = _core.factorize(series.to_numpy(dtype=object), (pd.NA, pd.NaT))
        if done is not None:
            return (name, done[0], done[1], None, False)
    try:
        codes, uniques = pd.factorize(series, use_na_sentinel=True)
        texts = [_text(v, is_string) for v in uniques]
    except TypeError as e:
        raise TypeError("column %r: %s" % (name, e)) from None
    return (name, np.ascontiguousarray(codes, dtype=np.int32), texts, None, False)
