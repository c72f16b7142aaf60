// The two semantics a model can be read and scored under: native (the
// model's own reading) and pmml (the PMML 4.4 RuleSet and MiningSchema
// chapters as written). Each case states both expected answers side by side.
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/NumberText.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreResult.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"
#include "scoring/RuleSetResult.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;
using testing_support::TranslateDocument;
using testing_support::TranslatedDocument;

// A document around one RuleSet: `fields` are DataField elements after the
// target y (categories yes, no), `schema` the MiningField elements after
// y's, `ruleSet` the RuleSet element.
std::string Document(const std::string& fields, const std::string& schema,
                     const std::string& ruleSet, const std::string& target = "") {
  const std::string targetField =
      target.empty() ? R"(<DataField name="y" optype="categorical" dataType="string">)"
                       R"(<Value value="yes"/><Value value="no"/></DataField>)"
                     : target;
  return R"(<?xml version="1.0"?><PMML version="4.4"><DataDictionary>)" + targetField + fields +
         R"(</DataDictionary><RuleSetModel functionName="classification"><MiningSchema>)"
         R"(<MiningField name="y" usageType="predicted"/>)" +
         schema + "</MiningSchema>" + ruleSet + "</RuleSetModel></PMML>";
}

std::unique_ptr<TranslatedDocument> Translate(const std::string& pmml,
                                              const std::string& semantics) {
  return TranslateDocument(pmml, "semantics.pmml", semantics);
}

TEST(SemanticsOption, TranslatorTakesOnlyItsOption) {
  struct Case {
    const char* name;
    const char* value;
    bool accepted;
  };
  const Case cases[] = {
      {"semantics", "native", true}, {"semantics", "pmml", true},  {"semantics", "PMML", false},
      {"semantics", "", false},      {"semantic", "pmml", false}, {"", "", false},
  };
  for (const Case& c : cases) {
    RuleSetTranslator translator;
    EXPECT_EQ(translator.SetOption(c.name, c.value), c.accepted) << c.name << "=" << c.value;
  }
  // A refused value leaves the option as it was.
  RuleSetTranslator translator;
  ASSERT_TRUE(translator.SetOption("semantics", "pmml"));
  EXPECT_FALSE(translator.SetOption("semantics", "other"));
  ScoreTranslator& base = translator;
  EXPECT_TRUE(base.SetOption("semantics", "native"));
}

// One translator, two documents read under different options: each model
// keeps the semantics it was read with.
TEST(SemanticsOption, EachModelKeepsItsOwn) {
  const std::string pmml = Document(
      R"(<DataField name="x" optype="continuous" dataType="double"/>)", R"(<MiningField name="x"/>)",
      R"(<RuleSet defaultScore="no" defaultConfidence="0.5"><RuleSelectionMethod criterion="firstHit"/>)"
      R"(<SimpleRule id="r" score="yes"><True/></SimpleRule></RuleSet>)");
  auto native = Translate(pmml, "native");
  auto pmmlModel = Translate(pmml, "pmml");
  ASSERT_NE(native->model, nullptr);
  ASSERT_NE(pmmlModel->model, nullptr);
  EXPECT_EQ(native->model->GetSemantics(), RuleSetModel::native);
  EXPECT_EQ(pmmlModel->model->GetSemantics(), RuleSetModel::pmml);

  TestRecord record({"x"});
  ScoreResult* a = nullptr;
  ScoreResult* b = nullptr;
  const Scored n = ScoreWith(*native->model, record.Number("x", 1).Get(), a);
  const Scored p = ScoreWith(*pmmlModel->model, record.Get(), b);
  EXPECT_EQ(n.prediction, "yes");
  EXPECT_EQ(p.prediction, "yes");
  EXPECT_DOUBLE_EQ(n.confidence, 0.0);
  EXPECT_DOUBLE_EQ(p.confidence, 1.0);
  delete a;
  delete b;
}

// What a record scores to, as one text: the prediction ("null" for none)
// and, when there is one, the confidence; "error <code>" for a failure.
struct Cell {
  std::string field;
  std::string text;  // a number for a numeric field; "" marks a missing cell
};

std::string ScoreText(RuleSetModel& model, const std::vector<std::string>& fields,
                      const std::vector<Cell>& cells) {
  TestRecord record(fields);
  for (const Cell& cell : cells) {
    double number = 0.0;
    if (cell.text.empty()) {
      record.Missing(cell.field);
    } else if (model.GetDictionary()->GetVar(cell.field)->GetValueType() ==
                   ScoreDictVar::kNumeric &&
               NumberText::ParseDouble(cell.text, &number)) {
      record.Number(cell.field, number);
    } else {
      record.Text(cell.field, cell.text);
    }
  }
  ScoreResult* result = nullptr;
  const Scored scored = ScoreWith(model, record.Get(), result);
  delete result;
  if (scored.code != 0) return "error " + std::to_string(scored.code);
  std::ostringstream out;
  out << (scored.hasPrediction ? scored.prediction : "null");
  if (scored.confidence >= 0.0) out << " " << scored.confidence;
  return out.str();
}

// The truth of a predicate as the rules show it: the target's category
// "true" when the predicate is TRUE, "false" when it is FALSE (a second
// rule holds "xor(P, k isMissing)" on a field k no record holds, TRUE
// exactly when P is FALSE) and the default "unknown" when neither fires.
std::string TruthDocument(const std::string& fields, const std::string& predicate) {
  return Document(fields + R"(<DataField name="k" optype="continuous" dataType="double"/>)", "",
                  R"(<RuleSet defaultScore="unknown" defaultConfidence="0">)"
                  R"(<RuleSelectionMethod criterion="firstHit"/>)"
                  R"(<SimpleRule id="t" score="true" confidence="1">)" +
                      predicate +
                      R"(</SimpleRule><SimpleRule id="f" score="false" confidence="1">)"
                      R"(<CompoundPredicate booleanOperator="xor">)" +
                      predicate +
                      R"(<SimplePredicate field="k" operator="isMissing"/>)"
                      R"(</CompoundPredicate></SimpleRule></RuleSet>)",
                  R"(<DataField name="y" optype="categorical" dataType="string">)"
                  R"(<Value value="true"/><Value value="false"/><Value value="unknown"/>)"
                  R"(</DataField>)");
}

std::string Truth(const std::string& pmml, const std::string& semantics,
                  const std::vector<std::string>& fields, const std::vector<Cell>& cells) {
  auto t = Translate(pmml, semantics);
  if (t->model == nullptr) return "no model";
  std::string text = ScoreText(*t->model, fields, cells);
  return text.substr(0, text.find(' '));
}

// A comparison or set test on a missing value: natively true or false by
// the encoding; UNKNOWN under pmml. isMissing and isNotMissing answer under
// both. The ordinal string field's missing marker lies below every code,
// yet lessThan and lessOrEqual are false for it.
TEST(ThreeValuedLogic, ComparisonsOnAMissingValue) {
  const std::string fields =
      R"(<DataField name="x" optype="continuous" dataType="double"/>)"
      R"(<DataField name="n" optype="categorical" dataType="double">)"
      R"(<Value value="1"/><Value value="3"/><Value value="5"/></DataField>)"
      R"(<DataField name="s" optype="ordinal" dataType="string">)"
      R"(<Value value="low"/><Value value="mid"/><Value value="high"/></DataField>)";
  struct Case {
    const char* predicate;
    const char* native;
    const char* pmml;
  };
  const Case cases[] = {
      {R"(<SimplePredicate field="x" operator="equal" value="5"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="x" operator="notEqual" value="5"/>)", "true", "unknown"},
      {R"(<SimplePredicate field="x" operator="lessThan" value="5"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="x" operator="lessOrEqual" value="5"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="x" operator="greaterThan" value="5"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="x" operator="greaterOrEqual" value="5"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="x" operator="isMissing"/>)", "true", "true"},
      {R"(<SimplePredicate field="x" operator="isNotMissing"/>)", "false", "false"},
      {R"(<SimpleSetPredicate field="n" booleanOperator="isIn"><Array type="real">1 5</Array></SimpleSetPredicate>)",
       "false", "unknown"},
      {R"(<SimpleSetPredicate field="n" booleanOperator="isNotIn"><Array type="real">1 5</Array></SimpleSetPredicate>)",
       "true", "unknown"},
      {R"(<SimplePredicate field="s" operator="equal" value="mid"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="s" operator="notEqual" value="mid"/>)", "true", "unknown"},
      {R"(<SimplePredicate field="s" operator="lessThan" value="mid"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="s" operator="lessOrEqual" value="mid"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="s" operator="greaterThan" value="mid"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="s" operator="greaterOrEqual" value="low"/>)", "false", "unknown"},
      {R"(<SimplePredicate field="s" operator="isMissing"/>)", "true", "true"},
      {R"(<SimplePredicate field="s" operator="isNotMissing"/>)", "false", "false"},
      {R"(<SimpleSetPredicate field="s" booleanOperator="isIn"><Array type="string">low mid</Array></SimpleSetPredicate>)",
       "false", "unknown"},
      {R"(<SimpleSetPredicate field="s" booleanOperator="isNotIn"><Array type="string">low mid</Array></SimpleSetPredicate>)",
       "true", "unknown"},
  };
  for (const Case& c : cases) {
    const std::string pmml = TruthDocument(fields, c.predicate);
    const std::vector<std::string> names{"x", "n", "s"};
    const std::vector<Cell> missing{{"x", ""}, {"n", ""}, {"s", ""}};
    EXPECT_EQ(Truth(pmml, "native", names, missing), c.native) << c.predicate;
    EXPECT_EQ(Truth(pmml, "pmml", names, missing), c.pmml) << c.predicate;
    // Present values answer alike under both.
    const std::vector<Cell> present{{"x", "3"}, {"n", "3"}, {"s", "low"}};
    const std::string answer = Truth(pmml, "native", names, present);
    EXPECT_NE(answer, "unknown");
    EXPECT_EQ(Truth(pmml, "pmml", names, present), answer) << c.predicate;
  }
}

// and, or, xor and surrogate over two members, each TRUE (a = 1), FALSE
// (a = -1) or UNKNOWN (a missing) for the member "a greaterThan 0".
// Natively a missing comparison is false, except that a surrogate passes
// over a member whose input is missing (all missing: false).
TEST(ThreeValuedLogic, TruthTables) {
  const std::string fields = R"(<DataField name="a" optype="continuous" dataType="double"/>)"
                             R"(<DataField name="b" optype="continuous" dataType="double"/>)";
  const char* const values[] = {"1", "-1", ""};  // T, F, U
  struct Table {
    const char* op;
    // [a][b] with a, b in T, F, U order: native, then pmml.
    const char* native[3][3];
    const char* pmml[3][3];
  };
  const Table tables[] = {
      {"and",
       {{"true", "false", "false"}, {"false", "false", "false"}, {"false", "false", "false"}},
       {{"true", "false", "unknown"}, {"false", "false", "false"}, {"unknown", "false", "unknown"}}},
      {"or",
       {{"true", "true", "true"}, {"true", "false", "false"}, {"true", "false", "false"}},
       {{"true", "true", "true"}, {"true", "false", "unknown"}, {"true", "unknown", "unknown"}}},
      {"xor",
       {{"false", "true", "true"}, {"true", "false", "false"}, {"true", "false", "false"}},
       {{"false", "true", "unknown"}, {"true", "false", "unknown"}, {"unknown", "unknown", "unknown"}}},
      {"surrogate",
       {{"true", "true", "true"}, {"false", "false", "false"}, {"true", "false", "false"}},
       {{"true", "true", "true"}, {"false", "false", "false"}, {"true", "false", "unknown"}}},
  };
  for (const Table& table : tables) {
    const std::string predicate =
        std::string(R"(<CompoundPredicate booleanOperator=")") + table.op + R"(">)" +
        R"(<SimplePredicate field="a" operator="greaterThan" value="0"/>)"
        R"(<SimplePredicate field="b" operator="greaterThan" value="0"/></CompoundPredicate>)";
    const std::string pmml = TruthDocument(fields, predicate);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        const std::vector<Cell> cells{{"a", values[i]}, {"b", values[j]}};
        EXPECT_EQ(Truth(pmml, "native", {"a", "b"}, cells), table.native[i][j])
            << table.op << " a=" << values[i] << " b=" << values[j];
        EXPECT_EQ(Truth(pmml, "pmml", {"a", "b"}, cells), table.pmml[i][j])
            << table.op << " a=" << values[i] << " b=" << values[j];
      }
    }
  }
}

// The members of a surrogate are tried in document order, a nested
// compound among simple members included; the first whose inputs are not
// missing decides.
TEST(ThreeValuedLogic, SurrogateTakesMembersInDocumentOrder) {
  const std::string fields = R"(<DataField name="x" optype="continuous" dataType="double"/>)"
                             R"(<DataField name="y2" optype="continuous" dataType="double"/>)"
                             R"(<DataField name="z" optype="continuous" dataType="double"/>)";
  const std::string predicate =
      R"(<CompoundPredicate booleanOperator="surrogate">)"
      R"(<SimplePredicate field="x" operator="greaterThan" value="5"/>)"
      R"(<CompoundPredicate booleanOperator="and">)"
      R"(<SimplePredicate field="y2" operator="greaterThan" value="0"/>)"
      R"(<SimplePredicate field="y2" operator="lessThan" value="100"/></CompoundPredicate>)"
      R"(<SimplePredicate field="z" operator="lessThan" value="0"/>)"
      R"(</CompoundPredicate>)";
  const std::string pmml = TruthDocument(fields, predicate);
  struct Case {
    const char* x;
    const char* y;
    const char* z;
    const char* native;
    const char* pmml;
  };
  const Case cases[] = {
      {"10", "-1", "1", "true", "true"},    // x decides
      {"1", "1", "-1", "false", "false"},   // x decides
      {"", "1", "1", "true", "true"},       // x missing: the nested and decides
      {"", "-1", "-1", "false", "false"},   // the nested and decides
      {"", "", "-1", "true", "true"},       // only z is present
      {"", "", "", "false", "unknown"},     // all missing
  };
  for (const Case& c : cases) {
    const std::vector<Cell> cells{{"x", c.x}, {"y2", c.y}, {"z", c.z}};
    EXPECT_EQ(Truth(pmml, "native", {"x", "y2", "z"}, cells), c.native)
        << c.x << "," << c.y << "," << c.z;
    EXPECT_EQ(Truth(pmml, "pmml", {"x", "y2", "z"}, cells), c.pmml)
        << c.x << "," << c.y << "," << c.z;
  }
}

// A rule inside a CompoundRule fires only when the CompoundRule's
// predicate is TRUE: an UNKNOWN one fires nothing inside it under pmml.
TEST(ThreeValuedLogic, CompoundRuleNeedsATruePredicate) {
  const std::string pmml = Document(
      R"(<DataField name="x" optype="continuous" dataType="double"/>)", R"(<MiningField name="x"/>)",
      R"(<RuleSet defaultScore="no" defaultConfidence="0.25"><RuleSelectionMethod criterion="firstHit"/>)"
      R"(<CompoundRule><SimplePredicate field="x" operator="notEqual" value="3"/>)"
      R"(<SimpleRule id="in" score="yes" confidence="0.5"><True/></SimpleRule></CompoundRule>)"
      R"(</RuleSet>)");
  auto native = Translate(pmml, "native");
  auto pmmlModel = Translate(pmml, "pmml");
  EXPECT_EQ(ScoreText(*native->model, {"x"}, {{"x", ""}}), "yes 0.5");
  EXPECT_EQ(ScoreText(*pmmlModel->model, {"x"}, {{"x", ""}}), "no 0.25");
  EXPECT_EQ(ScoreText(*native->model, {"x"}, {{"x", "4"}}), "yes 0.5");
  EXPECT_EQ(ScoreText(*pmmlModel->model, {"x"}, {{"x", "4"}}), "yes 0.5");
}

// When nothing fires: natively a missing default score is the first
// category; under pmml there is no prediction and no confidence. A default
// score that names no category predicts nothing under both, with the
// default confidence.
TEST(DefaultScore, WhenNothingFires) {
  struct Case {
    const char* ruleSet;
    const char* native;
    const char* pmml;
  };
  const Case cases[] = {
      {R"(<RuleSet defaultConfidence="0.3">)", "yes 0.3", "null"},
      {R"(<RuleSet>)", "yes 0", "null"},
      {R"(<RuleSet defaultScore="maybe" defaultConfidence="0.3">)", "null 0.3", "null 0.3"},
      {R"(<RuleSet defaultScore="no" defaultConfidence="0.3">)", "no 0.3", "no 0.3"},
  };
  for (const Case& c : cases) {
    for (const char* method : {"firstHit", "weightedSum", "weightedMax"}) {
      const std::string pmml = Document(
          R"(<DataField name="x" optype="continuous" dataType="double"/>)",
          R"(<MiningField name="x"/>)",
          std::string(c.ruleSet) + R"(<RuleSelectionMethod criterion=")" + method + R"("/>)" +
              R"(<SimpleRule id="r" score="yes" weight="1" confidence="1">)"
              R"(<SimplePredicate field="x" operator="greaterThan" value="0"/></SimpleRule></RuleSet>)");
      auto native = Translate(pmml, "native");
      auto pmmlModel = Translate(pmml, "pmml");
      EXPECT_EQ(ScoreText(*native->model, {"x"}, {{"x", "-1"}}), c.native) << c.ruleSet << method;
      EXPECT_EQ(ScoreText(*pmmlModel->model, {"x"}, {{"x", "-1"}}), c.pmml) << c.ruleSet << method;
      EXPECT_EQ(ScoreText(*pmmlModel->model, {"x"}, {{"x", "1"}}), "yes 1") << c.ruleSet << method;
    }
  }
}

// The treatments of a MiningField, each case scored natively (which reads
// none of them) and under pmml. The rules tell which value x ended as: 42,
// 7, 10 or 90 exactly, missing, below 0, in 0..100, above 100; "other"
// when none holds (a text in place of a number, kept as is).
TEST(FieldTreatments, NumericField) {
  const std::string fields =
      R"(<DataField name="x" optype="continuous" dataType="double">)"
      R"(<Interval closure="closedClosed" leftMargin="0" rightMargin="100"/>)"
      R"(<Value value="-999" property="missing"/><Value value="-1" property="invalid"/>)"
      R"(</DataField>)";
  const std::string target =
      R"(<DataField name="y" optype="categorical" dataType="string">)"
      R"(<Value value="r42"/><Value value="r7"/><Value value="r10"/><Value value="r90"/>)"
      R"(<Value value="missing"/><Value value="low"/><Value value="in"/><Value value="high"/>)"
      R"(<Value value="other"/></DataField>)";
  std::string rules = R"(<RuleSet defaultScore="other" defaultConfidence="0">)"
                      R"(<RuleSelectionMethod criterion="firstHit"/>)";
  const char* const equalTo[][2] = {{"42", "r42"}, {"7", "r7"}, {"10", "r10"}, {"90", "r90"}};
  for (const auto& e : equalTo) {
    rules += std::string(R"(<SimpleRule score=")") + e[1] +
             R"(" confidence="1"><SimplePredicate field="x" operator="equal" value=")" + e[0] +
             R"("/></SimpleRule>)";
  }
  rules += R"(<SimpleRule score="missing" confidence="1"><SimplePredicate field="x" operator="isMissing"/></SimpleRule>)"
           R"(<SimpleRule score="low" confidence="1"><SimplePredicate field="x" operator="lessThan" value="0"/></SimpleRule>)"
           R"(<SimpleRule score="in" confidence="1"><SimplePredicate field="x" operator="lessOrEqual" value="100"/></SimpleRule>)"
           R"(<SimpleRule score="high" confidence="1"><SimplePredicate field="x" operator="greaterThan" value="100"/></SimpleRule>)"
           R"(</RuleSet>)";
  struct Case {
    const char* attributes;  // of x's MiningField
    const char* x;
    const char* native;
    const char* pmml;
  };
  const Case cases[] = {
      {"", "50", "in 1", "in 1"},
      {"", "", "missing 1", "missing 1"},
      {"", "-999", "missing 1", "missing 1"},  // declared missing
      // Invalid: outside the Interval, declared invalid, a text.
      {"", "150", "high 1", "error 260024"},
      {"", "-1", "low 1", "error 260024"},
      {"", "abc", "missing 1", "error 260024"},
      {R"(invalidValueTreatment="returnInvalid")", "150", "high 1", "error 260024"},
      {R"(invalidValueTreatment="asIs")", "150", "high 1", "high 1"},
      {R"(invalidValueTreatment="asIs")", "-1", "low 1", "low 1"},
      {R"(invalidValueTreatment="asIs")", "abc", "missing 1", "other 0"},
      {R"(invalidValueTreatment="asMissing")", "150", "high 1", "missing 1"},
      {R"(invalidValueTreatment="asMissing")", "abc", "missing 1", "missing 1"},
      {R"(invalidValueTreatment="asMissing" missingValueReplacement="7")", "150", "high 1", "r7 1"},
      {R"(invalidValueTreatment="asValue" invalidValueReplacement="42")", "150", "high 1", "r42 1"},
      {R"(invalidValueTreatment="asValue" invalidValueReplacement="42")", "abc", "missing 1", "r42 1"},
      {R"(invalidValueTreatment="asValue" invalidValueReplacement="42")", "50", "in 1", "in 1"},
      // Missing values take the replacement; present ones keep their value.
      {R"(missingValueReplacement="7")", "", "missing 1", "r7 1"},
      {R"(missingValueReplacement="7")", "-999", "missing 1", "r7 1"},
      {R"(missingValueReplacement="7")", "8", "in 1", "in 1"},
      // Outliers: valid values outside lowValue..highValue.
      {R"(outliers="asIs" lowValue="10" highValue="90")", "95", "in 1", "in 1"},
      {R"(outliers="asMissingValues" lowValue="10" highValue="90")", "95", "in 1", "missing 1"},
      {R"(outliers="asMissingValues" lowValue="10" highValue="90")", "5", "in 1", "missing 1"},
      {R"(outliers="asMissingValues" lowValue="10" highValue="90")", "50", "in 1", "in 1"},
      {R"(outliers="asMissingValues" lowValue="10" highValue="90" missingValueReplacement="7")",
       "95", "in 1", "r7 1"},
      {R"(outliers="asExtremeValues" lowValue="10" highValue="90")", "95", "in 1", "r90 1"},
      {R"(outliers="asExtremeValues" lowValue="10" highValue="90")", "5", "in 1", "r10 1"},
      {R"(outliers="asExtremeValues" lowValue="10" highValue="90")", "90", "r90 1", "r90 1"},
      {R"(outliers="asExtremeValues" highValue="90")", "0", "in 1", "in 1"},
      // An invalid value is no outlier.
      {R"(outliers="asExtremeValues" lowValue="10" highValue="90" invalidValueTreatment="asIs")",
       "150", "high 1", "high 1"},
  };
  for (const Case& c : cases) {
    const std::string pmml = Document(
        fields, std::string(R"(<MiningField name="x" )") + c.attributes + "/>", rules, target);
    auto native = Translate(pmml, "native");
    auto pmmlModel = Translate(pmml, "pmml");
    EXPECT_EQ(ScoreText(*native->model, {"x"}, {{"x", c.x}}), c.native)
        << c.attributes << " x=" << c.x;
    EXPECT_EQ(ScoreText(*pmmlModel->model, {"x"}, {{"x", c.x}}), c.pmml)
        << c.attributes << " x=" << c.x;
  }
}

// A categorical text field: not among its valid Values, or declared
// invalid, is invalid; declared missing is missing.
TEST(FieldTreatments, CategoricalField) {
  const std::string fields =
      R"(<DataField name="c" optype="categorical" dataType="string">)"
      R"(<Value value="a"/><Value value="b"/><Value value="?" property="missing"/>)"
      R"(<Value value="bad" property="invalid"/></DataField>)";
  const std::string target = R"(<DataField name="y" optype="categorical" dataType="string">)"
                             R"(<Value value="a"/><Value value="b"/><Value value="missing"/>)"
                             R"(<Value value="notA"/><Value value="other"/></DataField>)";
  const std::string rules =
      R"(<RuleSet defaultScore="other" defaultConfidence="0"><RuleSelectionMethod criterion="firstHit"/>)"
      R"(<SimpleRule score="missing" confidence="1"><SimplePredicate field="c" operator="isMissing"/></SimpleRule>)"
      R"(<SimpleRule score="a" confidence="1"><SimplePredicate field="c" operator="equal" value="a"/></SimpleRule>)"
      R"(<SimpleRule score="b" confidence="1"><SimplePredicate field="c" operator="equal" value="b"/></SimpleRule>)"
      R"(<SimpleRule score="notA" confidence="1"><SimplePredicate field="c" operator="notEqual" value="a"/></SimpleRule>)"
      R"(</RuleSet>)";
  struct Case {
    const char* attributes;
    const char* c;
    const char* native;
    const char* pmml;
  };
  const Case cases[] = {
      {"", "b", "b 1", "b 1"},
      {"", "?", "missing 1", "missing 1"},
      {"", "zz", "notA 1", "error 260024"},
      {"", "bad", "notA 1", "error 260024"},
      {R"(invalidValueTreatment="asIs")", "zz", "notA 1", "notA 1"},
      {R"(invalidValueTreatment="asMissing")", "zz", "notA 1", "missing 1"},
      {R"(invalidValueTreatment="asValue" invalidValueReplacement="b")", "bad", "notA 1", "b 1"},
      {R"(missingValueReplacement="a")", "", "missing 1", "a 1"},
      {R"(missingValueReplacement="a")", "?", "missing 1", "a 1"},
      {R"(invalidValueTreatment="asMissing" missingValueReplacement="a")", "zz", "notA 1", "a 1"},
  };
  for (const Case& c : cases) {
    const std::string pmml = Document(
        fields, std::string(R"(<MiningField name="c" )") + c.attributes + "/>", rules, target);
    auto native = Translate(pmml, "native");
    auto pmmlModel = Translate(pmml, "pmml");
    EXPECT_EQ(ScoreText(*native->model, {"c"}, {{"c", c.c}}), c.native)
        << c.attributes << " c=" << c.c;
    EXPECT_EQ(ScoreText(*pmmlModel->model, {"c"}, {{"c", c.c}}), c.pmml)
        << c.attributes << " c=" << c.c;
  }
}

// returnInvalid: the result names the field and the value; the next
// record scores as usual with the same result.
TEST(FieldTreatments, ReturnInvalidNamesFieldAndValue) {
  const std::string pmml = Document(
      R"(<DataField name="c" optype="categorical" dataType="string"><Value value="a"/></DataField>)",
      R"(<MiningField name="c"/>)",
      R"(<RuleSet defaultScore="no" defaultConfidence="0.5"><RuleSelectionMethod criterion="firstHit"/>)"
      R"(<SimpleRule id="r" score="yes" confidence="1"><SimplePredicate field="c" operator="equal" value="a"/></SimpleRule></RuleSet>)");
  auto t = Translate(pmml, "pmml");
  TestRecord record({"c"});
  ScoreResult* result = nullptr;
  Scored scored = ScoreWith(*t->model, record.Text("c", "z\x01").Get(), result);
  EXPECT_EQ(scored.code, 260024);
  EXPECT_FALSE(scored.hasPrediction);
  EXPECT_TRUE(scored.fired.empty());
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(static_cast<RuleSetResult*>(result)->GetErrorText(),
            "Field c: the value \"z\\x01\" is invalid");
  scored = ScoreWith(*t->model, record.Text("c", "a").Get(), result);
  EXPECT_EQ(scored.code, 0);
  EXPECT_EQ(scored.prediction, "yes");
  EXPECT_EQ(static_cast<RuleSetResult*>(result)->GetErrorText(), "");
  delete result;
}

TEST(FieldTreatments, UnknownTreatmentIsRefused) {
  const std::string fields = R"(<DataField name="x" optype="continuous" dataType="double"/>)";
  const std::string ruleSet = R"(<RuleSet defaultScore="no"><SimpleRule score="yes"><True/></SimpleRule></RuleSet>)";
  struct Case {
    const char* attributes;
    int code;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {R"(invalidValueTreatment="asNothing")", 260153,
       {"asNothing", "invalidValueTreatment", "MiningField"}},
      {R"(outliers="clip")", 260153, {"clip", "outliers", "MiningField"}},
      {R"(invalidValueTreatment="asValue")", 260001, {"MiningField", "invalidValueReplacement"}},
      {R"(lowValue="low")", 260003, {"low"}},
  };
  for (const Case& c : cases) {
    const std::string pmml =
        Document(fields, std::string(R"(<MiningField name="x" )") + c.attributes + "/>", ruleSet);
    const testing_support::TranslationFailure native =
        testing_support::TranslationFailureOf(pmml, "t.pmml", "native");
    const testing_support::TranslationFailure pmmlFailure =
        testing_support::TranslationFailureOf(pmml, "t.pmml", "pmml");
    EXPECT_EQ(native.code, 0) << c.attributes;
    EXPECT_EQ(pmmlFailure.code, c.code) << c.attributes;
    EXPECT_EQ(pmmlFailure.args, c.args) << c.attributes;
  }
}

// Documents PMML accepts that the native reading refuses: the refusal
// says on a second line that pmml reads it.
TEST(AcceptedDocuments, NativeRefusalsThatPmmlReads) {
  const std::string fields =
      R"(<DataField name="x" optype="continuous" dataType="double"/>)"
      R"(<DataField name="c" optype="categorical" dataType="string">)"
      R"(<Value value="p"/><Value value="q"/><Value value="r"/></DataField>)"
      R"(<DataField name="o" optype="ordinal" dataType="integer"/>)";
  const std::string schema =
      R"(<MiningField name="x"/><MiningField name="c"/><MiningField name="o"/>)";
  struct Case {
    const char* name;
    const char* predicate;
    int nativeCode;
    // Scored under pmml for x=1, c=q, o=7.
    const char* pmml;
  };
  const Case cases[] = {
      {"True as a member", R"(<CompoundPredicate booleanOperator="and"><True/>)"
                           R"(<SimplePredicate field="x" operator="lessThan" value="2"/></CompoundPredicate>)",
       260176, "yes 1"},
      {"False as a member", R"(<CompoundPredicate booleanOperator="or"><False/>)"
                            R"(<SimplePredicate field="x" operator="lessThan" value="0"/></CompoundPredicate>)",
       260176, "no 0.5"},
      {"a single member", R"(<CompoundPredicate booleanOperator="and">)"
                          R"(<SimplePredicate field="c" operator="equal" value="q"/></CompoundPredicate>)",
       260176, "yes 1"},
      {"or of values of one nominal field",
       R"(<CompoundPredicate booleanOperator="or"><SimplePredicate field="c" operator="equal" value="p"/>)"
       R"(<SimplePredicate field="c" operator="equal" value="q"/></CompoundPredicate>)",
       260157, "yes 1"},
      {"xor of values of one nominal field",
       R"(<CompoundPredicate booleanOperator="xor"><SimplePredicate field="c" operator="equal" value="p"/>)"
       R"(<SimplePredicate field="c" operator="equal" value="q"/></CompoundPredicate>)",
       260157, "yes 1"},
      {"equal and notEqual on one nominal field",
       R"(<CompoundPredicate booleanOperator="and"><SimplePredicate field="c" operator="equal" value="q"/>)"
       R"(<SimplePredicate field="c" operator="notEqual" value="r"/></CompoundPredicate>)",
       260157, "yes 1"},
      {"an empty range under and",
       R"(<CompoundPredicate booleanOperator="and"><SimplePredicate field="x" operator="lessThan" value="0"/>)"
       R"(<SimplePredicate field="x" operator="greaterThan" value="5"/></CompoundPredicate>)",
       260157, "no 0.5"},
  };
  for (const Case& c : cases) {
    const std::string pmml = Document(
        fields, schema,
        std::string(R"(<RuleSet defaultScore="no" defaultConfidence="0.5">)"
                    R"(<RuleSelectionMethod criterion="firstHit"/><SimpleRule id="r" score="yes">)") +
            c.predicate + "</SimpleRule></RuleSet>");
    try {
      Translate(pmml, "native");
      ADD_FAILURE() << c.name << ": accepted natively";
    } catch (const ZbException& e) {
      EXPECT_EQ(e.GetErrorCode(), c.nativeCode) << c.name;
      const std::string message = e.GetMessage();
      EXPECT_EQ(message.substr(message.find('\n') + 1),
                "The document is accepted under the semantics pmml (option semantics=pmml).")
          << c.name;
    }
    auto t = Translate(pmml, "pmml");
    ASSERT_NE(t->model, nullptr) << c.name;
    EXPECT_EQ(ScoreText(*t->model, {"x", "c", "o"}, {{"x", "1"}, {"c", "q"}, {"o", "7"}}), c.pmml)
        << c.name;
  }
  // A native refusal that pmml shares carries no second line.
  const std::string bad = Document(fields, schema,
                                   R"(<RuleSet><SimpleRule score="yes"><SimplePredicate field="x" )"
                                   R"(operator="greaterThan" value="high"/></SimpleRule></RuleSet>)");
  try {
    Translate(bad, "native");
    ADD_FAILURE() << "accepted";
  } catch (const ZbException& e) {
    EXPECT_EQ(e.GetMessage().find('\n'), std::string::npos) << e.GetMessage();
  }
}

// PMML requires a RuleSet in a RuleSetModel.
TEST(AcceptedDocuments, RuleSetModelWithoutRuleSet) {
  const std::string pmml = Document(R"(<DataField name="x" optype="continuous" dataType="double"/>)",
                                    R"(<MiningField name="x"/>)", "");
  EXPECT_EQ(testing_support::TranslationFailureOf(pmml, "t.pmml", "native").code, 0);
  const testing_support::TranslationFailure failure =
      testing_support::TranslationFailureOf(pmml, "t.pmml", "pmml");
  EXPECT_EQ(failure.code, 260002);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"RuleSetModel", "RuleSet"}));
}

// Shaped like a rule learner's export: True inside a CompoundPredicate, no
// confidences or weights, no default score, invalidValueTreatment asIs.
const char kLearnerShaped[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.2" xmlns="http://www.dmg.org/PMML-4_2">
  <Header copyright="test"><Application name="rule learner" version="1.0"/></Header>
  <DataDictionary numberOfFields="3">
    <DataField name="petal_length" optype="continuous" dataType="double">
      <Interval closure="closedClosed" leftMargin="1.0" rightMargin="6.9"/>
    </DataField>
    <DataField name="petal_width" optype="continuous" dataType="double"/>
    <DataField name="class" optype="categorical" dataType="string">
      <Value value="Iris-setosa"/><Value value="Iris-versicolor"/><Value value="Iris-virginica"/>
    </DataField>
  </DataDictionary>
  <RuleSetModel modelName="RuleSet" functionName="classification" algorithmName="RuleSet">
    <MiningSchema>
      <MiningField name="petal_length" invalidValueTreatment="asIs"/>
      <MiningField name="petal_width" invalidValueTreatment="asIs"/>
      <MiningField name="class" invalidValueTreatment="asIs" usageType="predicted"/>
    </MiningSchema>
    <RuleSet>
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="0" score="Iris-setosa">
        <CompoundPredicate booleanOperator="and">
          <True/>
          <SimplePredicate field="petal_length" operator="lessThan" value="2.5"/>
        </CompoundPredicate>
      </SimpleRule>
      <SimpleRule id="1" score="Iris-versicolor">
        <CompoundPredicate booleanOperator="and">
          <SimplePredicate field="petal_length" operator="lessOrEqual" value="4.9"/>
          <SimplePredicate field="petal_width" operator="lessOrEqual" value="1.6"/>
        </CompoundPredicate>
      </SimpleRule>
      <SimpleRule id="2" score="Iris-virginica">
        <CompoundPredicate booleanOperator="and">
          <True/>
          <SimplePredicate field="petal_width" operator="greaterThan" value="1.6"/>
        </CompoundPredicate>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

TEST(ProducerShapes, LearnerRuleSet) {
  EXPECT_EQ(testing_support::TranslationFailureOf(kLearnerShaped, "learner.pmml", "native").code,
            260176);
  auto t = Translate(kLearnerShaped, "pmml");
  ASSERT_NE(t->model, nullptr);
  const std::vector<std::string> fields{"petal_length", "petal_width"};
  struct Case {
    const char* length;
    const char* width;
    const char* expected;
  };
  const Case cases[] = {
      {"1.4", "0.2", "Iris-setosa 1"},
      {"4.5", "1.5", "Iris-versicolor 1"},
      {"5.5", "2.1", "Iris-virginica 1"},
      {"5.5", "1.5", "null"},           // nothing fires, no default score
      {"7.5", "1.0", "null"},           // outside the Interval, kept as is
      {"", "2.0", "Iris-virginica 1"},  // the missing length leaves rule 2
      {"", "", "null"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScoreText(*t->model, fields, {{"petal_length", c.length}, {"petal_width", c.width}}),
              c.expected)
        << c.length << "," << c.width;
  }
}

// Shaped like a boolean rule learner's export: single-member CompoundPredicates,
// field names and values with spaces.
const char kBooleanRulesShaped[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <Header/>
  <DataDictionary>
    <DataField name="Credit History" optype="categorical" dataType="string">
      <Value value="All paid back"/><Value value="Critical account"/><Value value="Delay in past"/>
    </DataField>
    <DataField name="Loan Duration" optype="continuous" dataType="double"/>
    <DataField name="Risk" optype="categorical" dataType="string">
      <Value value="Good risk"/><Value value="Bad risk"/>
    </DataField>
  </DataDictionary>
  <RuleSetModel functionName="classification" algorithmName="BRCG">
    <MiningSchema>
      <MiningField name="Credit History"/>
      <MiningField name="Loan Duration"/>
      <MiningField name="Risk" usageType="target"/>
    </MiningSchema>
    <RuleSet defaultScore="Good risk">
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="rule 1" score="Bad risk">
        <CompoundPredicate booleanOperator="and">
          <SimplePredicate field="Credit History" operator="equal" value="Critical account"/>
        </CompoundPredicate>
      </SimpleRule>
      <SimpleRule id="rule 2" score="Bad risk">
        <CompoundPredicate booleanOperator="and">
          <SimplePredicate field="Loan Duration" operator="greaterThan" value="36"/>
          <SimplePredicate field="Credit History" operator="notEqual" value="All paid back"/>
        </CompoundPredicate>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

TEST(ProducerShapes, BooleanRuleSet) {
  EXPECT_EQ(testing_support::TranslationFailureOf(kBooleanRulesShaped, "boolean.pmml", "native").code,
            260176);
  auto t = Translate(kBooleanRulesShaped, "pmml");
  ASSERT_NE(t->model, nullptr);
  const std::vector<std::string> fields{"Credit History", "Loan Duration"};
  struct Case {
    const char* history;
    const char* duration;
    const char* expected;
  };
  const Case cases[] = {
      {"Critical account", "12", "Bad risk 1"},
      {"Delay in past", "48", "Bad risk 1"},
      {"All paid back", "48", "Good risk 0"},
      {"Delay in past", "", "Good risk 0"},  // rule 2 is UNKNOWN
      {"", "48", "Good risk 0"},             // both rules UNKNOWN
      {"Paid", "48", "error 260024"},        // no valid value
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScoreText(*t->model, fields, {{"Credit History", c.history}, {"Loan Duration", c.duration}}),
              c.expected)
        << c.history << "," << c.duration;
  }
}

// A regression rule set: the chosen rule's score as a number.
TEST(ProducerShapes, RegressionRuleSet) {
  const std::string body = R"(
    <RuleSet defaultScore="0.5" defaultConfidence="0.1">
      <RuleSelectionMethod criterion="CRITERION"/>
      <SimpleRule id="low" score="10" weight="0.4" confidence="0.6">
        <SimplePredicate field="x" operator="lessThan" value="5"/>
      </SimpleRule>
      <SimpleRule id="small" score="12.25" weight="0.9" confidence="0.8">
        <SimplePredicate field="x" operator="lessThan" value="3"/>
      </SimpleRule>
      <SimpleRule id="any" score="-3" weight="0.9" confidence="0.2"><True/></SimpleRule>
    </RuleSet>)";
  auto document = [&body](const std::string& criterion) {
    std::string ruleSet = body;
    ruleSet.replace(ruleSet.find("CRITERION"), 9, criterion);
    return std::string(R"(<?xml version="1.0"?><PMML version="4.4"><DataDictionary>)"
                       R"(<DataField name="x" optype="continuous" dataType="double"/>)"
                       R"(<DataField name="amount" optype="continuous" dataType="double"/>)"
                       R"(</DataDictionary><RuleSetModel functionName="regression"><MiningSchema>)"
                       R"(<MiningField name="x"/><MiningField name="amount" usageType="target"/>)"
                       R"(</MiningSchema>)") +
           ruleSet + "</RuleSetModel></PMML>";
  };
  struct Case {
    const char* criterion;
    const char* x;
    const char* expected;
  };
  const Case cases[] = {
      {"firstHit", "4", "10 0.6"},
      {"firstHit", "1", "10 0.6"},
      {"firstHit", "9", "-3 0.2"},
      {"firstHit", "", "-3 0.2"},
      {"weightedMax", "4", "-3 0.2"},   // the first of the greatest weight
      {"weightedMax", "1", "12.25 0.8"},
  };
  for (const Case& c : cases) {
    const std::string pmml = document(c.criterion);
    EXPECT_EQ(testing_support::TranslationFailureOf(pmml, "r.pmml", "native").code, 260299);
    auto t = Translate(pmml, "pmml");
    ASSERT_NE(t->model, nullptr);
    EXPECT_EQ(ScoreText(*t->model, {"x"}, {{"x", c.x}}), c.expected) << c.criterion << " " << c.x;
  }
  const testing_support::TranslationFailure sum =
      testing_support::TranslationFailureOf(document("weightedSum"), "r.pmml", "pmml");
  EXPECT_EQ(sum.code, 260298);
  EXPECT_EQ(sum.args, (std::vector<std::string>{"weightedSum", "amount"}));
  // A score that is no number has no place in a regression.
  std::string text = document("firstHit");
  text.replace(text.find(R"(score="10")"), 10, R"(score="ten")");
  EXPECT_EQ(testing_support::TranslationFailureOf(text, "r.pmml", "pmml").code, 260003);
}

// The drug example bundled with the tool, under each criterion: its
// weights and confidences are written and it has a default score, so both
// semantics give its published answers; the last record, with BP and Na
// missing, fires RULE4 alone under both (under pmml RULE2 and RULE3 are
// UNKNOWN, natively false).
TEST(DrugExample, BothSemanticsGiveThePublishedAnswers) {
  struct Row {
    const char* bp;
    const char* k;
    const char* age;
    const char* na;
    const char* cholesterol;
  };
  const Row rows[] = {
      {"HIGH", "0.04", "40", "0.7", "NORMAL"}, {"HIGH", "0.06", "60", "0.5", "HIGH"},
      {"LOW", "0.05", "30", "0.95", "NORMAL"}, {"NORMAL", "0.03", "70", "0.8", "NORMAL"},
      {"", "0.05", "55", "", "HIGH"},
  };
  struct Criterion {
    const char* file;
    std::vector<std::string> answers;
  };
  const Criterion criteria[] = {
      {"drug_firstHit.pmml", {"drugB 0.9", "drugA 0.6", "drugC 0.5", "drugC 0.5", "drugX 0.7"}},
      {"drug_weightedSum.pmml", {"drugB 0.9", "drugX 0.35", "drugX 0.35", "drugC 0.5", "drugX 0.7"}},
      {"drug_weightedMax.pmml", {"drugB 0.9", "drugX 0.7", "drugX 0.7", "drugC 0.5", "drugX 0.7"}},
  };
  const std::vector<std::string> fields{"BP", "K", "Age", "Na", "Cholesterol"};
  for (const Criterion& c : criteria) {
    std::ifstream in(std::string(RULESCORE_SOURCE_DIR) + "/examples/" + c.file);
    std::ostringstream text;
    text << in.rdbuf();
    ASSERT_FALSE(text.str().empty()) << c.file;
    for (const char* semantics : {"native", "pmml"}) {
      auto t = Translate(text.str(), semantics);
      ASSERT_NE(t->model, nullptr);
      for (size_t r = 0; r < 5; ++r) {
        const Row& row = rows[r];
        EXPECT_EQ(ScoreText(*t->model, fields,
                            {{"BP", row.bp}, {"K", row.k}, {"Age", row.age}, {"Na", row.na},
                             {"Cholesterol", row.cholesterol}}),
                  c.answers[r])
            << c.file << " " << semantics << " row " << r + 1;
      }
    }
  }
}

}  // namespace
}  // namespace KtZembra_940
