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

EXPECTED = [  # age, region -> prediction, confidence, fired rules, winning rule
    (70.0, "south", "high", 0.6, ("R1", "R2"), "R1"),
    (30.0, "south", "high", 0.4, ("R2",), "R2"),
    (None, None, "high", 0.4, ("R2",), "R2"),
    (30.0, "north", "low", 0.5, ("R2", "R3"), "R3"),
]


def expected_frame(index=None):
    return pd.DataFrame({
        "prediction": [e[2] for e in EXPECTED],
        "confidence": [e[3] for e in EXPECTED],
        "fired_rules": [e[4] for e in EXPECTED],
        "winning_rule": [e[5] for e in EXPECTED],
    }, index=index)


def check(result, index=None):
    assert list(result.columns) == list(rulescore.RESULT_COLUMNS)
    want = expected_frame(index if index is not None else result.index)
    pd.testing.assert_index_equal(result.index, want.index)
    assert list(result["prediction"]) == list(want["prediction"])
    np.testing.assert_allclose(result["confidence"], want["confidence"], rtol=1e-15)
    assert list(result["fired_rules"]) == list(want["fired_rules"])
    assert list(result["winning_rule"]) == list(want["winning_rule"])
    assert list(result["error"]) == [None] * len(EXPECTED)


@pytest.mark.parametrize("form", ["frame", "dict_lists", "dict_arrays", "records"])
def test_every_input_form_gives_the_same_rows(worked, form):
    ages = [e[0] for e in EXPECTED]
    regions = [e[1] for e in EXPECTED]
    if form == "frame":
        data = pd.DataFrame({"age": ages, "region": regions}, index=[10, 20, 30, 40])
    elif form == "dict_lists":
        data = {"age": ages, "region": regions}
    elif form == "dict_arrays":
        data = {"age": np.array([np.nan if a is None else a for a in ages]),
                "region": np.array(regions, dtype=object)}
    else:
        data = [{"age": a, "region": r} for a, r in zip(ages, regions)]
        del data[2]["age"]  # an absent key is missing
    result = worked.score(data)
    check(result, pd.Index([10, 20, 30, 40]) if form == "frame" else None)


def test_score_record_matches_score(worked):
    for age, region, prediction, confidence, fired, winning in EXPECTED:
        out = worked.score_record({"age": age, "region": region, "other": object()})
        assert out["prediction"] == prediction
        assert out["confidence"] == pytest.approx(confidence, rel=1e-15)
        assert out["fired_rules"] == fired
        assert out["winning_rule"] == winning
        assert out["error"] is None
        assert set(out) == set(rulescore.RESULT_COLUMNS)
    assert worked.score_record({"age": np.float32(70), "region": pd.NA})["fired_rules"] == ("R1", "R2")
    assert worked.score_record({"age": float("nan")})["fired_rules"] == ("R2",)
    assert worked.score_record({})["fired_rules"] == ("R2",)
    with pytest.raises(TypeError):
        worked.score_record({"age": pd.Timestamp("2020-01-01")})
    with pytest.raises(TypeError):
        worked.score_record([1, 2])


@pytest.mark.parametrize("column,fired", [
    (pd.Series([70, 30], dtype="int64"), [("R1", "R2"), ("R2",)]),
    (pd.Series([70, 30], dtype="float32"), [("R1", "R2"), ("R2",)]),
    (pd.Series([70, None], dtype="Int64"), [("R1", "R2"), ("R2",)]),
    (pd.Series([70.0, None], dtype="Float64"), [("R1", "R2"), ("R2",)]),
    (pd.Series(["70", None], dtype=object), [("R1", "R2"), ("R2",)]),
    (pd.Series(["70", pd.NA], dtype="string"), [("R1", "R2"), ("R2",)]),
    (pd.Series([70.0, 30.0]).astype("category"), [("R1", "R2"), ("R2",)]),
    (pd.Series([True, False]), [("R2",), ("R2",)]),
])
def test_numeric_field_from_other_column_types(worked, column, fired):
    result = worked.score(pd.DataFrame({"age": column, "region": ["south", "south"]}))
    assert list(result["fired_rules"]) == fired
    assert list(result["error"]) == [None, None]


@pytest.mark.parametrize("column", [
    pd.Series(["north", "south"], dtype=object),
    pd.Series(["north", "south"], dtype="category"),
    pd.Series(["north", "south"], dtype="string"),
])
def test_string_field_from_texts_and_categories(worked, column):
    result = worked.score(pd.DataFrame({"age": [30.0, 30.0], "region": column}))
    assert list(result["fired_rules"]) == [("R2", "R3"), ("R2",)]


def test_text_that_is_no_number_makes_its_row_invalid_in_place(worked):
    frame = pd.DataFrame({"age": ["70", "abc", None, "2.5e1"], "region": "north"},
                         index=list("abcd"))
    result = worked.score(frame)
    assert list(result.index) == list("abcd")
    assert result.loc["b", "error"] == 'column "age": "abc" is not a number'
    assert result.loc["b", "prediction"] is None
    assert math.isnan(result.loc["b", "confidence"])
    assert result.loc["b", "fired_rules"] == ()
    assert result.loc["b", "winning_rule"] is None
    assert list(result["error"].drop("b")) == [None, None, None]
    assert result.loc["a", "fired_rules"] == ("R1", "R2", "R3")
    assert result.loc["d", "fired_rules"] == ("R2", "R3")


def test_missing_column_warns_once_and_counts_as_missing(worked):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = worked.score(pd.DataFrame({"age": [70.0, 30.0, 80.0], "extra": [1, 2, 3]}))
    missing = [w for w in caught if issubclass(w.category, rulescore.MissingColumnWarning)]
    assert len(missing) == 1
    assert "'region'" in str(missing[0].message)
    assert list(result["fired_rules"]) == [("R1", "R2"), ("R2",), ("R1", "R2")]


def test_bad_tables_raise_clear_errors(worked):
    with pytest.raises(TypeError, match="column 'age' holds datetime64"):
        worked.score(pd.DataFrame({"age": pd.to_datetime(["2020-01-01"]), "region": ["x"]}))
    with pytest.raises(TypeError, match="column 'region'.*Timestamp"):
        worked.score(pd.DataFrame({"age": [1.0, 2.0], "region": pd.Series(
            ["x", pd.Timestamp("2020-01-01")], dtype=object)}))
    with pytest.raises(TypeError, match="column 'region'"):
        worked.score(pd.DataFrame({"age": [1.0], "region": [[1, 2]]}))
    duplicated = pd.DataFrame([[1.0, 2.0, "x"]], columns=["age", "age", "region"])
    with pytest.raises(ValueError, match="'age' appears under more than one column"):
        worked.score(duplicated)
    with pytest.raises(TypeError, match="score_record"):
        worked.score({"age": 70.0, "region": "x"})
    with pytest.raises(ValueError):
        worked.score({"age": [1.0, 2.0], "region": ["x"]})
    with pytest.raises(TypeError):
        worked.score("age,region\n1,x\n")
    with pytest.raises(TypeError):
        worked.score([1, 2])
    with pytest.raises(ValueError):
        worked.score(pd.DataFrame({"age": [1.0]}), threads=0)


def test_duplicate_columns_the_model_does_not_read_are_ignored(worked):
    frame = pd.DataFrame([[70.0, "south", 1, 2]], columns=["age", "region", "x", "x"])
    assert list(worked.score(frame)["fired_rules"]) == [("R1", "R2")]


@pytest.mark.parametrize("data", [pd.DataFrame({"age": [], "region": []}), [], {"age": []}])
def test_empty_input_gives_an_empty_result(worked, data):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", rulescore.MissingColumnWarning)
        result = worked.score(data)
    assert len(result) == 0
    assert list(result.columns) == list(rulescore.RESULT_COLUMNS)
    assert result["confidence"].dtype == np.float64


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


@pytest.mark.parametrize("name,data", [
    ("credit_risk.pmml", "credit_risk.csv"), ("drug_firstHit.pmml", "drug.csv"),
    ("drug_weightedSum.pmml", "drug.csv"), ("drug_weightedMax.pmml", "drug.csv"),
    ("vote.pmml", "vote.csv"), ("costs.pmml", "costs.csv"), ("risk.pmml", "risk.csv"),
    # predictedValue, probability of one value, ruleId, transformedValue (a number, a text).
    ("../tests/data/outputs/outputs.pmml", "../tests/data/outputs/rows.csv"),
])
def test_examples_score_as_the_tool_scores_them(tool, name, data):
    if tool is None:
        pytest.skip("the command-line tool is not in this build")
    model_path = ROOT / "examples" / name
    csv = ROOT / "examples" / data
    model = rulescore.load(model_path)
    frame = read_like_the_tool(model, csv)
    ours = model.score(frame)
    outputs = [o.name for o in model.outputs]
    assert list(ours.columns) == list(rulescore.RESULT_COLUMNS) + outputs == model.columns
    run = subprocess.run([tool, "score", "--format", "jsonl", "--quiet", str(model_path), str(csv)],
                         capture_output=True, text=True)
    assert run.returncode in (0, 3), run.stderr  # 3: some rows are invalid
    theirs = [json.loads(line) for line in run.stdout.splitlines()]
    assert len(theirs) == len(ours)
    records = frame.astype(object).where(frame.notna(), None).to_dict("records")
    for (_, row), want, record in zip(ours.iterrows(), theirs, records):
        one = model.score_record(record)
        assert list(one) == list(ours.columns)
        for output in model.outputs:  # missing: NaN in a float64 column, else None
            got, same = row[output.name], one[output.name]
            if output.numeric:
                assert math.isnan(got) and math.isnan(same) if want[output.name] is None else \
                    got == same == want[output.name], output.name
            else:
                assert got == same == want[output.name], output.name
        if "error" in want:
            assert row["error"] is not None
            continue
        assert row["prediction"] == want.get("prediction")
        if "confidence" in want:
            assert row["confidence"] == pytest.approx(want["confidence"], rel=1e-15)
        assert list(row["fired_rules"]) == want["fired_rules"]
        assert row["winning_rule"] == (want.get("winning_rule") or None)
    if outputs:
        # Parts scored on two threads, a distinct value's object shared by its rows.
        many = model.score(pd.concat([frame] * 1500, ignore_index=True), threads=2)
        tiled = pd.concat([ours] * 1500, ignore_index=True)
        pd.testing.assert_frame_equal(many, tiled)
        assert many["tag"].iloc[0] is many["tag"].iloc[len(frame)]
        assert model._empty_result().dtypes.equals(ours.dtypes)


# A document shaped like a rule learner's export: no weights, confidences or defaultScore, a True
# member inside a CompoundPredicate, tests that can see missing values, and
# an Interval with the default invalidValueTreatment (returnInvalid).
SHAPED = """<?xml version="1.0"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <DataDictionary numberOfFields="3">
    <DataField name="class" optype="categorical" dataType="string">
      <Value value="yes"/><Value value="no"/>
    </DataField>
    <DataField name="x" optype="continuous" dataType="double">
      <Interval closure="closedClosed" leftMargin="-1" rightMargin="100"/>
    </DataField>
    <DataField name="colour" optype="categorical" dataType="string"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema>
      <MiningField name="class" usageType="predicted"/>
      <MiningField name="x"/>
      <MiningField name="colour"/>
    </MiningSchema>
    <RuleSet>
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="K1" score="no">
        <CompoundPredicate booleanOperator="and">
          <True/>
          <SimplePredicate field="x" operator="greaterThan" value="5"/>
          <SimplePredicate field="colour" operator="notEqual" value="red"/>
        </CompoundPredicate>
      </SimpleRule>
      <SimpleRule id="K2" score="yes">
        <SimplePredicate field="x" operator="lessOrEqual" value="1"/>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
"""

SHAPED_ROWS = [  # x, colour -> (prediction, confidence, fired) or the error; native | pmml
    (7.0, "blue", ("no", 0.0, ["K1"]), ("no", 1.0, ["K1"])),
    (7.0, None, ("no", 0.0, ["K1"]), (None, None, [])),      # notEqual on missing: UNKNOWN
    (3.0, "red", ("yes", 0.0, []), (None, None, [])),        # nothing fires, no defaultScore
    (None, "blue", ("yes", 0.0, []), (None, None, [])),      # both rules UNKNOWN
    (0.5, None, ("yes", 0.0, ["K2"]), ("yes", 1.0, ["K2"])),  # FALSE and UNKNOWN is FALSE
    ("abc", "blue", 'column "x": "abc" is not a number', 'Field x: the value "abc" is invalid'),
    (-5.0, "red", ("yes", 0.0, ["K2"]), 'Field x: the value "-5" is invalid'),  # outside the Interval
    (-7.5, "red", ("yes", 0.0, ["K2"]), 'Field x: the value "-7.5" is invalid'),  # a text per number
]


@pytest.mark.parametrize("semantics", ["native", "pmml"])
def test_semantics_option_scores_as_the_tool_does(tool, tmp_path, semantics):
    model = rulescore.load(SHAPED, semantics=semantics)
    assert model.semantics == semantics
    frame = pd.DataFrame({"x": [r[0] for r in SHAPED_ROWS], "colour": [r[1] for r in SHAPED_ROWS]})
    result = model.score(frame)
    want = [r[2] if semantics == "native" else r[3] for r in SHAPED_ROWS]
    errors = [w if isinstance(w, str) else None for w in want]
    want = [(None, None, []) if isinstance(w, str) else w for w in want]
    assert list(result["prediction"]) == [w[0] for w in want]
    got = [None if math.isnan(c) else c for c in result["confidence"]]
    assert got == [w[1] for w in want]
    assert [list(f) for f in result["fired_rules"]] == [w[2] for w in want]
    assert list(result["error"]) == errors
    for (x, colour, *_), w, error in zip(SHAPED_ROWS, want, errors):
        one = model.score_record({"x": x, "colour": colour})
        assert (one["prediction"], list(one["fired_rules"]), one["error"]) == (w[0], w[2], error)
    if tool is None:
        return
    document = tmp_path / "shaped.pmml"
    document.write_text(SHAPED)
    csv = tmp_path / "rows.csv"
    csv.write_text("x,colour\n" + "".join(
        "%s,%s\n" % ("" if x is None else x, colour or "") for x, colour, *_ in SHAPED_ROWS))
    out = subprocess.run([tool, "score", "--format", "jsonl", "--quiet", "--semantics", semantics,
                          str(document), str(csv)], capture_output=True, text=True).stdout
    theirs = [json.loads(line) for line in out.splitlines()]
    assert [t["error"].split(": ", 1)[1] if "error" in t else None for t in theirs] == errors
    assert [t.get("prediction") for t in theirs] == [w[0] for w in want]
    assert [t.get("confidence") for t in theirs] == [w[1] for w in want]
    assert [t["fired_rules"] for t in theirs] == [w[2] for w in want]


def test_shared_cells_are_counted_once_per_row():
    import sys
    model = rulescore.load(WORKED, threads=2)
    frame = pd.DataFrame({"age": np.repeat([70.0, 30.0], 10_000), "region": "south"})
    first = model.score(frame)
    winner, single, pair = first["winning_rule"].iloc[-1], first["fired_rules"].iloc[-1], first["fired_rules"].iloc[0]
    assert (winner, single, pair) == ("R2", ("R2",), ("R1", "R2"))
    held = [sys.getrefcount(winner), sys.getrefcount(single)]
    second = model.score(frame)
    # A winning_rule cell per row, and the call's new ("R1", "R2") tuple.
    assert [sys.getrefcount(winner) - held[0], sys.getrefcount(single) - held[1]] == [10_001, 10_000]
    assert second["fired_rules"].iloc[0] is second["fired_rules"].iloc[9_999]
    del first, second
    assert sys.getrefcount(winner) < held[0] and sys.getrefcount(single) < held[1]


@pytest.mark.parametrize("extra", ["west", 7, b"north"])  # a text, then values only pandas converts
def test_object_column_each_distinct_value_once(worked, extra):
    cells = ["north", "".join(["no", "rth"]), None, float("nan"), pd.NA, np.nan, "south", extra]
    result = worked.score({"age": [30.0] * len(cells), "region": np.array(cells, dtype=object)})
    region = ("R2", "R3") if extra == b"north" else ("R2",)
    assert list(result["fired_rules"]) == [("R2", "R3")] * 2 + [("R2",)] * 5 + [region]
