"""rulescore.load and what a Model tells about itself."""
import pathlib
import subprocess

import pytest

import rulescore
import rulescore.dask
from conftest import ROOT, WORKED


def test_load_takes_a_path_text_bytes_or_path_object(tmp_path):
    path = tmp_path / "worked.pmml"
    path.write_text(WORKED)
    for source in (str(path), path, WORKED, WORKED.encode("utf-8")):
        model = rulescore.load(source)
        assert model.target == "risk"
    with pytest.raises(TypeError):
        rulescore.load(42)


@pytest.mark.parametrize("change,options,error,code,line", [
    (("<True/>", "<True>"), {}, rulescore.ModelError, 260009, 23),  # where the enclosing element closes
    (('<?xml version="1.0"?>', '<?xml version="1.0"?><!DOCTYPE PMML [<!ENTITY a "b">]>'), {},
     rulescore.ModelError, 260011, 1),
    (('field="age" operator="greaterThan"', 'field="weight" operator="greaterThan"'), {},
     rulescore.ModelError, 260005, 19),
    (('operator="greaterThan"', 'operator="above"'), {}, rulescore.ModelError, 260007, 19),
    (('<MiningField name="age"/>', "<MiningField/>"), {}, rulescore.ModelError, 260001, 13),
    (('<RuleSetModel functionName="classification">', '<RuleSetModel isScorable="false">'), {},
     rulescore.ModelError, 260281, 10),
    (None, {}, rulescore.ModelError, 260016, None),  # no such file
    ((), {"semantics": "lenient"}, ValueError, "semantics", None),
    ((), {"threads": 0}, ValueError, "threads", None),
    ((), {"threads": 1.5}, TypeError, "threads", None),
])
def test_load_failures(tmp_path, change, options, error, code, line):
    source = tmp_path / "absent.pmml" if change is None else WORKED.replace(*change) if change else WORKED
    with pytest.raises(error, match=None if isinstance(code, int) else code) as caught:
        rulescore.load(source, **options)
    if isinstance(code, int):
        assert (caught.value.code, caught.value.line) == (code, line)
        assert str(caught.value) == "error %d: %s" % (code, caught.value.message)


def test_model_describes_fields_target_categories_and_rules(worked):
    assert worked.fields == [rulescore.Field("age", "double", "continuous"),
                             rulescore.Field("region", "string", "nominal")]
    assert worked.target == "risk"
    assert worked.categories == ["high", "low"]
    assert worked.semantics == "native"
    [rule_set] = worked.rule_sets
    assert rule_set["criterion"] == "weightedSum"
    assert rule_set["default_score"] == "low"
    assert rule_set["default_confidence"] == 0.5
    assert [(r["id"], r["score"], r["weight"], r["confidence"]) for r in rule_set["rules"]] == [
        ("R1", "high", 0.8, 0.9), ("R2", "high", 0.4, 0.7), ("R3", "low", 1.0, 0.6)]
    assert rule_set["rules"][0]["predicate"] == "age: (60, inf)"
    assert rule_set["rules"][1]["predicate"] == ""
    assert "region" in rule_set["rules"][2]["predicate"]


@pytest.mark.parametrize("semantics", ["native", "pmml"])
@pytest.mark.parametrize("change,warning", [
    ((), None),
    (('defaultScore="low"', 'defaultScore="medium"'), 'rule set 1: default score "medium" names no target category'),
    (('<SimpleRule id="R2" score="high" weight="0.4" confidence="0.7">', '<SimpleRule id="R2" score="high">'), None),
])
def test_check_gives_the_warnings_of_the_tool(tool, tmp_path, semantics, change, warning):
    document = WORKED.replace(*change) if change else WORKED
    warnings = rulescore.load(document, semantics=semantics).check()
    if warning is not None:
        assert warning in warnings
    if tool is None:
        pytest.skip("the command-line tool is not in this build")
    path = tmp_path / "model.pmml"
    path.write_text(document)
    out = subprocess.run([tool, "check", "--semantics", semantics, str(path)],
                         capture_output=True, text=True).stdout
    assert warnings == [line[len("warning: "):] for line in out.splitlines() if line.startswith("warning: ")]
    assert warnings or "warnings: none" in out


def test_show_is_the_model_dump(worked):
    dump = worked.show()
    assert dump.startswith("Start RuleSetModel Display\n")
    assert "Rule ID: R1\n" in dump and "Rule Selection method used in scoring :weightedSum\n" in dump


def test_numeric_target_predicts_numbers():
    numeric = WORKED.replace('dataType="string">\n      <Value value="high"/><Value value="low"/>',
                             'dataType="double">\n      <Value value="1"/><Value value="0"/>')
    numeric = numeric.replace('score="high"', 'score="1"').replace('score="low"', 'score="0"')
    numeric = numeric.replace('defaultScore="low"', 'defaultScore="0"')
    model = rulescore.load(numeric)
    assert model.categories == [1.0, 0.0]
    result = model.score({"age": [70.0, 30.0], "region": ["south", "north"]})
    assert result["prediction"].dtype.kind == "f"
    assert list(result["prediction"]) == [1.0, 0.0]


def test_help_reads_well():
    doc = rulescore.__doc__
    for words in ("rulescore.load", "score_record", "ModelError", "threads", "rulescore.dask", "Model.outputs"):
        assert words in doc
    for item in (rulescore.load, rulescore.Model.score, rulescore.Model.score_record,
                 rulescore.Model.check, rulescore.Model.show, rulescore.dask.score):
        assert item.__doc__ and len(item.__doc__) > 40
    stub = pathlib.Path(rulescore.__file__).with_name("__init__.pyi")
    assert "def score_record" in stub.read_text() and "def outputs" in stub.read_text()
