// Reading rules: the attributes, distributions and extensions of SimpleRule
// records, the predicates handed to the compile, and rules nested in
// CompoundRules.

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TranslatedDocument.h"
#include "host/ErrorCodes.h"
#include "host/PMMLTranslator.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"
#include "tests/support/ModelBuilder.h"

namespace KtZembra_940 {
namespace {

using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;

const char kDictionary[] = R"(
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/>
    </DataField>
    <DataField name="num" optype="categorical" dataType="integer">
      <Value value="1"/><Value value="2"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="size" optype="continuous" dataType="double"/>
    <DataField name="colour" optype="categorical" dataType="string">
      <Value value="red"/><Value value="green"/><Value value="blue"/>
    </DataField>
  </DataDictionary>)";

const char kRiskTarget[] = R"(<MiningField name="risk" usageType="predicted"/>)";
const char kPredictors[] =
    R"(<MiningField name="age"/><MiningField name="size"/><MiningField name="colour"/>)";

// A document with one rule-set model; `rules` is the body of its RuleSet.
std::string Document(const std::string& rules, const std::string& criterion = "firstHit",
                     const std::string& target = kRiskTarget,
                     const std::string& ruleSetAttributes = R"(defaultScore="low")") {
  return std::string(R"(<?xml version="1.0" encoding="UTF-8"?><PMML version="4.4">)") +
         kDictionary + R"(<RuleSetModel functionName="classification"><MiningSchema>)" + target +
         kPredictors + "</MiningSchema><RuleSet " + ruleSetAttributes +
         "><RuleSelectionMethod criterion=\"" + criterion + "\"/>" + rules +
         "</RuleSet></RuleSetModel></PMML>";
}

std::string Simple(const std::string& field, const std::string& op, const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value +
         "\"/>";
}

std::string Rule(const std::string& id, const std::string& score, const std::string& body,
                 const std::string& attributes = "") {
  return "<SimpleRule id=\"" + id + "\" score=\"" + score + "\" " + attributes + ">" + body +
         "</SimpleRule>";
}

std::string CompoundRule(const std::string& predicate, const std::string& rules) {
  return "<CompoundRule>" + predicate + rules + "</CompoundRule>";
}

using Translated = testing_support::TranslatedDocument;
using Failure = testing_support::TranslationFailure;

std::unique_ptr<Translated> Translate(const std::string& pmml) {
  return testing_support::TranslateDocument(pmml, "rules.pmml");
}

Failure FailureOf(const std::string& pmml) {
  return testing_support::TranslationFailureOf(pmml, "rules.pmml");
}

// The compiled rules as text, one line per rule, nested compounds in
// brackets: enough to tell any two compiles apart.
void DumpConditions(std::ostream& os, const std::vector<RuleSetModel::ST_SIM_Condition>& conditions,
                    const std::vector<int32_t>& varIndices) {
  for (size_t k = 0; k < conditions.size(); ++k) {
    const RuleSetModel::ST_SIM_Condition& c = conditions[k];
    os << " v" << (k < varIndices.size() ? varIndices[k] : -9);
    if (c.isSimple) os << ":op" << c.simpleOperator << "=" << c.value;
    if (c.isSet) {
      os << ":set" << c.setOperator << "{";
      for (double v : c.setValues) os << v << ",";
      os << "}";
    }
    if (c.isTrue) os << ":T";
    if (c.isFalse) os << ":F";
  }
}

void DumpCompound(std::ostream& os, const RuleSetModel::ST_COMP_Condition& comp) {
  os << " [b" << comp.boolOperator << " f" << comp.fixedResult;
  DumpConditions(os, comp.conditions, comp.varIndices);
  for (const auto& nested : comp.compConditions) DumpCompound(os, nested);
  os << "]";
}

std::string Dump(const RuleSetModel& model) {
  std::ostringstream os;
  for (const RuleSetModel::ST_RuleSet* ruleSet : model.GetCompiledRuleSets()) {
    if (ruleSet == nullptr) continue;
    for (const RuleSetModel::ST_Rule& rule : ruleSet->rules) {
      os << rule.ruleId << " s" << rule.scoreIndex << " w" << rule.weight << " c"
         << rule.confidence << " b" << rule.boolOperator << " f" << rule.fixedResult;
      DumpConditions(os, rule.conditions, rule.varIndices);
      for (const auto& comp : rule.compConditions) DumpCompound(os, comp);
      os << "\n";
    }
    os << "new:";
    for (int32_t index : ruleSet->newVarIndices) os << " " << index;
    os << "\n";
  }
  for (const ScoreDictVar* var : model.GetPredVars()) os << var->GetName() << " ";
  return os.str();
}

// Owns the result a model hands out, whichever way a test leaves.
struct ResultHolder {
  ScoreResult* result = nullptr;
  ResultHolder() = default;
  ResultHolder(const ResultHolder&) = delete;
  ResultHolder& operator=(const ResultHolder&) = delete;
  ~ResultHolder() { delete result; }
};

std::vector<std::string> RuleIds(const std::vector<SimpleRule*>& rules) {
  std::vector<std::string> ids;
  for (const SimpleRule* rule : rules) ids.push_back(rule->GetRuleID());
  return ids;
}

// --- rule records ---------------------------------------------------------------

TEST(RuleAttributes, ReadIntoTheRecord) {
  std::unique_ptr<Translated> t = Translate(Document(
      Rule("R1", "high", "<True/>",
           R"(recordCount="40" nbCorrect="31.5" confidence="0.75" weight="2.5")") +
      Rule("R2", "low", "<True/>") + Rule("R3", "low", "<True/>", R"(weight="" confidence="")") +
      "<SimpleRule score=\"\"><True/></SimpleRule>"));
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->Rules().size(), 4u);
  const SimpleRule& r1 = *t->Rules()[0];
  EXPECT_EQ(r1.GetRuleID(), "R1");
  EXPECT_EQ(r1.GetRuleLabel(), "R1");
  EXPECT_EQ(r1.GetScoreValue(), "high");
  EXPECT_EQ(r1.GetRecordCount(), 40);
  EXPECT_EQ(r1.GetnbCorrect(), 31);
  EXPECT_EQ(r1.GetRuleConfidence(), 0.75);
  EXPECT_EQ(r1.GetRuleWeight(), 2.5);
  EXPECT_EQ(r1.GetTargetVariableName(), "risk");
  EXPECT_FALSE(r1.IsDisabled());
  EXPECT_EQ(r1.GetSearchDirection(), SimpleRule::up);

  // Absent confidence and weight are 0.0; absent counts stay unset.
  for (const SimpleRule* rule : {t->Rules()[1], t->Rules()[2]}) {
    SCOPED_TRACE(rule->GetRuleID());
    EXPECT_EQ(rule->GetRuleConfidence(), 0.0);
    EXPECT_EQ(rule->GetRuleWeight(), 0.0);
    EXPECT_EQ(rule->GetRecordCount(), -1);
    EXPECT_EQ(rule->GetnbCorrect(), -1);
  }
  // A rule without an identifier is named by its position; its label stays
  // empty.
  EXPECT_EQ(t->Rules()[3]->GetRuleID(), "#4");
  EXPECT_EQ(t->Rules()[3]->GetRuleLabel(), "");
  EXPECT_EQ(t->Rules()[3]->GetScoreValue(), "");
}

TEST(RuleAttributes, Failures) {
  struct Case {
    const char* name;
    std::string rules;
    int code;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"no score", "<SimpleRule id=\"R1\"><True/></SimpleRule>", ErrorCode::kMissingAttribute,
       {"SimpleRule", "score"}},
      {"weight that is no number", Rule("R1", "high", "<True/>", R"(weight="heavy")"),
       ErrorCode::kNotANumber, {"heavy"}},
      {"second simple predicate",
       Rule("R1", "high", Simple("age", "greaterThan", "1") + Simple("size", "lessThan", "2")),
       ErrorCode::kSecondPredicate, {"SimplePredicate", "SimpleRule"}},
      {"compound after a set predicate",
       Rule("R1", "high",
            R"(<SimpleSetPredicate field="colour" booleanOperator="isIn"><Array type="string">red</Array></SimpleSetPredicate>
               <CompoundPredicate booleanOperator="or">)" +
                Simple("age", "greaterThan", "1") + Simple("size", "lessThan", "2") +
                "</CompoundPredicate>"),
       ErrorCode::kSecondPredicate, {"SimplePredicate", "SimpleRule"}},
      {"distribution without a count",
       Rule("R1", "high", R"(<True/><ScoreDistribution value="high"/>)"),
       ErrorCode::kMissingAttribute, {"ScoreDistribution", "recordCount"}},
      {"distribution without a value",
       Rule("R1", "high", R"(<True/><ScoreDistribution recordCount="3"/>)"),
       ErrorCode::kMissingAttribute, {"ScoreDistribution", "value"}},
      {"unknown field", Rule("R1", "high", Simple("weight", "greaterThan", "1")),
       ErrorCode::kUnknownField, {"weight", "SimplePredicate"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Failure failure = FailureOf(Document(Rule("R0", "low", "<True/>") + c.rules));
    EXPECT_EQ(failure.code, c.code);
    EXPECT_EQ(failure.args, c.args);
  }
}

TEST(RuleAttributes, ConstantsStandBesideAPredicate) {
  std::unique_ptr<Translated> t = Translate(Document(
      Rule("R1", "high", "<True/>" + Simple("age", "greaterThan", "60") + "<False/>") +
      Rule("R2", "low", "")));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(RuleIds(t->Rules()), (std::vector<std::string>{"R1", "R2"}));
  const auto& rules = t->Compiled().rules;
  ASSERT_EQ(rules.size(), 3u);
  for (const auto& rule : rules) EXPECT_EQ(rule.ruleId, "R1");
  EXPECT_EQ(rules[0].fixedResult, 1);
  EXPECT_EQ(rules[1].fixedResult, 0);
  ASSERT_EQ(rules[1].conditions.size(), 1u);
  EXPECT_EQ(rules[1].conditions[0].value, 60.0);
  EXPECT_EQ(rules[2].fixedResult, 2);
  // A rule without a predicate is kept, with no compiled rule and no split.
  EXPECT_TRUE(t->Rules()[1]->GetSplitVar().empty());
}

TEST(RuleAttributes, WorkedRoadCompilesAndScores) {
  std::unique_ptr<Translated> t = Translate(Document(
      Rule("R1", "high", Simple("age", "greaterThan", "60"), R"(weight="0.8")") +
          Rule("R2", "high", "<True/>", R"(weight="0.4")"),
      "weightedSum", kRiskTarget, R"(defaultScore="low" defaultConfidence="0.5")"));
  ASSERT_NE(t->model, nullptr);
  const auto& rules = t->Compiled().rules;
  ASSERT_EQ(rules.size(), 2u);
  ASSERT_EQ(rules[0].conditions.size(), 1u);
  EXPECT_TRUE(rules[0].conditions[0].isSimple);
  EXPECT_EQ(rules[0].conditions[0].simpleOperator, 4);
  EXPECT_EQ(rules[0].conditions[0].value, 60.0);
  EXPECT_EQ(rules[0].varIndices, std::vector<int32_t>{0});
  EXPECT_EQ(rules[0].scoreIndex, 0);
  EXPECT_EQ(rules[0].weight, 0.8);
  EXPECT_EQ(rules[1].fixedResult, 1);
  EXPECT_EQ(rules[1].scoreIndex, 0);
  EXPECT_EQ(rules[1].weight, 0.4);
  EXPECT_EQ(t->model->GetDefaultScoreIndex(), std::vector<int32_t>{1});

  TestRecord record({"age", "size", "colour"});
  ResultHolder held;
  Scored old = ScoreWith(*t->model, record.Number("age", 70).Get(), held.result);
  EXPECT_EQ(old.prediction, "high");
  EXPECT_DOUBLE_EQ(old.confidence, 0.6);
  EXPECT_EQ(old.fired, (std::vector<std::string>{"R1", "R2"}));
  Scored young = ScoreWith(*t->model, record.Number("age", 30).Get(), held.result);
  EXPECT_EQ(young.prediction, "high");
  EXPECT_DOUBLE_EQ(young.confidence, 0.4);
  EXPECT_EQ(young.fired, std::vector<std::string>{"R2"});
}

// Rules without an identifier, or with an empty one, are named by their
// 1-based position in their rule set, nested rules counted in document
// order; the fired and winning identifiers use the name.
TEST(RuleAttributes, RulesWithoutIdAreNamedByPosition) {
  std::unique_ptr<Translated> t = Translate(Document(
      "<SimpleRule score=\"low\" weight=\"1\"><True/></SimpleRule>" +
          Rule("R2", "high", Simple("age", "greaterThan", "60"), R"(weight="0.5")") +
          CompoundRule("<True/>", "<SimpleRule score=\"high\" weight=\"0.75\"><True/></SimpleRule>") +
          Rule("", "low", Simple("age", "lessThan", "0"), R"(weight="1")"),
      "weightedSum"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(RuleIds(t->Rules()), (std::vector<std::string>{"#1", "R2", "#3", "#4"}));
  ASSERT_EQ(t->Compiled().rules.size(), 4u);
  EXPECT_EQ(t->Compiled().rules[2].ruleId, "#3");
  EXPECT_NE(t->model->GetSimpleRule("#3"), nullptr);

  TestRecord record({"age", "size", "colour"});
  ResultHolder held;
  // high 1.25 against low 1: the first fired rule of high is R2.
  const Scored old = ScoreWith(*t->model, record.Number("age", 70).Get(), held.result);
  EXPECT_EQ(old.prediction, "high");
  EXPECT_EQ(old.fired, (std::vector<std::string>{"#1", "R2", "#3"}));
  EXPECT_EQ(old.winning, "R2");
  const Scored young = ScoreWith(*t->model, record.Number("age", 30).Get(), held.result);
  EXPECT_EQ(young.prediction, "low");
  EXPECT_EQ(young.fired, (std::vector<std::string>{"#1", "#3"}));
  EXPECT_EQ(young.winning, "#1");
}

// --- distributions ----------------------------------------------------------------

struct Distribution {
  std::string text;
  int valueType;
  double percent;
};

std::vector<Distribution> DistributionOf(const SimpleRule& rule) {
  std::vector<Distribution> out;
  for (const auto& [value, percent] : rule.GetAllValuePercent()) {
    out.push_back({value->GetString(), value->GetValueType(), percent});
  }
  return out;
}

TEST(ScoreDistribution, SharesOfTheRulesRecordCount) {
  const std::string distribution =
      R"(<True/><ScoreDistribution value="high" recordCount="3"/>
         <ScoreDistribution value="low" recordCount="1"/>)";
  struct Case {
    const char* attributes;
    double high;
    double low;
  };
  const Case cases[] = {
      {R"(recordCount="2.9")", 1.5, 0.5},  // divided by the truncated count 2
      {R"(recordCount="4")", 0.75, 0.25},
      {R"(recordCount="0.5")", 3.0, 1.0},  // count 0: the counts stand
      {"", 3.0, 1.0},                      // no count: the counts stand
      {R"(recordCount="-8")", 3.0, 1.0},   // never a negative share
      {R"(recordCount="6e9")", 0.5e-9, 1.0 / 6e9},  // past the int range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attributes);
    std::unique_ptr<Translated> t =
        Translate(Document(Rule("R1", "high", distribution, c.attributes)));
    ASSERT_NE(t->model, nullptr);
    std::vector<Distribution> d = DistributionOf(*t->Rules()[0]);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].text, "high");
    EXPECT_EQ(d[0].valueType, ScoreValue::kString);
    EXPECT_DOUBLE_EQ(d[0].percent, c.high);
    EXPECT_EQ(d[1].text, "low");
    EXPECT_DOUBLE_EQ(d[1].percent, c.low);
  }
}

// Counts past the int range are shares of the whole count, as shown.
TEST(ScoreDistribution, LargeCountsKeepTheirShares) {
  std::unique_ptr<Translated> t = Translate(Document(Rule(
      "R1", "high",
      R"(<True/><ScoreDistribution value="high" recordCount="1.5e9"/>
         <ScoreDistribution value="low" recordCount="1.5e9"/>)",
      R"(recordCount="3e9")")));
  ASSERT_NE(t->model, nullptr);
  std::ostringstream dump;
  t->Rules()[0]->Display(dump);
  EXPECT_NE(dump.str().find("recoredCount: 3e+09\n"), std::string::npos) << dump.str();
  EXPECT_NE(dump.str().find("Score Value distribution:\nhigh: 0.5\nlow: 0.5\n"), std::string::npos)
      << dump.str();
}

TEST(ScoreDistribution, ValueKindFollowsTheTarget) {
  const std::string rule = Rule("R1", "1",
                                R"(<True/><ScoreDistribution value="2" recordCount="5"/>
                                   <ScoreDistribution value="x" recordCount="1"/>)",
                                R"(recordCount="10")");
  // A numeric target needs numbers.
  Failure failure =
      FailureOf(Document(rule, "firstHit", R"(<MiningField name="num" usageType="target"/>)"));
  EXPECT_EQ(failure.code, ErrorCode::kNotANumber);
  EXPECT_EQ(failure.args, std::vector<std::string>{"x"});

  // Without a target the text decides.
  std::unique_ptr<Translated> t = Translate(Document(rule, "firstHit", ""));
  ASSERT_NE(t->model, nullptr);
  std::vector<Distribution> d = DistributionOf(*t->Rules()[0]);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].valueType, ScoreValue::kNumeric);
  EXPECT_EQ(d[0].text, "2");
  EXPECT_DOUBLE_EQ(d[0].percent, 0.5);
  EXPECT_EQ(d[1].valueType, ScoreValue::kString);
  EXPECT_EQ(d[1].text, "x");

  std::unique_ptr<Translated> numeric = Translate(Document(
      Rule("R1", "1", R"(<True/><ScoreDistribution value="2" recordCount="5"/>)"), "firstHit",
      R"(<MiningField name="num" usageType="target"/>)"));
  ASSERT_NE(numeric->model, nullptr);
  d = DistributionOf(*numeric->Rules()[0]);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].valueType, ScoreValue::kNumeric);
  EXPECT_EQ(d[0].text, "2");
}

// --- extensions ---------------------------------------------------------------------

std::string Extension(const std::string& name, const std::string& value) {
  return "<Extension name=\"" + name + "\" value=\"" + value + "\"/>";
}

TEST(RuleExtension, LabelDisabledAndDirection) {
  struct Case {
    const char* name;
    std::string extensions;
    std::string label;
    bool disabled;
    SimpleRule::SearchDirection direction;
  };
  const Case cases[] = {
      {"none", "", "R1", false, SimpleRule::up},
      {"label", Extension("label", "first rule"), "first rule", false, SimpleRule::up},
      {"empty label", Extension("label", ""), "R1", false, SimpleRule::up},
      {"later label wins", Extension("label", "a") + Extension("label", "b"), "b", false,
       SimpleRule::up},
      {"disabled", Extension("disabled", "true"), "R1", true, SimpleRule::up},
      {"disabled needs the true constant", Extension("disabled", "TRUE"), "R1", false,
       SimpleRule::up},
      {"disabled stays set", Extension("disabled", "true") + Extension("disabled", "false"), "R1",
       true, SimpleRule::up},
      {"down", Extension("direction", "down"), "R1", false, SimpleRule::down},
      {"down then up", Extension("direction", "down") + Extension("direction", "up"), "R1",
       false, SimpleRule::up},
      {"other direction", Extension("direction", "down") + Extension("direction", "left"), "R1",
       false, SimpleRule::down},
      {"other name", Extension("colour", "down") + "<Extension/>", "R1", false, SimpleRule::up},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Translated> t = Translate(Document(Rule("R1", "high", "<True/>" + c.extensions)));
    ASSERT_NE(t->model, nullptr);
    const SimpleRule& rule = *t->Rules()[0];
    EXPECT_EQ(rule.GetRuleID(), "R1");
    EXPECT_EQ(rule.GetRuleLabel(), c.label);
    EXPECT_EQ(rule.IsDisabled(), c.disabled);
    EXPECT_EQ(rule.GetSearchDirection(), c.direction);
  }
}

// --- rule sets without a model entry ----------------------------------------------

// The second RuleSet of a document with one RuleSetModel has no entry: its
// rules are destroyed (the sanitizer build checks that nothing leaks) and
// the first rule set is unaffected.
TEST(RuleSets, RulesWithoutModelEntryAreDestroyed) {
  const std::string pmml = Document(
      Rule("R1", "high", Simple("age", "greaterThan", "1")) + "</RuleSet><RuleSet>" +
      Rule("X1", "low", Simple("size", "lessThan", "2") +
                            R"(<ScoreDistribution value="low" recordCount="1"/>)") +
      Rule("X2", "low", "<True/>"));
  std::unique_ptr<Translated> t = Translate(pmml);
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->model->GetSimpleRules().size(), 1u);
  EXPECT_EQ(RuleIds(t->Rules()), std::vector<std::string>{"R1"});
  EXPECT_EQ(t->model->GetSimpleRule("X1"), nullptr);
}

// --- nested CompoundRules ------------------------------------------------------------

const std::string kOrPredicate = "<CompoundPredicate booleanOperator=\"or\">" +
                                 Simple("size", "equal", "7") + Simple("age", "lessThan", "3") +
                                 "</CompoundPredicate>";
const std::string kColourSet =
    R"(<SimpleSetPredicate field="colour" booleanOperator="isIn"><Array type="string">red</Array></SimpleSetPredicate>)";

std::string And(const std::string& members) {
  return "<CompoundPredicate booleanOperator=\"and\">" + members + "</CompoundPredicate>";
}

// Two levels of CompoundRule, and the same rules written flat.
const std::string kNested =
    Rule("R0", "low", Simple("size", "greaterThan", "100")) +
    CompoundRule(Simple("age", "greaterThan", "10"),
                 Rule("R1", "high", Simple("size", "lessThan", "5"), R"(weight="0.5")") +
                     CompoundRule(kOrPredicate, Rule("R2", "low", "<True/>") +
                                                    Rule("R3", "high", kColourSet)) +
                     Rule("R4", "low", Simple("age", "greaterThan", "50"))) +
    Rule("R5", "high", "<True/>");
const std::string kFlat =
    Rule("R0", "low", Simple("size", "greaterThan", "100")) +
    Rule("R1", "high",
         And(Simple("age", "greaterThan", "10") + Simple("size", "lessThan", "5")),
         R"(weight="0.5")") +
    Rule("R2", "low", And(Simple("age", "greaterThan", "10") + kOrPredicate + "<True/>")) +
    Rule("R3", "high", And(Simple("age", "greaterThan", "10") + kOrPredicate + kColourSet)) +
    Rule("R4", "low", And(Simple("age", "greaterThan", "10") + Simple("age", "greaterThan", "50"))) +
    Rule("R5", "high", "<True/>");

TEST(CompoundRule, NestedRulesCompileLikeTheFlatDocument) {
  std::unique_ptr<Translated> nested = Translate(Document(kNested));
  std::unique_ptr<Translated> flat = Translate(Document(kFlat));
  ASSERT_NE(nested->model, nullptr);
  ASSERT_NE(flat->model, nullptr);
  EXPECT_EQ(Dump(*nested->model), Dump(*flat->model));
  const std::vector<std::string> order = {"R0", "R1", "R2", "R3", "R4", "R5"};
  EXPECT_EQ(RuleIds(nested->Rules()), order);
  EXPECT_EQ(RuleIds(flat->Rules()), order);
  std::vector<std::string> compiled;
  for (const auto& rule : nested->Compiled().rules) compiled.push_back(rule.ruleId);
  EXPECT_EQ(compiled, order);

  // The conjunction is the first compound of R1: age > 10 and size < 5.
  const RuleSetModel::ST_Rule& r1 = nested->Compiled().rules[1];
  EXPECT_TRUE(r1.conditions.empty());
  ASSERT_EQ(r1.compConditions.size(), 1u);
  EXPECT_EQ(r1.compConditions[0].boolOperator, 1);
  ASSERT_EQ(r1.compConditions[0].conditions.size(), 2u);
  EXPECT_EQ(r1.compConditions[0].conditions[0].value, 10.0);
  EXPECT_EQ(r1.compConditions[0].conditions[1].value, 5.0);
  EXPECT_EQ(r1.weight, 0.5);
}

TEST(CompoundRule, NestedRulesKeepOwnAttributesAndSplits) {
  std::unique_ptr<Translated> t = Translate(Document(CompoundRule(
      Simple("age", "greaterThan", "10"),
      Rule("R1", "high",
           Simple("size", "lessThan", "5") + R"(<ScoreDistribution value="high" recordCount="2"/>)" +
               Extension("label", "inner"),
           R"(recordCount="4" confidence="0.3")"))));
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->Rules().size(), 1u);
  const SimpleRule& rule = *t->Rules()[0];
  EXPECT_EQ(rule.GetRuleLabel(), "inner");
  EXPECT_EQ(rule.GetRuleConfidence(), 0.3);
  EXPECT_EQ(rule.GetTargetVariableName(), "risk");
  ASSERT_EQ(rule.GetAllValuePercent().size(), 1u);
  EXPECT_DOUBLE_EQ(rule.GetAllValuePercent()[0].second, 0.5);
  // The split variables summarise the enclosing CompoundRule's predicate,
  // then the rule's own.
  ASSERT_EQ(rule.GetSplitVar().size(), 2u);
  EXPECT_EQ(rule.GetSplitVar()[0]->GetSplitVar()->GetName(), "age");
  EXPECT_EQ(rule.GetSplitVar()[1]->GetSplitVar()->GetName(), "size");
}

// The dump of a nested rule shows the predicates of every CompoundRule
// around it, outermost first; a CompoundRule predicate the summary cannot
// express (a crossing range under and) is left out, and the rule still
// translates.
TEST(CompoundRule, NestedRulesShowTheEnclosingPredicates) {
  std::unique_ptr<Translated> t = Translate(Document(kNested));
  ASSERT_NE(t->model, nullptr);
  const auto splitsOf = [&](size_t k) {
    std::ostringstream os;
    for (const ScoreSplitVar* split : t->Rules()[k]->GetSplitVar()) split->Display(os);
    return os.str();
  };
  EXPECT_EQ(splitsOf(0), "size: (100, inf)\n");
  EXPECT_EQ(splitsOf(1), "age: (10, inf)\nsize: (-inf, 5)\n");
  EXPECT_EQ(splitsOf(2), "age: (10, inf)\nsize: [7, 7]\nage: (-inf, 3)\n");
  EXPECT_EQ(splitsOf(3), "age: (10, inf)\nsize: [7, 7]\nage: (-inf, 3)\ncolour: {red}\n");
  EXPECT_EQ(splitsOf(4), "age: (10, inf)\nage: (50, inf)\n");
  EXPECT_EQ(splitsOf(5), "");

  std::unique_ptr<Translated> crossing = Translate(Document(CompoundRule(
      And(Simple("age", "greaterThan", "10") + Simple("age", "lessThan", "5")),
      Rule("R1", "high", Simple("size", "lessThan", "5")))));
  ASSERT_NE(crossing->model, nullptr);
  ASSERT_EQ(crossing->Rules()[0]->GetSplitVar().size(), 1u);
  EXPECT_EQ(crossing->Rules()[0]->GetSplitVar()[0]->GetSplitVar()->GetName(), "size");
}

TEST(CompoundRule, FirstHitContinuesAfterAFalseCompoundRule) {
  std::unique_ptr<Translated> t = Translate(Document(kNested));
  ASSERT_NE(t->model, nullptr);
  struct Case {
    double age;
    double size;
    const char* colour;
    const char* first;
  };
  const Case cases[] = {
      {20, 200, "blue", "R0"},  // before the compound rule
      {20, 3, "blue", "R1"},    // outer true, inner rule true
      {20, 7, "blue", "R2"},    // both compound predicates true
      {20, 9, "red", "R5"},     // second compound false: R3 is not reached
      {60, 9, "red", "R4"},     // back in the outer compound after the inner one
      {5, 3, "red", "R5"},      // outer compound false: every nested rule is skipped
  };
  TestRecord record({"age", "size", "colour"});
  ResultHolder held;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    record.Number("age", c.age).Number("size", c.size).Text("colour", c.colour);
    Scored scored = ScoreWith(*t->model, record.Get(), held.result);
    ASSERT_FALSE(scored.fired.empty());
    EXPECT_EQ(scored.fired[0], c.first);
  }
}

std::string NestedCompoundRules(int depth, const std::string& innermost) {
  std::string open;
  std::string close;
  for (int i = 0; i < depth; ++i) {
    open += "<CompoundRule>" + Simple("age", "greaterThan", std::to_string(i));
    close += "</CompoundRule>";
  }
  return open + innermost + close;
}

TEST(CompoundRule, NestingUpToTheLimit) {
  const int limit = PMMLTranslator::kMaxPredicateDepth;
  std::unique_ptr<Translated> t = Translate(
      Document(NestedCompoundRules(limit, Rule("R1", "high", Simple("size", "lessThan", "5")))));
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->Compiled().rules.size(), 1u);
  const RuleSetModel::ST_Rule& rule = t->Compiled().rules[0];
  ASSERT_EQ(rule.compConditions.size(), 1u);
  EXPECT_EQ(rule.compConditions[0].conditions.size(), static_cast<size_t>(limit + 1));
  EXPECT_EQ(rule.compConditions[0].conditions[limit - 1].value, limit - 1.0);

  Failure failure = FailureOf(Document(
      NestedCompoundRules(limit + 1, Rule("R1", "high", Simple("size", "lessThan", "5")))));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundRule", "500"}));
}

// The and around a nested rule's predicate is one more level of nesting.
TEST(CompoundRule, ConjunctionStaysWithinThePredicateLimit) {
  auto deepPredicate = [](int depth) {
    std::string open;
    std::string close;
    for (int i = 1; i < depth; ++i) {
      open += "<CompoundPredicate booleanOperator=\"and\">" + Simple("age", "greaterThan", "1");
      close += "</CompoundPredicate>";
    }
    return open + And(Simple("age", "lessThan", "9") + Simple("size", "equal", "1")) + close;
  };
  const int limit = PMMLTranslator::kMaxPredicateDepth;
  std::unique_ptr<Translated> t = Translate(Document(CompoundRule(
      "<True/>", Rule("R1", "high", deepPredicate(limit - 1)))));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->Compiled().rules.size(), 1u);

  Failure failure = FailureOf(
      Document(CompoundRule("<True/>", Rule("R1", "high", deepPredicate(limit)))));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundRule", "500"}));
}

TEST(CompoundRule, NeedsExactlyOnePredicate) {
  struct Case {
    const char* name;
    std::string rules;
    std::string count;
  };
  const Case cases[] = {
      {"none", CompoundRule("<Extension name=\"x\"/>", Rule("R1", "high", "<True/>")), "0"},
      {"two", CompoundRule("<True/>" + Simple("age", "lessThan", "3"), Rule("R1", "high", "<True/>")),
       "2"},
      {"none, nested",
       CompoundRule("<True/>", CompoundRule("", Rule("R1", "high", "<True/>"))), "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Failure failure = FailureOf(Document(Rule("R0", "low", "<True/>") + c.rules));
    EXPECT_EQ(failure.code, ErrorCode::kCompoundRulePredicate);
    EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundRule", c.count}));
  }
}

// Failures inside a nested rule, or in an enclosing predicate, end the whole
// reading; nothing of the half-read rule survives.
TEST(CompoundRule, FailuresInsideNestedRules) {
  struct Case {
    const char* name;
    std::string rules;
    int code;
  };
  const Case cases[] = {
      {"enclosing predicate on an unknown field",
       CompoundRule(Simple("weight", "greaterThan", "1"), Rule("R1", "high", "<True/>")),
       ErrorCode::kUnknownField},
      {"second predicate in a nested rule",
       CompoundRule("<True/>", Rule("R1", "high",
                                    Simple("age", "lessThan", "1") + Simple("size", "lessThan", "1"))),
       ErrorCode::kSecondPredicate},
      {"nested rule without score",
       CompoundRule("<True/>", "<SimpleRule id=\"R1\"><True/></SimpleRule>"),
       ErrorCode::kMissingAttribute},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Failure failure = FailureOf(Document(Rule("R0", "low", "<True/>") + c.rules));
    EXPECT_EQ(failure.code, c.code);
  }
}

}  // namespace
}  // namespace KtZembra_940
