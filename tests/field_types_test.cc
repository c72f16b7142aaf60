// Fields as documents declare them: boolean, integer and float types,
// categorical and ordinal fields without a Value list, unknown data types,
// and targets whose categories nobody enumerates.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"
#include "model/RuleSetModel.h"
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
using testing_support::TranslationFailureOf;

std::string Pmml(const std::string& dataFields, const std::string& miningFields,
                 const std::string& ruleSet) {
  return R"(<?xml version="1.0" encoding="UTF-8"?><PMML version="4.4"><DataDictionary>)" +
         dataFields + "</DataDictionary><RuleSetModel functionName=\"classification\">" +
         "<MiningSchema>" + miningFields + "</MiningSchema>" + ruleSet +
         "</RuleSetModel></PMML>";
}

// Scores one record and keeps the result; the prediction's value type is
// kept as well, since a numeric target predicts numbers.
struct Outcome {
  Scored scored;
  int predictionType = -1;
};

Outcome ScoreOne(TranslatedDocument& t, const TestRecord& record) {
  ScoreResult* result = nullptr;
  Outcome outcome;
  outcome.scored = ScoreWith(*t.model, record.Get(), result);
  if (const auto* rules = dynamic_cast<const RuleSetResult*>(result)) {
    if (rules->GetPrediction() != nullptr) {
      outcome.predictionType = rules->GetPrediction()->GetValueType();
    }
  }
  delete result;
  return outcome;
}

std::vector<std::string> Categories(const RuleSetModel& model) {
  std::vector<std::string> texts;
  for (const ScoreValue* value : model.GetCategoryValues()) texts.push_back(value->GetString());
  return texts;
}

// --- targets without categories -------------------------------------------

const char kScoresRuleSet[] = R"(<RuleSet defaultScore="none">
    <RuleSelectionMethod criterion="firstHit"/>
    <SimpleRule id="R1" score="high"><SimplePredicate field="x" operator="greaterThan" value="10"/></SimpleRule>
    <CompoundRule><True/>
      <SimpleRule id="R2" score="mid"><SimplePredicate field="x" operator="greaterThan" value="5"/></SimpleRule>
    </CompoundRule>
    <SimpleRule id="R3" score="high"><SimplePredicate field="x" operator="lessThan" value="-100"/></SimpleRule>
  </RuleSet>)";

TEST(TargetWithoutValues, StringTargetPredictsTheRuleScores) {
  auto t = TranslateDocument(
      Pmml(R"(<DataField name="x" optype="continuous" dataType="double"/>
              <DataField name="y" optype="categorical" dataType="string"/>)",
           R"(<MiningField name="x"/><MiningField name="y" usageType="target"/>)",
           kScoresRuleSet),
      "t.pmml");
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(Categories(*t->model), (std::vector<std::string>{"high", "mid", "none"}));
  TestRecord record({"x"});
  const struct {
    double x;
    const char* prediction;
    const char* fired;
  } kCases[] = {{20, "high", "R1"}, {7, "mid", "R2"}, {1, "none", nullptr}};
  for (const auto& c : kCases) {
    const Outcome outcome = ScoreOne(*t, record.Number("x", c.x));
    EXPECT_TRUE(outcome.scored.hasPrediction) << c.x;
    EXPECT_EQ(outcome.scored.prediction, c.prediction) << c.x;
    EXPECT_EQ(outcome.predictionType, ScoreValue::kString);
    EXPECT_EQ(outcome.scored.fired,
              c.fired == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.fired});
  }
}

// Some rule learners write no target field at all.
TEST(TargetWithoutValues, NoTargetFieldPredictsTheRuleScores) {
  auto t = TranslateDocument(
      Pmml(R"(<DataField name="x" optype="continuous" dataType="double"/>)",
           R"(<MiningField name="x"/>)", R"(<RuleSet defaultScore="0">
             <RuleSelectionMethod criterion="firstHit"/>
             <SimpleRule id="R1" score="1"><SimplePredicate field="x" operator="lessOrEqual" value="3"/></SimpleRule>
           </RuleSet>)"),
      "notarget.pmml");
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(Categories(*t->model), (std::vector<std::string>{"1", "0"}));
  TestRecord record({"x"});
  EXPECT_EQ(ScoreOne(*t, record.Number("x", 2)).scored.prediction, "1");
  EXPECT_EQ(ScoreOne(*t, record.Number("x", 4)).scored.prediction, "0");
  EXPECT_EQ(ScoreOne(*t, record.Missing("x")).scored.prediction, "0");
}

TEST(TargetWithoutValues, NumericTargetPredictsNumbers) {
  auto t = TranslateDocument(
      Pmml(R"(<DataField name="x" optype="continuous" dataType="double"/>
              <DataField name="y" optype="categorical" dataType="integer"/>)",
           R"(<MiningField name="x"/><MiningField name="y" usageType="predicted"/>)",
           R"(<RuleSet defaultScore="0.0">
             <RuleSelectionMethod criterion="weightedSum"/>
             <SimpleRule id="R1" score="2" weight="1"><SimplePredicate field="x" operator="greaterThan" value="1"/></SimpleRule>
             <SimpleRule id="R2" score="2.0" weight="1"><SimplePredicate field="x" operator="greaterThan" value="2"/></SimpleRule>
             <SimpleRule id="R3" score="0" weight="1"><True/></SimpleRule>
             <SimpleRule id="R4" score="zero" weight="1"><False/></SimpleRule>
           </RuleSet>)"),
      "n.pmml");
  ASSERT_NE(t->model, nullptr);
  // "2.0" is the number 2 again; "zero" is no number and names nothing.
  EXPECT_EQ(Categories(*t->model), (std::vector<std::string>{"2", "0"}));
  TestRecord record({"x"});
  const Outcome high = ScoreOne(*t, record.Number("x", 3));
  EXPECT_EQ(high.scored.prediction, "2");
  EXPECT_EQ(high.predictionType, ScoreValue::kNumeric);
  EXPECT_DOUBLE_EQ(high.scored.confidence, 2.0 / 3.0);
}

TEST(TargetWithoutValues, DeclaredValuesStillDecide) {
  auto t = TranslateDocument(
      Pmml(R"(<DataField name="x" optype="continuous" dataType="double"/>
              <DataField name="y" optype="categorical" dataType="string">
                <Value value="none"/><Value value="high"/></DataField>)",
           R"(<MiningField name="x"/><MiningField name="y" usageType="target"/>)",
           kScoresRuleSet),
      "t.pmml");
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(Categories(*t->model), (std::vector<std::string>{"none", "high"}));
}

// --- boolean fields -------------------------------------------------------

const char kBooleanFields[] = R"(
    <DataField name="flag" optype="categorical" dataType="boolean"/>
    <DataField name="fraud" optype="categorical" dataType="boolean">
      <Value value="false"/><Value value="TRUE"/></DataField>)";

TEST(BooleanField, RecordsPredicatesAndTarget) {
  auto t = TranslateDocument(
      Pmml(kBooleanFields,
           R"(<MiningField name="flag"/><MiningField name="fraud" usageType="predicted"/>)",
           R"(<RuleSet defaultScore="false">
             <RuleSelectionMethod criterion="firstHit"/>
             <SimpleRule id="R1" score="true"><SimplePredicate field="flag" operator="equal" value="True"/></SimpleRule>
           </RuleSet>)"),
      "b.pmml");
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(Categories(*t->model), (std::vector<std::string>{"false", "true"}));
  TestRecord record({"flag"});
  const struct {
    const char* text;  // null: the number below
    double number;
    const char* prediction;
  } kCases[] = {{"true", 0, "true"}, {"TRUE", 0, "true"}, {" 1 ", 0, "true"},
                {"false", 0, "false"}, {"0", 0, "false"}, {nullptr, 1, "true"},
                {nullptr, 0, "false"}, {"yes", 0, "false"}};
  for (const auto& c : kCases) {
    record.Clear();
    if (c.text != nullptr) {
      record.Text("flag", c.text);
    } else {
      record.Number("flag", c.number);
    }
    const Outcome outcome = ScoreOne(*t, record);
    EXPECT_EQ(outcome.scored.prediction, c.prediction) << (c.text ? c.text : "number");
    EXPECT_EQ(outcome.predictionType, ScoreValue::kString);
  }
}

TEST(BooleanField, SetPredicateAndTargetWithoutValues) {
  auto t = TranslateDocument(
      Pmml(kBooleanFields,
           R"(<MiningField name="fraud"/><MiningField name="flag" usageType="target"/>)",
           R"(<RuleSet defaultScore="0">
             <RuleSelectionMethod criterion="firstHit"/>
             <SimpleRule id="R1" score="1"><SimpleSetPredicate field="fraud" booleanOperator="isIn"><Array type="string">true</Array></SimpleSetPredicate></SimpleRule>
           </RuleSet>)"),
      "b.pmml");
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(Categories(*t->model), (std::vector<std::string>{"true", "false"}));
  TestRecord record({"fraud"});
  EXPECT_EQ(ScoreOne(*t, record.Number("fraud", 1)).scored.prediction, "true");
  EXPECT_EQ(ScoreOne(*t, record.Number("fraud", 0)).scored.prediction, "false");
}

TEST(BooleanField, ParseNumberTable) {
  ScoreDictVar var("b", ScoreDictVar::kNumeric, ScoreDictVar::kNominal);
  var.SetDataType(ScoreDictVar::kDataBoolean);
  const struct {
    const char* text;
    bool ok;
    double value;
  } kCases[] = {{"true", true, 1},  {"tRuE", true, 1},  {"1", true, 1},    {"false", true, 0},
                {"FALSE", true, 0}, {"0", true, 0},     {"\t0\n", true, 0}, {"2", false, 0},
                {"t", false, 0},    {"truee", false, 0}, {"", false, 0},   {"1.0", false, 0}};
  for (const auto& c : kCases) {
    double value = -1;
    EXPECT_EQ(var.ParseNumber(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  EXPECT_EQ(var.GetValueType(), ScoreDictVar::kNumeric);
  std::unique_ptr<ScoreDictVar> copy(var.Clone());
  EXPECT_TRUE(copy->IsBoolean());
}

// --- numeric and text fields without a Value list --------------------------

TEST(FieldWithoutValues, OrdinalAndCategoricalNumbersCompareAsNumbers) {
  for (const char* optype : {"ordinal", "categorical"}) {
    auto t = TranslateDocument(
        Pmml(std::string(R"(<DataField name="n" optype=")") + optype +
                 R"(" dataType="integer"/>
                <DataField name="y" optype="categorical" dataType="string"><Value value="lo"/><Value value="hi"/></DataField>)",
             R"(<MiningField name="n"/><MiningField name="y" usageType="target"/>)",
             R"(<RuleSet defaultScore="lo">
               <RuleSelectionMethod criterion="firstHit"/>
               <SimpleRule id="R1" score="hi"><CompoundPredicate booleanOperator="and">
                 <SimplePredicate field="n" operator="greaterOrEqual" value="3"/>
                 <SimplePredicate field="n" operator="notEqual" value="4"/></CompoundPredicate></SimpleRule>
             </RuleSet>)"),
        "o.pmml");
    ASSERT_NE(t->model, nullptr) << optype;
    TestRecord record({"n"});
    const struct {
      double n;
      const char* prediction;
    } kCases[] = {{2, "lo"}, {3, "hi"}, {4, "lo"}, {10, "hi"}};
    for (const auto& c : kCases) {
      EXPECT_EQ(ScoreOne(*t, record.Number("n", c.n)).scored.prediction, c.prediction)
          << optype << " " << c.n;
    }
  }
}

TEST(FieldWithoutValues, CategoricalTextMatchesThePredicateTexts) {
  auto t = TranslateDocument(
      Pmml(R"(<DataField name="c" optype="categorical" dataType="string"/>
              <DataField name="y" optype="categorical" dataType="string"/>)",
           R"(<MiningField name="c"/><MiningField name="y" usageType="target"/>)",
           R"(<RuleSet defaultScore="other">
             <RuleSelectionMethod criterion="firstHit"/>
             <SimpleRule id="R1" score="red"><SimplePredicate field="c" operator="equal" value="red"/></SimpleRule>
             <SimpleRule id="R2" score="warm"><SimpleSetPredicate field="c" booleanOperator="isIn"><Array type="string">orange "dark yellow"</Array></SimpleSetPredicate></SimpleRule>
           </RuleSet>)"),
      "c.pmml");
  ASSERT_NE(t->model, nullptr);
  TestRecord record({"c"});
  const struct {
    const char* c;
    const char* prediction;
  } kCases[] = {{"red", "red"}, {"dark yellow", "warm"}, {"orange", "warm"}, {"blue", "other"}};
  for (const auto& c : kCases) {
    EXPECT_EQ(ScoreOne(*t, record.Text("c", c.c)).scored.prediction, c.prediction) << c.c;
  }
}

TEST(FieldTypes, IntegerAndFloatAreNumbers) {
  auto t = TranslateDocument(
      Pmml(R"(<DataField name="i" optype="continuous" dataType="integer"/>
              <DataField name="f" optype="continuous" dataType="float"/>
              <DataField name="y" optype="categorical" dataType="string"/>)",
           R"(<MiningField name="i"/><MiningField name="f"/><MiningField name="y" usageType="target"/>)",
           R"(<RuleSet defaultScore="no">
             <SimpleRule id="R1" score="yes"><CompoundPredicate booleanOperator="and">
               <SimplePredicate field="i" operator="equal" value="2"/>
               <SimplePredicate field="f" operator="lessThan" value="0.5"/></CompoundPredicate></SimpleRule>
           </RuleSet>)"),
      "i.pmml");
  ASSERT_NE(t->model, nullptr);
  TestRecord record({"i", "f"});
  EXPECT_EQ(ScoreOne(*t, record.Number("i", 2).Number("f", 0.25)).scored.prediction, "yes");
  EXPECT_EQ(ScoreOne(*t, record.Number("i", 2).Number("f", 0.5)).scored.prediction, "no");
}

TEST(FieldTypes, UnknownDataTypeIsRefusedNamingTheField) {
  const testing_support::TranslationFailure failure = TranslationFailureOf(
      Pmml(R"(<DataField name="when" optype="continuous" dataType="date"/>)",
           R"(<MiningField name="when"/>)", R"(<RuleSet defaultScore="a"/>)"),
      "d.pmml");
  EXPECT_EQ(failure.code, ErrorCode::kBadFieldDefinition);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"when", "dataType", "date"}));
}

}  // namespace
}  // namespace KtZembra_940
