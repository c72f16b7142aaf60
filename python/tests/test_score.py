"""Model.score and Model.score_record: results, input forms and bad input."""
import json
import math
import pathlib
import subprocess
import warnings

import numpy as np
import pandas as pd
import pytest

import rulescore
from conftest import ROOT, WORKED

R12, R2, R23, R123 = ("R1", "R2"), ("R2",), ("R2", "R3"), ("R1", "R2", "R3")
ROWS = [(70.0, "south"), (30.0, "south"), (None, None), (30.0, "north")]  # age, region
WANT = pd.DataFrame({"prediction": ["high", "high", "high", "low"], "confidence": [0.6, 0.4, 0.4, 0.5],
                     "winning_rule": ["R1", "R2", "R2", "R3"], "fired_rules": [R12, R2, R2, R23],
                     "error": [None] * 4})


@pytest.mark.parametrize("form", ["frame", "dict_lists", "dict_arrays", "records"])
def test_every_input_form_gives_the_same_rows(worked, form):
    ages, regions = [r[0] for r in ROWS], [r[1] for r in ROWS]
    index = pd.Index([10, 20, 30, 40]) if form == "frame" else pd.RangeIndex(4)
    data = {
        "frame": lambda: pd.DataFrame({"age": ages, "region": regions}, index=index),
        "dict_lists": lambda: {"age": ages, "region": regions},
        "dict_arrays": lambda: {"age": np.array(ages, dtype=float), "region": np.array(regions, dtype=object)},
        # An absent key is missing.
        "records": lambda: [{"age": a, "region": r} if a else {"region": r} for a, r in ROWS],
    }[form]()
    pd.testing.assert_frame_equal(worked.score(data), WANT.set_axis(index)[list(rulescore.RESULT_COLUMNS)],
                                  check_exact=False, rtol=1e-15)


def test_score_record_gives_a_row_of_score(worked):
    for (age, region), (_, want) in zip(ROWS, WANT.iterrows()):
        out = worked.score_record({"age": age, "region": region, "other": object()})
        assert list(out) == list(rulescore.RESULT_COLUMNS)
        assert out.pop("confidence") == pytest.approx(want["confidence"], rel=1e-15)
        assert out == want.drop("confidence").to_dict()
    for record, fired in [({"age": np.float32(70), "region": pd.NA}, R12), ({"age": float("nan")}, R2), ({}, R2)]:
        assert worked.score_record(record)["fired_rules"] == fired
    for bad in ({"age": pd.Timestamp("2020-01-01")}, [1, 2]):
        with pytest.raises(TypeError):
            worked.score_record(bad)


NAN_AGE = 'column "age": %s is not a number'


def table(age, region=None, **more):
    """Columns of the worked model: `age`, then `region` ("south" in every row by default)."""
    age = pd.Series(age) if not isinstance(age, pd.Series) else age
    return pd.DataFrame({"age": age, "region": ["south"] * len(age) if region is None else region, **more})


# Every kind of input a column can hold: what each row gives (its fired rules, or its error,
# the row kept in place with no prediction), or the exception the call raises.
INPUTS = [
    ("int64", table(pd.Series([70, 30], dtype="int64")), [R12, R2]),
    ("float32", table(pd.Series([70, 30], dtype="float32")), [R12, R2]),
    ("Int64 with NA", table(pd.Series([70, None], dtype="Int64")), [R12, R2]),
    ("Float64 with NA", table(pd.Series([70.0, None], dtype="Float64")), [R12, R2]),
    ("texts of numbers", table(pd.Series(["70", None, "2.5e1"], dtype=object)), [R12, R2, R2]),
    ("string dtype", table(pd.Series(["70", pd.NA], dtype="string")), [R12, R2]),
    ("category of numbers", table(pd.Series([70.0, 30.0]).astype("category")), [R12, R2]),
    ("booleans", table(pd.Series([True, False])), [R2, R2]),
    ("infinities", table([np.inf, -np.inf]), [R12, R2]),
    ("numbers, texts and missing mixed", table(pd.Series([70, "abc", None, 65.5, "", "nan"], dtype=object)),
     [R12, NAN_AGE % '"abc"', R2, R12, NAN_AGE % '""', NAN_AGE % '"nan"']),
    ("region texts", table([30.0, 30.0], pd.Series(["north", "south"], dtype=object)), [R23, R2]),
    ("region category with NaN", table([30.0, 30.0], pd.Categorical(["north", None])), [R23, R2]),
    ("region string dtype", table([30.0, 30.0], pd.Series(["north", pd.NA], dtype="string")), [R23, R2]),
    # Equal texts in distinct objects, each missing marker, then values only pandas converts.
    ("region objects", table([30.0] * 10, np.array(["north", "".join(["no", "rth"]), None, float("nan"), pd.NA,
                                                    np.nan, pd.NaT, "west", 7, b"north"], dtype=object)),
     [R23, R23, R2, R2, R2, R2, R2, R2, R2, R23]),
    ("extra and duplicated unread columns", pd.DataFrame([[70.0, "south", 1, 2]], columns=["age", "region", "x", "x"]),
     [R12]),
    ("no region column", pd.DataFrame({"age": [70.0, 30.0], "extra": [1, 2]}), [R12, R2], "'region'"),
    ("no columns at all", pd.DataFrame(index=range(2)), [R2, R2], "'age', 'region'"),
    ("empty frame", pd.DataFrame({"age": [], "region": []}), []),
    ("empty list", [], [], "'age', 'region'"),
    ("empty column", {"age": []}, [], "'region'"),
    ("dates", table(pd.to_datetime(["2020-01-01"])), (TypeError, "column 'age' holds datetime64")),
    ("time spans", table(pd.to_timedelta([1], unit="s")), (TypeError, "column 'age' holds timedelta64")),
    ("periods", table(pd.period_range("2020", periods=1, freq="D")), (TypeError, "column 'age' holds period")),
    ("complex numbers", table(np.array([1 + 2j])), (TypeError, "column 'age': cannot score a complex")),
    ("a date among texts", table([1.0, 2.0], pd.Series(["x", pd.Timestamp("2020-01-01")], dtype=object)),
     (TypeError, "column 'region'.*Timestamp")),
    ("lists in cells", table([1.0], [[1, 2]]), (TypeError, "column 'region'")),
    ("a field under two columns", pd.DataFrame([[1.0, 2.0, "x"]], columns=["age", "age", "region"]),
     (ValueError, "'age' appears under more than one column")),
    ("MultiIndex columns", pd.DataFrame([[70.0, "x"]], columns=pd.MultiIndex.from_tuples([("age", "a"), ("region", "b")])),
     (TypeError, "MultiIndex")),
    ("one record as a dict", {"age": 70.0, "region": "x"}, (TypeError, "score_record")),
    ("columns of unequal length", {"age": [1.0, 2.0], "region": ["x"]}, (ValueError, "cannot form a table")),
    ("CSV text", "age,region\n1,x\n", (TypeError, "not str")),
    ("list of numbers", [1, 2], (TypeError, "holds dicts")),
    ("a Series", pd.Series([1.0]), (TypeError, "not Series")),
]


@pytest.mark.parametrize("data,expected,warned", [(i[1], i[2], i[3] if len(i) > 3 else None) for i in INPUTS],
                         ids=[i[0] for i in INPUTS])
def test_every_kind_of_input(worked, data, expected, warned):
    if isinstance(expected, tuple):
        with pytest.raises(expected[0], match=expected[1]):
            worked.score(data)
        return
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = worked.score(data)
    missing = [str(w.message) for w in caught if issubclass(w.category, rulescore.MissingColumnWarning)]
    assert len(missing) == (1 if warned else 0) and (not warned or warned in missing[0])
    assert list(result.columns) == list(rulescore.RESULT_COLUMNS)
    assert result["confidence"].dtype == np.float64
    if isinstance(data, pd.DataFrame):
        pd.testing.assert_index_equal(result.index, data.index)
    assert len(result) == len(expected)
    for (_, row), want in zip(result.iterrows(), expected):
        if isinstance(want, tuple):
            assert (row["fired_rules"], row["error"]) == (want, None)
        else:  # an invalid row, in its place
            assert (row["error"], row["prediction"], row["fired_rules"], row["winning_rule"]) == (want, None, (), None)
            assert math.isnan(row["confidence"])


def test_threads_split_large_tables_without_changing_a_row(root):
    model = rulescore.load(root / "examples" / "credit_risk.pmml", threads=2)
    rng = np.random.default_rng(5)
    n = 300_000  # enough rows for two parts
    frame = pd.DataFrame({
        "age": rng.integers(18, 90, n).astype(float),
        "income": rng.choice([np.nan, 10_000.0, 30_000.0, 60_000.0, 90_000.0], n),
        "debt_ratio": rng.random(n),
        "employment": pd.Categorical(rng.choice(["salaried", "unemployed", "retired", "self_employed"], n)),
        "region": rng.choice(["north", "south", "east", "west", None], n),
    })
    frame.loc[frame.index[::7919], "income"] = "lots"  # invalid rows, kept in place
    one = model.score(frame, threads=1)
    two = model.score(frame, threads=2)
    pd.testing.assert_frame_equal(one, two)
    assert one["error"].notna().sum() == len(frame.index[::7919])
    assert model.threads == 2
    # Python threads sharing the model wait for its translations in turn.
    from concurrent.futures import ThreadPoolExecutor
    with ThreadPoolExecutor(4) as pool:
        calls = [pool.submit(model.score, frame[k::3]) for k in range(3)]
        calls.append(pool.submit(lambda: [model.score_record(r) for r in frame[::1499].to_dict("records")]))
        results = [c.result() for c in calls]
    for k in range(3):
        pd.testing.assert_frame_equal(results[k], one[k::3])
    # Rows from every stretch of the table, one at a time.
    for field in ("prediction", "winning_rule", "fired_rules", "error"):
        assert [r[field] for r in results[3]] == list(one[field][::1499])


def read_like_the_tool(model, csv):
    """The CSV as the tool reads it: empty cells missing, other texts kept."""
    strings = {f.name: str for f in model.fields if f.data_type == "string"}
    return pd.read_csv(csv, dtype=strings, keep_default_na=False, na_values={
        f.name: [""] for f in model.fields})


@pytest.mark.parametrize("name,data,semantics", [
    ("credit_risk.pmml", "credit_risk.csv", "native"), ("drug_firstHit.pmml", "drug.csv", "native"),
    ("drug_weightedSum.pmml", "drug.csv", "native"), ("drug_weightedMax.pmml", "drug.csv", "native"),
    ("vote.pmml", "vote.csv", "native"), ("costs.pmml", "costs.csv", "native"), ("risk.pmml", "risk.csv", "native"),
    # Every output feature; transformedValue numbers and texts.
    ("../tests/data/tool/outputs.pmml", "../tests/data/tool/outputs.csv", "native"),
    ("../tests/data/tool/outputs_list.pmml", "../tests/data/tool/outputs.csv", "native"),  # a decision list
    # A rule learner's export: the semantics change predictions, confidences and invalid rows.
    ("../tests/data/tool/shaped.pmml", "../tests/data/tool/shaped.csv", "native"),
    ("../tests/data/tool/shaped.pmml", "../tests/data/tool/shaped.csv", "pmml"),
    ("../tests/data/tool/ranged.pmml", "../tests/data/tool/ranged.csv", "pmml"),
])
def test_python_scores_as_the_tool_does(tool, name, data, semantics):
    if tool is None:
        pytest.skip("the command-line tool is not in this build")
    model_path = ROOT / "examples" / name
    csv = ROOT / "examples" / data
    model = rulescore.load(model_path, semantics=semantics)
    frame = read_like_the_tool(model, csv)
    ours = model.score(frame)
    outputs = [o.name for o in model.outputs]
    assert list(ours.columns) == list(rulescore.RESULT_COLUMNS) + outputs == model.columns
    run = subprocess.run([tool, "score", "--format", "jsonl", "--quiet", "--semantics", semantics,
                          str(model_path), str(csv)], capture_output=True, text=True)
    assert run.returncode in (0, 3), run.stderr  # 3: some rows are invalid
    theirs = [json.loads(line) for line in run.stdout.splitlines()]
    assert len(theirs) == len(ours)
    records = frame.astype(object).where(frame.notna(), None).to_dict("records")
    for (_, row), want, record in zip(ours.iterrows(), theirs, records):
        one = model.score_record(record)
        assert list(one) == list(ours.columns)
        for column, got in row.items():  # NaN in a float64 column stands for the tool's null
            same = one[column]
            assert (math.isnan(got) and math.isnan(same)) if isinstance(got, float) and got != got else \
                got == same, column
        for output in model.outputs:
            assert row[output.name] == want[output.name] or (row[output.name] != row[output.name]
                                                             and want[output.name] is None), output.name
        # The tool's error names the line first.
        assert row["error"] == (want["error"].split(": ", 1)[1] if "error" in want else None)
        assert row["prediction"] == want.get("prediction")
        if want.get("confidence") is None:
            assert math.isnan(row["confidence"])
        else:
            assert row["confidence"] == pytest.approx(want["confidence"], rel=1e-15)
        assert list(row["fired_rules"]) == want["fired_rules"]
        assert row["winning_rule"] == (want.get("winning_rule") or None)
    if "tag" in outputs:
        # Parts scored on two threads, a distinct value's object shared by its rows.
        many = model.score(pd.concat([frame] * 1500, ignore_index=True), threads=2)
        tiled = pd.concat([ours] * 1500, ignore_index=True)
        pd.testing.assert_frame_equal(many, tiled)
        assert many["tag"].iloc[0] is many["tag"].iloc[len(frame)]
        assert model._empty_result().dtypes.equals(ours.dtypes)


@pytest.mark.parametrize("rows", [20_000, 200_000])  # the second drops its cells on two threads
def test_shared_cells_are_counted_once_per_row(rows):
    import sys
    import weakref
    model = rulescore.load(WORKED, threads=2)
    frame = pd.DataFrame({"age": np.repeat([70.0, 30.0], rows // 2), "region": "south"})
    first = model.score(frame)
    winner, single, pair = first["winning_rule"].iloc[-1], first["fired_rules"].iloc[-1], first["fired_rules"].iloc[0]
    assert (winner, single, pair) == ("R2", ("R2",), ("R1", "R2"))
    del first
    held = [sys.getrefcount(winner), sys.getrefcount(single)]
    second = model.score(frame)
    # A winning_rule cell per row, and the call's new ("R1", "R2") tuple.
    assert [sys.getrefcount(winner) - held[0], sys.getrefcount(single) - held[1]] == [rows // 2 + 1, rows // 2]
    assert second["fired_rules"].iloc[0] is second["fired_rules"].iloc[rows // 2 - 1]
    # Objects of the caller's own stored in the cells: more distinct ones
    # than a thread keeps aside, and a shared one in place of another.
    class Marker:
        pass
    markers = [Marker() for _ in range(20_000)]
    alive = [weakref.ref(m) for m in markers]
    errors, fired = second["error"].values, second["fired_rules"].values
    assert errors.base is not None and fired.base is errors.base  # the result's own cells
    errors[-len(markers):] = markers
    fired[:3] = [single] * 3
    del markers, errors, fired
    assert sys.getrefcount(single) - held[1] == rows // 2 + 3
    del second
    assert [sys.getrefcount(winner), sys.getrefcount(single)] == held
    assert all(ref() is None for ref in alive)


def test_output_named_like_a_standard_column_is_a_second_column():
    text = (ROOT / "tests" / "data" / "tool" / "outputs.pmml").read_text()
    model = rulescore.load(text.replace('name="conf" feature="confidence"', 'name="error" feature="confidence"'))
    result = model.score({"age": [70.0], "job": ["a"]})
    assert list(result.columns).count("error") == 2 and list(result.iloc[0, [4, 7]]) == [None, 0.8]
    assert model.score_record({"age": 70.0, "job": "a"})["error"] is None
