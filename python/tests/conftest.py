import os
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

# The worked example: R1 fires above 60, R2 always; a weighted sum.
WORKED = """<?xml version="1.0"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <DataDictionary numberOfFields="3">
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="region" optype="categorical" dataType="string"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema>
      <MiningField name="risk" usageType="predicted"/>
      <MiningField name="age"/>
      <MiningField name="region"/>
    </MiningSchema>
    <RuleSet defaultScore="low" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="weightedSum"/>
      <SimpleRule id="R1" score="high" weight="0.8" confidence="0.9">
        <SimplePredicate field="age" operator="greaterThan" value="60"/>
      </SimpleRule>
      <SimpleRule id="R2" score="high" weight="0.4" confidence="0.7">
        <True/>
      </SimpleRule>
      <SimpleRule id="R3" score="low" weight="1" confidence="0.6">
        <SimplePredicate field="region" operator="equal" value="north"/>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
"""


@pytest.fixture
def worked():
    import rulescore
    return rulescore.load(WORKED)


@pytest.fixture
def root():
    return ROOT


@pytest.fixture
def tool():
    """The command-line tool of the same build, or None."""
    package = pathlib.Path(__import__("rulescore").__file__).resolve().parent
    candidate = package.parent.parent / "rulescore"
    return str(candidate) if candidate.exists() and os.access(candidate, os.X_OK) else None
